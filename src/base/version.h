#pragma once

#include <QString>

namespace lv {

// The program's title, used as the caption of every message box.
inline QString programTitle() { return QStringLiteral("Video Lumivark 2000"); }

inline constexpr int kVersionMajor = LUMIVARK_VERSION_MAJOR;
inline constexpr int kVersionMinor = LUMIVARK_VERSION_MINOR;
inline constexpr int kVersionBuild = LUMIVARK_VERSION_BUILD;

} // namespace lv
