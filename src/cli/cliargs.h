#pragma once

#include <QMap>
#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>
#include <stdexcept>

namespace lv::cli {

// A command line that does not say what the program can do: exit status 2.
struct UsageError {
    QString text;
};

// One parsed command line: the subcommand, its operands and its options
// (name without the dashes -> value; "" for a flag).
struct Request {
    QString command;
    QStringList operands;
    QMap<QString, QString> options;

    bool has(const QString& name) const { return options.contains(name); }
    QString text(const QString& name, const QString& def = {}) const { return options.value(name, def); }
    // The option as a number in [low, high]; def when absent. UsageError otherwise.
    int integer(const QString& name, int low, int high, int def) const;
    double decimal(const QString& name, double low, double high, double def) const;
    // "WxH"; def when absent.
    QSize size(const QString& name, QSize def) const;
    // A stamp position: 0-5 or top-left, top-right, top-center, bottom-left,
    // bottom-right, bottom-center; def when absent.
    int position(const QString& name, int def) const;
};

// Splits and checks argv (without the program name) against what each
// subcommand takes. "--help" anywhere gives a request for "help".
Request parseArguments(const QStringList& args);

// The FTP options of series and the information field options of record,
// in the order of the window's lists.
extern const QStringList kFtpOptions;
extern const QStringList kInfoOptions;

// The subcommands, in the order --help lists them.
QStringList commandNames();
// The whole --help text.
QString helpText();

} // namespace lv::cli
