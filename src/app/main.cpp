#include "app/application.h"
#include "app/master.h"

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

    lv::Master& master = lumivark.showMain(commandLine);
    if (qEnvironmentVariable("LUMIVARK_QUIT_AFTER_MS").toInt() > 0)
        QTimer::singleShot(qEnvironmentVariable("LUMIVARK_QUIT_AFTER_MS").toInt(), &app, &QApplication::quit);
    Q_UNUSED(master);
    return QApplication::exec();
}
