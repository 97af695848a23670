#pragma once

// A small tmpfs mounted for one test and unmounted when it ends (tests run as
// root): a full disk, or with "ro" a folder nothing can be written to.

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class ScopedTmpfs {
public:
    // `fill` fills the disk up at once.
    explicit ScopedTmpfs(bool fill = false, const QString& options = QStringLiteral("size=256k"))
    {
        m_mounted = QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                                                QStringLiteral("-o"), options, QStringLiteral("tmpfs"),
                                                                m_dir.path()})
            == 0;
        if (m_mounted && fill) {
            QFile filler(path(QStringLiteral("filler")));
            if (filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
                while (filler.write(QByteArray(512, 'x')) > 0) {
                }
        }
    }
    ~ScopedTmpfs()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_dir.path()});
    }
    ScopedTmpfs(const ScopedTmpfs&) = delete;
    ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;

    bool mounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    // Frees that much of a filled disk, so the next file fits only in part.
    bool leave(qint64 bytes)
    {
        QFile filler(path(QStringLiteral("filler")));
        return filler.resize(filler.size() - bytes);
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};
