#include "app/capturecontroller.h"

#include "movie/avirepair.h"
#include "app/dispatcher.h"
#include "app/mainwindow.h"
#include "app/panels/seriespanel.h"
#include "app/videoscreen.h"
#include "app/windowplaces.h"
#include "base/dialogs.h"
#include "base/diskspace.h"
#include "base/programdirectory.h"
#include "base/settingsstore.h"
#include "base/textnumber.h"
#include "base/version.h"
#include "capture/ui/liveview.h"
#include "image/ui/imageeditor.h"
#include "image/ui/seriesviewer.h"
#include "modes/seriesnaming.h"
#include "movie/avirepair.h"
#include "modes/shuttersound.h"
#include "net/ui/ftpimage.h"
#include "net/ftpsettings.h"
#include "schedule/ui/autostart.h"

#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>

#include <utility>

namespace lv {

namespace {

QMdiSubWindow* subWindowOf(QWidget* w) { return w ? qobject_cast<QMdiSubWindow*>(w->parentWidget()) : nullptr; }

} // namespace

CaptureController::CaptureController(MainWindow& master)
    : QObject(&master)
    , playSound(&playSoundToEnd)
    , m_master(master)
    , m_model(master.model())
    , m_run(master.run())
    , m_program(new CaptureProgram(m_model, m_run, this))
{
    connect(m_program, &CaptureProgram::pictureShot, this, &CaptureController::showSeriesPicture);
    // Motion seen while armed, or the scheduled time: the visible mode starts.
    connect(m_program, &CaptureProgram::startRequested, this, [this] { DispatchCapture(true); });
    connect(m_program, &CaptureProgram::motionFailed, this, [this] { DispatchCapture(false); });
    connect(m_program, &CaptureProgram::fileFailed, this, [](const FileResult& result) { showFailure(result); });
    m_program->upload = [this](const QString& file, const QString& remoteName) {
        const CaptureSettings& c = m_model.settings();
        const FtpSettings ftp{c.URL, static_cast<uint16_t>(c.Port), c.Username, c.Password, c.Directory};
        if (!m_uploader || m_uploader->settings() != ftp) {
            m_uploader = std::make_unique<SeriesUploader>(
                ftp, SeriesUploader::defaultSpoolRoot(), qint64(SeriesUploader::spoolLimitMegabytes()) * 1024 * 1024);
            connect(m_uploader.get(), &SeriesUploader::mainStatusChanged, this,
                    [this](const QString& text) { m_master.setStatusString(text); });
            // Each upload in the window as before; the spool decides which picture goes.
            connect(m_uploader.get(), &SeriesUploader::uploadStarted, this,
                    [this](FtpUpload* up, const QString& name) { ShowUploadWindow(up, name, &m_master); });
        }
        m_uploader->add(file, FtpUpload::RemoteNameFor(file, remoteName));
    };
    // The series waits while an upload (and its window) is still open.
    m_program->uploadRunning = [] { return FtpUpload::anyRunning(); };
    connect(&m_master.seriesPanel(), &SeriesPanel::shootClicked, this, [this] { ShootImage(); });
    // After the window's own housekeeping on the same tick.
    connect(&m_master.MasterTimer, &QTimer::timeout, this, &CaptureController::masterTick);

    // The capture commands are ours; their items and buttons are enabled from now on.
    CommandDispatcher& commands = m_master.commands();
    commands.registerHandler(Command::Record, this, [this] { RecordButton(); });
    commands.registerHandler(Command::Snapshot, this, [this] { CaptureFrameToEditor(); });
    commands.registerHandler(Command::Clipboard, this, [this] { PutFrameOnClipboard(); });
    commands.registerHandler(Command::MotionDetector, this, [this] { ArmMotionDetector(); });
    commands.registerHandler(Command::Autostart, this, [this] { OpenAutostart(); });
    commands.registerHandler(Command::WriteMovieInfo, this, [this] { WriteInfo(); });
}

CaptureController::~CaptureController() = default;

// --- Helpers --------------------------------------------------------------

void CaptureController::watchDevice()
{
    LiveView* w = m_master.videoScreen()->captureWindow();
    if (w == m_watched)
        return;
    m_watched = w;
    m_program->setSession(w ? &w->session() : nullptr);
}

void CaptureController::grabFrame(std::function<void(const QImage&)> then)
{
    watchDevice();
    if (m_program->deviceLost()) {
        then({});
        return;
    }
    m_master.videoScreen()->ImageOnClipboard(std::move(then));
}

ImageEditor* CaptureController::showInEditor(const QImage& frame, const QString& caption)
{
    ImageEditor* ed = ensureEditor();
    ed->setNewFrame(frame);
    ed->setWindowTitle(caption);
    if (QMdiSubWindow* sub = subWindowOf(ed))
        sub->show();
    ed->show();
    return ed;
}

ImageEditor* CaptureController::ensureEditor()
{
    if (!m_editor) {
        m_editor = new ImageEditor;
        m_editor->setJpegQuality(m_model.preferences().JpegQuality);
        connect(m_editor, &ImageEditor::statusString, &m_master, &MainWindow::setStatusString);
        // Queued: the waiting captures run after the question has gone, never inside it.
        connect(m_editor, &ImageEditor::discardQuestionAnswered, this, &CaptureController::runWaitingCaptures,
                Qt::QueuedConnection);
        // A closed editor is gone for captures at once, though deleted a little later.
        connect(m_editor, &ImageEditor::closing, this, [this] { m_editor = nullptr; });
        // Where the editor was last time; its size follows its picture.
        if (QMdiSubWindow* sub = m_master.mdiArea()->addSubWindow(m_editor))
            windowplaces::restoreChild(*sub, false);
    }
    return m_editor;
}

SeriesViewer* CaptureController::ensureViewer()
{
    if (!m_viewer) {
        m_viewer = new SeriesViewer;
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
    if (m_model.preferences().SystemSounds != QLatin1String("1") || !playSound)
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

void CaptureController::editorFrame(const QString& caption, std::function<void()> retry,
                                    std::function<void(ImageEditor&)> shown)
{
    if (!editorMayTakeFrame(std::move(retry)))
        return;
    grabFrame([this, caption, shown = std::move(shown)](const QImage& frame) {
        shutterSound();
        if (frame.isNull()) {
            m_master.setStatusString(QStringLiteral("No picture from the capture device"));
            return;
        }
        ImageEditor* ed = showInEditor(frame, caption);
        if (shown)
            shown(*ed);
    });
}

bool CaptureController::overwriteAllowed(bool withIcon)
{
    // A file another program records into cannot be replaced: say who has it instead of asking.
    if (const QString writer = AviRepair::writerOf(m_model.fileName()); !writer.isEmpty()) {
        dialogs().message(m_model.fileName() + QStringLiteral(" is being recorded by ") + writer
                              + QStringLiteral(". Choose another file name."),
                          Dialogs::Icon::Warning, Dialogs::Buttons::Ok, programTitle(), &m_master);
        return false;
    }
    const bool ask = readInt32(settings::get(QStringLiteral("LV"), QStringLiteral("MD"), QStringLiteral("OQ"),
                                             QStringLiteral("1")))
        == 1;
    if (!ask || m_run.MotionInterrupted || !QFileInfo(m_model.fileName()).isFile())
        return true;
    const auto answer = dialogs().message(QStringLiteral("The file ") + m_model.fileName()
                                              + QStringLiteral(" already exists. Do you want to replace the existing file ?"),
                                          withIcon ? Dialogs::Icon::Warning : Dialogs::Icon::None,
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
    m_run.MotionSeries = false;
    m_run.MotionInterrupted = m_program->interruptMotion();
    if (m_run.MotionInterrupted)
        m_master.setStatusString(QString());

    const std::optional<CaptureKind> mode = m_model.settings().Capture;
    // Without a device nothing can start: say so before any question about files.
    const bool starts = mode == CaptureKind::SingleImage || (start && mode);
    if (starts && (m_master.videoScreen()->ConnectionTag != QLatin1String("vfw") || !m_master.videoScreen()->captureWindow())) {
        m_master.setStatusString(QStringLiteral("Not Connected"));
        return;
    }
    if (mode == CaptureKind::Movie) {
        m_run.FrameRate = static_cast<int32_t>(m_model.settings().FrameRate);
        if (!start) {
            // A press on the record button is a mouse press; a keyboard or
            // programmatic press must stop the recording just the same.
            LiveView* w = m_master.videoScreen()->captureWindow();
            if (w && w->GetStatus(m_master.videoScreen()->status()) && m_master.videoScreen()->status().fCapturingNow == 1)
                m_master.videoScreen()->StopCapture();
            return;
        }
        if (!overwriteAllowed(true))
            return;
        if (m_model.preferences().PopUpMovieViewer == QLatin1String("1"))
            m_master.dispatch(Command::CloseMovieViewer);
        m_run.EstimatedSize = 0;
        m_run.FreeSpaceAtStart = freeDiskSpace(m_model.fileName());
        m_run.FreeSpaceNow = m_run.FreeSpaceAtStart;
        m_run.ViewerShown = false;
        watchDevice();
        m_master.videoScreen()->Record();
        return;
    }

    if (mode == CaptureKind::SingleImage) {
        if (!editorMayTakeFrame([this] { DispatchCapture(true); }))
            return;
        grabFrame([this](const QImage& frame) {
            m_model.setRunState(RunState::Idle);
            if (frame.isNull()) {
                m_master.setStatusString(QStringLiteral("No picture from the capture device"));
                return;
            }
            ImageEditor* ed = showInEditor(frame, QStringLiteral("Untitled "));
            ed->stamp(m_program->stamps(false), 0);
            ed->setResetPicture(ed->MasterImage().drawnImage());
        });
        return;
    }

    if (mode != CaptureKind::MultipleImage)
        return;

    const int type = m_model.settings().MultipleImageType;
    m_run.FrameRate = m_model.settings().AVIRate;
    m_run.ImageCount = 0;
    if (start) {
        if (type == 0 && !overwriteAllowed(false))
            return;
        m_master.AllControls(false);
        m_master.seriesPanel().setSeriesRunning(true);
        watchDevice();
        m_program->startSeries();
        if (type == 0) {
            // The video window's records follow the frame-by-frame movie the program opened.
            m_master.videoScreen()->SetCaptureParameters();
            if (LiveView* w = m_master.videoScreen()->captureWindow())
                w->SetCaptureFile(m_model.fileName());
        }
        return;
    }

    m_program->stopSeries();
    m_master.seriesPanel().setSeriesRunning(false);
    m_master.AllControls(true);
    closeViewer();
}

void CaptureController::RecordButton()
{
    CaptureModel& model = m_model;
    const std::optional<CaptureKind> mode = model.settings().Capture;
    if (mode == CaptureKind::Movie) {
        if (!model.runningIn(CaptureKind::Movie)) {
            DispatchCapture(true);
        } else {
            m_program->interruptMotion();
            DispatchCapture(false);
            model.setRunState(RunState::Idle);
        }
    } else if (mode == CaptureKind::SingleImage) {
        if (!model.runningIn(CaptureKind::SingleImage)) {
            DispatchCapture(true);
        } else {
            DispatchCapture(false);
            model.setRunState(RunState::Idle);
        }
    } else if (mode == CaptureKind::MultipleImage) {
        DispatchCapture(!model.runningIn(CaptureKind::MultipleImage));
    }
}

// --- Single images --------------------------------------------------------

void CaptureController::CaptureFrameToEditor()
{
    editorFrame(QStringLiteral("Untitled"), [this] { CaptureFrameToEditor(); });
}

void CaptureController::PutFrameOnClipboard()
{
    editorFrame(QStringLiteral("Image On Clipboard"), [this] { PutFrameOnClipboard(); }, [](ImageEditor& ed) {
        if (!ed.MasterImage().isNull())
            QGuiApplication::clipboard()->setImage(ed.MasterImage().drawnImage());
    });
}

bool CaptureController::ShootImage()
{
    watchDevice();
    return m_program->shoot();
}

void CaptureController::showSeriesPicture(const QImage& picture, const QString& title)
{
    SeriesViewer* viewer = ensureViewer();
    viewer->setPicture(picture);
    viewer->setWindowTitle(title);
    if (QMdiSubWindow* sub = subWindowOf(viewer))
        sub->show();
    if (m_model.settings().MultipleImageType == int(SeriesType::Clipboard)) {
        QGuiApplication::clipboard()->clear();
        QGuiApplication::clipboard()->setImage(picture);
    }
}

// --- Motion ---------------------------------------------------------------

void CaptureController::ArmMotionDetector()
{
    if (m_master.videoScreen()->status().fOverlayWindow == 1)
        dialogs().message(QStringLiteral("Overlay Mode detected. Some devices can only detect movement under Preview Mode."),
                          Dialogs::Icon::Warning, Dialogs::Buttons::Ok, QStringLiteral("Warning"), &m_master);
    watchDevice();
    m_program->armMotion();
}

// --- Scheduled start ------------------------------------------------------

void CaptureController::OpenAutostart()
{
    if (!m_autostart) {
        m_autostart = new Autostart(m_model, &m_master);
        m_autostart->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_autostart, &Autostart::fire, m_program, &CaptureProgram::requestStart);
    }
    m_autostart->show();
    m_autostart->raise();
}

// --- End of a recording ---------------------------------------------------

// The information fields into the current file, as a recording's end writes
// them (a streaming recording writes its own; see VideoScreen::Record).
void CaptureController::WriteInfo() { m_program->writeInfo(); }

void CaptureController::masterTick() { watchDevice(); }

} // namespace lv
