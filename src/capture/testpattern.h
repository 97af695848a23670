#pragma once

#include "movie/yuvjpeg.h"

#include <QImage>
#include <QSize>

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
    static constexpr int kMinRate = 1;
    static constexpr int kMaxRate = 60;
};

} // namespace lv
