#include "capture/v4l2/frameconverter.h"

#include "movie/ffmpegptr.h"
#include "movie/packedscaler.h"

#include <cerrno>
#include <cstring>
#include <libv4l-plugin.h>
#include <libv4lconvert.h>
#include <linux/videodev2.h>

namespace lv::v4l2 {

namespace {

// libv4lconvert asks its device about formats; this one has no device
// behind it and answers nothing, so it only converts.
int noIoctl(void*, int, unsigned long request, void* arg)
{
    if (request == VIDIOC_QUERYCAP) {
        auto* cap = static_cast<v4l2_capability*>(arg);
        *cap = {};
        std::memcpy(cap->driver, "lumivark", 9);
        std::memcpy(cap->card, "converter", 10);
        cap->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
        cap->device_caps = cap->capabilities;
        return 0;
    }
    errno = ENOTTY;
    return -1;
}
ssize_t noRead(void*, int, void*, size_t)
{
    errno = EINVAL;
    return -1;
}
ssize_t noWrite(void*, int, const void*, size_t)
{
    errno = EINVAL;
    return -1;
}
const libv4l_dev_ops kNoDevice = {nullptr, nullptr, noIoctl, noRead, noWrite,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

struct V4lConvertFree {
    void operator()(v4lconvert_data* d) const { v4lconvert_destroy(d); }
};

} // namespace

struct FrameConverter::Impl {
    Engine engine;
    // swscale engine
    SwsContext* swsRaw = nullptr; // cached by sws_getCachedContext; freed with the converter
    ff::PackedScaler scaler;
    ff::CodecContextPtr jpegDecoder;
    ff::PacketPtr packet;
    ff::FramePtr decoded;
    // libv4lconvert engine
    std::unique_ptr<v4lconvert_data, V4lConvertFree> v4l;

    bool ensureImage(QSize size, QImage* out)
    {
        if (out->size() != size || out->format() != QImage::Format_RGB888 || !out->isDetached())
            *out = QImage(size, QImage::Format_RGB888);
        return !out->isNull();
    }

    bool scale(AVPixelFormat fmt, QSize size, const uint8_t* const planes[], const int strides[], QImage* out,
               bool fullRange)
    {
        SwsContext* before = swsRaw;
        swsRaw = sws_getCachedContext(swsRaw, size.width(), size.height(), fmt, size.width(), size.height(),
                                      AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!swsRaw)
            return false;
        if (swsRaw != before) {
            const int* coeffs = sws_getCoefficients(SWS_CS_ITU601);
            sws_setColorspaceDetails(swsRaw, coeffs, fullRange ? 1 : 0, coeffs, 1, 0, 1 << 16, 1 << 16);
        }
        if (!ensureImage(size, out))
            return false;
        return scaler.scale(swsRaw, planes, strides, size.height(), AV_PIX_FMT_RGB24, size.width(), size.height(),
                            out->bits(), int(out->bytesPerLine()));
    }

    bool swsYuyv(QSize size, uint32_t bpl, const uint8_t* data, size_t bytes, QImage* out)
    {
        const uint32_t stride = bpl ? bpl : uint32_t(size.width()) * 2;
        if (bytes < size_t(stride) * size_t(size.height()))
            return false;
        const uint8_t* planes[1] = {data};
        const int strides[1] = {int(stride)};
        return scale(AV_PIX_FMT_YUYV422, size, planes, strides, out, false);
    }

    bool swsJpeg(const uint8_t* data, size_t bytes, QImage* out)
    {
        if (!jpegDecoder) {
            const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
            jpegDecoder.reset(avcodec_alloc_context3(codec));
            if (!jpegDecoder || avcodec_open2(jpegDecoder.get(), codec, nullptr) < 0) {
                jpegDecoder.reset();
                return false;
            }
            packet.reset(av_packet_alloc());
            decoded.reset(av_frame_alloc());
        }
        packet->data = const_cast<uint8_t*>(data);
        packet->size = int(bytes);
        const int sent = avcodec_send_packet(jpegDecoder.get(), packet.get());
        packet->data = nullptr;
        packet->size = 0;
        if (sent < 0 || avcodec_receive_frame(jpegDecoder.get(), decoded.get()) < 0)
            return false;
        AVPixelFormat fmt = AVPixelFormat(decoded->format);
        bool fullRange = decoded->color_range == AVCOL_RANGE_JPEG;
        switch (fmt) {
        case AV_PIX_FMT_YUVJ420P: fmt = AV_PIX_FMT_YUV420P; fullRange = true; break;
        case AV_PIX_FMT_YUVJ422P: fmt = AV_PIX_FMT_YUV422P; fullRange = true; break;
        case AV_PIX_FMT_YUVJ444P: fmt = AV_PIX_FMT_YUV444P; fullRange = true; break;
        default: break;
        }
        const bool ok = scale(fmt, QSize(decoded->width, decoded->height), decoded->data, decoded->linesize, out,
                              fullRange);
        av_frame_unref(decoded.get());
        return ok;
    }

    bool v4lConvert(uint32_t fourcc, QSize size, uint32_t bpl, const uint8_t* data, size_t bytes, QImage* out)
    {
        if (!v4l)
            v4l.reset(v4lconvert_create_with_dev_ops(-1, nullptr, &kNoDevice));
        if (!v4l || !ensureImage(size, out))
            return false;
        v4l2_format src{};
        src.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        src.fmt.pix.width = uint32_t(size.width());
        src.fmt.pix.height = uint32_t(size.height());
        src.fmt.pix.pixelformat = fourcc;
        src.fmt.pix.field = V4L2_FIELD_NONE;
        src.fmt.pix.bytesperline = fourcc == V4L2_PIX_FMT_YUYV ? (bpl ? bpl : uint32_t(size.width()) * 2) : 0;
        src.fmt.pix.sizeimage = uint32_t(bytes);
        v4l2_format dst = src;
        dst.fmt.pix.pixelformat = V4L2_PIX_FMT_RGB24;
        dst.fmt.pix.bytesperline = uint32_t(size.width()) * 3;
        dst.fmt.pix.sizeimage = dst.fmt.pix.bytesperline * uint32_t(size.height());
        const bool packed = out->bytesPerLine() == qsizetype(dst.fmt.pix.bytesperline);
        if (!packed)
            scratch.resize(dst.fmt.pix.sizeimage);
        uint8_t* target = packed ? out->bits() : scratch.data();
        const int n = v4lconvert_convert(v4l.get(), &src, &dst, const_cast<uint8_t*>(data), int(bytes), target,
                                         int(dst.fmt.pix.sizeimage));
        if (n < int(dst.fmt.pix.sizeimage))
            return false;
        if (!packed)
            for (int y = 0; y < size.height(); ++y)
                std::memcpy(out->scanLine(y), scratch.data() + size_t(y) * dst.fmt.pix.bytesperline,
                            dst.fmt.pix.bytesperline);
        return true;
    }

    // Packed RGB and planar 4:2:0 buffers (what PipeWire sources deliver
    // besides YUYV and Motion JPEG); always through libswscale.
    bool swsOther(uint32_t fourcc, QSize size, uint32_t bpl, const uint8_t* data, size_t bytes, QImage* out)
    {
        const int w = size.width();
        const int h = size.height();
        AVPixelFormat fmt = AV_PIX_FMT_NONE;
        int bytesPerPixel = 0;
        switch (fourcc) {
        case V4L2_PIX_FMT_RGB24: fmt = AV_PIX_FMT_RGB24; bytesPerPixel = 3; break;
        case V4L2_PIX_FMT_BGR24: fmt = AV_PIX_FMT_BGR24; bytesPerPixel = 3; break;
        case V4L2_PIX_FMT_XBGR32: fmt = AV_PIX_FMT_BGR0; bytesPerPixel = 4; break;
        case V4L2_PIX_FMT_RGBX32: fmt = AV_PIX_FMT_RGB0; bytesPerPixel = 4; break;
        case V4L2_PIX_FMT_XRGB32: fmt = AV_PIX_FMT_0RGB; bytesPerPixel = 4; break;
        case V4L2_PIX_FMT_BGRX32: fmt = AV_PIX_FMT_0BGR; bytesPerPixel = 4; break;
        case V4L2_PIX_FMT_NV12: fmt = AV_PIX_FMT_NV12; break;
        case V4L2_PIX_FMT_YUV420: fmt = AV_PIX_FMT_YUV420P; break;
        default: return false;
        }
        if (bytesPerPixel) {
            const uint32_t stride = bpl ? bpl : uint32_t(w * bytesPerPixel);
            if (stride < uint32_t(w * bytesPerPixel) || bytes < size_t(stride) * size_t(h))
                return false;
            const uint8_t* planes[1] = {data};
            const int strides[1] = {int(stride)};
            return scale(fmt, size, planes, strides, out, false);
        }
        // 4:2:0: a full-size luma plane, then chroma at half height.
        const uint32_t stride = bpl ? bpl : uint32_t(w);
        const size_t luma = size_t(stride) * size_t(h);
        const int ch = (h + 1) / 2;
        if (stride < uint32_t(w))
            return false;
        if (fourcc == V4L2_PIX_FMT_NV12) {
            if (bytes < luma + size_t(stride) * size_t(ch))
                return false;
            const uint8_t* planes[2] = {data, data + luma};
            const int strides[2] = {int(stride), int(stride)};
            return scale(fmt, size, planes, strides, out, false);
        }
        const uint32_t cstride = (stride + 1) / 2;
        const size_t chroma = size_t(cstride) * size_t(ch);
        if (bytes < luma + 2 * chroma)
            return false;
        const uint8_t* planes[3] = {data, data + luma, data + luma + chroma};
        const int strides[3] = {int(stride), int(cstride), int(cstride)};
        return scale(fmt, size, planes, strides, out, false);
    }

    std::vector<uint8_t> scratch;
};

FrameConverter::FrameConverter(Engine engine) : d(std::make_unique<Impl>())
{
    d->engine = engine;
}

FrameConverter::~FrameConverter()
{
    sws_freeContext(d->swsRaw);
}

// bench_v4l2convert: libv4lconvert turns YUYV into RGB about 1.7 times as fast as
// libswscale and decodes Motion JPEG as fast as libavcodec + libswscale.
FrameConverter::Engine FrameConverter::defaultEngine() { return Engine::V4lConvert; }

bool FrameConverter::convert(uint32_t fourcc, QSize size, uint32_t bytesPerLine, const uint8_t* data, size_t bytes,
                             QImage* out)
{
    if (!data || bytes == 0 || size.isEmpty())
        return false;
    const bool jpeg = fourcc == V4L2_PIX_FMT_MJPEG || fourcc == V4L2_PIX_FMT_JPEG;
    if (fourcc != V4L2_PIX_FMT_YUYV && !jpeg)
        return d->swsOther(fourcc, size, bytesPerLine, data, bytes, out);
    if (d->engine == Engine::V4lConvert)
        return d->v4lConvert(fourcc, size, bytesPerLine, data, bytes, out);
    if (jpeg) {
        if (!d->swsJpeg(data, bytes, out))
            return false;
        return out->size() == size;
    }
    return d->swsYuyv(size, bytesPerLine, data, bytes, out);
}

bool FrameConverter::keepYuv(uint32_t fourcc, QSize size, uint32_t bytesPerLine, const uint8_t* data, size_t bytes,
                             VideoFrame* frame)
{
    YuvView view;
    switch (fourcc) {
    case V4L2_PIX_FMT_YUYV: view.layout = YuvView::Layout::YUYV; break;
    case V4L2_PIX_FMT_NV12: view.layout = YuvView::Layout::NV12; break;
    case V4L2_PIX_FMT_YUV420: view.layout = YuvView::Layout::I420; break;
    default: return false;
    }
    view.size = size;
    view.data = data;
    view.bytes = bytes;
    view.stride = int(bytesPerLine);
    view.fullRange = false;
    if (!view.isValid())
        return false;
    YuvPicture& yuv = frame->yuv;
    yuv.layout = view.layout;
    yuv.size = size;
    yuv.stride = view.lumaStride();
    yuv.fullRange = false;
    yuv.bytes = QByteArray(reinterpret_cast<const char*>(data), qsizetype(view.neededBytes()));
    frame->makePicture = [fourcc, size, stride = uint32_t(yuv.stride), raw = yuv.bytes] {
        // Asked on the thread that shows or keeps the picture; one converter each.
        thread_local FrameConverter converter;
        QImage out;
        if (!converter.convert(fourcc, size, stride, reinterpret_cast<const uint8_t*>(raw.constData()),
                               size_t(raw.size()), &out))
            return QImage();
        return out;
    };
    return true;
}

} // namespace lv::v4l2
