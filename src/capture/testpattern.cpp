#include "capture/testpattern.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace lv {

namespace {

// Seven bars, white to blue, as on a studio chart.
constexpr std::array<std::array<int, 3>, 7> kBars = {{
    {235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
    {235, 16, 235}, {235, 16, 16}, {16, 16, 235},
}};

// 3x5 digit glyphs, one bit per pixel, rows top to bottom.
constexpr std::array<std::array<uint8_t, 5>, 10> kDigits = {{
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
}};

uint8_t clampByte(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

void fillRect(QImage& img, int x0, int y0, int w, int h, uint8_t r, uint8_t g, uint8_t b)
{
    const int x1 = std::min(img.width(), x0 + w);
    const int y1 = std::min(img.height(), y0 + h);
    x0 = std::max(0, x0);
    y0 = std::max(0, y0);
    for (int y = y0; y < y1; ++y) {
        uchar* p = img.scanLine(y) + x0 * 3;
        for (int x = x0; x < x1; ++x) {
            *p++ = r;
            *p++ = g;
            *p++ = b;
        }
    }
}

} // namespace

const QList<QSize>& TestPattern::sizes()
{
    static const QList<QSize> s = {{160, 120}, {320, 240}, {640, 480}, {1280, 720}, {1920, 1080}};
    return s;
}

QImage TestPattern::render(uint64_t frameNumber, const TestPatternSettings& settings)
{
    QImage img(settings.size, QImage::Format_RGB888);
    renderInto(img, frameNumber, settings);
    return img;
}

void TestPattern::renderInto(QImage& img, uint64_t frameNumber, const TestPatternSettings& s)
{
    const int w = img.width();
    const int h = img.height();
    if (w <= 0 || h <= 0)
        return;

    // Bars: build one row, copy it down the upper three quarters.
    const int barsHeight = h * 3 / 4;
    uchar* first = img.scanLine(0);
    for (int x = 0; x < w; ++x) {
        const auto& c = kBars[static_cast<size_t>(x * 7 / w)];
        first[x * 3 + 0] = clampByte(c[0] + s.brightness);
        first[x * 3 + 1] = clampByte(c[1] + s.brightness);
        first[x * 3 + 2] = clampByte(c[2] + s.brightness);
    }
    const size_t rowBytes = static_cast<size_t>(w) * 3;
    for (int y = 1; y < barsHeight; ++y)
        std::memcpy(img.scanLine(y), first, rowBytes);
    // A grey ramp below the bars.
    uchar* ramp = barsHeight < h ? img.scanLine(barsHeight) : nullptr;
    if (ramp) {
        for (int x = 0; x < w; ++x) {
            const uint8_t v = clampByte(x * 255 / std::max(1, w - 1) + s.brightness);
            ramp[x * 3] = ramp[x * 3 + 1] = ramp[x * 3 + 2] = v;
        }
        for (int y = barsHeight + 1; y < h; ++y)
            std::memcpy(img.scanLine(y), ramp, rowBytes);
    }
    if (s.still)
        return;

    // The block crosses the bars left to right, then right to left, in four seconds.
    const int block = std::max(8, h / 6);
    const int travel = std::max(1, w - block);
    const uint64_t period = static_cast<uint64_t>(std::max(1, s.rate)) * 4;
    const uint64_t phase = frameNumber % (2 * period);
    const uint64_t pos = phase < period ? phase : 2 * period - phase;
    const int bx = static_cast<int>(pos * static_cast<uint64_t>(travel) / period);
    const int by = barsHeight / 2 - block / 2;
    fillRect(img, bx, by, block, block, 0, 0, 0);
    fillRect(img, bx + 2, by + 2, block - 4, block - 4, 255, 128, 0);

    // The frame number, eight digits, bottom left.
    const int scale = std::max(1, h / 60);
    const int glyphW = 4 * scale;
    const int x0 = 4 * scale;
    const int y0 = h - 7 * scale;
    fillRect(img, x0 - scale, y0 - scale, 8 * glyphW + scale, 7 * scale, 0, 0, 0);
    uint64_t n = frameNumber;
    for (int d = 7; d >= 0; --d) {
        const auto& glyph = kDigits[n % 10];
        n /= 10;
        for (int gy = 0; gy < 5; ++gy)
            for (int gx = 0; gx < 3; ++gx)
                if (glyph[static_cast<size_t>(gy)] & (4 >> gx))
                    fillRect(img, x0 + d * glyphW + gx * scale, y0 + gy * scale, scale, scale, 255, 255, 255);
    }
}

} // namespace lv
