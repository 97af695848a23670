#include "cli/clicommands.h"

#include "base/dialogs.h"
#include "cli/clicommandgroups.h"
#include "cli/clioutput.h"

#include <QColor>

namespace lv::cli {

namespace {

// Nothing below the windows asks for a dialog (the file layers return their
// messages, which are printed); should one still be asked for, its text goes
// to stderr and every question is answered "no".
class StderrDialogs final : public Dialogs {
public:
    Answer message(const QString& text, Icon, Buttons buttons, const QString&, QWidget*) override
    {
        printError(text);
        return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
    QString openFile(const QString&, const QString&, const QString&, QWidget*) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&, QWidget*) override { return {}; }
    std::optional<QColor> chooseColor(const QColor&, QWidget*) override { return std::nullopt; }
};

} // namespace

int runRequest(const Request& request)
{
    static StderrDialogs stderrDialogs;
    setDialogs(&stderrDialogs);
    Settings settings;
    if (request.has(QStringLiteral("params"))) {
        if (const FileResult read = readSettings(request.text(QStringLiteral("params")), &settings); !read) {
            printError(read.message());
            return kExitFailure;
        }
        // An FTP password left out would otherwise only show as a refused login.
        if (!settings.ignored.isEmpty())
            printError(settings.ignored);
    }
    const QString& c = request.command;
    if (c == QLatin1String("devices"))
        return runDevices();
    if (c == QLatin1String("snapshot"))
        return runSnapshot(request, settings);
    if (c == QLatin1String("series"))
        return runSeries(request, settings);
    if (c == QLatin1String("record"))
        return runRecord(request, settings);
    if (c == QLatin1String("extract"))
        return runExtract(request, settings);
    if (c == QLatin1String("recompress"))
        return runRecompress(request, settings);
    if (c == QLatin1String("whatcodec"))
        return runWhatCodec(request);
    if (c == QLatin1String("repair"))
        return runRepair(request);
    if (c == QLatin1String("effect"))
        return runEffect(request, settings);
    throw UsageError{QStringLiteral("unknown command \"%1\"").arg(c)};
}

} // namespace lv::cli
