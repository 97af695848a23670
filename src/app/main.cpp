#include "app/application.h"
#include "app/master.h"
#include "app/splash.h"
#include "app/videoscreen.h"
#include "capture/capturewindow.h"

#include <QDateTime>
#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QSplashScreen>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lumivark"));
    QApplication::setOrganizationName(QStringLiteral("lumivark"));

    lv::Application lumivark;
    if (!lumivark.start())
        return 0;

    // The whole command line is the name of a parameters file.
    QStringList args = QApplication::arguments();
    args.removeFirst();
    const QString commandLine = args.join(QLatin1Char(' '));

    const bool probe = qEnvironmentVariable("LUMIVARK_STARTUP_PROBE") == QLatin1String("1");
    if (!probe && QGuiApplication::platformName() != QLatin1String("offscreen"))
        (new lv::Splash)->show();
    lv::Master& master = lumivark.showMain(commandLine);
    if (probe) {
        // For the start-up benchmark: report when the first live frame is on screen, then leave.
        auto* probe = new QTimer(&app);
        QObject::connect(probe, &QTimer::timeout, &app, [&master] {
            lv::CaptureWindow* w = master.videoScreen()->captureWindow();
            if (master.isVisible() && w && w->latestFrame()) {
                QCoreApplication::processEvents();
                std::printf("first-frame %lld\n", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
                std::fflush(stdout);
                std::_Exit(0);
            }
        });
        probe->start(1);
    }
    return QApplication::exec();
}
