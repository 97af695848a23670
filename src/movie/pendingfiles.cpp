#include "movie/pendingfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace lv {

PendingFiles::~PendingFiles()
{
    for (const Entry& e : m_entries)
        QFile::remove(e.temp);
}

// Made with mode 0666 less the umask, as every other output of the program:
// the rename keeps it, and a temporary file's 0600 would make the finished
// movie private to its owner.
QString PendingFiles::add(const QString& finalName)
{
    const QFileInfo fi(finalName);
    const QString stem = fi.absolutePath() + QStringLiteral("/.") + fi.fileName() + QLatin1Char('.');
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = stem + QString::number(QRandomGenerator::global()->generate() % 1000000u, 36);
        const int fd = ::open(QFile::encodeName(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            m_entries.push_back({name, finalName});
            return name;
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}

bool PendingFiles::commit(QString* error)
{
    for (const Entry& e : m_entries) {
        // rename() replaces an older file of that name in one step.
        if (std::rename(QFile::encodeName(e.temp).constData(), QFile::encodeName(e.finalName).constData())
            != 0) {
            *error = QStringLiteral("Cannot rename the finished file to %1: %2")
                         .arg(e.finalName, QString::fromLocal8Bit(strerror(errno)));
            return false;
        }
    }
    m_entries.clear();
    return true;
}

} // namespace lv
