#include "base/diskspace.h"

#include <QFileInfo>
#include <sys/statvfs.h>

namespace lv {

int64_t freeDiskSpace(const QString& path)
{
    QString p = QFileInfo(path).absoluteFilePath();
    while (!p.isEmpty()) {
        struct statvfs st {};
        if (statvfs(QFile::encodeName(p).constData(), &st) == 0)
            return static_cast<int64_t>(st.f_bavail) * static_cast<int64_t>(st.f_frsize);
        const QString parent = QFileInfo(p).path();
        if (parent == p)
            break;
        p = parent;
    }
    return -1;
}

} // namespace lv
