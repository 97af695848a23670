// The list of recordings being written, shared by every program of this
// user, so that one cut short by a crash is found and mended at the next start.
#include "movie/avirepair.h"

#include "base/programdirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcRepair)

namespace lv {

namespace {

// One line of the list. The current form is
//   "#2 <TAB> device <TAB> inode <TAB> size <TAB> pid <TAB> program <TAB> path"
// with the path last and '%', CR and LF in it written as %25, %0D, %0A.
// Older versions wrote the file name alone, as it was given.
struct Entry {
    QString path;
    bool identified = false; // the current form
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 pid = 0;
    QString program;

    bool sameFile(const Entry& o) const
    {
        if (identified && o.identified)
            return device == o.device && inode == o.inode;
        return path == o.path;
    }
    QString writer() const
    {
        return program.isEmpty() ? QStringLiteral("another program")
                                 : QStringLiteral("%1 (process %2)").arg(program).arg(pid);
    }
};

const QByteArray kEntryMark = "#2";

QByteArray escapedPath(const QString& path)
{
    QByteArray b = QFile::encodeName(path);
    b.replace('%', "%25").replace('\n', "%0A").replace('\r', "%0D");
    return b;
}

Entry parseEntry(const QByteArray& line)
{
    Entry e;
    if (line.startsWith(kEntryMark + '\t')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() >= 7) {
            e.identified = true;
            e.device = f[1].toULongLong();
            e.inode = f[2].toULongLong();
            e.size = f[3].toLongLong();
            e.pid = f[4].toLongLong();
            e.program = QString::fromUtf8(f[5]);
            // The path may hold tabs of its own.
            e.path = QFile::decodeName(QByteArray::fromPercentEncoding(f.mid(6).join('\t')));
            return e;
        }
    }
    e.path = QFile::decodeName(line);
    return e;
}

QByteArray formatEntry(const Entry& e)
{
    if (!e.identified)
        return QFile::encodeName(e.path);
    return kEntryMark + '\t' + QByteArray::number(e.device) + '\t' + QByteArray::number(e.inode) + '\t'
           + QByteArray::number(e.size) + '\t' + QByteArray::number(e.pid) + '\t' + e.program.toUtf8() + '\t'
           + escapedPath(e.path);
}

// The file as it is now: canonical path and identity; nothing when it does not exist.
std::optional<Entry> describe(const QString& fileName)
{
    const QFileInfo fi(fileName);
    const QString canonical = fi.canonicalFilePath();
    struct stat st {};
    if (canonical.isEmpty() || ::stat(QFile::encodeName(canonical).constData(), &st) != 0)
        return std::nullopt;
    Entry e;
    e.path = canonical;
    e.identified = true;
    e.device = quint64(st.st_dev);
    e.inode = quint64(st.st_ino);
    e.size = qint64(st.st_size);
    return e;
}

std::mutex journalMutex;

QString journalPath()
{
    return programDirectory() + QStringLiteral("unfinished-recordings");
}

// The list is shared by every program of this user: its changes are made
// under a lock on a file of its own (the list itself is replaced whole).
class JournalLock {
public:
    JournalLock() : m_guard(journalMutex)
    {
        m_fd = ::open(QFile::encodeName(journalPath() + QStringLiteral(".lock")).constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd >= 0) {
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~JournalLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    JournalLock(const JournalLock&) = delete;
    JournalLock& operator=(const JournalLock&) = delete;

private:
    std::lock_guard<std::mutex> m_guard;
    int m_fd = -1;
};

std::vector<Entry> readJournal()
{
    QFile f(journalPath());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    std::vector<Entry> entries;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!line.isEmpty())
            entries.push_back(parseEntry(line));
    return entries;
}

void writeJournal(const std::vector<Entry>& entries)
{
    if (entries.empty()) {
        QFile::remove(journalPath());
        return;
    }
    QSaveFile f(journalPath());
    if (!f.open(QIODevice::WriteOnly))
        return;
    for (const Entry& e : entries)
        f.write(formatEntry(e) + '\n');
    if (!f.commit())
        qCWarning(lcRepair).noquote() << "cannot write" << journalPath() << f.errorString();
}

// Whether someone holds the writer's lock on the file.
bool isLocked(const QString& fileName)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    bool locked = false;
    while (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        locked = errno == EWOULDBLOCK;
        break;
    }
    ::close(fd);
    return locked;
}

} // namespace

void AviRepair::markUnfinished(const QString& fileName, int64_t syncedSize)
{
    std::optional<Entry> me = describe(fileName);
    if (!me)
        return;
    me->pid = qint64(::getpid());
    me->program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    if (syncedSize >= 0)
        me->size = syncedSize;
    JournalLock lock;
    std::vector<Entry> entries = readJournal();
    // Whatever was listed under this name or for this file is replaced by the writer that has it now.
    std::erase_if(entries, [&](const Entry& e) { return e.sameFile(*me) || e.path == me->path; });
    entries.push_back(*me);
    writeJournal(entries);
}

void AviRepair::markFinished(const QString& fileName)
{
    const std::optional<Entry> me = describe(fileName);
    const QString absolute = QFileInfo(fileName).absoluteFilePath();
    JournalLock lock;
    std::vector<Entry> entries = readJournal();
    const size_t removed = std::erase_if(entries, [&](const Entry& e) {
        return (me && e.sameFile(*me)) || e.path == absolute || (me && e.path == me->path);
    });
    if (removed > 0)
        writeJournal(entries);
}

QString AviRepair::writerOf(const QString& fileName)
{
    if (!isLocked(fileName))
        return {};
    const std::optional<Entry> me = describe(fileName);
    JournalLock lock;
    for (const Entry& e : readJournal())
        if (me && e.sameFile(*me))
            return e.writer();
    return QStringLiteral("another program");
}

QStringList AviRepair::repairLeftovers(bool reportBusy)
{
    std::vector<Entry> listed;
    {
        JournalLock lock;
        listed = readJournal();
    }
    // Repaired without the list's lock: a big file takes a while, and
    // recordings starting meanwhile must be able to list themselves.
    QStringList lines;
    std::vector<Entry> done;
    for (const Entry& e : listed) {
        if (QDir::isRelativePath(e.path)) {
            // An older version kept the name as it was typed: relative to a
            // folder nobody knows any more. Guessing could mend the wrong file.
            lines << QStringLiteral("An unfinished recording \"%1\" was listed without its folder; not repaired "
                                    "(lumivark-cli repair FOLDER/%1 mends it)")
                         .arg(e.path);
            done.push_back(e);
            continue;
        }
        const std::optional<Entry> now = describe(e.path);
        if (!now) {
            done.push_back(e); // gone
            continue;
        }
        if (e.identified && (!now->sameFile(e) || (e.size >= 0 && now->size < e.size))) {
            lines << QStringLiteral("Not repairing %1: it is another file than the one recorded there").arg(e.path);
            done.push_back(e);
            continue;
        }
        const Result r = repair(e.path);
        if (r.before == State::Busy) {
            if (reportBusy)
                lines << statusText(e.path, r);
            continue; // stays listed for after its writer ends
        }
        if (const QString line = statusText(e.path, r); !line.isEmpty())
            lines << line;
        if (r.before != State::Unfinished || r.repaired)
            done.push_back(e);
    }
    if (!done.empty()) {
        JournalLock lock;
        std::vector<Entry> entries = readJournal();
        std::erase_if(entries, [&](const Entry& e) {
            return std::any_of(done.begin(), done.end(), [&](const Entry& d) {
                return d.path == e.path && d.identified == e.identified && d.device == e.device && d.inode == e.inode
                       && d.pid == e.pid;
            });
        });
        writeJournal(entries);
    }
    return lines;
}

} // namespace lv
