#include "app/application.h"
#include "app/capturecontroller.h"
#include "app/dispatcher.h"
#include "app/fullscreen.h"
#include "app/mainwindow.h"
#include "app/mainwindowparameters.h"
#include "app/moviewindows.h"
#include "app/splash.h"
#include "app/systeminformation.h"
#include "app/systeminformationwindow.h"
#include "app/videoscreen.h"
#include "capture/ui/liveview.h"
#include "base/ui/qtdialogs.h"
#include "capture/ui/widgetdevicedialogs.h"
#include "image/ui/imageeditor.h"
#include "movie/ui/codecswindow.h"
#include "net/ftpsettings.h"
#include "net/ui/netconfig.h"
#include "settings/ui/otherinfo.h"
#include "settings/parameterfile.h"
#include "settings/ui/preferences.h"
#include "settings/ui/videoinfo.h"
#include "settings/ui/videosettings.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include "base/commandicons.h"
#include "base/dialogs.h"
#include "base/programdirectory.h"
#include "base/settingsstore.h"
#include "base/textnumber.h"
#include "base/version.h"
#include "movie/avirepair.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QSysInfo>

#include <cerrno>
#include <csignal>
#include <unistd.h>

// Quiet below warnings unless asked (QT_LOGGING_RULES="lumivark.app.debug=true").
Q_LOGGING_CATEGORY(lcApp, "lumivark.app", QtInfoMsg)

namespace lv {

Application::Application()
{
    // The core's messages and file choices, and its device and codec
    // dialogs, open as windows from here on.
    installQtDialogs();
    static WidgetDeviceDialogs deviceDialogs;
    setDeviceDialogs(&deviceDialogs);
}

Application::~Application()
{
    m_raiseServer.reset();
    m_master.reset();
    if (m_lock)
        m_lock->unlock();
}

void Application::prepareDesktop()
{
    QApplication::setWindowIcon(applicationIcon());
    // Lets the desktop match the windows to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.lumivark.Lumivark"));
}

QString Application::lockFilePath()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir + QStringLiteral("/lumivark.lock");
}

QString Application::raiseSocketPath()
{
    return lockFilePath().chopped(4) + QStringLiteral("socket");
}

namespace {

QString lockErrorText(const QLockFile& lock)
{
    switch (lock.error()) {
    case QLockFile::PermissionError:
        return QStringLiteral("the folder is not writable");
    case QLockFile::LockFailedError:
        return QStringLiteral("a lock left by an ended run cannot be removed");
    default:
        return QStringLiteral("the file cannot be written");
    }
}

} // namespace

// Only a lock some running program holds means "already running". Where the
// folder is writable QLockFile has already removed a lock left by an ended
// run; where it is not, such a lock stays, and belongs to nobody.
bool Application::heldByLiveProgram(const QLockFile& lock)
{
    if (lock.error() != QLockFile::LockFailedError)
        return false; // not made at all: no other program has it
    if (::access(QFileInfo(lockFilePath()).absolutePath().toLocal8Bit().constData(), W_OK) == 0)
        return true;
    qint64 pid = 0;
    QString host, appName;
    if (!lock.getLockInfo(&pid, &host, &appName) || pid <= 0)
        return true; // being written by its owner this very moment, or unreadable: someone's
    if (!host.isEmpty() && host != QSysInfo::machineHostName())
        return true; // another machine's program: we cannot tell, so it is alive
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return false;
    // A number reused by an unrelated program does not hold the lock.
    QString exe = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
    exe.remove(QStringLiteral(" (deleted)")); // the program file was replaced while it ran
    return exe.isEmpty() || appName.isEmpty() || QFileInfo(exe).fileName() == appName;
}

void Application::listenForSecondStarts()
{
    m_raiseServer = std::make_unique<QLocalServer>();
    m_raiseServer->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket left here is a crashed run's.
    QLocalServer::removeServer(raiseSocketPath());
    if (!m_raiseServer->listen(raiseSocketPath())) {
        qCWarning(lcApp) << "a second start cannot bring this window forward:" << m_raiseServer->errorString();
        m_raiseServer.reset();
        return;
    }
    QObject::connect(m_raiseServer.get(), &QLocalServer::newConnection, m_raiseServer.get(), [this] {
        while (QLocalSocket* s = m_raiseServer->nextPendingConnection()) {
            QObject::connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            // Any call is a request to come forward; nothing it sends is read.
            s->disconnectFromServer();
            bringToFront();
        }
    });
}

void Application::bringToFront()
{
    MainWindow* m = m_master.get();
    if (!m)
        return;
    m->setWindowState((m->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    m->show();
    m->raise();
    m->activateWindow();
}

bool Application::start()
{
    m_model.setProgramDirectory(programDirectory());
    qCDebug(lcApp) << "data folder:" << qUtf8Printable(dataDirectory());
    m_model.edit([](CaptureSettings& c) {
        c.PreviewRate = 10;
        c.Hours = 0;
        c.Minutes = 0;
        c.Seconds = 10;
        c.Filename = defaultMovieFolder() + QStringLiteral("lumivark.avi");
    });

    m_lock = std::make_unique<QLockFile>(lockFilePath());
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0) && heldByLiveProgram(*m_lock)) {
        m_lock.reset();
        // The running instance comes to the front first; the message then says why nothing else opens.
        QLocalSocket call;
        call.connectToServer(raiseSocketPath());
        if (call.waitForConnected(1000)) {
            call.write("raise\n");
            call.waitForBytesWritten(1000);
            call.disconnectFromServer();
        }
        dialogs().message(QStringLiteral("This application is already running..."), Dialogs::Icon::Information,
                          Dialogs::Buttons::Ok, programTitle());
        return false;
    }

    if (m_lock->isLocked()) {
        listenForSecondStarts();
    } else {
        // Nobody holds it, yet it cannot be made (a read-only or missing runtime
        // folder): refusing to start would lock the user out for good.
        qCWarning(lcApp).noquote() << QStringLiteral("cannot make the single-instance lock %1 (%2): starting "
                                                    "anyway; a second start will not be kept out")
                                          .arg(lockFilePath(), lockErrorText(*m_lock));
        m_lock.reset();
    }

    const QString lv = QStringLiteral("LV");
    PreferenceValues& prefs = m_model.preferences();
    prefs.MotionSensitivity = readInt16(settings::get(lv, QStringLiteral("MD"), QStringLiteral("SENSE"), QStringLiteral("5")));
    prefs.PopUpMovieViewer = settings::get(lv, lv, QStringLiteral("PUMV"));
    prefs.Autoplay = settings::get(lv, lv, QStringLiteral("AP"));
    prefs.SystemSounds = settings::get(lv, lv, QStringLiteral("ES"), QStringLiteral("1"));
    prefs.JpegQuality = readInt32(settings::get(lv, QStringLiteral("JPEG"), QStringLiteral("Compression"), QStringLiteral("100")));
    return true;
}

MainWindow& Application::showMain(const QString& commandLine)
{
    m_master = std::make_unique<MainWindow>(m_model, m_run);
    m_parameters = std::make_unique<MainWindowParameters>(*m_master);
    const QString lastSession = m_model.programDirectory() + QStringLiteral("lvsr.lv2");
    auto kindOf = [lastSession](const QString& path) {
        return path == lastSession ? ParameterFileKind::LastSession : ParameterFileKind::User;
    };
    m_master->readParameters = [this, kindOf](const QString& path) { m_parameters->read(path, kindOf(path)); };
    // These writes report a failure in the log only, as they always have.
    m_master->writeParameters = [this, kindOf](const QString& path) {
        static_cast<void>(m_parameters->write(path, kindOf(path)));
    };
    m_master->videoScreen()->readDeviceFile = [this](const QString& path) {
        m_parameters->read(path, ParameterFileKind::Device);
    };
    m_master->videoScreen()->writeDeviceFile = [this](const QString& path) {
        static_cast<void>(m_parameters->write(path, ParameterFileKind::Device));
    };
    connectCommands();
    m_master->load(commandLine);
    m_master->show();
    // A recording a crash cut short is mended before anything can record over it.
    for (const QString& line : AviRepair::repairLeftovers())
        m_master->setStatusString(line);
    return *m_master;
}

void Application::connectCommands()
{
    // The commands whose work lives outside the main window: the capture
    // controller registers the captures, the application its windows.
    new CaptureController(*m_master);       // owned by the window
    m_movies = new MovieWindows(*m_master); // owned by the window
    MainWindow* w = m_master.get();             // the handlers go with the window
    CommandDispatcher& commands = w->commands();
    const auto on = [&commands, w](Command c, std::function<void()> work) {
        commands.registerHandler(c, w, std::move(work));
    };
    on(Command::Open, [this] { openCaptureFile(); });
    on(Command::Save, [this] { saveCaptureFile(); });
    on(Command::Viewer, [this] { m_movies->askAndOpen(); });
    on(Command::PopUpViewer, [this] { m_movies->open(m_model.fileName(), m_model.fileName()); });
    on(Command::CloseMovieViewer, [this] { m_movies->close(); });
    on(Command::Preferences, [this] { editPreferences(); });
    on(Command::OtherInfo, [this, w] {
        std::array<QString, 6> fields = m_model.infoFields();
        OtherInfo dlg(fields, w);
        dlg.exec();
        m_model.setInfoFields(fields);
    });
    on(Command::Advanced, [this, w] {
        VideoSettings dlg(m_model.captureParms(), w);
        dlg.exec();
    });
    on(Command::DeviceInfo, [this] { showDeviceInfo(); });
    on(Command::Codecs, [w] { showVideoCodecs(w); });
    on(Command::WhatCodec, [w] { whatCodec(w); });
    on(Command::SystemInformation, [this, w] {
        SystemInformationWindow window(SystemInformation(m_model.fileName()).text(), w);
        window.exec();
    });
    on(Command::FullScreen, [this] { fullScreen(); });
    on(Command::Splash, [w] {
        auto* splash = new Splash(w);
        splash->show();
    });
    on(Command::About, [w] {
        const QString about = programTitle() + QLatin1Char('\n') + Splash::versionLine()
            + QStringLiteral("\n\nVideo capture for Linux: live picture, snapshots, image series, movies.");
        dialogs().message(about, Dialogs::Icon::Information, Dialogs::Buttons::Ok,
                          QStringLiteral("About Video Lumivark..."), w);
    });
    on(Command::NetSettings, [this] { editNetSettings(); });
}

void Application::openCaptureFile()
{
    MainWindow& m = *m_master;
    const QString name = dialogs().openFile(
        QStringLiteral("Open Capture Parameters"),
        QStringLiteral("All files |*.lvp;*.bmp;*.jpg;*.avi|Lumivark Parameters (*.lvp)|*.lvp|Movie File (*.avi)|*.avi|"
                       "Bitmap File (*.bmp)|*.bmp|JPEG Image File (*.jpg)|*.jpg|"),
        {}, &m);
    if (name.isEmpty())
        return;
    const QString ending = name.right(3).toLower();
    if (ending == QLatin1String("lvp")) {
        m_parameters->read(name, ParameterFileKind::User);
    } else if (ending == QLatin1String("bmp") || ending == QLatin1String("jpg")) {
        ImageEditor* editor = OpenPictureInEditor(name);
        if (!editor)
            return; // the message said why; no empty window
        editor->setJpegQuality(m_model.preferences().JpegQuality);
        QObject::connect(editor, &ImageEditor::statusString, &m, &MainWindow::setStatusString);
        QMdiSubWindow* sub = m.mdiArea()->addSubWindow(editor);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->show();
    } else if (ending == QLatin1String("avi")) {
        m_movies->open(name, QFileInfo(name).fileName());
    }
}

void Application::saveCaptureFile()
{
    MainWindow& m = *m_master;
    const QString current = m_model.fileName();
    const QString suggested = current.left(std::max<qsizetype>(0, current.size() - 3)) + QStringLiteral("lvp");
    const QString name = dialogs().saveFile(QStringLiteral("Save Capture Parameters"),
                                            QStringLiteral("Lumivark Parameters (*.lvp)|*.lvp|"), suggested, &m);
    if (name.isEmpty())
        return;
    if (const FileResult written = m_parameters->write(name, ParameterFileKind::User); !written)
        dialogs().message(QStringLiteral("Cannot save ") + name + QStringLiteral(": ") + written.reason(),
                          Dialogs::Icon::Error, Dialogs::Buttons::Ok, {}, &m);
}

void Application::fullScreen()
{
    MainWindow& m = *m_master;
    VideoScreen* video = m.videoScreen();
    const int device = m_model.settings().DeviceIndex;
    const bool overlay = m.DeviceToolbar->isPressed(QStringLiteral("overlay"));
    video->Disconnect();
    {
        Fullscreen full(device, m.previewrate->currentIndex() + 1, overlay ? QStringLiteral("overlay") : QString(), &m);
        full.exec();
    }
    m.DeviceMenuCommand(device, QStringLiteral("vfw"));
    if (overlay)
        video->Overlay();
}

void Application::editPreferences()
{
    MainWindow& m = *m_master;
    PreferenceValues v = m_model.preferences();
    Preferences dlg(v, &m);
    if (dlg.exec() != QDialog::Accepted)
        return;
    m_model.preferences() = v;
    // Open editors save at the new quality too, not at the one they were opened with.
    for (QMdiSubWindow* sub : m.mdiArea()->subWindowList())
        if (auto* editor = qobject_cast<ImageEditor*>(sub->widget()))
            editor->setJpegQuality(m_model.preferences().JpegQuality);
}

void Application::showDeviceInfo()
{
    MainWindow& m = *m_master;
    const bool connected = m.videoScreen()->ConnectionTag == QLatin1String("vfw");
    if (connected)
        m.videoScreen()->RefreshWindow();
    LiveView* w = m.videoScreen()->captureWindow();
    const CaptureDriverCaps& caps = m.videoScreen()->driverCaps();
    const QString system = w && w->driver() ? w->driver()->captureSystem() : QString();
    VideoInfo dlg(connected, m.videoScreen()->windowTitle(), LiveView::GetDriverVersion(caps.wDeviceIndex),
                  system, caps, &m);
    dlg.exec();
}

void Application::editNetSettings()
{
    const CaptureSettings& c = m_model.settings();
    FtpSettings ftp{c.URL, static_cast<uint16_t>(c.Port), c.Username, c.Password, c.Directory};
    if (!NetConfig::edit(ftp, m_master.get()))
        return;
    m_model.edit([&ftp](CaptureSettings& s) {
        s.URL = ftp.server;
        s.Port = ftp.port;
        s.Username = ftp.userName;
        s.Password = ftp.password;
        s.Directory = ftp.directory;
    });
}

} // namespace lv
