#pragma once

#include <QString>
#include <cstdint>

namespace lv {

// Free bytes available to the user on the file system holding path (its
// nearest existing ancestor folder when the file or folder does not exist).
// -1 when nothing along the path can be examined.
int64_t freeDiskSpace(const QString& path);

} // namespace lv
