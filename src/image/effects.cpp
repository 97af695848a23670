#include "image/effects.h"

#include "base/clock.h"

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

// The same progress texts, but the work between two texts is a run of whole
// rows in proportion to the columns walked: effects whose result does not
// depend on the visiting order run over contiguous memory.
template <class RowFn>
void forEachRowChunk(int width, int height, Effect effect, const ProgressFn& progress, RowFn&& rows)
{
    forEachBand(width, effect, progress, [&](int x0, int x1) {
        const int y0 = int(std::int64_t(x0) * height / width), y1 = int(std::int64_t(x1) * height / width);
        if (y1 > y0)
            rows(y0, y1);
    });
}

constexpr int clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); } // the clamping rule, for integers

template <class PixelFn>
void pointEffect(Effect effect, const PixelBuffer& src, PixelBuffer& dst, const ProgressFn& progress, PixelFn&& fn)
{
    forEachRowChunk(src.width, src.height, effect, progress, [&](int y0, int y1) {
        const std::size_t begin = std::size_t(y0) * std::size_t(src.width), end = std::size_t(y1) * std::size_t(src.width);
        const std::int32_t* in = src.pixels.data();
        std::int32_t* out = dst.pixels.data();
        for (std::size_t i = begin; i < end; ++i)
            out[i] = fn(in[i]);
    });
}

void flip(Effect effect, const PixelBuffer& src, PixelBuffer& dst, const ProgressFn& progress, bool upsideDown)
{
    const int w = src.width, h = src.height;
    forEachRowChunk(w, h, effect, progress, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            const std::int32_t* in = src.pixels.data() + std::size_t(y) * std::size_t(w);
            const int ty = upsideDown ? h - 1 - y : y;
            std::int32_t* out = dst.pixels.data() + std::size_t(ty) * std::size_t(w);
            std::reverse_copy(in, in + w, out);
        }
    });
}

// The three channels of an in-picture colour in 16-bit lanes: nine of them sum
// without carrying into the next lane.
inline std::uint64_t spread(std::int32_t c)
{
    const auto u = std::uint64_t(std::uint32_t(c));
    return (u & 0xff) | ((u & 0xff00) << 8) | ((u & 0xff0000) << 16);
}

void soften(const PixelBuffer& src, PixelBuffer& dst, const ProgressFn& progress)
{
    const int w = src.width, h = src.height;
    std::vector<std::uint64_t> columnSums(std::size_t(std::max(w, 0)));
    forEachRowChunk(w, h, Effect::Softening, progress, [&](int y0, int y1) {
        for (int y = std::max(y0, 1); y < std::min(y1, h); ++y) { // visited: 1 <= y <= H - 1, 1 <= x <= W - 1
            if (y + 1 < h) {
                const std::int32_t* up = src.pixels.data() + std::size_t(y - 1) * std::size_t(w);
                const std::int32_t* mid = up + w;
                const std::int32_t* down = mid + w;
                for (int x = 0; x < w; ++x)
                    columnSums[std::size_t(x)] = spread(up[x]) + spread(mid[x]) + spread(down[x]);
                std::int32_t* out = dst.pixels.data() + std::size_t(y) * std::size_t(w);
                for (int x = 1; x + 1 < w; ++x) {
                    const std::uint64_t t = columnSums[std::size_t(x - 1)] + columnSums[std::size_t(x)] + columnSums[std::size_t(x + 1)];
                    out[x] = int((t & 0xffff) / 9) | (int(((t >> 16) & 0xffff) / 9) << 8) | (int((t >> 32) / 9) << 16);
                }
            }
            // The last column, and the whole last row, see -1 beyond the edge.
            for (int x = (y + 1 < h ? std::max(w - 1, 1) : 1); x < w; ++x) {
                int r = 0, g = 0, b = 0;
                for (int j = -1; j <= 1; ++j) {
                    for (int i = -1; i <= 1; ++i) {
                        const std::int32_t c = src.at(x + i, y + j);
                        r += redOf(c);
                        g += greenOf(c);
                        b += blueOf(c);
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
    forEachRowChunk(w, h, effect, progress, [&](int y0, int y1) {
        for (int y = std::max(y0, 1); y < std::min(y1, h - 2); ++y) {
            const std::int32_t* in = src.pixels.data() + std::size_t(y) * std::size_t(w);
            const std::int32_t* nb = src.pixels.data() + std::size_t(y + dy) * std::size_t(w);
            std::int32_t* out = dst.pixels.data() + std::size_t(y) * std::size_t(w);
            for (int x = 1; x < w - 2; ++x) {
                const std::int32_t c = in[x], n = nb[x + dx];
                out[x] = clamp255(fn(c & 0xff, n & 0xff)) | (clamp255(fn((c >> 8) & 0xff, (n >> 8) & 0xff)) << 8)
                    | (clamp255(fn(c >> 16, n >> 16)) << 16);
            }
        }
    });
}

// A fast generator for the editor's own draws (splitmix64).
struct FastUnitRandom {
    std::uint64_t state;
    std::uint64_t next53()
    {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return (z ^ (z >> 31)) >> 11;
    }
    // nearest integer, halves to even, to r × 4 − 2 with r = bits / 2^53: the
    // half-way points r = 1/8, 3/8, 5/8, 7/8 are exact in these units.
    int offset()
    {
        constexpr std::uint64_t eighth = 1ull << 50;
        const std::uint64_t r = next53();
        // Counted without branches: the draws are random, so branches would mispredict.
        return -2 + int(r > eighth) + int(r >= 3 * eighth) + int(r > 5 * eighth) + int(r >= 7 * eighth);
    }
};

template <class Draw>
void diffuseWith(const PixelBuffer& src, PixelBuffer& dst, const ProgressFn& progress, Draw&& draw)
{
    const int w = src.width, h = src.height;
    std::vector<std::int8_t> offsets;
    forEachBand(w, Effect::Diffusing, progress, [&](int x0, int x1) {
        // Draws in the picture's column order, pixels then taken row by row.
        const int bw = x1 - x0;
        offsets.resize(std::size_t(bw) * std::size_t(h) * 2);
        for (int x = 0; x < bw; ++x)
            for (int y = 0; y < h; ++y) {
                std::int8_t* o = offsets.data() + (std::size_t(y) * std::size_t(bw) + std::size_t(x)) * 2;
                o[0] = std::int8_t(draw());
                o[1] = std::int8_t(draw());
            }
        for (int y = 0; y < h; ++y) {
            std::int32_t* out = dst.pixels.data() + std::size_t(y) * std::size_t(w);
            const std::int8_t* o = offsets.data() + std::size_t(y) * std::size_t(bw) * 2;
            for (int x = x0; x < x1; ++x, o += 2) {
                const std::int32_t c = src.at(x + o[0], y + o[1]);
                out[x] = c < 0 ? 0 : c;
            }
        }
    });
}

void diffuse(const PixelBuffer& src, PixelBuffer& dst, const ProgressFn& progress, const UnitRandom& random)
{
    if (random) {
        diffuseWith(src, dst, progress, [&] { return nearestEven(random() * 4 - 2); });
        return;
    }
    // Seeded from the time of day, as the editor always was.
    FastUnitRandom gen{std::uint64_t(clock().now().time().msecsSinceStartOfDay())};
    diffuseWith(src, dst, progress, [&] { return gen.offset(); });
}

void lighting(const PixelBuffer& src, PixelBuffer& dst, const ProgressFn& progress)
{
    const int w = src.width, h = src.height;
    // The step angle runs the same way down every column, so its sine per row
    // is worked out once. With L a whole number, rounding L − sine is L minus
    // the sine rounded, unless the sine is exactly one half.
    std::vector<double> rowSine(std::size_t(std::max(h, 0)));
    std::vector<int> rowDrop(std::size_t(std::max(h, 0)));
    std::vector<char> rowTie(std::size_t(std::max(h, 0)));
    double a = 0;
    for (int y = 0; y < h; ++y) {
        const int step = nearestEven((w - 1) / 90.0 + a);
        const double sine = std::sin(step * 3.14 / 180);
        rowSine[std::size_t(y)] = sine;
        rowDrop[std::size_t(y)] = nearestEven(sine);
        rowTie[std::size_t(y)] = std::abs(sine) == 0.5;
        a = std::min(step, 90);
    }
    std::vector<int> light(std::size_t(std::max(w, 0)));
    for (int x = 0; x < w; ++x)
        light[std::size_t(x)] = h - x;
    forEachRowChunk(w, h, Effect::Lighting, progress, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            const std::int32_t* in = src.pixels.data() + std::size_t(y) * std::size_t(w);
            std::int32_t* out = dst.pixels.data() + std::size_t(y) * std::size_t(w);
            int* L = light.data();
            const int drop = rowDrop[std::size_t(y)];
            const bool tie = rowTie[std::size_t(y)];
            const double sine = rowSine[std::size_t(y)];
            for (int x = 0; x < w; ++x) {
                const int l = tie ? nearestEven(L[x] - sine) : L[x] - drop;
                const std::int32_t c = in[x];
                // floor(channel / 2 + L × 0.25) is exact in integers: (2 × channel + L) >> 2.
                out[x] = clamp255((2 * (c & 0xff) + l) >> 2) | (clamp255((2 * ((c >> 8) & 0xff) + l) >> 2) << 8)
                    | (clamp255((2 * (c >> 16) + l) >> 2) << 16);
                L[x] = l <= 50 ? 50 : l;
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
