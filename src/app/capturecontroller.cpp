#include "app/capturecontroller.h"
#include "app/master.h"
#include "app/videoscreen.h"
#include "app/windowplaces.h"
#include "base/clock.h"
#include "base/dialogs.h"
#include "base/diskspace.h"
#include "base/programdirectory.h"
#include "base/settingsstore.h"
#include "base/textnumber.h"
#include "base/version.h"
#include "capture/capturewindow.h"
#include "image/bitmapfile.h"
#include "image/image.h"
#include "image/jpegoutput.h"
#include "image/multiimage.h"
#include "image/stamping.h"
#include "modes/motionmeasure.h"
#include "modes/seriesnaming.h"
#include "modes/shuttersound.h"
#include "movie/movieinfo.h"
#include "net/ftpimage.h"
#include "net/ftpsettings.h"
#include "schedule/autostart.h"

#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <utility>

namespace lv {

namespace {

const QString kRecord = QStringLiteral("record");

QMdiSubWindow* subWindowOf(QWidget* w) { return w ? qobject_cast<QMdiSubWindow*>(w->parentWidget()) : nullptr; }

} // namespace

CaptureController::CaptureController(Master& master, SessionState& state)
    : QObject(&master)
    , playSound(&playSoundToEnd)
    , m_master(master)
    , m_state(state)
    , m_motion(std::make_unique<motion::Detector>())
    , m_countdown(std::make_unique<SeriesCountdown>())
{
    connect(&m_master.MultipleImageTimer, &QTimer::timeout, this, &CaptureController::seriesTimerTick);
    connect(&m_master.MotionTimer, &QTimer::timeout, this, &CaptureController::motionTick);
    connect(m_master.Shooter, &QPushButton::clicked, this, [this] { ShootImage(); });
    // After the window's own housekeeping on the same tick.
    connect(&m_master.MasterTimer, &QTimer::timeout, this, &CaptureController::masterTick);

    m_master.OperationBar->button(kRecord)->setEnabled(true);
    m_master.OperationBar->button(QStringLiteral("autostart"))->setEnabled(true);
    m_master.OperationBar->button(QStringLiteral("motion"))->setEnabled(true);
    m_master.DeviceToolbar->button(QStringLiteral("snapshot"))->setEnabled(true);
    m_master.action(Command::Snapshot)->setEnabled(true);
    m_master.action(Command::Clipboard)->setEnabled(true);
    m_master.m_motionReady = true;
    m_master.m_autostartReady = true;
}

CaptureController::~CaptureController() = default;

bool CaptureController::handle(Command command)
{
    if (command == Command::Record)
        RecordButton();
    else if (command == Command::Snapshot)
        CaptureFrameToEditor();
    else if (command == Command::Clipboard)
        PutFrameOnClipboard();
    else if (command == Command::MotionDetector)
        ArmMotionDetector();
    else if (command == Command::Autostart)
        OpenAutostart();
    else if (command == Command::WriteMovieInfo)
        WriteInfo();
    else
        return false;
    return true;
}

// --- Helpers --------------------------------------------------------------

void CaptureController::watchDevice()
{
    CaptureWindow* w = m_state.CaptureHandle;
    if (w == m_watched)
        return;
    m_watched = w;
    m_deviceLost = false;
    if (w) {
        connect(w, &CaptureWindow::deviceLost, this, [this](const QString& reason) {
            m_deviceLost = true;
            m_master.setStatusString(QStringLiteral("Capture device lost: ") + reason);
        });
    }
}

QImage CaptureController::grabFrame()
{
    watchDevice();
    if (m_deviceLost)
        return {};
    m_master.videoScreen()->ImageOnClipboard();
    const FramePtr f = CaptureWindow::grabbedFrame();
    return f ? f->image : QImage();
}

StampSettings CaptureController::stampsOf(bool series) const
{
    const Master::StampPanel p = m_master.stampPanel(series);
    StampSettings s;
    s.timeOn = p.toolbar->isPressed(QStringLiteral("time"));
    s.timeColor = m_state.TimeColor;
    s.timePosition = p.timePosition->currentIndex();
    s.dateOn = p.toolbar->isPressed(QStringLiteral("date"));
    s.dateColor = m_state.DateColor;
    s.datePosition = p.datePosition->currentIndex();
    s.textOn = p.toolbar->isPressed(QStringLiteral("text"));
    s.textColor = m_state.TextColor;
    s.textPosition = p.textPosition->currentIndex();
    s.text = p.text->text();
    return s;
}

StampSettings CaptureController::imageStamps() const { return stampsOf(false); }
StampSettings CaptureController::seriesStamps() const { return stampsOf(true); }


Image* CaptureController::ensureEditor()
{
    if (!m_editor) {
        m_editor = new Image;
        m_editor->setJpegQuality(m_state.JpegQuality);
        connect(m_editor, &Image::statusString, &m_master, &Master::setStatusString);
        // Queued: the waiting captures run after the question has gone, never inside it.
        connect(m_editor, &Image::discardQuestionAnswered, this, &CaptureController::runWaitingCaptures,
                Qt::QueuedConnection);
        // A closed editor is gone for captures at once, though deleted a little later.
        connect(m_editor, &Image::closing, this, [this] { m_editor = nullptr; });
        // Where the editor was last time; its size follows its picture.
        if (QMdiSubWindow* sub = m_master.mdiArea()->addSubWindow(m_editor))
            windowplaces::restoreChild(*sub, false);
    }
    return m_editor;
}

MultiImage* CaptureController::ensureViewer()
{
    if (!m_viewer) {
        m_viewer = new MultiImage;
        m_master.mdiArea()->addSubWindow(m_viewer);
    }
    return m_viewer;
}

void CaptureController::closeViewer()
{
    // The sub-window deletes itself on close; the viewer is gone for us at once.
    if (QMdiSubWindow* sub = subWindowOf(m_viewer))
        sub->close();
    else if (m_viewer)
        m_viewer->close();
    m_viewer = nullptr;
}

void CaptureController::shutterSound()
{
    if (m_state.SystemSounds != QLatin1String("1") || !playSound)
        return;
    const QString wav = findDataFile(QStringLiteral("camera.wav"));
    if (!wav.isEmpty())
        playSound(wav);
}

bool CaptureController::editorMayTakeFrame(std::function<void()> retry)
{
    if (!m_editor)
        return true;
    if (m_editor->isAsking()) {
        m_waitingCaptures.push_back(std::move(retry));
        return false;
    }
    if (m_editor->mayDiscard())
        return true;
    m_master.setStatusString(QStringLiteral("Capture cancelled: the edited picture is kept"));
    return false;
}

void CaptureController::runWaitingCaptures()
{
    if (m_editor && m_editor->isAsking())
        return; // asked again meanwhile; its answer brings us back
    auto waiting = std::exchange(m_waitingCaptures, {});
    for (auto& capture : waiting)
        capture();
}

bool CaptureController::editorFrame(const QString& caption, std::function<void()> retry)
{
    if (!editorMayTakeFrame(std::move(retry)))
        return false;
    const QImage frame = grabFrame();
    shutterSound();
    if (frame.isNull()) {
        m_master.setStatusString(QStringLiteral("No picture from the capture device"));
        return false;
    }
    QPointer<Image> ed = ensureEditor();
    ed->setNewFrame(frame);
    QCoreApplication::processEvents();
    if (!ed)
        return false;
    ed->setWindowTitle(caption);
    if (QMdiSubWindow* sub = subWindowOf(ed))
        sub->show();
    ed->show();
    return true;
}

bool CaptureController::overwriteAllowed(bool withIcon)
{
    const bool ask = readInt32(settings::get(QStringLiteral("LV"), QStringLiteral("MD"), QStringLiteral("OQ"),
                                             QStringLiteral("1")))
        == 1;
    if (!ask || m_state.MotionInterrupted || !QFileInfo(m_state.CurrentFileName).isFile())
        return true;
    const auto answer = dialogs().message(QStringLiteral("The file ") + m_state.CurrentFileName
                                              + QStringLiteral(" already exists. Do you want to replace the existing file ?"),
                                          withIcon ? Dialogs::Icon::Warning : Dialogs::Icon::Information,
                                          Dialogs::Buttons::YesNo, programTitle(), &m_master);
    return answer == Dialogs::Answer::Yes;
}

// --- Dispatch -------------------------------------------------------------

void CaptureController::DispatchCapture(bool start)
{
    if (m_autostart) {
        m_autostart->close();
        m_autostart->deleteLater();
        m_autostart = nullptr;
    }
    m_state.MotionSeries = false;
    m_state.MotionInterrupted = false;
    if (m_master.MotionTimer.isActive()) {
        m_state.MotionInterrupted = true;
        m_master.MotionTimer.stop();
        m_master.setStatusString(QString());
    }

    const QString band = m_master.visibleBand();
    KeyedToolBar* ops = m_master.OperationBar;
    // Without a device nothing can start: say so before any question about files.
    const bool starts = band == QLatin1String("image") || (start && !band.isEmpty());
    if (starts && (m_master.videoScreen()->ConnectionTag != QLatin1String("vfw") || !m_state.CaptureHandle)) {
        m_master.setStatusString(QStringLiteral("Not Connected"));
        return;
    }
    if (band == QLatin1String("movie")) {
        m_state.FrameRate = m_master.MovieFrameRateControl->value();
        if (!start) {
            // A press on the record button is a mouse press; a keyboard or
            // programmatic press must stop the recording just the same.
            CaptureWindow* w = m_state.CaptureHandle;
            if (w && w->GetStatus(m_state.Status) && m_state.Status.fCapturingNow == 1)
                m_master.videoScreen()->StopCapture();
            return;
        }
        if (!overwriteAllowed(true))
            return;
        if (m_state.PopUpMovieViewer == QLatin1String("1"))
            emit m_master.commandRequested(Command::CloseMovieViewer);
        m_state.EstimatedSize = 0;
        m_state.FreeSpaceAtStart = freeDiskSpace(m_state.CurrentFileName);
        m_state.FreeSpaceNow = m_state.FreeSpaceAtStart;
        m_state.ViewerShown = false;
        watchDevice();
        m_master.videoScreen()->Record();
        return;
    }

    if (band == QLatin1String("image")) {
        if (!editorMayTakeFrame([this] { DispatchCapture(true); }))
            return;
        ops->button(QStringLiteral("motion"))->setEnabled(true);
        const QImage frame = grabFrame();
        ops->setImageKey(kRecord, QStringLiteral("pause"));
        if (frame.isNull()) {
            m_master.setStatusString(QStringLiteral("No picture from the capture device"));
            return;
        }
        Image* ed = ensureEditor();
        ed->setNewFrame(frame);
        ed->setWindowTitle(QStringLiteral("Untitled "));
        if (QMdiSubWindow* sub = subWindowOf(ed))
            sub->show();
        ed->show();
        QCoreApplication::processEvents();
        if (!m_editor)
            return;
        m_editor->stamp(imageStamps(), 0);
        QCoreApplication::processEvents();
        if (m_editor)
            m_editor->setResetPicture(m_editor->MasterImage().drawnImage());
        return;
    }

    if (band != QLatin1String("multiple"))
        return;

    const int type = m_master.MultipleImageMode->currentIndex();
    m_state.FrameRate = m_master.MultipleImageFrameRate->currentIndex() + 1;
    m_state.ImageCount = 0;
    if (start) {
        if (type == 0 && !overwriteAllowed(false))
            return;
        m_numberOffset = highestSeriesNumber(m_state.CurrentFileName, type);
        m_master.AllControls(false);
        m_master.Shooter->setEnabled(true);
        m_master.MultipleImageFrameRate->setEnabled(false);
        ops->button(QStringLiteral("autostart"))->setEnabled(false);
        ops->button(QStringLiteral("motion"))->setEnabled(false);
        ops->setImageKey(kRecord, QStringLiteral("stop"));
        QCoreApplication::processEvents();

        KeyedToolBar* trigger = m_master.TriggerType;
        if (trigger->isPressed(QStringLiteral("motion"))) {
            m_state.MotionSeries = true;
            m_master.MotionTimer.start();
        } else if (trigger->isPressed(QStringLiteral("timer"))) {
            m_state.TimerInterval = seriesInterval(m_master.MultipleImageHoursControl->value(),
                                                   m_master.MultipleImageMinutesControl->value(),
                                                   m_master.MultipleImageSecondsControl->value());
            m_state.TimerTicks = 0;
            m_countdown->restart(m_state.TimerInterval);
            m_master.MultipleImageTimer.start();
        }
        if (type != 0)
            return;
        m_state.Parms.dwRequestMicroSecPerFrame = CaptureWindow::MicroSecondsPerFrame(m_state.FrameRate);
        VideoScreen* video = m_master.videoScreen();
        video->SetCaptureParameters();
        watchDevice();
        if (CaptureWindow* w = m_state.CaptureHandle) {
            // The same steps as the video window's OpenMultipleImage, keeping the outcome.
            w->SetCaptureFile(m_state.CurrentFileName);
            if (!w->OpenSingleFrames())
                m_master.setStatusString(QStringLiteral("Cannot write ") + m_state.CurrentFileName);
        } else {
            video->OpenMultipleImage();
        }
        return;
    }

    ops->setImageKey(kRecord, kRecord);
    QCoreApplication::processEvents();
    ops->button(QStringLiteral("autostart"))->setEnabled(true);
    ops->button(QStringLiteral("motion"))->setEnabled(true);
    m_master.MultipleImageTimer.stop();
    m_master.MultipleImageFrameRate->setEnabled(true);
    QCoreApplication::processEvents();
    m_master.AllControls(true);
    m_master.Shooter->setEnabled(false);
    if (type == 0 && m_state.CaptureHandle && m_state.CaptureHandle->CloseSingleFrames()
        && m_master.MultipleImageToolbar->isPressed(QStringLiteral("writeinfo"))) {
        // Closing a frame-by-frame movie reports no end of capture, so the
        // information the user asked for is written here, once the file is complete.
        m_master.setStatusString(QStringLiteral("Writing Info"));
        WriteInfo();
    }
    closeViewer();
}

void CaptureController::RecordButton()
{
    const QString band = m_master.visibleBand();
    KeyedToolBar* ops = m_master.OperationBar;
    const QString image = ops->imageKey(kRecord);
    if (band == QLatin1String("movie")) {
        if (image == kRecord) {
            DispatchCapture(true);
        } else {
            m_master.MotionTimer.stop();
            DispatchCapture(false);
            ops->setImageKey(kRecord, kRecord);
            QCoreApplication::processEvents();
        }
    } else if (band == QLatin1String("image")) {
        if (image == QLatin1String("pause")) {
            DispatchCapture(true);
        } else {
            DispatchCapture(false);
            ops->setImageKey(kRecord, QStringLiteral("pause"));
        }
    } else if (band == QLatin1String("multiple")) {
        DispatchCapture(image == kRecord);
    }
}

// --- Single images --------------------------------------------------------

void CaptureController::CaptureFrameToEditor()
{
    editorFrame(QStringLiteral("Untitled"), [this] { CaptureFrameToEditor(); });
}

void CaptureController::PutFrameOnClipboard()
{
    if (editorFrame(QStringLiteral("Image On Clipboard"), [this] { PutFrameOnClipboard(); }) && m_editor
        && !m_editor->MasterImage().isNull())
        QGuiApplication::clipboard()->setImage(m_editor->MasterImage().drawnImage());
}

bool CaptureController::ShootImage()
{
    ++m_state.ImageCount;
    m_master.setStatusString(imageNumberStatus(m_state.ImageCount));
    const int type = m_master.MultipleImageMode->currentIndex();
    watchDevice();
    if (m_deviceLost) {
        m_master.setStatusString(QStringLiteral("No picture: the capture device is lost"));
        return false;
    }

    if (type == 0) {
        CaptureWindow* w = m_state.CaptureHandle;
        if (!w) {
            m_master.videoScreen()->CaptureSingle();
            return false;
        }
        if (!w->CaptureOneFrame()) {
            m_master.setStatusString(QStringLiteral("Error writing frame to ") + m_state.CurrentFileName);
            return false;
        }
        m_master.setStatusString(QStringLiteral("Capturing Frame"));
        return true;
    }

    const QImage frame = grabFrame();
    if (frame.isNull()) {
        m_master.setStatusString(QStringLiteral("No picture from the capture device"));
        return false;
    }
    MultiImage* viewer = ensureViewer();
    viewer->setPicture(frame);
    QCoreApplication::processEvents();
    if (!m_viewer)
        viewer = ensureViewer(), viewer->setPicture(frame);
    viewer->setWindowTitle(QStringLiteral("Untitled "));
    if (QMdiSubWindow* sub = subWindowOf(viewer))
        sub->show();
    viewer->stamp(seriesStamps(), m_state.ImageCount);
    const QImage picture = viewer->MasterImage().drawnImage();

    QString name = seriesFileName(m_state.CurrentFileName, type, m_numberOffset + m_state.ImageCount);
    const bool numbered = type == int(SeriesType::NumberedBitmap) || type == int(SeriesType::NumberedJpeg);
    // Nor over a picture that has appeared since the series began.
    while (numbered && QFileInfo::exists(name) && m_numberOffset < kHighestSeriesNumber) {
        ++m_numberOffset;
        name = seriesFileName(m_state.CurrentFileName, type, m_numberOffset + m_state.ImageCount);
    }
    bool stored = false;
    switch (static_cast<SeriesType>(type)) {
    case SeriesType::NumberedBitmap:
    case SeriesType::RefreshBitmap: {
        m_master.setStatusString((type == 1 ? QStringLiteral("Writing... ") : QStringLiteral("Refresh... ")) + name);
        QString why;
        stored = SavePictureAsBitmap(picture, name, &why);
        if (!stored)
            m_master.setStatusString(QStringLiteral("Error writing ") + name + QStringLiteral(": ") + why);
        break;
    }
    case SeriesType::NumberedJpeg:
    case SeriesType::RefreshJpeg: {
        const FileResult saved = SaveJPEGFile(picture, name, m_state.JpegQuality,
                                              [this](const QString& text) { m_master.setStatusString(text); });
        showFailure(saved);
        stored = saved.ok();
        break;
    }
    case SeriesType::Clipboard:
        QGuiApplication::clipboard()->clear();
        QGuiApplication::clipboard()->setImage(picture);
        viewer->setWindowTitle(QStringLiteral("Clipboard"));
        return true;
    default:
        return false;
    }
    viewer->setWindowTitle(name);

    if (stored && m_master.MultipleImageToolbar->isPressed(QStringLiteral("ftp"))) {
        const FtpSettings ftp{m_state.FtpServer, m_state.FtpPort, m_state.FtpUserName, m_state.FtpPassword,
                              m_state.FtpDirectory};
        SendFileToFtp(name, name, ftp,
                      [this](const QString& text) { m_master.setStatusString(text); }, &m_master);
    }
    return stored;
}

// --- Series timer ---------------------------------------------------------

void CaptureController::seriesTimerTick()
{
    if (FtpUpload::anyRunning())
        return; // the series waits for the upload window to close
    const SeriesCountdown::Tick t = m_countdown->tick();
    m_state.TimerTicks = m_countdown->ticks();
    m_master.setStatusString(t.status);
    if (t.shoot)
        ShootImage();
}

// --- Motion ---------------------------------------------------------------

void CaptureController::ArmMotionDetector()
{
    if (m_master.DeviceToolbar->isPressed(QStringLiteral("overlay")))
        dialogs().message(QStringLiteral("Overlay Mode detected. Some devices can only detect movement under Preview Mode."),
                          Dialogs::Icon::Warning, Dialogs::Buttons::Ok, QStringLiteral("Warning"), &m_master);
    m_motion->reset();
    m_master.OperationBar->setImageKey(kRecord, QStringLiteral("stop"));
    m_master.OperationBar->button(QStringLiteral("motion"))->setEnabled(false);
    QCoreApplication::processEvents();
    m_master.MotionTimer.start();
}

void CaptureController::motionError()
{
    DispatchCapture(false);
    m_master.MotionTimer.stop();
    m_master.setStatusString(QStringLiteral("Motion Detector Error"));
}

void CaptureController::motionTick()
{
    // A tick that arrives while an earlier one is still storing its image,
    // or while its upload still runs, is skipped, not stacked.
    if (m_inMotionTick || FtpUpload::anyRunning())
        return;
    m_inMotionTick = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{m_inMotionTick};

    const QImage frame = grabFrame();
    if (frame.isNull()) {
        motionError();
        return;
    }
    const motion::Step s = m_motion->step(motion::sampleAverage(frame), m_state.MotionSensitivity);
    if (!s.measured)
        return;
    m_master.setStatusString(s.status);
    if (!s.motion)
        return;
    if (m_state.MotionSeries) {
        if (!ShootImage())
            motionError();
    } else {
        DispatchCapture(true);
    }
}

// --- Scheduled start ------------------------------------------------------

void CaptureController::OpenAutostart()
{
    if (!m_autostart) {
        m_autostart = new Autostart(m_state, &m_master);
        m_autostart->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_autostart, &Autostart::fire, this, [this] { DispatchCapture(true); });
    }
    m_autostart->show();
    m_autostart->raise();
}

// --- End of a recording ---------------------------------------------------

void CaptureController::WriteInfo()
{
    const auto& f = m_state.AviInfoFields;
    const MovieInfoResult r = WriteMovieInfo(m_state.CurrentFileName, f[0], f[1], f[2], f[3], f[4], f[5]);
    if (!r.written)
        m_master.setStatusString(r.error);
}

void CaptureController::masterTick()
{
    watchDevice();
    const bool capturing = m_state.Status.fCapturingNow == 1;
    if (m_wasCapturing && !capturing) {
        const int64_t free = freeDiskSpace(m_state.CurrentFileName);
        if (free >= 0 && free < 1048576)
            m_master.setStatusString(QStringLiteral("Recording stopped: the disk is full"));
    }
    m_wasCapturing = capturing;
}

} // namespace lv
