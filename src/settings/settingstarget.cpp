#include "settings/settingstarget.h"
#include "settings/parameterfile.h"

#include <iterator>

namespace lv {

namespace {

PanelStamps& panelOf(CaptureSettings& c, CaptureKind mode)
{
    return mode == CaptureKind::MultipleImage ? c.SeriesStamps : c.ImageStamps;
}

QString& infoField(CaptureSettings& c, int index)
{
    QString* fields[] = {&c.Copyright, &c.Artist, &c.Subject, &c.Product, &c.Source, &c.Comments};
    return *fields[index];
}

class CopyTarget final : public SettingsTarget {
public:
    CopyTarget(CaptureSettings& settings, CaptureParms& parms) : m_settings(settings), m_parms(parms) {}
    CaptureSettings captureSettings() const override { return m_settings; }
    CaptureParms& captureParms() override { return m_parms; }

protected:
    void change(const std::function<void(CaptureSettings&)>& edit) override { edit(m_settings); }

private:
    CaptureSettings& m_settings;
    CaptureParms& m_parms;
};

} // namespace

void SettingsTarget::applyViewMode(bool overlay)
{
    change([overlay](CaptureSettings& c) { c.ViewModeOverlay = overlay; });
}

void SettingsTarget::applyPreviewRateEntry(int entry)
{
    change([entry](CaptureSettings& c) { c.PreviewRate = static_cast<int16_t>(entry + 1); });
}

void SettingsTarget::applyAutostartHours(int16_t v)
{
    change([v](CaptureSettings& c) { c.Hours = v; });
}

void SettingsTarget::applyAutostartMinutes(int16_t v)
{
    change([v](CaptureSettings& c) { c.Minutes = v; });
}

void SettingsTarget::applyAutostartSeconds(int16_t v)
{
    change([v](CaptureSettings& c) { c.Seconds = v; });
}

void SettingsTarget::applyFilename(const QString& name)
{
    change([&name](CaptureSettings& c) { c.Filename = name; });
}

void SettingsTarget::selectMode(CaptureKind mode)
{
    change([mode](CaptureSettings& c) { c.Capture = mode; });
}

void SettingsTarget::applyAudio(bool on)
{
    change([on](CaptureSettings& c) { c.Audio = on; });
}

void SettingsTarget::applyAudioChannelsEntry(int entry)
{
    change([entry](CaptureSettings& c) { c.AudioChannels = entry + 1; });
}

void SettingsTarget::applyAudioBitsEntry(int entry)
{
    change([entry](CaptureSettings& c) { c.AudioBits = (entry + 1) * 8; });
}

void SettingsTarget::applyAudioRateEntry(int entry)
{
    if (entry >= 0 && entry < int(std::size(kAudioRates)))
        change([entry](CaptureSettings& c) { c.AudioRate = kAudioRates[entry]; });
}

void SettingsTarget::applyFrameRate2997()
{
    change([](CaptureSettings& c) { c.FrameRate = 29.97; });
}

void SettingsTarget::applyFrameRate(int16_t fps)
{
    change([fps](CaptureSettings& c) { c.FrameRate = fps; });
}

void SettingsTarget::applyNoLimit(bool checked)
{
    change([checked](CaptureSettings& c) { c.Limit = !checked; });
}

void SettingsTarget::applyMovieDuration(int32_t totalSeconds)
{
    change([totalSeconds](CaptureSettings& c) { c.DurationSeconds = totalSeconds; });
}

void SettingsTarget::applyAviInfo(CaptureKind mode, bool pressed)
{
    change([mode, pressed](CaptureSettings& c) {
        (mode == CaptureKind::MultipleImage ? c.SeriesAviInfo : c.MovieAviInfo) = pressed;
    });
}

void SettingsTarget::applyAviInfoField(int index, const QString& text)
{
    if (index >= 0 && index < 6)
        change([index, &text](CaptureSettings& c) { infoField(c, index) = text; });
}

void SettingsTarget::applyStampOn(CaptureKind mode, StampItem item, bool pressed)
{
    change([mode, item, pressed](CaptureSettings& c) {
        PanelStamps& p = panelOf(c, mode);
        (item == StampItem::Time ? p.InsertTime : item == StampItem::Date ? p.InsertDate : p.InsertText) = pressed;
    });
}

void SettingsTarget::applyStampColor(StampItem item, uint32_t colour)
{
    change([item, colour](CaptureSettings& c) {
        (item == StampItem::Time ? c.TimeColor : item == StampItem::Date ? c.DateColor : c.TextColor) = colour;
    });
}

void SettingsTarget::applyStampPosition(CaptureKind mode, StampItem item, int entry)
{
    change([mode, item, entry](CaptureSettings& c) {
        PanelStamps& p = panelOf(c, mode);
        (item == StampItem::Time ? p.TimePosition : item == StampItem::Date ? p.DatePosition : p.TextPosition) =
            static_cast<int16_t>(entry);
    });
}

void SettingsTarget::applyStampText(CaptureKind mode, const QString& text)
{
    change([mode, &text](CaptureSettings& c) { panelOf(c, mode).Text = text; });
}

void SettingsTarget::applyMultipleImageType(int entry)
{
    change([entry](CaptureSettings& c) { c.MultipleImageType = static_cast<int16_t>(entry); });
}

void SettingsTarget::applyAviRateEntry(int entry)
{
    change([entry](CaptureSettings& c) { c.AVIRate = static_cast<int16_t>(entry + 1); });
}

void SettingsTarget::applyTrigger(TriggerKind trigger)
{
    change([trigger](CaptureSettings& c) { c.Trigger = trigger; });
}

void SettingsTarget::applyInterval(int16_t totalSeconds)
{
    change([totalSeconds](CaptureSettings& c) { c.Interval = totalSeconds; });
}

void SettingsTarget::applySendToFtp(bool pressed)
{
    change([pressed](CaptureSettings& c) { c.SendToFTPServer = pressed; });
}

void SettingsTarget::applyFtpAddress(const QString& v)
{
    change([&v](CaptureSettings& c) { c.URL = v; });
}

void SettingsTarget::applyFtpPort(uint16_t v)
{
    change([v](CaptureSettings& c) { c.Port = v; });
}

void SettingsTarget::applyFtpUserName(const QString& v)
{
    change([&v](CaptureSettings& c) { c.Username = v; });
}

void SettingsTarget::applyFtpPassword(const QString& v)
{
    change([&v](CaptureSettings& c) { c.Password = v; });
}

void SettingsTarget::applyFtpDirectory(const QString& v)
{
    change([&v](CaptureSettings& c) { c.Directory = v; });
}

CaptureSettings readCaptureSettings(const QString& path, ParameterFileKind kind, const CaptureSettings& start,
                                    CaptureParms& parms, QString* refused)
{
    CaptureSettings settings = start;
    CopyTarget target(settings, parms);
    const QString note = ReadParameters(path, target, kind);
    if (refused)
        *refused = note;
    return settings;
}

} // namespace lv
