#include "base/dialogs.h"

#include <QLoggingCategory>
#include <QRegularExpression>

namespace lv {

namespace {

Q_LOGGING_CATEGORY(lcDialogs, "lumivark.dialogs")

// Without windows nobody can answer: messages go to the log, every question
// is answered "no" and every file or colour choice is cancelled.
class LoggedDialogs final : public Dialogs {
public:
    Answer message(const QString& text, Icon icon, Buttons buttons, const QString&, QWidget*) override
    {
        if (icon == Icon::Information)
            qCInfo(lcDialogs).noquote() << text;
        else
            qCWarning(lcDialogs).noquote() << text;
        return buttons == Buttons::Ok ? Answer::Ok : (buttons == Buttons::YesNo ? Answer::No : Answer::Cancel);
    }
    QString openFile(const QString&, const QString&, const QString&, QWidget*) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&, QWidget*) override { return {}; }
    std::optional<QColor> chooseColor(const QColor&, QWidget*) override { return std::nullopt; }
};

Dialogs* g_default = nullptr;
Dialogs* g_dialogs = nullptr;

} // namespace

Dialogs& defaultDialogs()
{
    static LoggedDialogs logged;
    return g_default ? *g_default : logged;
}
void setDefaultDialogs(Dialogs* d) { g_default = d; }

Dialogs& dialogs() { return g_dialogs ? *g_dialogs : defaultDialogs(); }
void setDialogs(Dialogs* d) { g_dialogs = d; }

void showFailure(const FileResult& result, QWidget* parent)
{
    if (!result.ok() && !result.message().isEmpty())
        dialogs().message(result.message(), result.icon(), Dialogs::Buttons::Ok, {}, parent);
}

QString qtFilterFromPipeFilter(const QString& pipeFilter)
{
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString name = parts[i].trimmed();
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (name.isEmpty() && patterns.isEmpty())
            continue;
        // Qt takes the patterns from the parentheses; keep the visible name as given.
        if (name.contains(QLatin1Char('(')))
            out << QStringLiteral("%1").arg(name).replace(QRegularExpression(QStringLiteral("\\(.*\\)")),
                                                           QStringLiteral("(%1)").arg(patterns));
        else
            out << QStringLiteral("%1 (%2)").arg(name, patterns);
    }
    return out.join(QStringLiteral(";;"));
}

QString filterExtension(const QString& pipeFilter, int filterIndex)
{
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    const int at = 2 * filterIndex + 1;
    if (filterIndex < 0 || at >= parts.size())
        return {};
    const QString first = parts[at].split(QLatin1Char(';')).value(0).trimmed();
    static const QRegularExpression plain(QStringLiteral("^\\*\\.([A-Za-z0-9_]+)$"));
    const QRegularExpressionMatch m = plain.match(first);
    return m.hasMatch() ? m.captured(1) : QString();
}

QString withFilterExtension(const QString& name, const QString& pipeFilter, int filterIndex)
{
    const QString ext = filterExtension(pipeFilter, filterIndex);
    if (name.isEmpty() || ext.isEmpty())
        return name;
    const QString file = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    if (file.isEmpty())
        return name;
    // A dot at the very start marks a hidden file, not an extension.
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    if (dot > 0 && dot < file.size() - 1)
        return name;
    return file.endsWith(QLatin1Char('.')) && dot > 0 ? name + ext : name + QLatin1Char('.') + ext;
}

} // namespace lv
