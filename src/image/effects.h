#pragma once

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace lv {

// A picture as packed colours c = red + 256 × green + 65536 × blue, rows top
// down. Reading outside the picture gives -1.
struct PixelBuffer {
    int width = 0;
    int height = 0;
    std::vector<std::int32_t> pixels;

    PixelBuffer() = default;
    PixelBuffer(int w, int h, std::int32_t fill = 0) : width(w), height(h), pixels(std::size_t(w) * std::size_t(h), fill) {}

    std::int32_t at(int x, int y) const
    {
        return x < 0 || y < 0 || x >= width || y >= height ? -1 : pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)];
    }
    void set(int x, int y, std::int32_t c) { pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] = c; }
    bool operator==(const PixelBuffer&) const = default;

    static PixelBuffer fromImage(const QImage& image);
    QImage toImage() const; // Format_RGB32
};

// Channels of a packed colour; the modulo keeps the sign, so -1 gives -1 in each.
constexpr int redOf(std::int32_t c) { return c % 256; }
constexpr int greenOf(std::int32_t c) { return (c >> 8) % 256; } // >> is a floor division
constexpr int blueOf(std::int32_t c) { return c >> 16; }
// Above 254 gives 255, below 1 gives 0.
constexpr int clampChannel(int v) { return v > 254 ? 255 : (v < 1 ? 0 : v); }
constexpr std::int32_t packColour(int r, int g, int b)
{
    return clampChannel(r) + 256 * clampChannel(g) + 65536 * clampChannel(b);
}

// The ten effects of the editor, in the order of its menu.
enum class Effect { FlipHorizontal, FlipVertical, Grayscaling, Inverting, Softening, Sharpening, Diffusing, Embossing,
                    Lighting, Solarizing };

// The progress text of an effect ("Grayscaling...").
QString effectProgressText(Effect effect);

// Receives "Grayscaling... 45%"-style texts, about twenty per effect.
using ProgressFn = std::function<void(const QString&)>;
// A number in [0, 1), drawn twice per pixel by Diffusing. Left empty, Diffusing
// uses its own fast generator seeded from the time of day (lv::clock()).
using UnitRandom = std::function<double()>;

// A generator of UnitRandom seeded with `seed` (the editor seeds it from the time of day).
UnitRandom seededUnitRandom(std::uint32_t seed);

// Runs one effect: reads only `source`, writes `result`, which must be of the
// source's size. Pixels an effect does not visit (the edges of Softening,
// Sharpening and Embossing) keep what `result` held; runEffect below starts
// it as a copy of the source. `random` is used by Diffusing only.
void applyEffect(Effect effect, const PixelBuffer& source, PixelBuffer& result, const ProgressFn& progress = {},
                 const UnitRandom& random = {});

// The editor's form: result starts as a copy of the source, so unvisited edge
// pixels keep the picture's own colour.
PixelBuffer runEffect(Effect effect, const PixelBuffer& source, const ProgressFn& progress = {},
                      const UnitRandom& random = {});

} // namespace lv
