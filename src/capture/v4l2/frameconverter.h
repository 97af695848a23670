#pragma once

#include "capture/videoframe.h"

#include <QImage>
#include <QSize>
#include <cstdint>
#include <memory>

namespace lv::v4l2 {

// Turns one device buffer (YUYV or Motion JPEG) into a top-down RGB888
// image. Two engines: libswscale (with libavcodec's JPEG decoder) and
// libv4lconvert. Packed RGB/BGR (24 and 32 bit), NV12 and YUV 4:2:0 planar
// buffers always go through libswscale. One converter per capture thread; not thread-safe.
class FrameConverter {
public:
    enum class Engine { Swscale, V4lConvert };
    explicit FrameConverter(Engine engine = defaultEngine());
    ~FrameConverter();
    FrameConverter(const FrameConverter&) = delete;
    FrameConverter& operator=(const FrameConverter&) = delete;

    // The faster engine on this machine's measurements (see bench/capture).
    static Engine defaultEngine();

    // bytesPerLine 0 = packed rows. False for a damaged or unknown buffer.
    bool convert(uint32_t fourcc, QSize size, uint32_t bytesPerLine, const uint8_t* data, size_t bytes,
                 QImage* out);

    // A YUYV, NV12 or I420 buffer is kept in the frame as it is (frame->yuv,
    // studio range), for a recording to compress without a conversion; its
    // RGB picture is made only when asked for. False for other formats and
    // for a buffer too short for its size (a damaged one).
    static bool keepYuv(uint32_t fourcc, QSize size, uint32_t bytesPerLine, const uint8_t* data, size_t bytes,
                        VideoFrame* frame);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace lv::v4l2
