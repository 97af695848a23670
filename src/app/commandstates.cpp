#include "app/commandstates.h"
#include "app/mainwindow.h"
#include "app/menutable.h"

#include <QAction>

namespace lv {

CommandSet enabledCommands(const CommandConditions& c)
{
    CommandSet on = c.handled;
    const auto when = [&on](Command command, bool allowed) {
        if (!allowed)
            on.reset(static_cast<size_t>(command));
    };
    when(Command::RecordingSettings, c.mixer);
    when(Command::Volume, c.mixer);
    const bool series = c.run == RunState::SeriesRunning;
    when(Command::Autostart, !series);
    when(Command::MotionDetector, !series && c.run != RunState::MotionArmed);
    return on;
}

const std::vector<CommandButton>& commandButtons()
{
    static const std::vector<CommandButton> buttons{
        {"MainToolbar", "open", Command::Open},
        {"MainToolbar", "save", Command::Save},
        {"MainToolbar", "viewer", Command::Viewer},
        {"MainToolbar", "preferences", Command::Preferences},
        {"MainToolbar", "about", Command::About},
        {"DeviceToolbar", "snapshot", Command::Snapshot},
        {"DeviceToolbar", "advanced", Command::Advanced},
        {"OperationBar", "record", Command::Record},
        {"OperationBar", "autostart", Command::Autostart},
        {"OperationBar", "motion", Command::MotionDetector},
    };
    return buttons;
}

bool followsDevice(Command command)
{
    return command == Command::Overlay || command == Command::VideoSource || command == Command::VideoFormat
        || command == Command::VideoDisplay;
}

void applyCommandStates(MainWindow& m, const CommandConditions& conditions)
{
    const CommandSet on = enabledCommands(conditions);
    const auto enabled = [&on](Command c) { return on.test(static_cast<size_t>(c)); };
    for (const MenuRow& row : menuRows())
        if (row.kind == MenuRow::Kind::Item && !followsDevice(row.command))
            if (QAction* a = m.action(row.command))
                a->setEnabled(enabled(row.command));
    for (const CommandButton& b : commandButtons()) {
        auto* toolbar = m.findChild<KeyedToolBar*>(QLatin1String(b.toolbar));
        if (QAction* a = toolbar ? toolbar->button(QLatin1String(b.key)) : nullptr)
            a->setEnabled(enabled(b.command));
    }
    // The panels' "Edit Other Information" buttons (the series one by file type).
    if (enabled(Command::OtherInfo))
        m.enableOtherInfo();
}

} // namespace lv
