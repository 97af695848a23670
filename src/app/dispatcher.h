#pragma once

#include "base/command.h"

#include <QObject>
#include <QPointer>

#include <array>
#include <functional>

namespace lv {

// The one way a command of the main window reaches its work. Menu items,
// toolbar buttons, shortcuts and the requests the program's parts send one
// another all call dispatch(); the object that owns a behaviour registers it
// here (the window its own, the application its windows, the capture
// controller the captures). A command nobody registered is logged, never
// silently lost. UI thread only.
class CommandDispatcher final : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // owner's work for the command, in place of an earlier one; it is dropped
    // when owner is destroyed.
    void registerHandler(Command command, QObject* owner, std::function<void()> handler);
    bool handles(Command command) const;

    // Runs the command's work; false, and a warning in the log, when nobody does it.
    bool dispatch(Command command);

signals:
    // Every command dispatched, before its work runs.
    void dispatched(lv::Command command);
    // A command gained or lost its work (what may be chosen follows).
    void handlersChanged();

private:
    struct Handler {
        QPointer<QObject> owner;
        std::function<void()> run;
    };
    std::array<Handler, kCommandCount> m_handlers;
};

} // namespace lv
