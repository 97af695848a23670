#pragma once

namespace lv {

class MainWindow;

// Gives every menu command of the main window, and the stamp position lists,
// the picture of its command (toolbar buttons get theirs as they are added).
void assignCommandIcons(MainWindow& master);

} // namespace lv
