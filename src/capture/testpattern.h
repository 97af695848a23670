#pragma once

#include "movie/yuvjpeg.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <vector>

namespace lv {

// The built-in test picture: colour bars, a block moving across them and the
// frame number. A pure function of the frame number and the settings.
struct TestPatternSettings {
    QSize size{320, 240};
    int rate = 15;        // frames per second, 1 to 60
    int brightness = 0;   // -100 to 100, added to every channel
    bool still = false;   // the still variant: no moving block, no frame number
};

class TestPattern {
public:
    static QImage render(uint64_t frameNumber, const TestPatternSettings& settings);
    // Renders into an existing RGB888 image of the right size (no allocation).
    static void renderInto(QImage& target, uint64_t frameNumber, const TestPatternSettings& settings);
    // The same picture as full-range I420 (the JPEG colour equations), what
    // a recording compresses without a conversion. Reuses target's buffer when
    // nothing else holds it.
    static void renderYuvInto(YuvPicture& target, uint64_t frameNumber, const TestPatternSettings& settings);

    static const QList<QSize>& sizes();
    static bool sameLook(const TestPatternSettings& a, const TestPatternSettings& b);
    static constexpr int kMinRate = 1;
    static constexpr int kMaxRate = 60;
};

// The pattern's I420 frames from a small pool of buffers, for a device that
// sends one picture after another: a buffer nobody holds any more is drawn
// over, and only where the block and the number were and are now, the bars
// and the ramp staying as they are. The pictures are renderYuvInto's.
class YuvPatternFrames {
public:
    // Frame frameNumber, sharing a buffer of the pool (never one still held elsewhere).
    YuvPicture frame(uint64_t frameNumber, const TestPatternSettings& settings);

private:
    struct Buffer {
        YuvPicture picture;
        std::vector<QRect> moving; // what the last picture in it drew over the background
    };
    // Enough for what a recorder queues and a device holds, so buffers are not made anew.
    static constexpr size_t kBuffers = 24;
    std::vector<Buffer> m_pool;
    YuvPicture m_background;
    TestPatternSettings m_look;
};

} // namespace lv
