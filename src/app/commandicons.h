#pragma once

namespace lv {

class Master;

// Gives every menu command of the main window, and the stamp position lists,
// the picture of its command (toolbar buttons get theirs as they are added).
void assignCommandIcons(Master& master);

} // namespace lv
