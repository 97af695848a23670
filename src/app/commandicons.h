#pragma once

#include <QIcon>

namespace lv {

class MainWindow;
struct MenuRow;

// The picture a menu row names (see MenuRow::Picture): a menu command shows
// the same picture as the toolbar button that does the same.
QIcon menuRowIcon(const MenuRow& row);

// Gives the stamp position lists the picture of what they place (the menu
// items get theirs from the command table as they are built).
void assignCommandIcons(MainWindow& master);

} // namespace lv
