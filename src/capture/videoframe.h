#pragma once

#include <QByteArray>
#include <QImage>
#include <chrono>
#include <memory>

namespace lv {

// One captured frame. Immutable once published: it is shared between the
// capture thread, the recorder and the UI thread through FramePtr.
struct VideoFrame {
    QImage image;          // Format_RGB888, top-down
    QByteArray jpeg;       // the device's own JPEG bytes when it delivered MJPEG, else empty
    uint64_t sequence = 0; // the device's buffer sequence number; a gap means frames were lost
    int64_t timestampUs = 0; // capture time, monotonic clock (std::chrono::steady_clock), microseconds
};

using FramePtr = std::shared_ptr<const VideoFrame>;

// The clock of frame and sound timestamps, in microseconds.
inline int64_t steadyMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace lv
