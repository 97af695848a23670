#pragma once

#include "base/command.h"

#include <QIcon>
#include <QString>

namespace lv {

// The picture of one command of the program, by the command's name ("open",
// "stamp-time", "motion-detector", ...). The desktop's icon theme supplies it
// by its freedesktop name; without a theme the picture shipped with the
// program stands in, so the program looks the same everywhere. Commands that
// share a base picture carry a small badge that tells them apart. An unknown
// name gives a null icon. UI thread only.
QIcon commandIcon(const QString& command);
QIcon commandIcon(Command command);

// The program's own icon, for every window.
QIcon applicationIcon();

} // namespace lv
