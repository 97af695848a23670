#include "base/scripteddialogs.h"
#include "base/version.h"

#include <utility>

namespace lv {

QStringList ScriptedDialogs::messages() const
{
    QStringList out;
    for (const Request& r : requests)
        if (r.kind == Request::Kind::Message)
            out << r.text;
    return out;
}

Dialogs::Answer ScriptedDialogs::message(const QString& text, Icon icon, Buttons buttons,
                                         const QString& caption, QWidget*)
{
    requests.append({Request::Kind::Message, text, caption.isEmpty() ? programTitle() : caption, {},
                     icon, buttons});
    if (whileAsking) {
        const auto hook = std::exchange(whileAsking, {}); // once, and not for messages it raises
        hook();
    }
    if (!answers.isEmpty())
        return answers.dequeue();
    switch (buttons) {
    case Buttons::YesNo: return Answer::Yes;
    case Buttons::SaveDiscardCancel: return Answer::Discard;
    default: return Answer::Ok;
    }
}

QString ScriptedDialogs::openFile(const QString& title, const QString& filter,
                                  const QString& initialName, QWidget*)
{
    requests.append({Request::Kind::OpenFile, title, filter, initialName});
    return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
}

QString ScriptedDialogs::saveFile(const QString& title, const QString& filter,
                                  const QString& initialName, QWidget*)
{
    requests.append({Request::Kind::SaveFile, title, filter, initialName});
    const int chosen = filterAnswers.isEmpty() ? 0 : filterAnswers.dequeue();
    // As the real dialog does: a name typed without an extension takes the chosen filter's.
    return fileAnswers.isEmpty() ? QString() : withFilterExtension(fileAnswers.dequeue(), filter, chosen);
}

std::optional<QColor> ScriptedDialogs::chooseColor(const QColor& initial, QWidget*)
{
    requests.append({Request::Kind::Color, {}, {}, initial.name()});
    return colorAnswers.isEmpty() ? std::nullopt : colorAnswers.dequeue();
}

} // namespace lv
