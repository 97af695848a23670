#include "app/application.h"
#include "app/commandline.h"
#include "app/mainwindow.h"
#include "app/splash.h"
#include "app/videoscreen.h"
#include "capture/ui/liveview.h"

#include <QDateTime>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QSplashScreen>
#include <QTimer>

int main(int argc, char** argv)
{
    // --help and --version answer before any window system is needed.
    QStringList raw;
    for (int i = 1; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    if (const lv::CommandLine early = lv::parseCommandLine(raw);
        early.action == lv::CommandLine::Action::Help || early.action == lv::CommandLine::Action::Version) {
        std::fputs(early.output.toLocal8Bit().constData(), stdout);
        return early.exitCode;
    }

    // A file-size limit (ulimit -f) then fails the write with a reason instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lumivark"));
    QApplication::setOrganizationName(QStringLiteral("lumivark"));
    lv::Application::prepareDesktop();

    // Qt has taken its own options out by now; what is left is ours.
    QStringList args = QApplication::arguments();
    args.removeFirst();
    const lv::CommandLine parsed = lv::parseCommandLine(args);
    if (parsed.action == lv::CommandLine::Action::Refuse) {
        std::fputs(parsed.output.toLocal8Bit().constData(), stderr);
        return parsed.exitCode;
    }
    const QString commandLine = parsed.parametersFile;

    lv::Application lumivark;
    if (!lumivark.start())
        return 0;

    const bool probe = qEnvironmentVariable("LUMIVARK_STARTUP_PROBE") == QLatin1String("1");
    if (!probe && QGuiApplication::platformName() != QLatin1String("offscreen"))
        (new lv::Splash)->show();
    lv::MainWindow& master = lumivark.showMain(commandLine);
    if (probe) {
        // For the start-up benchmark: report when the first live frame is on screen, then leave.
        auto* probe = new QTimer(&app);
        QObject::connect(probe, &QTimer::timeout, &app, [&master, &app, probe] {
            lv::LiveView* w = master.videoScreen()->captureWindow();
            if (master.isVisible() && w && w->latestFrame()) {
                probe->stop();
                // Queued behind the repaint the frame has already posted.
                QMetaObject::invokeMethod(
                    &app,
                    [] {
                        std::printf("first-frame %lld\n", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
                        std::fflush(stdout);
                        std::_Exit(0);
                    },
                    Qt::QueuedConnection);
            }
        });
        probe->start(1);
    }
    return QApplication::exec();
}
