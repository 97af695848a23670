#include "app/videoscreen.h"
#include "app/mainwindow.h"
#include "base/settingsstore.h"
#include "base/ui/subwindowfit.h"
#include "base/textnumber.h"
#include "capture/movierecords.h"
#include "capture/ui/liveview.h"
#include "modes/movierecording.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QSpinBox>
#include <QWindow>

#include <cmath>

namespace lv {

VideoScreen::VideoScreen(MainWindow& master, QWidget* parent)
    : QWidget(parent)
    , m_master(master)
{
    setObjectName(QStringLiteral("VideoScreen"));
    setWindowTitle(QStringLiteral("Video"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    m_mira = new QLabel(this);
    m_mira->setObjectName(QStringLiteral("mira"));
    m_mira->setFixedSize(8, 8);
    m_mira->setAutoFillBackground(true);
    m_mira->setPalette(p);
    m_mira->installEventFilter(this);
    m_mira->setCursor(Qt::SizeAllCursor);
    resize(320, 240);
}

VideoScreen::~VideoScreen() { endRecording(); }

CaptureStatus& VideoScreen::status() { return m_master.model().deviceStatus(); }

const CaptureDriverCaps& VideoScreen::driverCaps() const { return m_master.model().deviceCaps(); }

void VideoScreen::resizeToVideo()
{
    LiveView* w = m_window;
    if (!w)
        return;
    w->GetStatus(status());
    w->FitWindow(0, 0, 0, 0);
    setWindowTitle(LiveView::GetDriverName(m_master.model().settings().DeviceIndex));
    const int width = static_cast<int>(status().uiImageWidth);
    const int height = static_cast<int>(status().uiImageHeight);
    m_master.setPanelText(QStringLiteral("resolution"),
                          QStringLiteral(" Resolution:%1x%2 ").arg(width).arg(height));
    // The picture wants the client area; the frame around it is the sub-window's.
    // Where the area is too small the window is made smaller and the picture scales.
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) {
        updateGeometry(); // the frame's own hint follows this window's: the picture plus title and borders
        SubWindowFit::resizeWithin(frame, frame->sizeHint().expandedTo(QSize(width, height)));
    } else {
        resize(width, height);
    }
    placeChildren();
}

QSize VideoScreen::sizeHint() const
{
    const CaptureStatus& st = m_master.model().deviceStatus();
    const QSize image(static_cast<int>(st.uiImageWidth), static_cast<int>(st.uiImageHeight));
    return image.isEmpty() ? QSize(320, 240) : image;
}

void VideoScreen::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    placeChildren();
}

void VideoScreen::placeChildren()
{
    // The capture window takes the whole client area and draws the whole picture in it.
    if (LiveView* w = m_window; w && w->parentWidget() == this)
        w->setGeometry(rect());
    m_mira->move(std::max(0, width() - m_mira->width()), std::max(0, height() - m_mira->height()));
    m_mira->raise();
}

QString VideoScreen::deviceFilePath() const
{
    return m_master.model().programDirectory() + QStringLiteral("lvsr.lv3");
}

void VideoScreen::Initialize()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    setWindowTitle(QStringLiteral("Initializing..."));
    // The caption shows before a device that is slow to open holds things up.
    if (QWidget* frame = parentWidget(); frame && frame->isVisible())
        frame->repaint();
    if (!connected()) {
        QApplication::restoreOverrideCursor();
        return;
    }
    LiveView::DisconnectDriver(m_window);
    m_window = LiveView::CreateCaptureWindow(this);
    LiveView* w = m_window;
    w->installEventFilter(this);
    w->SetStatusCallback([this](LiveView*, int code, const QString&) {
        m_master.run().LastStatusCode = static_cast<int16_t>(code);
        return true;
    });
    if (!w->ConnectDriver(m_master.model().settings().DeviceIndex)) {
        LiveView::DisconnectDriver(w);
        m_window = nullptr;
        m_master.setStatusString(QStringLiteral("Not Connected"));
        setWindowTitle(QStringLiteral("No Signal"));
        m_master.setPanelText(QStringLiteral("resolution"), QStringLiteral("N/A"));
        QApplication::restoreOverrideCursor();
        m_master.DeviceToolbar->button(QStringLiteral("fullscreen"))->setEnabled(false);
        ConnectionTag = QStringLiteral("0");
        return;
    }
    m_master.setStatusString(QStringLiteral("Connected"));
    m_master.model().setCaptureTimeText(QStringLiteral("00:00:00.00"));
    m_master.DeviceToolbar->button(QStringLiteral("fullscreen"))->setEnabled(m_master.action(Command::FullScreen)->isEnabled());

    CaptureDriverCaps& caps = m_master.model().deviceCaps();
    w->GetDriverCaps(caps);
    resizeToVideo();
    w->GetDriverCaps(caps);
    w->GetStatus(status());
    w->GetSequenceSetup(m_master.model().captureParms());

    m_master.DeviceToolbar->button(QStringLiteral("overlay"))->setEnabled(caps.fHasOverlay == 1);
    m_master.action(Command::Overlay)->setEnabled(caps.fHasOverlay == 1);
    m_master.DeviceToolbar->button(QStringLiteral("source"))->setEnabled(caps.fHasDlgVideoSource == 1);
    m_master.action(Command::VideoSource)->setEnabled(caps.fHasDlgVideoSource == 1);
    m_master.DeviceToolbar->button(QStringLiteral("format"))->setEnabled(caps.fHasDlgVideoFormat == 1);
    m_master.action(Command::VideoFormat)->setEnabled(caps.fHasDlgVideoFormat == 1);
    m_master.DeviceToolbar->button(QStringLiteral("display"))->setEnabled(caps.fHasDlgVideoDisplay == 1);
    m_master.action(Command::VideoDisplay)->setEnabled(caps.fHasDlgVideoDisplay == 1);

    w->GetStatus(status());
    if (status().fOverlayWindow == 1 && caps.fHasOverlay == 1)
        Overlay();
    else
        Preview(m_master.model().settings().PreviewRate);

    // The device's records into the movie panel's settings.
    AudioFormat audio;
    w->GetAudioFormat(audio, kAudioFormatSize);
    const CaptureParms& parms = m_master.model().captureParms();
    m_master.model().edit([&audio, &parms](CaptureSettings& c) { movieSettingsFromRecords(parms, audio, c); });
    // The audio button's own handler runs as if the user had pressed it.
    m_master.SetAudioCapture(m_master.model().settings().Audio);

    m_master.setPanelText(QStringLiteral("filename"), QStringLiteral("Filename: ") + w->GetCaptureFile());
    m_master.model().captureParms().fYield = static_cast<uint32_t>(std::max(0, readInt32(
        settings::get(QStringLiteral("VLUMIVARK"), QStringLiteral("ADV"), QStringLiteral("YIELD"), QStringLiteral("1")))));
    if (readDeviceFile)
        readDeviceFile(deviceFilePath());
    // The index size comes from the device, which keeps the user's choice (324000 until one is made).
    QApplication::restoreOverrideCursor();
}

void VideoScreen::Disconnect()
{
    settings::save(QStringLiteral("LV"), QStringLiteral("LV"), QStringLiteral("PUMV"), m_master.model().preferences().PopUpMovieViewer);
    settings::save(QStringLiteral("LV"), QStringLiteral("LV"), QStringLiteral("AP"), m_master.model().preferences().Autoplay);
    settings::save(QStringLiteral("LV"), QStringLiteral("LV"), QStringLiteral("ES"), m_master.model().preferences().SystemSounds);
    // Before the window holds the session's settings its controls are blank:
    // they may start a missing file but never overwrite the saved one.
    if (writeDeviceFile && (m_settingsLoaded || !QFile::exists(deviceFilePath())))
        writeDeviceFile(deviceFilePath());
    if (connected()) {
        settings::save(QStringLiteral("VLUMIVARK"), QStringLiteral("ADV"), QStringLiteral("YIELD"),
                       QString::number(m_master.model().captureParms().fYield));
        if (LiveView* w = m_window) {
            // What the user set stays with the device for its next connect.
            movieSettingsToDevice();
            w->SetSequenceSetup(m_master.model().captureParms());
            w->KeepSettings();
            w->SetStatusCallback({});
            // The file is finished; the window no longer hears of it.
            endRecording();
            m_recordingAbort.disarm();
            w->removeEventFilter(this);
            LiveView::DisconnectDriver(w);
            m_window = nullptr;
        }
    }
    ConnectionTag.clear();
}

void VideoScreen::RefreshWindow()
{
    if (!connected() || !m_window)
        return;
    m_window->GetStatus(status());
    resizeToVideo();
}

void VideoScreen::VideoSource()
{
    if (!connected() || !m_window)
        return;
    if (m_window->ShowSourceDialog())
        m_window->KeepSettings();
    RefreshWindow();
}

void VideoScreen::VideoDisplay()
{
    if (!connected() || !m_window)
        return;
    if (m_window->ShowDisplayDialog())
        m_window->KeepSettings();
    RefreshWindow();
}

void VideoScreen::VideoFormat()
{
    if (!connected() || !m_window)
        return;
    if (m_window->ShowFormatDialog())
        m_window->KeepSettings();
    RefreshWindow();
}

void VideoScreen::VideoCompressionDialog()
{
    if (connected() && m_window)
        m_window->ShowCompressionDialog();
}

void VideoScreen::viewButtons()
{
    KeyedToolBar* tb = m_master.DeviceToolbar;
    const CaptureStatus& st = status();
    if (st.fLiveWindow == 1) {
        tb->setPressed(QStringLiteral("overlay"), false);
        tb->setPressed(QStringLiteral("preview"), true);
    } else if (st.fOverlayWindow == 1) {
        tb->setPressed(QStringLiteral("overlay"), true);
        tb->setPressed(QStringLiteral("preview"), false);
    }
}

void VideoScreen::Overlay()
{
    if (!connected() || !m_window)
        return;
    m_window->StartOverlay();
    m_window->GetStatus(status());
    viewButtons();
}

void VideoScreen::Preview(int16_t rate)
{
    if (!connected() || !m_window)
        return;
    m_window->StartPreview(rate);
    m_window->GetStatus(status());
    viewButtons();
}

void VideoScreen::Record()
{
    LiveView* w = m_window;
    if (!connected() || !w)
        return;
    w->SetCaptureFile(m_master.model().fileName());
    CaptureParms& p = m_master.model().captureParms();
    p.AVStreamMaster = 0;
    p.fAbortLeftMouse = 1;
    p.fAbortRightMouse = 1;
    movieSettingsToDevice();
    p.fMCIControl = 0;
    p.fStepCaptureAt2x = 0;
    w->SetSequenceSetup(p);
    QFile::remove(m_master.model().fileName());
    m_master.setStatusString(QStringLiteral("Recording"));
    m_master.model().setRunState(RunState::Recording);
    if (p.fYield == 0) {
        m_master.model().setCaptureTimeText(QString());
        m_master.model().setDroppedText(QStringLiteral("Exclusive Task"));
    }

    // The device's records as it keeps them, with what the movie panel asks for.
    MovieRecordingSettings settings;
    settings.fileName = m_master.model().fileName();
    w->GetSequenceSetup(settings.parms);
    w->GetAudioFormat(settings.audio, w->GetAudioFormatSize());
    settings.writeInfo = m_master.model().writesInfo();
    settings.info = m_master.model().infoFields();
    endRecording();
    auto* recording = new MovieRecording(w->session(), settings, this);
    m_recording = recording;
    connect(recording, &MovieRecording::ended, this, [this, recording] {
        if (recording == m_recording)
            m_recordingAbort.disarm();
        recording->deleteLater();
    });
    m_master.watchRecording(*recording);
    // Returns at once in both modes; the end comes by the recording's ended().
    if (recording->start()) {
        m_recordingAbort.arm(&m_master, {p.fAbortLeftMouse == 1, p.fAbortRightMouse == 1, p.fYield == 0}, [this] {
            if (m_recording)
                m_recording->stop();
        });
    } else {
        // Nothing was recorded: no end of capture will come to reset the window.
        m_master.setStatusString(QStringLiteral("Cannot record ") + m_master.model().fileName() + QStringLiteral(": ")
                                 + recording->errorText());
        m_master.model().setRunState(RunState::Idle);
        m_master.model().setCaptureTimeText(QString());
        delete recording;
    }
}

// A recording still running is finished without a report (the window is
// going, or another recording takes its place).
void VideoScreen::endRecording()
{
    // One that has ended reports its end first and then goes by itself.
    if (m_recording && m_recording->running())
        delete m_recording.data();
}

// The movie panel's audio, time limit, frame rate and sound format into the
// device's records (the capture records and the sound format).
void VideoScreen::movieSettingsToDevice()
{
    LiveView* w = m_window;
    AudioFormat a;
    w->GetAudioFormat(a, w->GetAudioFormatSize());
    movieSettingsToRecords(m_master.model().settings(), m_master.model().captureParms(), a);
    w->SetAudioFormat(a, w->GetAudioFormatSize());
}

void VideoScreen::StopCapture()
{
    if (!connected() || !m_window)
        return;
    if (m_recording)
        m_recording->stop();
    else
        m_window->StopSequence();
    m_master.setStatusString(QStringLiteral("Stopped"));
}

void VideoScreen::ImageOnClipboard(std::function<void(const QImage&)> done)
{
    // The marker's picture stands in for a failed grab, never an older frame.
    QImage marker = m_mira->grab().toImage().convertToFormat(QImage::Format_RGB888);
    if (connected() && m_window)
        m_window->CopyFrameToClipboard(
            [marker = std::move(marker), done = std::move(done)](FramePtr f) { done(f ? f->picture() : marker); });
    else
        done(marker);
}

void VideoScreen::SetFilename(const QString& name)
{
    if (connected() && m_window)
        m_window->SetCaptureFile(name);
}

QString VideoScreen::GetFilename()
{
    if (!connected() || !m_window)
        return QStringLiteral("Error");
    return m_window->GetCaptureFile();
}

void VideoScreen::OpenMultipleImage()
{
    if (!connected() || !m_window)
        return;
    m_window->SetCaptureFile(m_master.model().fileName());
    m_window->OpenSingleFrames();
}

void VideoScreen::SetCaptureParameters()
{
    if (connected() && m_window)
        m_window->SetSequenceSetup(m_master.model().captureParms());
}

void VideoScreen::CaptureSingle()
{
    if (!connected() || !m_window)
        return;
    m_window->CaptureOneFrame();
    m_master.setStatusString(QStringLiteral("Capturing Frame"));
}

void VideoScreen::closeEvent(QCloseEvent* e)
{
    Disconnect();
    QWidget::closeEvent(e);
}

bool VideoScreen::eventFilter(QObject* watched, QEvent* event)
{
    const bool onPicture = m_window && watched == m_window;
    if (watched == m_mira || onPicture) {
        if (event->type() == QEvent::MouseButtonPress) {
            auto* me = static_cast<QMouseEvent*>(event);
            if (me->button() == Qt::LeftButton) {
                // Drag the video window by the picture or its corner marker.
                QWidget* frame = parentWidget() ? parentWidget() : this;
                frame->setProperty("dragOrigin", me->globalPosition().toPoint() - frame->pos());
                return true;
            }
        } else if (event->type() == QEvent::MouseMove) {
            auto* me = static_cast<QMouseEvent*>(event);
            QWidget* frame = parentWidget() ? parentWidget() : this;
            const QVariant origin = frame->property("dragOrigin");
            if ((me->buttons() & Qt::LeftButton) && origin.isValid())
                frame->move(me->globalPosition().toPoint() - origin.toPoint());
            return true;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            auto* me = static_cast<QMouseEvent*>(event);
            QWidget* frame = parentWidget() ? parentWidget() : this;
            frame->setProperty("dragOrigin", QVariant());
            if (onPicture && me->button() == Qt::RightButton)
                m_master.VideoSettingsMenu->popup(me->globalPosition().toPoint());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace lv
