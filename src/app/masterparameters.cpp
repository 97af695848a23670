#include "app/masterparameters.h"
#include "app/master.h"
#include "app/videoscreen.h"
#include "capture/capturewindow.h"
#include "settings/parameterfile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>

namespace lv {

namespace {
const QString kTime = QStringLiteral("time");
const QString kDate = QStringLiteral("date");
const QString kText = QStringLiteral("text");

const QString& keyOf(StampItem item)
{
    return item == StampItem::Time ? kTime : item == StampItem::Date ? kDate : kText;
}

void setDuration(QSpinBox* h, QSpinBox* m, QSpinBox* s, int64_t total)
{
    h->setValue(CaptureWindow::HoursOf(total));
    m->setValue(CaptureWindow::MinutesOf(total));
    s->setValue(CaptureWindow::SecondsOf(total));
}
} // namespace

bool MasterParameters::write(const QString& path, ParameterFileKind kind, QString* error) const
{
    return WriteParameters(path, *this, kind, error);
}

void MasterParameters::read(const QString& path, ParameterFileKind kind)
{
    if (const QString refused = ReadParameters(path, *this, kind); !refused.isEmpty())
        m_master.setStatusString(refused);
}

CaptureSettings MasterParameters::captureSettings() const
{
    Master& m = m_master;
    CaptureSettings c;
    c.DeviceIndex = m_state.DeviceIndex;
    c.DeviceDescription = m.videoScreen()->windowTitle();
    if (CaptureWindow* w = m_state.CaptureHandle)
        w->GetStatus(m_state.Status);
    c.ViewModeOverlay = m_state.Status.fOverlayWindow == 1;
    c.PreviewRate = static_cast<int16_t>(m.previewrate->currentIndex() + 1);
    c.Hours = m_state.AutostartHours;
    c.Minutes = m_state.AutostartMinutes;
    c.Seconds = m_state.AutostartSeconds;
    c.Filename = m_state.CurrentFileName;
    const QString band = m.visibleBand();
    if (band == QLatin1String("movie"))
        c.Capture = CaptureKind::Movie;
    else if (band == QLatin1String("image"))
        c.Capture = CaptureKind::SingleImage;
    else if (band == QLatin1String("multiple"))
        c.Capture = CaptureKind::MultipleImage;
    else
        c.Capture.reset();

    c.Audio = m.MovieToolbar->isPressed(QStringLiteral("audio"));
    c.AudioChannels = m.AudioChannels->currentIndex() + 1;
    c.AudioBits = (m.AudioBits->currentIndex() + 1) * 8;
    static const int32_t rates[] = {8000, 11025, 22050, 44100};
    const int ri = m.AudioRate->currentIndex();
    c.AudioRate = ri >= 0 && ri < 4 ? rates[ri] : 0;
    c.AviInfo = band == QLatin1String("multiple") ? m.MultipleImageToolbar->isPressed(QStringLiteral("writeinfo"))
                                                  : m.MovieToolbar->isPressed(QStringLiteral("writeinfo"));
    c.Copyright = m_state.AviInfoFields[0];
    c.Artist = m_state.AviInfoFields[1];
    c.Subject = m_state.AviInfoFields[2];
    c.Product = m_state.AviInfoFields[3];
    c.Source = m_state.AviInfoFields[4];
    c.Comments = m_state.AviInfoFields[5];
    c.FrameRate = m_state.MovieFrameRate;
    c.Limit = !m.MovieDisableLimit->isChecked();
    c.DurationSeconds = static_cast<int32_t>(CaptureWindow::TotalSeconds(
        m.MovieHoursControl->value(), m.MovieMinutesControl->value(), m.MovieSecondsControl->value()));

    const CaptureParms& p = m_state.Parms;
    c.CaptureOperationBackground = p.fYield == 1;
    c.VideoBuffers = p.wNumVideoRequested;
    c.AudioBuffers = p.wNumAudioRequested;
    c.DOSBuffers = p.fUsingDOSMemory == 1;
    c.WriteCache = p.fDisableWriteCache != 1;
    c.MaxIndexSize = p.dwIndexSize;
    c.ChunkGranularity = p.wChunkGranularity;
    c.DropError = p.wPercentDropForError;

    c.MultipleImageType = static_cast<int16_t>(m.MultipleImageMode->currentIndex());
    c.AVIRate = static_cast<int16_t>(m.MultipleImageFrameRate->currentIndex() + 1);
    const Master::StampPanel panel = m.stampPanel(band == QLatin1String("multiple"));
    c.InsertTime = panel.toolbar->isPressed(kTime);
    c.InsertDate = panel.toolbar->isPressed(kDate);
    c.InsertText = panel.toolbar->isPressed(kText);
    c.TimeColor = m_state.TimeColor;
    c.DateColor = m_state.DateColor;
    c.TextColor = m_state.TextColor;
    c.TimePosition = static_cast<int16_t>(panel.timePosition->currentIndex());
    c.DatePosition = static_cast<int16_t>(panel.datePosition->currentIndex());
    c.TextPosition = static_cast<int16_t>(panel.textPosition->currentIndex());
    c.Text = panel.text->text();
    if (m.TriggerType->isPressed(QStringLiteral("manual")))
        c.Trigger = TriggerKind::Manual;
    else if (m.TriggerType->isPressed(QStringLiteral("timer")))
        c.Trigger = TriggerKind::Timer;
    else if (m.TriggerType->isPressed(QStringLiteral("motion")))
        c.Trigger = TriggerKind::Motion;
    else
        c.Trigger.reset();
    c.Interval = static_cast<int32_t>(CaptureWindow::TotalSeconds(m.MultipleImageHoursControl->value(),
                                                                   m.MultipleImageMinutesControl->value(),
                                                                   m.MultipleImageSecondsControl->value()));
    c.SendToFTPServer = m.MultipleImageToolbar->isPressed(QStringLiteral("ftp"));
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
    m_master.previewrate->setCurrentIndex(entry);
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
void MasterParameters::applyAudioChannelsEntry(int entry) { m_master.AudioChannels->setCurrentIndex(entry); }
void MasterParameters::applyAudioBitsEntry(int entry) { m_master.AudioBits->setCurrentIndex(entry); }
void MasterParameters::applyAudioRateEntry(int entry) { m_master.AudioRate->setCurrentIndex(entry); }
void MasterParameters::applyFrameRate2997() { m_master.frameRateDisplayClicked(); }

void MasterParameters::applyFrameRate(int16_t fps)
{
    m_master.MovieFrameRateControl->setValue(fps);
    // An unchanged up-down fires no change; the rate still follows it.
    m_master.setMovieFrameRateFromControl(fps);
}

void MasterParameters::applyNoLimit(bool checked) { m_master.MovieDisableLimit->setChecked(checked); }

void MasterParameters::applyMovieDuration(int32_t totalSeconds)
{
    setDuration(m_master.MovieHoursControl, m_master.MovieMinutesControl, m_master.MovieSecondsControl, totalSeconds);
}

void MasterParameters::applyAviInfo(CaptureKind mode, bool pressed)
{
    (mode == CaptureKind::MultipleImage ? m_master.MultipleImageToolbar : m_master.MovieToolbar)
        ->setPressed(QStringLiteral("writeinfo"), pressed);
}

void MasterParameters::applyAviInfoField(int index, const QString& text)
{
    if (index >= 0 && index < 6)
        m_state.AviInfoFields[static_cast<size_t>(index)] = text;
}

void MasterParameters::applyStampOn(CaptureKind mode, StampItem item, bool pressed)
{
    m_master.stampPanel(mode == CaptureKind::MultipleImage).toolbar->setPressed(keyOf(item), pressed);
}

void MasterParameters::applyStampColor(StampItem item, uint32_t colour)
{
    (item == StampItem::Time ? m_state.TimeColor : item == StampItem::Date ? m_state.DateColor : m_state.TextColor) = colour;
    m_master.refreshSwatches();
}

void MasterParameters::applyStampPosition(CaptureKind mode, StampItem item, int entry)
{
    const Master::StampPanel p = m_master.stampPanel(mode == CaptureKind::MultipleImage);
    (item == StampItem::Time ? p.timePosition : item == StampItem::Date ? p.datePosition : p.textPosition)
        ->setCurrentIndex(entry);
}

void MasterParameters::applyStampText(CaptureKind mode, const QString& text)
{
    m_master.stampPanel(mode == CaptureKind::MultipleImage).text->setText(text);
}

void MasterParameters::applyMultipleImageType(int entry)
{
    const bool unchanged = m_master.MultipleImageMode->currentIndex() == entry;
    m_master.MultipleImageMode->setCurrentIndex(entry);
    if (unchanged)
        m_master.multipleImageModeChanged(entry);
}

void MasterParameters::applyAviRateEntry(int entry) { m_master.MultipleImageFrameRate->setCurrentIndex(entry); }

void MasterParameters::applyTrigger(TriggerKind trigger)
{
    m_master.triggerClicked(trigger == TriggerKind::Timer    ? QStringLiteral("timer")
                            : trigger == TriggerKind::Motion ? QStringLiteral("motion")
                                                             : QStringLiteral("manual"));
}

void MasterParameters::applyInterval(int16_t totalSeconds)
{
    setDuration(m_master.MultipleImageHoursControl, m_master.MultipleImageMinutesControl,
                m_master.MultipleImageSecondsControl, totalSeconds);
}

void MasterParameters::applySendToFtp(bool pressed)
{
    m_master.MultipleImageToolbar->setPressed(QStringLiteral("ftp"), pressed);
}

} // namespace lv
