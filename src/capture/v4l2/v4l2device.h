#pragma once

#include "capture/v4l2/v4l2io.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace lv::v4l2 {

// A frame interval in seconds, as V4L2 gives it (1/30 = 30 frames per second).
struct Interval {
    uint32_t num = 1;
    uint32_t den = 15;
    double rate() const { return num ? double(den) / num : 0.0; }
    bool operator==(const Interval&) const = default;
};

struct FrameSizeInfo {
    QSize size;
    std::vector<Interval> intervals; // fastest first as the device lists them
};

struct PixelFormatInfo {
    uint32_t fourcc = 0;
    QString description;
    bool convertible = false; // this program can turn it into RGB
    std::vector<FrameSizeInfo> sizes;
};

struct ControlInfo {
    enum class Type { Integer, Boolean, Menu, Button };
    uint32_t id = 0;
    QString name;
    Type type = Type::Integer;
    int minimum = 0;
    int maximum = 0;
    int step = 1;
    int defaultValue = 0;
    int value = 0;
    bool inactive = false;
    std::vector<std::pair<int, QString>> menu; // value -> name
};

struct CurrentFormat {
    uint32_t fourcc = 0;
    QSize size;
    uint32_t bytesPerLine = 0;
    uint32_t sizeImage = 0;
    Interval interval;
};

// One dequeued buffer, valid until requeue().
struct Buffer {
    uint32_t index = 0;
    const uint8_t* data = nullptr;
    uint32_t bytesUsed = 0;
    uint32_t sequence = 0;
    bool error = false; // the driver marked the data as damaged
};

QString fourccText(uint32_t fourcc);
bool isConvertible(uint32_t fourcc);

// One V4L2 device node. Threads: the capture thread streams (waitFrame,
// dequeue, requeue); everything else runs on the UI thread while the stream
// is stopped, except control reads and writes, which the driver allows at
// any time. Every call returns false / empty on failure.
class Device {
public:
    explicit Device(Io& io);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Opens the node and reads its capabilities; false (closed) when it is
    // not a streaming video-capture device.
    bool open(const QString& path);
    void close();
    bool isOpen() const { return m_fd >= 0; }

    QString path() const { return m_path; }
    QString card() const { return m_card; }
    // Where the device hangs on the machine ("usb-0000:00:14.0-1"); stays put across reconnects.
    QString busInfo() const { return m_busInfo; }
    // Driver name and version, "uvcvideo 6.1.0".
    QString driverVersion() const { return m_driverVersion; }

    std::vector<PixelFormatInfo> formats() const;
    std::vector<ControlInfo> controls() const;
    bool setControl(uint32_t id, int value);
    bool readControl(uint32_t id, int* value) const;

    CurrentFormat currentFormat() const;
    // Sets the pixel format and size, then the interval (when the device
    // lets the rate be set). The device may adjust; read currentFormat().
    bool setFormat(uint32_t fourcc, QSize size, Interval interval);

    bool startStreaming(uint32_t bufferCount = 4);
    void stopStreaming(); // safe to call twice
    bool streaming() const { return m_streaming; }

    enum class Wait { Ready, Timeout, Lost };
    Wait waitFrame(int timeoutMs);
    // False with *lost set when the device has gone.
    bool dequeue(Buffer* buffer, bool* lost);
    bool requeue(uint32_t index);

private:
    struct Mapping {
        void* addr = nullptr;
        size_t length = 0;
    };
    Io& m_io;
    int m_fd = -1;
    QString m_path;
    QString m_card;
    QString m_busInfo;
    QString m_driverVersion;
    std::vector<Mapping> m_buffers;
    bool m_streaming = false;
};

// Reads name and driver of a node without keeping it open; false when the
// node is not a streaming video-capture device.
bool probeDevice(Io& io, const QString& path, QString* card, QString* driverVersion);

} // namespace lv::v4l2
