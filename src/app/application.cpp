#include "app/application.h"
#include "app/capturecontroller.h"
#include "app/master.h"
#include "base/dialogs.h"
#include "base/programdirectory.h"
#include "base/settingsstore.h"
#include "base/textnumber.h"
#include "base/version.h"

#include <QDir>
#include <QStandardPaths>

namespace lv {

Application::Application() = default;

Application::~Application()
{
    m_master.reset();
    if (m_lock)
        m_lock->unlock();
}

QString Application::lockFilePath()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir + QStringLiteral("/lumivark.lock");
}

bool Application::start()
{
    m_state.ProgramDirectory = programDirectory();
    m_state.PreviewRate = 10;
    m_state.AutostartHours = 0;
    m_state.AutostartMinutes = 0;
    m_state.AutostartSeconds = 10;
    m_state.CurrentFileName = defaultMovieFolder() + QStringLiteral("lumivark.avi");

    m_lock = std::make_unique<QLockFile>(lockFilePath());
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        m_lock.reset();
        dialogs().message(QStringLiteral("This application is already running..."), Dialogs::Icon::Information,
                          Dialogs::Buttons::Ok, programTitle());
        return false;
    }

    const QString lv = QStringLiteral("LV");
    m_state.MotionSensitivity = readInt16(settings::get(lv, QStringLiteral("MD"), QStringLiteral("SENSE"), QStringLiteral("5")));
    m_state.PopUpMovieViewer = settings::get(lv, lv, QStringLiteral("PUMV"));
    m_state.Autoplay = settings::get(lv, lv, QStringLiteral("AP"));
    m_state.SystemSounds = settings::get(lv, lv, QStringLiteral("ES"), QStringLiteral("1"));
    m_state.JpegQuality = readInt32(settings::get(lv, QStringLiteral("JPEG"), QStringLiteral("Compression"), QStringLiteral("100")));
    return true;
}

Master& Application::showMain(const QString& commandLine)
{
    m_master = std::make_unique<Master>(m_state);
    connectCommands();
    m_master->load(commandLine);
    m_master->show();
    return *m_master;
}

void Application::connectCommands()
{
    // Commands of subsystems that live outside the main window are wired here.
    auto* controller = new CaptureController(*m_master, m_state); // owned by the window
    QObject::connect(m_master.get(), &Master::commandRequested, controller,
                     [this, controller](const QString& command) {
                         if (!controller->handle(command))
                             handleCommand(command);
                     });
}

void Application::handleCommand(const QString&)
{
}

} // namespace lv
