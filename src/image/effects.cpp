#include "image/effects.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace lv {

namespace {

constexpr int floorDiv(int a, int b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Half-way cases go to the even neighbour, as the editor's rounding does.
constexpr int halfToEven2(int t) // nearest integer to t / 2
{
    const int q = t >> 1;
    return (t & 1) && (q & 1) ? q + 1 : q;
}

int nearestEven(double v) { return static_cast<int>(std::nearbyint(v)); } // default mode rounds halves to even

// The effects run in vertical bands that end at the columns where progress is
// due, and inside a band row by row: the same results and texts as a column by
// column walk, without striding through memory.
template <class BandFn>
void forEachBand(int width, Effect effect, const ProgressFn& progress, BandFn&& band)
{
    if (width <= 0)
        return;
    const int n = std::max(1, nearestEven((width - 1) / 20.0)); // pictures of 10 columns or fewer report every column
    const QString text = effectProgressText(effect);
    int start = 0;
    for (int x = 0; x < width; ++x) {
        if (x % n != 0)
            continue;
        band(start, x + 1);
        start = x + 1;
        if (progress) {
            const int percent = width > 1 ? static_cast<int>(std::floor(double(x) / double(width - 1) * 100.0)) : 100;
            progress(text + QLatin1Char(' ') + QString::number(percent) + QLatin1Char('%'));
        }
    }
    if (start < width)
        band(start, width);
}

template <class PixelFn>
void pointEffect(Effect effect, const PixelBuffer& src, PixelBuffer& dst, const ProgressFn& progress, PixelFn&& fn)
{
    forEachBand(src.width, effect, progress, [&](int x0, int x1) {
        for (int y = 0; y < src.height; ++y) {
            const std::int32_t* in = src.pixels.data() + std::size_t(y) * std::size_t(src.width);
            std::int32_t* out = dst.pixels.data() + std::size_t(y) * std::size_t(dst.width);
            for (int x = x0; x < x1; ++x)
                out[x] = fn(in[x]);
        }
    });
}

void flip(Effect effect, const PixelBuffer& src, PixelBuffer& dst, const ProgressFn& progress, bool upsideDown)
{
    const int w = src.width, h = src.height;
    forEachBand(w, effect, progress, [&](int x0, int x1) {
        for (int y = 0; y < h; ++y) {
            const std::int32_t* in = src.pixels.data() + std::size_t(y) * std::size_t(w);
            const int ty = upsideDown ? h - 1 - y : y;
            std::int32_t* out = dst.pixels.data() + std::size_t(ty) * std::size_t(w);
            for (int x = x0; x < x1; ++x)
                out[w - 1 - x] = in[x];
        }
    });
}

void soften(const PixelBuffer& src, PixelBuffer& dst, const ProgressFn& progress)
{
    const int w = src.width, h = src.height;
    forEachBand(w, Effect::Softening, progress, [&](int x0, int x1) {
        const int xa = std::max(x0, 1), xb = std::min(x1, w); // visited: 1 <= x <= W - 1
        for (int y = 1; y <= h - 1; ++y) {
            for (int x = xa; x < xb; ++x) {
                int r = 0, g = 0, b = 0;
                if (x + 1 < w && y + 1 < h) {
                    for (int j = -1; j <= 1; ++j) {
                        const std::int32_t* p = src.pixels.data() + std::size_t(y + j) * std::size_t(w) + std::size_t(x - 1);
                        for (int i = 0; i < 3; ++i) {
                            r += p[i] & 0xff;
                            g += (p[i] >> 8) & 0xff;
                            b += p[i] >> 16;
                        }
                    }
                } else {
                    // Neighbours past the last row or column read as -1 in every channel.
                    for (int j = -1; j <= 1; ++j) {
                        for (int i = -1; i <= 1; ++i) {
                            const std::int32_t c = src.at(x + i, y + j);
                            r += redOf(c);
                            g += greenOf(c);
                            b += blueOf(c);
                        }
                    }
                }
                dst.set(x, y, packColour(floorDiv(r, 9), floorDiv(g, 9), floorDiv(b, 9)));
            }
        }
    });
}

// Sharpening and Embossing visit 1 <= x <= W - 3 and 1 <= y <= H - 3 and read
// one diagonal neighbour, which is always inside there.
template <class ChannelFn>
void diagonalEffect(Effect effect, const PixelBuffer& src, PixelBuffer& dst, const ProgressFn& progress, int dx, int dy,
                    ChannelFn&& fn)
{
    const int w = src.width, h = src.height;
    forEachBand(w, effect, progress, [&](int x0, int x1) {
        const int xa = std::max(x0, 1), xb = std::min(x1, w - 2);
        for (int y = 1; y <= h - 3; ++y) {
            const std::int32_t* in = src.pixels.data() + std::size_t(y) * std::size_t(w);
            const std::int32_t* nb = src.pixels.data() + std::size_t(y + dy) * std::size_t(w);
            std::int32_t* out = dst.pixels.data() + std::size_t(y) * std::size_t(w);
            for (int x = xa; x < xb; ++x) {
                const std::int32_t c = in[x], n = nb[x + dx];
                out[x] = packColour(fn(c & 0xff, n & 0xff), fn((c >> 8) & 0xff, (n >> 8) & 0xff), fn(c >> 16, n >> 16));
            }
        }
    });
}

void diffuse(const PixelBuffer& src, PixelBuffer& dst, const ProgressFn& progress, const UnitRandom& random)
{
    const UnitRandom draw = random ? random : seededUnitRandom(std::random_device{}());
    forEachBand(src.width, Effect::Diffusing, progress, [&](int x0, int x1) {
        // Column by column here: the draws must follow the picture's column order.
        for (int x = x0; x < x1; ++x) {
            for (int y = 0; y < src.height; ++y) {
                const int dx = nearestEven(draw() * 4 - 2);
                const int dy = nearestEven(draw() * 4 - 2);
                const std::int32_t c = src.at(x + dx, y + dy);
                dst.set(x, y, c < 0 ? 0 : c);
            }
        }
    });
}

void lighting(const PixelBuffer& src, PixelBuffer& dst, const ProgressFn& progress)
{
    const int w = src.width, h = src.height;
    // The step angle runs the same way down every column, so its sine per row
    // is worked out once.
    std::vector<double> rowSine(std::size_t(std::max(h, 0)));
    double a = 0;
    for (int y = 0; y < h; ++y) {
        const int step = nearestEven((w - 1) / 90.0 + a);
        rowSine[std::size_t(y)] = std::sin(step * 3.14 / 180);
        a = std::min(step, 90);
    }
    std::vector<int> light(std::size_t(std::max(w, 0)));
    forEachBand(w, Effect::Lighting, progress, [&](int x0, int x1) {
        for (int x = x0; x < x1; ++x)
            light[std::size_t(x)] = h - x;
        for (int y = 0; y < h; ++y) {
            const double s = rowSine[std::size_t(y)];
            const std::int32_t* in = src.pixels.data() + std::size_t(y) * std::size_t(w);
            std::int32_t* out = dst.pixels.data() + std::size_t(y) * std::size_t(w);
            for (int x = x0; x < x1; ++x) {
                const int l = nearestEven(light[std::size_t(x)] - s);
                const std::int32_t c = in[x];
                // floor(channel / 2 + L × 0.25) is exact in integers: floor((2 × channel + L) / 4).
                out[x] = packColour(floorDiv(2 * (c & 0xff) + l, 4), floorDiv(2 * ((c >> 8) & 0xff) + l, 4),
                                    floorDiv(2 * (c >> 16) + l, 4));
                light[std::size_t(x)] = l <= 50 ? 50 : l;
            }
        }
    });
}

} // namespace

PixelBuffer PixelBuffer::fromImage(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    PixelBuffer out(rgb.width(), rgb.height());
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        std::int32_t* o = out.pixels.data() + std::size_t(y) * std::size_t(out.width);
        for (int x = 0; x < rgb.width(); ++x)
            o[x] = qRed(line[x]) | (qGreen(line[x]) << 8) | (qBlue(line[x]) << 16);
    }
    return out;
}

QImage PixelBuffer::toImage() const
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const std::int32_t* in = pixels.data() + std::size_t(y) * std::size_t(width);
        for (int x = 0; x < width; ++x)
            line[x] = qRgb(in[x] & 0xff, (in[x] >> 8) & 0xff, (in[x] >> 16) & 0xff);
    }
    return image;
}

QString effectProgressText(Effect effect)
{
    switch (effect) {
    case Effect::FlipHorizontal: return QStringLiteral("Flip Horizontal...");
    case Effect::FlipVertical: return QStringLiteral("Flip Vertical...");
    case Effect::Grayscaling: return QStringLiteral("Grayscaling...");
    case Effect::Inverting: return QStringLiteral("Inverting...");
    case Effect::Softening: return QStringLiteral("Softening...");
    case Effect::Sharpening: return QStringLiteral("Sharpening...");
    case Effect::Diffusing: return QStringLiteral("Diffusing...");
    case Effect::Embossing: return QStringLiteral("Embossing...");
    case Effect::Lighting: return QStringLiteral("Lighting...");
    case Effect::Solarizing: return QStringLiteral("Solarizing...");
    }
    return {};
}

UnitRandom seededUnitRandom(std::uint32_t seed)
{
    auto gen = std::make_shared<std::mt19937>(seed);
    return [gen] { return std::generate_canonical<double, 53>(*gen); };
}

void applyEffect(Effect effect, const PixelBuffer& source, PixelBuffer& result, const ProgressFn& progress,
                 const UnitRandom& random)
{
    if (result.width != source.width || result.height != source.height)
        result = PixelBuffer(source.width, source.height);
    switch (effect) {
    case Effect::FlipHorizontal:
        flip(effect, source, result, progress, true);
        break;
    case Effect::FlipVertical:
        flip(effect, source, result, progress, false);
        break;
    case Effect::Grayscaling:
        pointEffect(effect, source, result, progress, [](std::int32_t c) {
            const int v = ((c & 0xff) + ((c >> 8) & 0xff) + (c >> 16)) / 3;
            return v | (v << 8) | (v << 16);
        });
        break;
    case Effect::Inverting:
        pointEffect(effect, source, result, progress, [](std::int32_t c) { return c ^ 0xffffff; });
        break;
    case Effect::Solarizing:
        pointEffect(effect, source, result, progress, [](std::int32_t c) {
            int r = c & 0xff, g = (c >> 8) & 0xff, b = c >> 16;
            if (r < 128) r = 255 - r;
            if (g < 128) g = 255 - g;
            if (b != 128) b = 255 - b;
            return r | (g << 8) | (b << 16);
        });
        break;
    case Effect::Softening:
        soften(source, result, progress);
        break;
    case Effect::Sharpening:
        diagonalEffect(effect, source, result, progress, -1, -1,
                       [](int ch, int n) { return halfToEven2(3 * ch - n); }); // ch + (ch - n) × 0.5
        break;
    case Effect::Embossing:
        diagonalEffect(effect, source, result, progress, 1, 1, [](int ch, int n) { return std::abs(ch - n + 128); });
        break;
    case Effect::Diffusing:
        diffuse(source, result, progress, random);
        break;
    case Effect::Lighting:
        lighting(source, result, progress);
        break;
    }
}

PixelBuffer runEffect(Effect effect, const PixelBuffer& source, const ProgressFn& progress, const UnitRandom& random)
{
    PixelBuffer result = source;
    applyEffect(effect, source, result, progress, random);
    return result;
}

} // namespace lv
