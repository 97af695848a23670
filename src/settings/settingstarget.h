#pragma once

#include "settings/parametertarget.h"

#include <functional>

namespace lv {

// A parameters file read into CaptureSettings: each key the reader applies
// lands in its field (the advanced settings in the recording setup). The main
// window's target keeps its settings in the live model and adds what its
// controls do on top; readCaptureSettings reads into a plain copy. UI thread
// (the reading thread) only.
class SettingsTarget : public ParameterTarget {
public:
    void applyViewMode(bool overlay) override;
    void applyPreviewRateEntry(int entry) override;
    void applyAutostartHours(int16_t v) override;
    void applyAutostartMinutes(int16_t v) override;
    void applyAutostartSeconds(int16_t v) override;
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
    void applyFtpAddress(const QString& v) override;
    void applyFtpPort(uint16_t v) override;
    void applyFtpUserName(const QString& v) override;
    void applyFtpPassword(const QString& v) override;
    void applyFtpDirectory(const QString& v) override;

protected:
    // Every change of a key goes through here.
    virtual void change(const std::function<void(CaptureSettings&)>& edit) = 0;
};

// Reads path into a copy of `start` (keys the file lacks keep their values)
// and the advanced settings into parms. `refused`, when given, gets the
// reader's note on fields it left out.
CaptureSettings readCaptureSettings(const QString& path, ParameterFileKind kind, const CaptureSettings& start,
                                    CaptureParms& parms, QString* refused = nullptr);

} // namespace lv
