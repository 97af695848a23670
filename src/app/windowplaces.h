#pragma once

#include <QString>

class QMainWindow;
class QMdiArea;
class QMdiSubWindow;

namespace lv {

// Where the main window and its child windows were when the program last
// ended, kept in the settings store (application "LV", section "Windows")
// so the next start puts them back. UI thread only.
namespace windowplaces {

void saveMain(const QMainWindow& window);
bool restoreMain(QMainWindow& window);

// Child windows are kept by the name of the window they frame ("VideoScreen", "Image", ...).
void saveChildren(const QMdiArea& area);
// Puts a child window back where it was; withSize false keeps its size (a
// window whose size follows its picture). False when nothing was kept.
bool restoreChild(QMdiSubWindow& window, bool withSize = true);

} // namespace windowplaces
} // namespace lv
