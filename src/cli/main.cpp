#include "cli/cliargs.h"
#include "cli/clicommands.h"
#include "cli/ffmpeglog.h"

#include <QGuiApplication>
#include <QLoggingCategory>

#include <cstdio>

// lumivark-cli: the capture core without windows, for scripts and cron.
int main(int argc, char** argv)
{
    // Stamps are drawn with fonts, which need the GUI layer, but never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The core's step-by-step log is for the window's users; a script wants
    // only the errors on stderr (QT_LOGGING_RULES still wins).
    QLoggingCategory::setFilterRules(QStringLiteral("lumivark.*.debug=false\nlumivark.*.info=false"));
    lv::cli::routeFfmpegLog();
    QGuiApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("lumivark"));
    QCoreApplication::setApplicationName(QStringLiteral("lumivark"));
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    try {
        const lv::cli::Request request = lv::cli::parseArguments(args);
        if (request.command == QLatin1String("help")) {
            std::fputs(qPrintable(lv::cli::helpText()), stdout);
            return lv::cli::kExitOk;
        }
        return lv::cli::runRequest(request);
    } catch (const lv::cli::UsageError& e) {
        std::fprintf(stderr, "lumivark-cli: %s\nTry 'lumivark-cli --help'.\n", qPrintable(e.text));
        return lv::cli::kExitUsage;
    }
}
