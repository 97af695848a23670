#pragma once

#include "base/dialogs.h"

#include <QList>
#include <QQueue>
#include <functional>

namespace lv {

// Dialogs for tests: records every request and answers from queues the test
// fills. An empty queue answers Yes/Ok for messages (Discard for Save/Discard/Cancel),
// cancel for file and colour dialogs.
class ScriptedDialogs final : public Dialogs {
public:
    struct Request {
        enum class Kind { Message, OpenFile, SaveFile, Color } kind;
        QString text;    // message text or dialog title
        QString caption; // message caption, or the dialog's filter
        QString initial; // initial file name
        Icon icon = Icon::Information;
        Buttons buttons = Buttons::Ok;
    };

    QList<Request> requests;
    QQueue<Answer> answers;
    QQueue<QString> fileAnswers;
    // The filter chosen in each save dialog, by index; an empty queue chooses the first.
    QQueue<int> filterAnswers;
    QQueue<std::optional<QColor>> colorAnswers;
    // Runs while a message is up, as events that arrive under a real message box would.
    std::function<void()> whileAsking;

    // Convenience: the texts of all messages shown so far.
    QStringList messages() const;

    Answer message(const QString& text, Icon icon, Buttons buttons, const QString& caption,
                   QWidget* parent) override;
    QString openFile(const QString& title, const QString& filter, const QString& initialName,
                     QWidget* parent) override;
    QString saveFile(const QString& title, const QString& filter, const QString& initialName,
                     QWidget* parent) override;
    std::optional<QColor> chooseColor(const QColor& initial, QWidget* parent) override;
};

// Installs a ScriptedDialogs for the lifetime of the object.
class ScopedScriptedDialogs {
public:
    ScopedScriptedDialogs() { setDialogs(&d); }
    ~ScopedScriptedDialogs() { setDialogs(nullptr); }
    ScriptedDialogs d;
};

} // namespace lv
