#include "capture/testpattern.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

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

struct Yuv {
    uint8_t y, u, v;
};

// The JPEG (JFIF) equations: BT.601 at full range.
Yuv yuvOf(int r, int g, int b)
{
    const auto byte = [](double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
    return {byte(0.299 * r + 0.587 * g + 0.114 * b), byte(128.0 - 0.168736 * r - 0.331264 * g + 0.5 * b),
            byte(128.0 + 0.5 * r - 0.418688 * g - 0.081312 * b)};
}

// Planes of one I420 picture; chroma cells a rectangle touches take its colour.
struct Planes {
    uint8_t* y;
    uint8_t* u;
    uint8_t* v;
    int w, h, cw, ch;

    void fillRect(int x0, int y0, int rw, int rh, uint8_t r, uint8_t g, uint8_t b) const
    {
        const int x1 = std::min(w, x0 + rw), y1 = std::min(h, y0 + rh);
        x0 = std::max(0, x0);
        y0 = std::max(0, y0);
        if (x1 <= x0 || y1 <= y0)
            return;
        const Yuv c = yuvOf(r, g, b);
        for (int row = y0; row < y1; ++row)
            std::memset(y + size_t(row) * size_t(w) + size_t(x0), c.y, size_t(x1 - x0));
        const int cx0 = x0 / 2, cx1 = (x1 + 1) / 2;
        for (int row = y0 / 2; row < (y1 + 1) / 2; ++row) {
            std::memset(u + size_t(row) * size_t(cw) + size_t(cx0), c.u, size_t(cx1 - cx0));
            std::memset(v + size_t(row) * size_t(cw) + size_t(cx0), c.v, size_t(cx1 - cx0));
        }
    }
};

// What the two pictures share: where the block and the digits go.
template <class Fill>
void drawMoving(int w, int h, uint64_t frameNumber, const TestPatternSettings& s, Fill&& fill)
{
    const int barsHeight = h * 3 / 4;
    // The block crosses the bars left to right, then right to left, in four seconds.
    const int block = std::max(8, h / 6);
    const int travel = std::max(1, w - block);
    const uint64_t period = static_cast<uint64_t>(std::max(1, s.rate)) * 4;
    const uint64_t phase = frameNumber % (2 * period);
    const uint64_t pos = phase < period ? phase : 2 * period - phase;
    const int bx = static_cast<int>(pos * static_cast<uint64_t>(travel) / period);
    const int by = barsHeight / 2 - block / 2;
    fill(bx, by, block, block, 0, 0, 0);
    fill(bx + 2, by + 2, block - 4, block - 4, 255, 128, 0);

    // The frame number, eight digits, bottom left.
    const int scale = std::max(1, h / 60);
    const int glyphW = 4 * scale;
    const int x0 = 4 * scale;
    const int y0 = h - 7 * scale;
    fill(x0 - scale, y0 - scale, 8 * glyphW + scale, 7 * scale, 0, 0, 0);
    uint64_t n = frameNumber;
    for (int d = 7; d >= 0; --d) {
        const auto& glyph = kDigits[n % 10];
        n /= 10;
        for (int gy = 0; gy < 5; ++gy)
            for (int gx = 0; gx < 3; ++gx)
                if (glyph[static_cast<size_t>(gy)] & (4 >> gx))
                    fill(x0 + d * glyphW + gx * scale, y0 + gy * scale, scale, scale, 255, 255, 255);
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

    drawMoving(w, h, frameNumber, s, [&img](int x, int y, int rw, int rh, uint8_t r, uint8_t g, uint8_t b) {
        fillRect(img, x, y, rw, rh, r, g, b);
    });
}

namespace {

// The bars and the ramp of an I420 picture: everything that stands still.
void drawYuvBackground(YuvPicture& out, const TestPatternSettings& s);

Planes planesOf(YuvPicture& out)
{
    const int w = out.size.width(), h = out.size.height();
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    auto* base = reinterpret_cast<uint8_t*>(out.bytes.data());
    return {base, base + size_t(w) * size_t(h), base + size_t(w) * size_t(h) + size_t(cw) * size_t(ch), w, h, cw, ch};
}

} // namespace

bool TestPattern::sameLook(const TestPatternSettings& a, const TestPatternSettings& b)
{
    // The rate moves the block; it is drawn anew on every picture anyway.
    return a.size == b.size && a.brightness == b.brightness && a.still == b.still;
}

void TestPattern::renderYuvInto(YuvPicture& out, uint64_t frameNumber, const TestPatternSettings& s)
{
    drawYuvBackground(out, s);
    if (s.still || out.isNull())
        return;
    const Planes p = planesOf(out);
    drawMoving(p.w, p.h, frameNumber, s, [&p](int x, int y, int rw, int rh, uint8_t r, uint8_t g, uint8_t b) {
        p.fillRect(x, y, rw, rh, r, g, b);
    });
}

YuvPicture YuvPatternFrames::frame(uint64_t frameNumber, const TestPatternSettings& s)
{
    if (s.size.width() <= 0 || s.size.height() <= 0)
        return {};
    if (m_background.isNull() || !TestPattern::sameLook(m_look, s)) {
        m_pool.clear(); // buffers still held elsewhere stay with their holders
        m_background = {};
        drawYuvBackground(m_background, s);
        m_look = s;
    }
    Buffer* target = nullptr;
    for (Buffer& b : m_pool)
        if (b.picture.bytes.isDetached()) {
            target = &b;
            break;
        }
    if (!target) {
        if (m_pool.size() >= kBuffers)
            m_pool.erase(m_pool.begin());
        m_pool.push_back({m_background, {}});
        target = &m_pool.back();
        target->picture.bytes.detach(); // its own copy of the background
    }
    Planes p = planesOf(target->picture);
    const Planes bg = planesOf(m_background);
    // What the last picture in this buffer drew over the background goes back to it.
    for (const QRect& r : target->moving) {
        for (int row = r.top(); row <= r.bottom(); ++row)
            std::memcpy(p.y + size_t(row) * size_t(p.w) + size_t(r.left()),
                        bg.y + size_t(row) * size_t(p.w) + size_t(r.left()), size_t(r.width()));
        const int cx0 = r.left() / 2, cx1 = (r.right() + 2) / 2;
        for (int row = r.top() / 2; row < (r.bottom() + 2) / 2; ++row) {
            const size_t at = size_t(row) * size_t(p.cw) + size_t(cx0);
            std::memcpy(p.u + at, bg.u + at, size_t(cx1 - cx0));
            std::memcpy(p.v + at, bg.v + at, size_t(cx1 - cx0));
        }
    }
    target->moving.clear();
    if (!s.still) {
        const QRect whole(QPoint(0, 0), s.size);
        drawMoving(p.w, p.h, frameNumber, s, [&](int x, int y, int rw, int rh, uint8_t r, uint8_t g, uint8_t b) {
            p.fillRect(x, y, rw, rh, r, g, b);
            if (const QRect drawn = QRect(x, y, rw, rh) & whole; !drawn.isEmpty())
                target->moving.push_back(drawn);
        });
    }
    return target->picture;
}

namespace {

void drawYuvBackground(YuvPicture& out, const TestPatternSettings& s)
{
    const int w = s.size.width(), h = s.size.height();
    if (w <= 0 || h <= 0)
        return;
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    const qsizetype bytes = qsizetype(w) * h + 2 * qsizetype(cw) * ch;
    if (out.bytes.size() != bytes || !out.bytes.isDetached())
        out.bytes = QByteArray(bytes, Qt::Uninitialized);
    out.layout = YuvView::Layout::I420;
    out.size = s.size;
    out.stride = w;
    out.fullRange = true;
    const Planes p = planesOf(out);

    // Bars over the upper three quarters, a grey ramp below: one row of each, copied down.
    const int barsHeight = h * 3 / 4;
    std::vector<Yuv> row(static_cast<size_t>(w));
    for (int x = 0; x < w; ++x) {
        const auto& c = kBars[static_cast<size_t>(x * 7 / w)];
        row[size_t(x)] = yuvOf(clampByte(c[0] + s.brightness), clampByte(c[1] + s.brightness), clampByte(c[2] + s.brightness));
    }
    for (int x = 0; x < w; ++x)
        p.y[x] = row[size_t(x)].y;
    for (int cx = 0; cx < cw; ++cx) { // a chroma cell is the mean of its two columns
        const Yuv& a = row[size_t(2 * cx)];
        const Yuv& b = row[size_t(std::min(2 * cx + 1, w - 1))];
        p.u[cx] = uint8_t((a.u + b.u + 1) / 2);
        p.v[cx] = uint8_t((a.v + b.v + 1) / 2);
    }
    for (int y = 1; y < barsHeight; ++y)
        std::memcpy(p.y + size_t(y) * size_t(w), p.y, size_t(w));
    const int barsChroma = std::min(ch, (barsHeight + 1) / 2);
    for (int y = 1; y < barsChroma; ++y) {
        std::memcpy(p.u + size_t(y) * size_t(cw), p.u, size_t(cw));
        std::memcpy(p.v + size_t(y) * size_t(cw), p.v, size_t(cw));
    }
    if (barsHeight < h) {
        uint8_t* ramp = p.y + size_t(barsHeight) * size_t(w);
        for (int x = 0; x < w; ++x) // grey: Y is the level itself
            ramp[x] = clampByte(x * 255 / std::max(1, w - 1) + s.brightness);
        for (int y = barsHeight + 1; y < h; ++y)
            std::memcpy(p.y + size_t(y) * size_t(w), ramp, size_t(w));
        std::memset(p.u + size_t(barsChroma) * size_t(cw), 128, size_t(ch - barsChroma) * size_t(cw));
        std::memset(p.v + size_t(barsChroma) * size_t(cw), 128, size_t(ch - barsChroma) * size_t(cw));
    }
}

} // namespace

} // namespace lv
