#include "app/dispatcher.h"

#include <QLoggingCategory>

// Defined with the application.
Q_DECLARE_LOGGING_CATEGORY(lcApp)

namespace lv {

void CommandDispatcher::registerHandler(Command command, QObject* owner, std::function<void()> handler)
{
    Handler& h = m_handlers[static_cast<size_t>(command)];
    h.owner = owner;
    h.run = std::move(handler);
    // A handler whose owner goes leaves its command greyed out, not dangling.
    connect(owner, &QObject::destroyed, this, &CommandDispatcher::handlersChanged, Qt::UniqueConnection);
    emit handlersChanged();
}

bool CommandDispatcher::handles(Command command) const
{
    const Handler& h = m_handlers[static_cast<size_t>(command)];
    return h.owner && h.run;
}

bool CommandDispatcher::dispatch(Command command)
{
    emit dispatched(command);
    if (!handles(command)) {
        // A command nobody carries out is a fault of the wiring, not of the user.
        qCWarning(lcApp) << "unhandled command" << commandName(command);
        return false;
    }
    // A copy: the work may register another handler for its own command.
    const std::function<void()> run = m_handlers[static_cast<size_t>(command)].run;
    run();
    return true;
}

} // namespace lv
