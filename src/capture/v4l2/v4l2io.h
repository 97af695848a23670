#pragma once

#include <QString>
#include <cstddef>
#include <sys/types.h>

namespace lv::v4l2 {

// The system calls the V4L2 back end makes, behind one narrow seam so a
// recorded device can be replayed through the real code. Each call has the
// meaning and the result of the libc call of the same name: -1 with errno
// set on failure (mmap: MAP_FAILED). Any thread; an implementation must be
// safe to call from the capture thread and the UI thread at once.
class Io {
public:
    virtual ~Io() = default;
    virtual int open(const QString& path, int flags) = 0;
    virtual int close(int fd) = 0;
    virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
    virtual void* mmap(size_t length, int prot, int flags, int fd, off_t offset) = 0;
    virtual int munmap(void* addr, size_t length) = 0;
    // One descriptor; returns the poll() result and fills *revents.
    virtual int poll(int fd, short events, short* revents, int timeoutMs) = 0;
    // The device nodes to look at, in node order (/dev/video0, /dev/video1, ...).
    virtual QStringList deviceNodes() const = 0;
};

// The real kernel interface.
class SystemIo final : public Io {
public:
    int open(const QString& path, int flags) override;
    int close(int fd) override;
    int ioctl(int fd, unsigned long request, void* arg) override;
    void* mmap(size_t length, int prot, int flags, int fd, off_t offset) override;
    int munmap(void* addr, size_t length) override;
    int poll(int fd, short events, short* revents, int timeoutMs) override;
    QStringList deviceNodes() const override;
};

// The seam the back end uses; the system's unless a test installs another.
Io& io();
void setIo(Io* io); // nullptr restores the system interface

// ioctl, retried while interrupted by a signal.
int xioctl(Io& io, int fd, unsigned long request, void* arg);

} // namespace lv::v4l2
