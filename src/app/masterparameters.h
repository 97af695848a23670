#pragma once

#include "base/fileresult.h"
#include "base/sessionstate.h"
#include "settings/parametertarget.h"

namespace lv {

class Master;

// The main window as the source and target of capture parameters files.
class MasterParameters final : public ParameterTarget {
public:
    MasterParameters(Master& master, SessionState& state) : m_master(master), m_state(state) {}

    // Writes or reads path; the kind follows from the name (last-session, device or user file).
    // A failed write carries the reason.
    FileResult write(const QString& path, ParameterFileKind kind) const;
    void read(const QString& path, ParameterFileKind kind);

    CaptureSettings captureSettings() const override;
    CaptureParms& captureParms() override { return m_state.Parms; }
    void applyViewMode(bool overlay) override;
    void applyPreviewRateEntry(int entry) override;
    void applyAutostartHours(int16_t v) override { m_state.AutostartHours = v; }
    void applyAutostartMinutes(int16_t v) override { m_state.AutostartMinutes = v; }
    void applyAutostartSeconds(int16_t v) override { m_state.AutostartSeconds = v; }
    void applyFilename(const QString& name) override;
    void selectMode(CaptureKind mode) override;
    void applyAudio(bool on) override;
    void applyAudioChannelsEntry(int entry) override;
    void applyAudioBitsEntry(int entry) override;
    void applyAudioRateEntry(int entry) override;
    void applyFrameRate2997() override;
    void applyFrameRate(int16_t fps) override;
    void applyNoLimit(bool checked) override;
    void applyMovieDuration(int32_t totalSeconds) override;
    void applyAviInfo(CaptureKind mode, bool pressed) override;
    void applyAviInfoField(int index, const QString& text) override;
    void applyStampOn(CaptureKind mode, StampItem item, bool pressed) override;
    void applyStampColor(StampItem item, uint32_t colour) override;
    void applyStampPosition(CaptureKind mode, StampItem item, int entry) override;
    void applyStampText(CaptureKind mode, const QString& text) override;
    void applyMultipleImageType(int entry) override;
    void applyAviRateEntry(int entry) override;
    void applyTrigger(TriggerKind trigger) override;
    void applyInterval(int16_t totalSeconds) override;
    void applySendToFtp(bool pressed) override;
    void applyFtpAddress(const QString& v) override { m_state.FtpServer = v; }
    void applyFtpPort(uint16_t v) override { m_state.FtpPort = v; }
    void applyFtpUserName(const QString& v) override { m_state.FtpUserName = v; }
    void applyFtpPassword(const QString& v) override { m_state.FtpPassword = v; }
    void applyFtpDirectory(const QString& v) override { m_state.FtpDirectory = v; }

private:
    Master& m_master;
    SessionState& m_state;
};

} // namespace lv
