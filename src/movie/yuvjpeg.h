#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace lv {

// One picture in a camera's own YUV layout (BT.601), not owned.
struct YuvView {
    enum class Layout { I420, NV12, YUYV };
    Layout layout = Layout::I420;
    QSize size;
    const uint8_t* data = nullptr;
    size_t bytes = 0;
    // Bytes per row of the first plane (YUYV: per row); 0 = packed rows.
    // 4:2:0 chroma rows are (stride + 1) / 2 bytes (I420) or stride bytes (NV12).
    int stride = 0;
    // Cameras deliver studio range (luma 16-235); a JPEG holds the full 0-255.
    bool fullRange = false;

    int lumaStride() const;
    // The bytes the layout needs; a shorter buffer is damaged.
    size_t neededBytes() const;
    bool isValid() const;
};

// The same picture as an owned buffer, for a frame that outlives the device's buffer.
struct YuvPicture {
    YuvView::Layout layout = YuvView::Layout::I420;
    QSize size;
    int stride = 0;
    bool fullRange = false;
    QByteArray bytes;

    bool isNull() const { return bytes.isEmpty(); }
    YuvView view() const
    {
        return {layout, size, reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), stride,
                fullRange};
    }
};

// Compresses frames as Motion JPEG with libjpeg-turbo, with the tables
// FFmpeg's own encoder uses at a fixed quantiser (its MPEG-1 intra matrix
// scaled by qscale / 8, DC step 8, one table for all planes) and Huffman
// tables optimised for the picture, so a quality setting gives the pictures
// and file sizes it always gave. The pictures after an optimised one reuse
// its tables (completed with a code for every symbol) in a single pass, until
// a second has gone by or a picture's size strays (a picture far larger is
// compressed again with tables of its own); the pixels are the same either way. YUV pictures go straight from their planes: 4:2:0 layouts as
// 4:2:0, YUYV as 4:2:2, studio range stretched to full range on the way.
// RGB pictures become 4:2:0.
class JpegFrameEncoder {
public:
    JpegFrameEncoder();
    ~JpegFrameEncoder();
    JpegFrameEncoder(const JpegFrameEncoder&) = delete;
    JpegFrameEncoder& operator=(const JpegFrameEncoder&) = delete;

    // The JPEG stays valid until the next call; false for a damaged picture.
    // qscale as FFmpeg's (1-31, qscaleForQuality).
    bool encode(const YuvView& picture, int qscale, const uint8_t** jpeg, size_t* size);
    // RGB888 and the 32-bit RGB formats; others are converted first.
    bool encode(const QImage& picture, int qscale, const uint8_t** jpeg, size_t* size);
    QString errorText() const { return m_error; }

    // FFmpeg's quantisation table at qscale, in natural (row) order.
    static void quantTable(int qscale, unsigned int table[64]);

private:
    struct State;
    std::unique_ptr<State> d;
    std::vector<uint8_t> m_planes;
    QString m_error;
};

} // namespace lv
