#include "movie/packedscaler.h"

#include <cstring>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace lv::ff {

PackedScaler::PackedScaler() = default;
PackedScaler::~PackedScaler() = default;

void PackedScaler::AvFree::operator()(uint8_t* p) const
{
    av_free(p);
}

bool PackedScaler::scale(SwsContext* sws, const uint8_t* const src[], const int srcStride[], int srcHeight,
                         AVPixelFormat dstFormat, int width, int height, uint8_t* dst, int dstStride)
{
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(dstFormat);
    if (!sws || !desc || (desc->flags & AV_PIX_FMT_FLAG_PLANAR) || width <= 0 || height <= 0)
        return false;
    const int bytesPerPixel = av_get_padded_bits_per_pixel(desc) / 8;
    if (bytesPerPixel <= 0)
        return false;
    const int rowBytes = width * bytesPerPixel;
    // Room for a whole block of 16 pixels past the last one, on 64-byte rows.
    const int padded = (rowBytes + 16 * bytesPerPixel + 63) & ~63;
    const int64_t need = int64_t(padded) * height;
    if (need > m_capacity) {
        m_buffer.reset(static_cast<uint8_t*>(av_malloc(size_t(need))));
        m_capacity = m_buffer ? need : 0;
        if (!m_buffer)
            return false;
    }
    uint8_t* planes[4] = {m_buffer.get(), nullptr, nullptr, nullptr};
    int strides[4] = {padded, 0, 0, 0};
    if (sws_scale(sws, src, srcStride, 0, srcHeight, planes, strides) != height)
        return false;
    for (int y = 0; y < height; ++y)
        std::memcpy(dst + int64_t(y) * dstStride, m_buffer.get() + int64_t(y) * padded, size_t(rowBytes));
    return true;
}

} // namespace lv::ff
