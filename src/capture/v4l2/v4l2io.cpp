#include "capture/v4l2/v4l2io.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace lv::v4l2 {

int SystemIo::open(const QString& path, int flags) { return ::open(QFile::encodeName(path).constData(), flags); }
int SystemIo::close(int fd) { return ::close(fd); }
int SystemIo::ioctl(int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }
void* SystemIo::mmap(size_t length, int prot, int flags, int fd, off_t offset)
{
    return ::mmap(nullptr, length, prot, flags, fd, offset);
}
int SystemIo::munmap(void* addr, size_t length) { return ::munmap(addr, length); }

int SystemIo::poll(int fd, short events, short* revents, int timeoutMs)
{
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, timeoutMs);
    *revents = p.revents;
    return r;
}

QStringList SystemIo::deviceNodes() const
{
    static const QRegularExpression videoN(QStringLiteral("^video(\\d+)$"));
    std::vector<std::pair<int, QString>> nodes;
    for (const QString& name : QDir(QStringLiteral("/dev")).entryList(QDir::System | QDir::Files)) {
        const auto m = videoN.match(name);
        if (m.hasMatch())
            nodes.emplace_back(m.captured(1).toInt(), QStringLiteral("/dev/") + name);
    }
    std::sort(nodes.begin(), nodes.end());
    QStringList out;
    for (const auto& n : nodes)
        out << n.second;
    return out;
}

namespace {
Io* g_io = nullptr;
}

Io& io()
{
    if (!g_io) {
        static SystemIo system;
        return system;
    }
    return *g_io;
}

void setIo(Io* io) { g_io = io; }

int xioctl(Io& io, int fd, unsigned long request, void* arg)
{
    int r;
    do {
        r = io.ioctl(fd, request, arg);
    } while (r == -1 && errno == EINTR);
    return r;
}

} // namespace lv::v4l2
