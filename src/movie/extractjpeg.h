#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

struct AVFrame;

namespace lv {

// The JPEG files of Extract All: libjpeg's quality scale and tables, 4:2:0,
// as the image layer writes a picture. A decoded YUV picture goes into
// libjpeg-turbo from its own planes, without the round trip through RGB,
// which costs more than the compression itself and blurs the colours twice.
// Threads: a plain object; one thread at a time.
class ExtractJpegCompressor final {
public:
    ExtractJpegCompressor();
    ~ExtractJpegCompressor();
    ExtractJpegCompressor(const ExtractJpegCompressor&) = delete;
    ExtractJpegCompressor& operator=(const ExtractJpegCompressor&) = delete;

    // Whether compressPlanes() takes this picture: 4:2:0, 4:2:2 or 4:4:4 YUV
    // (full or studio range) of exactly width x height, rows running forwards.
    static bool takesPlanes(const AVFrame* f, int width, int height);
    // The picture straight from its planes: studio range stretched to the
    // full range of a JPEG, finer chroma averaged down to 4:2:0, BT.601 as
    // the RGB route takes it. The JPEG stays valid until the next call.
    bool compressPlanes(const AVFrame* f, int quality, const uint8_t** jpeg, size_t* size);
    // Packed BGR rows, a row every stride bytes (negative: bottom-up rows).
    bool compressBgr(const uint8_t* rows, int width, int height, int stride, int quality, const uint8_t** jpeg,
                     size_t* size);
    QString errorText() const { return m_error; }

private:
    bool ensure(int width, int height);
    bool prepare();

    void* m_tj = nullptr;         // the TurboJPEG compressor
    unsigned char* m_out = nullptr; // tjAlloc'd, room for the largest JPEG of m_outWidth x m_outHeight
    int m_outWidth = 0;
    int m_outHeight = 0;
    std::vector<uint8_t> m_planes; // stretched or averaged planes, reused from picture to picture
    QString m_error;
};

} // namespace lv
