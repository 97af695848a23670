#include "net/uploadspool.h"

#include "net/netlog.h"
#include "net/serveraddress.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace lv {

namespace {

constexpr int kNumberWidth = 10;
const QString kPartSuffix = QStringLiteral(".part");

} // namespace

UploadSpool::UploadSpool(const QString& folder, qint64 capBytes) : m_folder(folder), m_cap(std::max<qint64>(0, capBytes))
{
    QDir dir(m_folder);
    if (!dir.exists() && QDir().mkpath(m_folder))
        // The pictures may be private.
        QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // A copy a crash interrupted never completed: it is not a waiting picture.
    for (const QString& part : dir.entryList({QLatin1Char('*') + kPartSuffix}, QDir::Files | QDir::Hidden))
        QFile::remove(dir.filePath(part));
}

QString UploadSpool::folderFor(const QString& root, const ServerAddress& address, const QString& userName)
{
    const QByteArray key = address.display().toUtf8() + '\n' + userName.toUtf8() + '\n' + address.directory.toUtf8();
    const QString hash = QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(12));
    QString readable = address.host;
    readable.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    return QDir(root).filePath(readable.left(40) + QLatin1Char('-') + hash);
}

std::vector<UploadSpool::Entry> UploadSpool::entries() const
{
    std::vector<Entry> list;
    const QDir dir(m_folder);
    const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo& fi : files) {
        const QString name = fi.fileName();
        if (name.endsWith(kPartSuffix) || name.size() <= kNumberWidth + 1 || name.at(kNumberWidth) != QLatin1Char('-'))
            continue;
        bool ok = false;
        const quint64 number = name.left(kNumberWidth).toULongLong(&ok);
        if (!ok)
            continue;
        list.push_back({fi.filePath(), name.mid(kNumberWidth + 1), fi.size(), number});
    }
    std::sort(list.begin(), list.end(), [](const Entry& a, const Entry& b) { return a.number < b.number; });
    return list;
}

qint64 UploadSpool::bytes() const
{
    qint64 total = 0;
    for (const Entry& e : entries())
        total += e.size;
    return total;
}

bool UploadSpool::remove(const Entry& entry)
{
    return QFile::remove(entry.file);
}

bool UploadSpool::add(const QString& localFile, const QString& remoteName, QStringList* dropped, QString* error)
{
    auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        qCWarning(lcNet).noquote() << "spool:" << text;
        return false;
    };
    const QFileInfo source(localFile);
    if (!source.isFile())
        return fail(QStringLiteral("Cannot keep %1 for the upload: it is not a readable file.").arg(source.fileName()));
    if (m_cap > 0 && source.size() > m_cap)
        return fail(QStringLiteral("%1 (%2 bytes) is larger than the upload spool's limit of %3 bytes; it was not kept.")
                        .arg(remoteName)
                        .arg(source.size())
                        .arg(m_cap));
    if (!QDir().mkpath(m_folder))
        return fail(QStringLiteral("Cannot make the upload spool folder %1.").arg(m_folder));

    std::vector<Entry> waiting = entries();
    const quint64 number = waiting.empty() ? 1 : waiting.back().number + 1;
    const QString finalName =
        QDir(m_folder).filePath(QStringLiteral("%1-%2").arg(number, kNumberWidth, 10, QLatin1Char('0')).arg(remoteName));
    const QString part = finalName + kPartSuffix;
    QFile::remove(part);
    if (!QFile::copy(localFile, part)) {
        QFile::remove(part);
        return fail(QStringLiteral("Cannot copy %1 into the upload spool %2.").arg(source.fileName(), m_folder));
    }
    if (!QFile::rename(part, finalName)) {
        QFile::remove(part);
        return fail(QStringLiteral("Cannot copy %1 into the upload spool %2.").arg(source.fileName(), m_folder));
    }

    // Only the newest picture of one remote name is worth sending.
    for (auto it = waiting.begin(); it != waiting.end();) {
        if (it->remoteName == remoteName) {
            QFile::remove(it->file);
            it = waiting.erase(it);
        } else {
            ++it;
        }
    }
    if (m_cap > 0) {
        qint64 total = source.size();
        for (const Entry& e : waiting)
            total += e.size;
        for (auto it = waiting.begin(); total > m_cap && it != waiting.end(); ++it) {
            QFile::remove(it->file);
            total -= it->size;
            if (dropped)
                *dropped << it->remoteName;
            qCWarning(lcNet).noquote() << "spool: full, dropped the oldest waiting picture" << it->remoteName;
        }
    }
    return true;
}

} // namespace lv
