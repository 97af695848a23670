#include "movie/extractjpeg.h"

#include <turbojpeg.h>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>

namespace lv {

namespace {

bool isFullRange(const AVFrame* f)
{
    return f->format == AV_PIX_FMT_YUVJ420P || f->format == AV_PIX_FMT_YUVJ422P || f->color_range == AVCOL_RANGE_JPEG;
}

// Whether the chroma planes have half the columns (4:2:x) and half the rows (4:2:0).
bool chromaShiftX(const AVFrame* f)
{
    return f->format != AV_PIX_FMT_YUV444P && f->format != AV_PIX_FMT_YUVJ444P;
}

bool chromaShiftY(const AVFrame* f)
{
    return f->format == AV_PIX_FMT_YUV420P || f->format == AV_PIX_FMT_YUVJ420P;
}

// Studio range (luma 16-235, chroma 16-240 about 128) to the full 0-255 a
// JPEG holds, rounded, as the scaler's studio-range conversion stretches it.
struct RangeTables {
    std::array<uint8_t, 256> luma{};
    std::array<uint8_t, 256> chroma{};
    RangeTables()
    {
        for (int v = 0; v < 256; ++v) {
            luma[size_t(v)] = uint8_t(std::clamp(((v - 16) * 255 * 2 / 219 + 1) >> 1, 0, 255));
            const int c = v - 128;
            const int stretched = c >= 0 ? (c * 255 * 2 / 224 + 1) >> 1 : -((-c * 255 * 2 / 224 + 1) >> 1);
            chroma[size_t(v)] = uint8_t(std::clamp(128 + stretched, 0, 255));
        }
    }
};

const RangeTables& rangeTables()
{
    static const RangeTables tables;
    return tables;
}

} // namespace

ExtractJpegCompressor::ExtractJpegCompressor() = default;

ExtractJpegCompressor::~ExtractJpegCompressor()
{
    if (m_out)
        tjFree(m_out);
    if (m_tj)
        tjDestroy(tjhandle(m_tj));
}

bool ExtractJpegCompressor::takesPlanes(const AVFrame* f, int width, int height)
{
    if (!f || f->width != width || f->height != height || width <= 0 || height <= 0)
        return false;
    switch (f->format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P:
        break;
    default:
        return false;
    }
    // The chroma of a JPEG sits between the pixels it covers; other movies
    // (MPEG, H.264) may place it elsewhere, which the scaler's RGB of a
    // picture of odd width or height honours and a copy of the planes would
    // not: those take the RGB route.
    if (!isFullRange(f) && chromaShiftX(f) && ((width & 1) || (chromaShiftY(f) && (height & 1))))
        return false;
    const int chromaWidth = chromaShiftX(f) ? (width + 1) / 2 : width;
    for (int p = 0; p < 3; ++p)
        if (!f->data[p] || f->linesize[p] <= 0)
            return false;
    return f->linesize[0] >= width && f->linesize[1] >= chromaWidth && f->linesize[2] >= chromaWidth;
}

// The compressor, and an output buffer that holds the largest JPEG of this
// size, made once: a fresh buffer of megabytes per frame would cost the
// system more than the compression.
bool ExtractJpegCompressor::ensure(int width, int height)
{
    if (!m_tj && !(m_tj = tjInitCompress())) {
        m_error = QStringLiteral("out of memory");
        return false;
    }
    if (m_out && width == m_outWidth && height == m_outHeight)
        return true;
    if (m_out)
        tjFree(m_out);
    m_out = tjAlloc(int(tjBufSize(width, height, TJSAMP_420)));
    m_outWidth = m_out ? width : 0;
    m_outHeight = m_out ? height : 0;
    if (!m_out)
        m_error = QStringLiteral("out of memory");
    return m_out != nullptr;
}

bool ExtractJpegCompressor::compressPlanes(const AVFrame* f, int quality, const uint8_t** jpeg, size_t* size)
{
    const int w = f->width;
    const int h = f->height;
    if (!takesPlanes(f, w, h) || !ensure(w, h))
        return false;
    const bool full = isFullRange(f);
    const bool halfX = chromaShiftX(f);
    const bool halfY = chromaShiftY(f);
    const int cw = (w + 1) / 2;
    const int ch = (h + 1) / 2;
    const unsigned char* planes[3] = {f->data[0], f->data[1], f->data[2]};
    int strides[3] = {f->linesize[0], f->linesize[1], f->linesize[2]};
    if (!full || !halfX || !halfY) {
        const RangeTables& t = rangeTables();
        m_planes.resize(size_t(w) * size_t(h) + 2 * size_t(cw) * size_t(ch));
        uint8_t* out = m_planes.data();
        if (!full) {
            for (int y = 0; y < h; ++y) {
                const uint8_t* s = f->data[0] + ptrdiff_t(y) * f->linesize[0];
                uint8_t* d = out + ptrdiff_t(y) * w;
                for (int x = 0; x < w; ++x)
                    d[x] = t.luma[s[x]];
            }
            planes[0] = out;
            strides[0] = w;
            out += ptrdiff_t(w) * h;
        }
        // Chroma of 4:2:2 and 4:4:4 pictures shrunk to 4:2:0 by averaging
        // each pair or square of samples, the last ones repeated at an odd
        // edge, rounded up and down in turn: what libjpeg's own downsampling
        // makes of the same picture.
        const int lastX = halfX ? cw - 1 : w - 1;
        const int lastY = halfY ? ch - 1 : h - 1;
        for (int p = 1; p < 3; ++p) {
            for (int y = 0; y < ch; ++y) {
                uint8_t* d = out + ptrdiff_t(y) * cw;
                const uint8_t* a = f->data[p] + ptrdiff_t(halfY ? y : 2 * y) * f->linesize[p];
                const uint8_t* b = f->data[p] + ptrdiff_t(halfY ? y : std::min(2 * y + 1, lastY)) * f->linesize[p];
                for (int x = 0; x < cw; ++x) {
                    int v;
                    if (halfX && halfY) {
                        v = a[x];
                    } else if (halfX) {
                        v = (a[x] + b[x] + (x & 1)) >> 1;
                    } else {
                        const int x1 = std::min(2 * x + 1, lastX);
                        v = (a[2 * x] + a[x1] + b[2 * x] + b[x1] + 1 + (x & 1)) >> 2;
                    }
                    d[x] = full ? uint8_t(v) : t.chroma[size_t(v)];
                }
            }
            planes[p] = out;
            strides[p] = cw;
            out += ptrdiff_t(cw) * ch;
        }
    }
    unsigned long outSize = 0;
    unsigned char* buffer = m_out;
    if (tjCompressFromYUVPlanes(tjhandle(m_tj), planes, w, strides, h, TJSAMP_420, &buffer, &outSize,
                                std::clamp(quality, 1, 100), TJFLAG_NOREALLOC)
        != 0) {
        m_error = QString::fromLocal8Bit(tjGetErrorStr2(tjhandle(m_tj)));
        return false;
    }
    *jpeg = buffer;
    *size = size_t(outSize);
    return true;
}

bool ExtractJpegCompressor::compressBgr(const uint8_t* rows, int width, int height, int stride, int quality,
                                        const uint8_t** jpeg, size_t* size)
{
    if (!ensure(width, height))
        return false;
    // TurboJPEG walks bottom-up rows itself when given the first one in memory.
    const bool bottomUp = stride < 0;
    const uint8_t* first = bottomUp ? rows + ptrdiff_t(stride) * (height - 1) : rows;
    unsigned long outSize = 0;
    unsigned char* buffer = m_out;
    if (tjCompress2(tjhandle(m_tj), first, width, std::abs(stride), height, TJPF_BGR, &buffer, &outSize, TJSAMP_420,
                    std::clamp(quality, 1, 100), TJFLAG_NOREALLOC | (bottomUp ? TJFLAG_BOTTOMUP : 0))
        != 0) {
        m_error = QString::fromLocal8Bit(tjGetErrorStr2(tjhandle(m_tj)));
        return false;
    }
    *jpeg = buffer;
    *size = size_t(outSize);
    return true;
}

} // namespace lv
