#pragma once

#include <cstdint>
#include <memory>

extern "C" {
#include <libavutil/pixfmt.h>
}

struct SwsContext;

namespace lv::ff {

// Runs swscale into a packed one-plane picture (RGB24, BGR24, BGRA, ...) whose
// rows may be tightly padded and may run backwards (a bottom-up bitmap has a
// negative stride).
//
// swscale's SIMD converters work in blocks of 8 or 16 pixels: when a row has
// no room for the whole last block they silently leave its last pixels
// unwritten, and some of them assume rows that run forwards. So the picture is
// scaled into a padded, aligned buffer of our own and its rows copied out;
// every width gives the same pixels as a run into a generous frame buffer.
//
// Threads: a plain object; one thread at a time.
class PackedScaler final {
public:
    PackedScaler();
    ~PackedScaler();
    PackedScaler(const PackedScaler&) = delete;
    PackedScaler& operator=(const PackedScaler&) = delete;

    // Scales srcHeight rows of the source planes with `sws` (already set up
    // for width x height in dstFormat) and writes width x height pixels to
    // dst, one row every dstStride bytes. False when swscale fails or the
    // format is not a packed one-plane format.
    bool scale(SwsContext* sws, const uint8_t* const src[], const int srcStride[], int srcHeight,
               AVPixelFormat dstFormat, int width, int height, uint8_t* dst, int dstStride);

private:
    struct AvFree {
        void operator()(uint8_t* p) const;
    };
    std::unique_ptr<uint8_t, AvFree> m_buffer;
    int64_t m_capacity = 0;
};

} // namespace lv::ff
