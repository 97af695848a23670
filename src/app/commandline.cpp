#include "app/commandline.h"
#include "base/version.h"

#include <QFileInfo>

namespace lv {

namespace {

const QString kProgram = QStringLiteral("lumivark");

QString helpText()
{
    return QStringLiteral("Usage: %1 [PARAMETERS-FILE]\n"
                          "%2: video capture with live picture, snapshots, image series and movies.\n"
                          "\n"
                          "  PARAMETERS-FILE  a capture parameters file (.lvp) to load at start\n"
                          "\n"
                          "Options:\n"
                          "  -h, --help       show this help and exit\n"
                          "  -v, --version    show the version and exit\n")
        .arg(kProgram, programTitle());
}

QString versionText()
{
    return QStringLiteral("%1 %2.%3 (build %4)\n")
        .arg(kProgram)
        .arg(kVersionMajor)
        .arg(kVersionMinor, 2, 10, QLatin1Char('0'))
        .arg(kVersionBuild);
}

} // namespace

CommandLine parseCommandLine(const QStringList& args)
{
    CommandLine c;
    const QString text = args.join(QLatin1Char(' '));
    if (text.isEmpty() || QFileInfo(text).isFile()) {
        c.parametersFile = text;
        return c;
    }
    for (const QString& a : args) {
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            c.action = CommandLine::Action::Help;
            c.output = helpText();
            return c;
        }
    }
    for (const QString& a : args) {
        if (a == QLatin1String("--version") || a == QLatin1String("-v")) {
            c.action = CommandLine::Action::Version;
            c.output = versionText();
            return c;
        }
    }
    for (const QString& a : args) {
        if (a.startsWith(QLatin1Char('-'))) {
            c.action = CommandLine::Action::Refuse;
            c.exitCode = 2;
            c.output = QStringLiteral("%1: unknown option '%2'\nTry '%1 --help' for more information.\n")
                           .arg(kProgram, a);
            return c;
        }
    }
    // A name that does not exist (yet) is the main window's to report.
    c.parametersFile = text;
    return c;
}

} // namespace lv
