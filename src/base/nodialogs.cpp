#include "base/dialogs.h"

#include <QLoggingCategory>

namespace lv {

namespace {

Q_LOGGING_CATEGORY(lcDialogs, "lumivark.dialogs")

// Without Qt Widgets nobody can answer: messages go to the log, every
// question is answered "no" and every file or colour choice is cancelled.
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

} // namespace

Dialogs& defaultDialogs()
{
    static LoggedDialogs logged;
    return logged;
}

} // namespace lv
