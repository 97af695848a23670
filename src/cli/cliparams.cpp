#include "cli/cliparams.h"

#include "settings/capturesettings.h"
#include "settings/parameterfile.h"
#include "settings/parameterreader.h"
#include "settings/parametertarget.h"

#include <QFile>

#include <iterator>

namespace lv::cli {

namespace {

// Takes what the parameters reader applies into Settings instead of controls.
class SettingsTarget final : public ParameterTarget {
public:
    explicit SettingsTarget(Settings& s) : m_s(s) {}

    CaptureSettings captureSettings() const override { return {}; }
    CaptureParms& captureParms() override { return m_s.parms; }
    void applyViewMode(bool) override {}
    void applyPreviewRateEntry(int) override {}
    void applyAutostartHours(int16_t) override {}
    void applyAutostartMinutes(int16_t) override {}
    void applyAutostartSeconds(int16_t) override {}
    void applyFilename(const QString&) override {}
    void selectMode(CaptureKind) override {}
    void applyAudio(bool on) override { m_s.audioOn = on; }
    void applyAudioChannelsEntry(int entry) override { m_s.audio.nChannels = static_cast<uint16_t>(entry + 1); }
    void applyAudioBitsEntry(int entry) override { m_s.audio.wBitsPerSample = static_cast<uint16_t>((entry + 1) * 8); }
    void applyAudioRateEntry(int entry) override
    {
        if (entry >= 0 && entry < int(std::size(kAudioRates)))
            m_s.audio.nSamplesPerSec = uint32_t(kAudioRates[entry]);
    }
    void applyFrameRate2997() override { m_s.frameRate = 29.97; }
    void applyFrameRate(int16_t fps) override { m_s.frameRate = fps; }
    void applyNoLimit(bool checked) override { m_s.limit = !checked; }
    void applyMovieDuration(int32_t totalSeconds) override { m_s.durationSeconds = totalSeconds; }
    void applyAviInfo(CaptureKind mode, bool pressed) override
    {
        if (mode == CaptureKind::Movie)
            m_s.movieInfo = pressed;
    }
    void applyAviInfoField(int index, const QString& text) override
    {
        if (index >= 0 && index < static_cast<int>(m_s.infoFields.size()))
            m_s.infoFields[static_cast<size_t>(index)] = text;
    }
    void applyStampOn(CaptureKind mode, StampItem item, bool pressed) override
    {
        StampSettings& st = stamps(mode);
        (item == StampItem::Time ? st.timeOn : item == StampItem::Date ? st.dateOn : st.textOn) = pressed;
    }
    void applyStampColor(StampItem item, uint32_t colour) override
    {
        for (StampSettings* st : {&m_s.singleStamps, &m_s.seriesStamps})
            (item == StampItem::Time ? st->timeColor : item == StampItem::Date ? st->dateColor : st->textColor) = colour;
    }
    void applyStampPosition(CaptureKind mode, StampItem item, int entry) override
    {
        StampSettings& st = stamps(mode);
        (item == StampItem::Time ? st.timePosition : item == StampItem::Date ? st.datePosition : st.textPosition) = entry;
    }
    void applyStampText(CaptureKind mode, const QString& text) override { stamps(mode).text = text; }
    void applyMultipleImageType(int) override {}
    void applyAviRateEntry(int) override {}
    void applyTrigger(TriggerKind trigger) override { m_s.trigger = trigger; }
    void applyInterval(int16_t totalSeconds) override { m_s.interval = totalSeconds; }
    void applySendToFtp(bool pressed) override { m_s.sendToFtp = pressed; }
    void applyFtpAddress(const QString& v) override { m_s.ftp.server = v; }
    void applyFtpPort(uint16_t v) override { m_s.ftp.port = v; }
    void applyFtpUserName(const QString& v) override { m_s.ftp.userName = v; }
    void applyFtpPassword(const QString& v) override { m_s.ftp.password = v; }
    void applyFtpDirectory(const QString& v) override { m_s.ftp.directory = v; }

private:
    StampSettings& stamps(CaptureKind mode)
    {
        return mode == CaptureKind::MultipleImage ? m_s.seriesStamps : m_s.singleStamps;
    }
    Settings& m_s;
};

} // namespace

FileResult readSettings(const QString& path, Settings* settings)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return FileResult::failure(QStringLiteral("cannot read %1: %2").arg(path, f.errorString()), MessageIcon::Error)
            .because(f.errorString());
    f.close();
    SettingsTarget target(*settings);
    settings->ignored = ReadParameters(path, target, ParameterFileKind::User);
    // The main window opens this device itself; the reader does not apply it.
    bool ok = false;
    const int device = GetParameter(path, QStringLiteral("Device Index"), QStringLiteral("0")).toInt(&ok);
    if (ok && device >= 0)
        settings->device = device;
    settings->fromFile = true;
    return {};
}

} // namespace lv::cli
