#pragma once

#include "base/command.h"
#include "settings/capturemodel.h"

#include <bitset>
#include <vector>

namespace lv {

class MainWindow;

using CommandSet = std::bitset<kCommandCount>;

// What decides which commands of the main window can be chosen now.
struct CommandConditions {
    CommandSet handled;            // commands some part of the program carries out
    bool mixer = false;            // the mixer program is installed
    RunState run = RunState::Idle; // what the capture is doing
};

// The commands that can be chosen under these conditions: a command nobody
// carries out is greyed out; the mixer items need the mixer; nothing starts
// a scheduled start while a series runs, nor arms the motion detector while
// it waits or a series runs.
CommandSet enabledCommands(const CommandConditions& conditions);

// A toolbar button that stands for a command and is enabled with it.
struct CommandButton {
    const char* toolbar; // object name of the KeyedToolBar
    const char* key;
    Command command;
};
const std::vector<CommandButton>& commandButtons();

// Items enabled by what the connected device can do (the video window sets
// them as it connects), not by the table above.
bool followsDevice(Command command);

// Every menu item and command button of the window, enabled as the conditions say.
void applyCommandStates(MainWindow& master, const CommandConditions& conditions);

} // namespace lv
