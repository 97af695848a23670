#pragma once

#include <QString>

#include <utility>

namespace lv {

// The icon of a message box: what kind of news the message is.
enum class MessageIcon { Information, Warning, Error, Question, None };

// The outcome of a file operation below the windows: success, or the message
// the user is to see (its exact text and icon), or only the system's reason
// for a caller that words the message itself. The file layers never show it
// themselves; the window that asked does, the command-line program prints it.
class [[nodiscard]] FileResult {
public:
    FileResult() = default; // success

    static FileResult failure(QString text, MessageIcon icon)
    {
        FileResult r;
        r.m_failed = true;
        r.m_text = std::move(text);
        r.m_icon = icon;
        return r;
    }

    // A failure for the caller to put into words: the reason alone ("No space
    // left on device"), no message of its own.
    static FileResult failed(QString reason)
    {
        return failure({}, MessageIcon::Error).because(std::move(reason));
    }

    // The same failure with the system's own reason ("No space left on
    // device"), for callers that print more than the message.
    FileResult because(QString reason) &&
    {
        m_reason = std::move(reason);
        return std::move(*this);
    }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    // Empty after success, and after a failure with nothing to tell.
    const QString& message() const { return m_text; }
    MessageIcon icon() const { return m_icon; }
    // Why it failed, when the system said; may be empty.
    const QString& reason() const { return m_reason; }

private:
    bool m_failed = false;
    QString m_text;
    QString m_reason;
    MessageIcon m_icon = MessageIcon::Information;
};

} // namespace lv
