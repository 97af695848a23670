#include "app/masterparameters.h"
#include "app/master.h"
#include "app/videoscreen.h"
#include "capture/ui/capturewindow.h"
#include "settings/parameterfile.h"


namespace lv {

namespace {
PanelStamps& panelOf(CaptureSettings& c, CaptureKind mode)
{
    return mode == CaptureKind::MultipleImage ? c.SeriesStamps : c.ImageStamps;
}
} // namespace

FileResult MasterParameters::write(const QString& path, ParameterFileKind kind) const
{
    return WriteParameters(path, *this, kind);
}

void MasterParameters::read(const QString& path, ParameterFileKind kind)
{
    if (const QString refused = ReadParameters(path, *this, kind); !refused.isEmpty())
        m_master.setStatusString(refused);
}

CaptureSettings MasterParameters::captureSettings() const
{
    CaptureSettings c = m_master.model().forFile();
    c.DeviceIndex = m_state.DeviceIndex;
    c.DeviceDescription = m_master.videoScreen()->windowTitle();
    if (CaptureWindow* w = m_state.CaptureHandle)
        w->GetStatus(m_state.Status);
    c.ViewModeOverlay = m_state.Status.fOverlayWindow == 1;
    c.Hours = m_state.AutostartHours;
    c.Minutes = m_state.AutostartMinutes;
    c.Seconds = m_state.AutostartSeconds;
    c.Filename = m_state.CurrentFileName;
    c.Copyright = m_state.AviInfoFields[0];
    c.Artist = m_state.AviInfoFields[1];
    c.Subject = m_state.AviInfoFields[2];
    c.Product = m_state.AviInfoFields[3];
    c.Source = m_state.AviInfoFields[4];
    c.Comments = m_state.AviInfoFields[5];
    c.FrameRate = m_state.MovieFrameRate;

    const CaptureParms& p = m_state.Parms;
    c.CaptureOperationBackground = p.fYield == 1;
    c.VideoBuffers = p.wNumVideoRequested;
    c.AudioBuffers = p.wNumAudioRequested;
    c.DOSBuffers = p.fUsingDOSMemory == 1;
    c.WriteCache = p.fDisableWriteCache != 1;
    c.MaxIndexSize = p.dwIndexSize;
    c.ChunkGranularity = p.wChunkGranularity;
    c.DropError = p.wPercentDropForError;

    c.TimeColor = m_state.TimeColor;
    c.DateColor = m_state.DateColor;
    c.TextColor = m_state.TextColor;
    c.URL = m_state.FtpServer;
    c.Port = m_state.FtpPort;
    c.Username = m_state.FtpUserName;
    c.Password = m_state.FtpPassword;
    c.Directory = m_state.FtpDirectory;
    return c;
}

void MasterParameters::applyViewMode(bool overlay)
{
    if (overlay)
        m_master.videoScreen()->Overlay();
    else
        m_master.videoScreen()->Preview(m_state.PreviewRate);
}

void MasterParameters::applyPreviewRateEntry(int entry)
{
    // The rate is taken for later previews; the view mode just read stays as it is.
    m_master.model().edit([entry](CaptureSettings& c) { c.PreviewRate = static_cast<int16_t>(entry + 1); });
    m_state.PreviewRate = static_cast<int16_t>(entry + 1);
    if (m_state.Status.fLiveWindow == 1)
        m_master.videoScreen()->Preview(m_state.PreviewRate);
}

void MasterParameters::applyFilename(const QString& name)
{
    m_state.CurrentFileName = name;
    m_master.setPanelText(QStringLiteral("filename"), QStringLiteral("Filename: ") + name);
}

void MasterParameters::selectMode(CaptureKind mode)
{
    switch (mode) {
    case CaptureKind::Movie: m_master.SelectMovieMode(); break;
    case CaptureKind::SingleImage: m_master.SelectImageMode(); break;
    case CaptureKind::MultipleImage: m_master.SelectMultipleMode(); break;
    }
}

void MasterParameters::applyAudio(bool on) { m_master.SetAudioCapture(on); }
void MasterParameters::applyAudioChannelsEntry(int entry)
{
    m_master.model().edit([entry](CaptureSettings& c) { c.AudioChannels = entry + 1; });
}

void MasterParameters::applyAudioBitsEntry(int entry)
{
    m_master.model().edit([entry](CaptureSettings& c) { c.AudioBits = (entry + 1) * 8; });
}

void MasterParameters::applyAudioRateEntry(int entry)
{
    if (entry >= 0 && entry < 4)
        m_master.model().edit([entry](CaptureSettings& c) { c.AudioRate = kAudioRates[entry]; });
}
void MasterParameters::applyFrameRate2997() { m_master.frameRateDisplayClicked(); }

void MasterParameters::applyFrameRate(int16_t fps)
{
    m_master.model().edit([fps](CaptureSettings& c) { c.FrameRate = fps; });
    // An unchanged rate still shows in the display.
    m_master.setMovieFrameRateFromControl(fps);
}

void MasterParameters::applyNoLimit(bool checked)
{
    m_master.model().edit([checked](CaptureSettings& c) { c.Limit = !checked; });
}

void MasterParameters::applyMovieDuration(int32_t totalSeconds)
{
    m_master.model().edit([totalSeconds](CaptureSettings& c) { c.DurationSeconds = totalSeconds; });
}

void MasterParameters::applyAviInfo(CaptureKind mode, bool pressed)
{
    m_master.model().edit([mode, pressed](CaptureSettings& c) {
        (mode == CaptureKind::MultipleImage ? c.SeriesAviInfo : c.MovieAviInfo) = pressed;
    });
}

void MasterParameters::applyAviInfoField(int index, const QString& text)
{
    if (index >= 0 && index < 6)
        m_state.AviInfoFields[static_cast<size_t>(index)] = text;
}

void MasterParameters::applyStampOn(CaptureKind mode, StampItem item, bool pressed)
{
    m_master.model().edit([mode, item, pressed](CaptureSettings& c) {
        PanelStamps& p = panelOf(c, mode);
        (item == StampItem::Time ? p.InsertTime : item == StampItem::Date ? p.InsertDate : p.InsertText) = pressed;
    });
}

void MasterParameters::applyStampColor(StampItem item, uint32_t colour)
{
    (item == StampItem::Time ? m_state.TimeColor : item == StampItem::Date ? m_state.DateColor : m_state.TextColor) = colour;
    m_master.refreshSwatches();
}

void MasterParameters::applyStampPosition(CaptureKind mode, StampItem item, int entry)
{
    m_master.model().edit([mode, item, entry](CaptureSettings& c) {
        PanelStamps& p = panelOf(c, mode);
        (item == StampItem::Time ? p.TimePosition : item == StampItem::Date ? p.DatePosition : p.TextPosition) =
            static_cast<int16_t>(entry);
    });
}

void MasterParameters::applyStampText(CaptureKind mode, const QString& text)
{
    m_master.model().edit([mode, &text](CaptureSettings& c) { panelOf(c, mode).Text = text; });
}

void MasterParameters::applyMultipleImageType(int entry)
{
    const bool unchanged = m_master.model().settings().MultipleImageType == entry;
    m_master.model().edit([entry](CaptureSettings& c) { c.MultipleImageType = static_cast<int16_t>(entry); });
    if (unchanged)
        m_master.multipleImageModeChanged(entry);
}

void MasterParameters::applyAviRateEntry(int entry)
{
    m_master.model().edit([entry](CaptureSettings& c) { c.AVIRate = static_cast<int16_t>(entry + 1); });
}

void MasterParameters::applyTrigger(TriggerKind trigger)
{
    m_master.triggerClicked(trigger == TriggerKind::Timer    ? QStringLiteral("timer")
                            : trigger == TriggerKind::Motion ? QStringLiteral("motion")
                                                             : QStringLiteral("manual"));
}

void MasterParameters::applyInterval(int16_t totalSeconds)
{
    m_master.model().edit([totalSeconds](CaptureSettings& c) { c.Interval = totalSeconds; });
}

void MasterParameters::applySendToFtp(bool pressed)
{
    m_master.model().edit([pressed](CaptureSettings& c) { c.SendToFTPServer = pressed; });
}

} // namespace lv
