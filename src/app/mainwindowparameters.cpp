#include "app/mainwindowparameters.h"
#include "app/mainwindow.h"
#include "app/panels/moviepanel.h"
#include "app/panels/seriespanel.h"
#include "app/videoscreen.h"
#include "capture/ui/liveview.h"
#include "settings/parameterfile.h"

namespace lv {

FileResult MainWindowParameters::write(const QString& path, ParameterFileKind kind) const
{
    return WriteParameters(path, *this, kind);
}

void MainWindowParameters::read(const QString& path, ParameterFileKind kind)
{
    if (const QString refused = ReadParameters(path, *this, kind); !refused.isEmpty())
        m_master.setStatusString(refused);
}

CaptureSettings MainWindowParameters::captureSettings() const
{
    CaptureSettings c = m_master.model().forFile();
    VideoScreen& screen = *m_master.videoScreen();
    c.DeviceDescription = screen.windowTitle();
    if (LiveView* w = screen.captureWindow())
        w->GetStatus(screen.status());
    c.ViewModeOverlay = screen.status().fOverlayWindow == 1;
    return c;
}

CaptureParms& MainWindowParameters::captureParms() { return m_master.model().captureParms(); }

void MainWindowParameters::change(const std::function<void(CaptureSettings&)>& edit) { m_master.model().edit(edit); }

void MainWindowParameters::applyViewMode(bool overlay)
{
    SettingsTarget::applyViewMode(overlay);
    if (overlay)
        m_master.videoScreen()->Overlay();
    else
        m_master.videoScreen()->Preview(m_master.model().settings().PreviewRate);
}

void MainWindowParameters::applyPreviewRateEntry(int entry)
{
    // The rate is taken for later previews; the view mode just read stays as it is.
    SettingsTarget::applyPreviewRateEntry(entry);
    if (m_master.videoScreen()->status().fLiveWindow == 1)
        m_master.videoScreen()->Preview(m_master.model().settings().PreviewRate);
}

void MainWindowParameters::applyFilename(const QString& name)
{
    SettingsTarget::applyFilename(name);
    m_master.setPanelText(QStringLiteral("filename"), QStringLiteral("Filename: ") + name);
}

// The mode's band shows, and the model follows what shows.
void MainWindowParameters::selectMode(CaptureKind mode)
{
    switch (mode) {
    case CaptureKind::Movie: m_master.SelectMovieMode(); break;
    case CaptureKind::SingleImage: m_master.SelectImageMode(); break;
    case CaptureKind::MultipleImage: m_master.SelectMultipleMode(); break;
    }
}

void MainWindowParameters::applyAudio(bool on) { m_master.SetAudioCapture(on); }

void MainWindowParameters::applyFrameRate2997() { m_master.moviePanel().setFrameRate2997(); }

void MainWindowParameters::applyFrameRate(int16_t fps)
{
    SettingsTarget::applyFrameRate(fps);
    // An unchanged rate still shows in the display.
    m_master.moviePanel().showFrameRateOf(fps);
}

void MainWindowParameters::applyStampColor(StampItem item, uint32_t colour)
{
    SettingsTarget::applyStampColor(item, colour);
    m_master.refreshSwatches();
}

void MainWindowParameters::applyMultipleImageType(int entry)
{
    const bool unchanged = m_master.model().settings().MultipleImageType == entry;
    SettingsTarget::applyMultipleImageType(entry);
    if (unchanged)
        m_master.seriesPanel().showFileType(entry);
}

void MainWindowParameters::applyTrigger(TriggerKind trigger)
{
    m_master.seriesPanel().setTrigger(trigger);
}

} // namespace lv
