#pragma once

#include "movie/yuvjpeg.h"

#include <QByteArray>
#include <QImage>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

namespace lv {

// One captured frame. Immutable once published: it is shared between the
// capture thread, the recorder and the UI thread through FramePtr.
//
// A device that delivers YUV hands it on as it is (yuv), for the recorder to
// compress straight from its planes; the RGB picture is made from it only
// when something asks for it (picture()), at most once per frame.
struct VideoFrame {
    QImage image;          // Format_RGB888, top-down; empty when the frame makes it on demand
    QByteArray jpeg;       // the device's own JPEG bytes when it delivered MJPEG, else empty
    YuvPicture yuv;        // the device's own YUV picture when it delivered one, else null
    uint64_t sequence = 0; // the device's buffer sequence number; a gap means frames were lost
    int64_t timestampUs = 0; // capture time, monotonic clock (std::chrono::steady_clock), microseconds
    // Makes the RGB888 picture when image is empty; called at most once.
    std::function<QImage()> makePicture;

    // The RGB888 picture: image, or the one made on first asking. Any thread.
    QImage picture() const
    {
        if (!image.isNull() || !makePicture)
            return image;
        std::call_once(m_made, [this] { m_picture = makePicture(); });
        return m_picture;
    }
    // The picture's size without making it.
    QSize size() const { return !image.isNull() || yuv.isNull() ? image.size() : yuv.size; }

private:
    mutable std::once_flag m_made;
    mutable QImage m_picture;
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
