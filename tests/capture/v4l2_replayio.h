#pragma once

#include "capture/v4l2/v4l2io.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <map>
#include <mutex>
#include <vector>

// Plays back a recorded description of V4L2 devices (capabilities, formats,
// controls, frames, a buffer sequence) behind the back end's system-call
// seam, answering ioctls the way the kernel does. When its sequence runs out
// a device either vanishes (poll reports an error, DQBUF fails with ENODEV)
// or stops delivering.
class ReplayIo final : public lv::v4l2::Io {
public:
    // description: the JSON file; frame files are read from its folder.
    explicit ReplayIo(const QString& description);

    int open(const QString& path, int flags) override;
    int close(int fd) override;
    int ioctl(int fd, unsigned long request, void* arg) override;
    void* mmap(size_t length, int prot, int flags, int fd, off_t offset) override;
    int munmap(void* addr, size_t length) override;
    int poll(int fd, short events, short* revents, int timeoutMs) override;
    QStringList deviceNodes() const override;

    int openDescriptors() const;
    int mappedBuffers() const;
    int controlValue(const QString& path, uint32_t id) const;

private:
    struct Buffer {
        QByteArray data;
        bool queued = false;
        bool mapped = false;
    };
    struct DeviceState {
        QJsonObject desc;
        uint32_t fourcc = 0;
        int width = 0;
        int height = 0;
        uint32_t ivNum = 1;
        uint32_t ivDen = 30;
        std::map<uint32_t, int> controls;
        std::vector<Buffer> buffers;
        bool streaming = false;
        int next = 0; // index into the sequence
        std::map<uint32_t, QByteArray> frames;
    };
    DeviceState* stateOf(int fd);
    int handle(DeviceState& d, unsigned long request, void* arg);
    bool exhausted(const DeviceState& d) const;

    mutable std::mutex m_mutex;
    std::map<QString, DeviceState> m_devices;
    std::map<int, QString> m_open;
    int m_nextFd = 100;
};
