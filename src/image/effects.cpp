#include "image/effects.h"

#include "base/clock.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

// SSE2 is part of every x86-64 processor; other machines take the plain loops.
#if defined(__SSE2__) && !defined(LV_EFFECTS_PLAIN)
#include <emmintrin.h>
#define LV_EFFECTS_SSE2 1
#endif
// Diffusing's scattered reads gain most from AVX2's gather; it is used where the
// processor has it.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(LV_EFFECTS_PLAIN)
#include <immintrin.h>
#define LV_EFFECTS_AVX2 1
#endif

namespace lv {

namespace {

constexpr int floorDiv(int a, int b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Half-way cases go to the even neighbour, as the editor's rounding does.
constexpr int halfToEven2(int t) // nearest integer to t / 2
{
    const int q = t >> 1;
    return q + (t & q & 1); // without a branch, so the loops using it vectorise
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

constexpr int clamp255(int v) { return std::min(std::max(v, 0), 255); } // the clamping rule, for integers

#ifdef LV_EFFECTS_SSE2
// Four in-picture colours as their channels in 16-bit lanes (the fourth byte
// of each is 0): pixels 0-1 and 2-3. Packing back saturates to 0-255, which is
// the clamping rule.
inline __m128i loadPixels(const std::int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline __m128i lowChannels(__m128i v) { return _mm_unpacklo_epi8(v, _mm_setzero_si128()); }
inline __m128i highChannels(__m128i v) { return _mm_unpackhi_epi8(v, _mm_setzero_si128()); }
inline void storePixels(std::int32_t* p, __m128i lo, __m128i hi)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(lo, hi));
}

// Nearest integer to channel + (channel − n) × 0.5 = (3 × channel − n) / 2, halves to even.
inline __m128i sharpenChannels(__m128i c, __m128i n)
{
    const __m128i t = _mm_sub_epi16(_mm_add_epi16(c, _mm_add_epi16(c, c)), n);
    const __m128i q = _mm_srai_epi16(t, 1);
    return _mm_add_epi16(q, _mm_and_si128(_mm_and_si128(t, q), _mm_set1_epi16(1)));
}

// |channel − n + 128|; the fourth lane, 0 in both, must stay 0.
inline __m128i embossChannels(__m128i c, __m128i n)
{
    const __m128i t = _mm_add_epi16(_mm_sub_epi16(c, n), _mm_set_epi16(0, 128, 128, 128, 0, 128, 128, 128));
    return _mm_max_epi16(t, _mm_sub_epi16(_mm_setzero_si128(), t));
}
#endif

template <class PixelFn>
void pointEffect(Effect effect, const PixelBuffer& src, PixelBuffer& dst, const ProgressFn& progress, PixelFn&& fn)
{
    forEachRowChunk(src.width, src.height, effect, progress, [&](int y0, int y1) {
        const std::size_t begin = std::size_t(y0) * std::size_t(src.width), end = std::size_t(y1) * std::size_t(src.width);
        const std::int32_t* __restrict in = src.pixels.data();
        std::int32_t* __restrict out = dst.pixels.data();
        for (std::size_t i = begin; i < end; ++i)
            out[i] = fn(in[i]);
    });
}

// floor(sum / 3) as a multiply and shift, exact for channel sums up to 765.
inline std::int32_t greyOf(std::int32_t c)
{
    const std::uint32_t sum = std::uint32_t((c & 0xff) + ((c >> 8) & 0xff) + (c >> 16));
    return std::int32_t(((sum * 43691u) >> 17) * 0x010101u);
}

void greyscale(const PixelBuffer& src, PixelBuffer& dst, const ProgressFn& progress)
{
    forEachRowChunk(src.width, src.height, Effect::Grayscaling, progress, [&](int y0, int y1) {
        std::size_t i = std::size_t(y0) * std::size_t(src.width);
        const std::size_t end = std::size_t(y1) * std::size_t(src.width);
        const std::int32_t* in = src.pixels.data();
        std::int32_t* out = dst.pixels.data();
#ifdef LV_EFFECTS_SSE2
        // The sums of eight pixels fit 16-bit lanes, where sum × 21846 >> 16 is
        // the high half of one product.
        const __m128i low = _mm_set1_epi32(0xff), third = _mm_set1_epi16(21846);
        const auto sums = [&](__m128i c) {
            return _mm_add_epi32(_mm_add_epi32(_mm_and_si128(c, low), _mm_and_si128(_mm_srli_epi32(c, 8), low)),
                                 _mm_srli_epi32(c, 16));
        };
        const auto spread = [](__m128i v) { return _mm_or_si128(_mm_or_si128(v, _mm_slli_epi32(v, 8)), _mm_slli_epi32(v, 16)); };
        for (; i + 8 <= end; i += 8) {
            const __m128i v = _mm_mulhi_epu16(_mm_packs_epi32(sums(loadPixels(in + i)), sums(loadPixels(in + i + 4))), third);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), spread(_mm_unpacklo_epi16(v, _mm_setzero_si128())));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 4), spread(_mm_unpackhi_epi16(v, _mm_setzero_si128())));
        }
#endif
        for (; i < end; ++i)
            out[i] = greyOf(in[i]);
    });
}

// 255 - v is v ^ 255: red and green flip where their top bit is clear, blue
// everywhere but at exactly 128.
inline std::int32_t solarized(std::int32_t c)
{
    const std::uint32_t u = std::uint32_t(c);
    const std::uint32_t top = ~u & 0x8080u;
    const std::uint32_t redGreen = (top << 1) - (top >> 7);
    const std::uint32_t blue = (u & 0xff0000u) == 0x800000u ? 0u : 0xff0000u;
    return std::int32_t(u ^ (redGreen | blue));
}

void solarize(const PixelBuffer& src, PixelBuffer& dst, const ProgressFn& progress)
{
    forEachRowChunk(src.width, src.height, Effect::Solarizing, progress, [&](int y0, int y1) {
        std::size_t i = std::size_t(y0) * std::size_t(src.width);
        const std::size_t end = std::size_t(y1) * std::size_t(src.width);
        const std::int32_t* in = src.pixels.data();
        std::int32_t* out = dst.pixels.data();
#ifdef LV_EFFECTS_SSE2
        // The same bit rule on four pixels at once; the compiler leaves the
        // blue test as a branch, which costs more than the pass itself.
        const __m128i tops = _mm_set1_epi32(0x8080), blueMask = _mm_set1_epi32(0xff0000),
                      half = _mm_set1_epi32(0x800000);
        const auto four = [&](__m128i v) {
            const __m128i top = _mm_andnot_si128(v, tops);
            const __m128i redGreen = _mm_sub_epi32(_mm_slli_epi32(top, 1), _mm_srli_epi32(top, 7));
            const __m128i blue = _mm_andnot_si128(_mm_cmpeq_epi32(_mm_and_si128(v, blueMask), half), blueMask);
            return _mm_xor_si128(v, _mm_or_si128(redGreen, blue));
        };
        for (; i + 8 <= end; i += 8) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), four(loadPixels(in + i)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 4), four(loadPixels(in + i + 4)));
        }
#endif
        for (; i < end; ++i)
            out[i] = solarized(in[i]);
    });
}

void flip(Effect effect, const PixelBuffer& src, PixelBuffer& dst, const ProgressFn& progress, bool upsideDown)
{
    const int w = src.width, h = src.height;
    forEachRowChunk(w, h, effect, progress, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            const std::int32_t* __restrict in = src.pixels.data() + std::size_t(y) * std::size_t(w);
            const int ty = upsideDown ? h - 1 - y : y;
            std::int32_t* __restrict out = dst.pixels.data() + std::size_t(ty) * std::size_t(w);
            // An index loop rather than std::reverse_copy: this one vectorises.
            for (int x = 0; x < w; ++x)
                out[w - 1 - x] = in[x];
        }
    });
}

#ifndef LV_EFFECTS_SSE2
// Softening's interior: the column sums of three rows, then the sums of three
// neighbouring columns. Red and blue travel together in the 16-bit halves of one
// word (nine channels sum to at most 2295), green in a word of its own, so the
// loops run on plain 32-bit lanes and vectorise.
void softenInteriorRow(const std::int32_t* __restrict up, const std::int32_t* __restrict mid,
                       const std::int32_t* __restrict down, std::int32_t* __restrict out, std::uint32_t* __restrict redBlue,
                       std::uint32_t* __restrict green, int w)
{
    for (int x = 0; x < w; ++x) {
        const auto a = std::uint32_t(up[x]), b = std::uint32_t(mid[x]), c = std::uint32_t(down[x]);
        redBlue[x] = (a & 0xff00ffu) + (b & 0xff00ffu) + (c & 0xff00ffu);
        green[x] = ((a >> 8) & 0xffu) + ((b >> 8) & 0xffu) + ((c >> 8) & 0xffu);
    }
    // t × 7282 >> 16 is floor(t / 9) for every t up to 2295.
    for (int x = 1; x + 1 < w; ++x) {
        const std::uint32_t rb = redBlue[x - 1] + redBlue[x] + redBlue[x + 1];
        const std::uint32_t g = green[x - 1] + green[x] + green[x + 1];
        out[x] = std::int32_t((((rb & 0xffffu) * 7282u) >> 16) | (((g * 7282u) >> 16) << 8)
                              | ((((rb >> 16) * 7282u) >> 16) << 16));
    }
}
#endif

#ifdef LV_EFFECTS_SSE2
// Softening's interior in 16-bit lanes, four per pixel: the column sums of
// pixels 4k … 4k + 3 in two registers, and t × 7282 >> 16, the high half of a
// 16-bit product, is floor(t / 9) for every t up to 2295.
void softenInteriorRowSse2(const std::int32_t* up, const std::int32_t* mid, const std::int32_t* down, std::int32_t* out,
                           int w)
{
    const auto columns = [&](int x, __m128i& lo, __m128i& hi) {
        const __m128i a = loadPixels(up + x), b = loadPixels(mid + x), c = loadPixels(down + x);
        lo = _mm_add_epi16(_mm_add_epi16(lowChannels(a), lowChannels(b)), lowChannels(c));
        hi = _mm_add_epi16(_mm_add_epi16(highChannels(a), highChannels(b)), highChannels(c));
    };
    const __m128i ninth = _mm_set1_epi16(7282);
    int x = 1;
    if (w >= 8) {
        __m128i lo, hi;
        columns(0, lo, hi);
        for (int k = 0; 4 * k + 8 <= w; ++k) { // pixels 4k + 1 … 4k + 4 from the columns 4k … 4k + 5
            __m128i nextLo, nextHi;
            columns(4 * k + 4, nextLo, nextHi);
            const __m128i centre1 = _mm_or_si128(_mm_srli_si128(lo, 8), _mm_slli_si128(hi, 8));
            const __m128i centre2 = _mm_or_si128(_mm_srli_si128(hi, 8), _mm_slli_si128(nextLo, 8));
            storePixels(out + 4 * k + 1, _mm_mulhi_epu16(_mm_add_epi16(_mm_add_epi16(lo, centre1), hi), ninth),
                        _mm_mulhi_epu16(_mm_add_epi16(_mm_add_epi16(hi, centre2), nextLo), ninth));
            lo = nextLo;
            hi = nextHi;
            x = 4 * k + 5;
        }
    }
    for (; x + 1 < w; ++x) {
        std::int32_t c = 0;
        for (int k = 0; k < 3; ++k) {
            int t = 0;
            for (int i = -1; i <= 1; ++i)
                t += ((up[x + i] >> (8 * k)) & 0xff) + ((mid[x + i] >> (8 * k)) & 0xff) + ((down[x + i] >> (8 * k)) & 0xff);
            c |= (t * 7282 >> 16) << (8 * k);
        }
        out[x] = c;
    }
}
#endif

void soften(const PixelBuffer& src, PixelBuffer& dst, const ProgressFn& progress)
{
    const int w = src.width, h = src.height;
#ifndef LV_EFFECTS_SSE2
    std::vector<std::uint32_t> redBlue(std::size_t(std::max(w, 0))), green(std::size_t(std::max(w, 0)));
#endif
    forEachRowChunk(w, h, Effect::Softening, progress, [&](int y0, int y1) {
        for (int y = std::max(y0, 1); y < std::min(y1, h); ++y) { // visited: 1 <= y <= H - 1, 1 <= x <= W - 1
            if (y + 1 < h) {
                const std::int32_t* mid = src.pixels.data() + std::size_t(y) * std::size_t(w);
#ifdef LV_EFFECTS_SSE2
                softenInteriorRowSse2(mid - w, mid, mid + w, dst.pixels.data() + std::size_t(y) * std::size_t(w), w);
#else
                softenInteriorRow(mid - w, mid, mid + w, dst.pixels.data() + std::size_t(y) * std::size_t(w),
                                  redBlue.data(), green.data(), w);
#endif
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

#ifdef LV_EFFECTS_AVX2
bool haveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

// Sharpening's or Embossing's channels of eight pixels at a time, as the SSE2
// lanes above. Unpacking and packing both work within 128-bit halves, so the
// pixels come back in their order. Returns where it stopped.
template <bool Emboss>
__attribute__((target("avx2"))) int diagonalRunAvx2(const std::int32_t* in, const std::int32_t* nb, std::int32_t* out,
                                                    int x, int end)
{
    const __m256i zero = _mm256_setzero_si256(), one = _mm256_set1_epi16(1);
    const __m256i bias = _mm256_set_epi16(0, 128, 128, 128, 0, 128, 128, 128, 0, 128, 128, 128, 0, 128, 128, 128);
    for (; x + 8 <= end; x += 8) {
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + x));
        const __m256i n = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(nb + x));
        __m256i half[2];
        for (int k = 0; k < 2; ++k) {
            const __m256i ch = k == 0 ? _mm256_unpacklo_epi8(c, zero) : _mm256_unpackhi_epi8(c, zero);
            const __m256i nh = k == 0 ? _mm256_unpacklo_epi8(n, zero) : _mm256_unpackhi_epi8(n, zero);
            if constexpr (Emboss) {
                const __m256i t = _mm256_add_epi16(_mm256_sub_epi16(ch, nh), bias);
                half[k] = _mm256_max_epi16(t, _mm256_sub_epi16(zero, t));
            } else {
                const __m256i t = _mm256_sub_epi16(_mm256_add_epi16(ch, _mm256_add_epi16(ch, ch)), nh);
                const __m256i q = _mm256_srai_epi16(t, 1);
                half[k] = _mm256_add_epi16(q, _mm256_and_si256(_mm256_and_si256(t, q), one));
            }
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_packus_epi16(half[0], half[1]));
    }
    return x;
}
#endif

#ifdef LV_EFFECTS_AVX2
// Lighting's pixels eight at a time: L capped to −1024 … 1024 (beyond, every
// channel is 0 or 255 anyway) and doubled into both 16-bit halves of its lane,
// so that unpacking it like the pixels lines it up with their channels.
__attribute__((target("avx2"))) int lightingRunAvx2(const std::int32_t* in, const int* levels, std::int32_t* out, int x,
                                                    int end)
{
    const __m256i zero = _mm256_setzero_si256(), low16 = _mm256_set1_epi32(0xffff), rgb = _mm256_set1_epi32(0xffffff);
    const __m256i cap = _mm256_set1_epi32(1024), floorCap = _mm256_set1_epi32(-1024);
    for (; x + 8 <= end; x += 8) {
        const __m256i l = _mm256_max_epi32(
            _mm256_min_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(levels + x)), cap), floorCap);
        const __m256i twice = _mm256_or_si256(_mm256_and_si256(l, low16), _mm256_slli_epi32(l, 16));
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + x));
        const __m256i lo = _mm256_unpacklo_epi8(c, zero), hi = _mm256_unpackhi_epi8(c, zero);
        const __m256i litLo = _mm256_srai_epi16(_mm256_add_epi16(_mm256_add_epi16(lo, lo), _mm256_unpacklo_epi32(twice, twice)), 2);
        const __m256i litHi = _mm256_srai_epi16(_mm256_add_epi16(_mm256_add_epi16(hi, hi), _mm256_unpackhi_epi32(twice, twice)), 2);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_and_si256(_mm256_packus_epi16(litLo, litHi), rgb));
    }
    return x;
}
#endif

// Sharpening and Embossing visit 1 <= x <= W - 3 and 1 <= y <= H - 3 and read
// one diagonal neighbour, which is always inside there.
template <bool Emboss, class ChannelFn, class VectorFn>
void diagonalEffect(Effect effect, const PixelBuffer& src, PixelBuffer& dst, const ProgressFn& progress, int dx, int dy,
                    ChannelFn&& fn, [[maybe_unused]] VectorFn&& vectorFn)
{
    const int w = src.width, h = src.height;
    forEachRowChunk(w, h, effect, progress, [&](int y0, int y1) {
        for (int y = std::max(y0, 1); y < std::min(y1, h - 2); ++y) {
            const std::int32_t* __restrict in = src.pixels.data() + std::size_t(y) * std::size_t(w);
            const std::int32_t* __restrict nb = src.pixels.data() + std::size_t(y + dy) * std::size_t(w) + dx;
            std::int32_t* __restrict out = dst.pixels.data() + std::size_t(y) * std::size_t(w);
            int x = 1;
#ifdef LV_EFFECTS_AVX2
            if (haveAvx2())
                x = diagonalRunAvx2<Emboss>(in, nb, out, x, w - 2);
#endif
#ifdef LV_EFFECTS_SSE2
            for (; x + 4 <= w - 2; x += 4) {
                const __m128i c = loadPixels(in + x), n = loadPixels(nb + x);
                storePixels(out + x, vectorFn(lowChannels(c), lowChannels(n)), vectorFn(highChannels(c), highChannels(n)));
            }
#endif
            for (; x < w - 2; ++x) {
                const std::int32_t c = in[x], n = nb[x];
                out[x] = clamp255(fn(c & 0xff, n & 0xff)) | (clamp255(fn((c >> 8) & 0xff, (n >> 8) & 0xff)) << 8)
                    | (clamp255(fn(c >> 16, n >> 16)) << 16);
            }
        }
    });
}

// A fast generator for the editor's own draws (splitmix64).
struct FastRandom {
    std::uint64_t state;
    std::uint64_t next()
    {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
};

// The offset drawn as the nearest integer (halves to even) to r × 4 − 2 is −2
// and 2 with a chance of 1/8 each and −1, 0, 1 with 1/4 each: exactly what
// three random bits give through this table.
constexpr std::int8_t kOffsetOf3Bits[8] = {-2, -1, -1, 0, 0, 1, 1, 2};
constexpr int kDrawsPerWord = 10; // six bits (dx, dy) per pixel from each 64-bit word

#ifdef LV_EFFECTS_AVX2
// Eight xorshift128 generators side by side, each 32-bit output giving five draws.
struct alignas(32) LaneRandom {
    std::uint32_t x[8], y[8], z[8], w[8];
};

// The interior run [x, end) of one row: eight pixels at a time, offsets from
// the lanes' bits ((b + 1) >> 1) − 2 maps three bits to −2 … 2 as the table
// above does), then one gather. Returns where it stopped.
__attribute__((target("avx2"))) int diffuseInteriorAvx2(const std::int32_t* in, std::int32_t* out, int x, int end,
                                                       int width, LaneRandom& lanes)
{
    auto* st = reinterpret_cast<__m256i*>(&lanes);
    __m256i a = _mm256_load_si256(st), b = _mm256_load_si256(st + 1), c = _mm256_load_si256(st + 2),
            d = _mm256_load_si256(st + 3);
    const __m256i seven = _mm256_set1_epi32(7), one = _mm256_set1_epi32(1), two = _mm256_set1_epi32(2);
    const __m256i rowStep = _mm256_set1_epi32(width);
    __m256i position = _mm256_add_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(x));
    const __m256i eight = _mm256_set1_epi32(8);
    __m256i bits = _mm256_setzero_si256();
    int left = 0;
    for (; x + 8 <= end; x += 8) {
        if (left == 0) {
            const __m256i t = _mm256_xor_si256(a, _mm256_slli_epi32(a, 11));
            a = b;
            b = c;
            c = d;
            d = _mm256_xor_si256(_mm256_xor_si256(d, _mm256_srli_epi32(d, 19)), _mm256_xor_si256(t, _mm256_srli_epi32(t, 8)));
            bits = d;
            left = 5;
        }
        const __m256i dx = _mm256_sub_epi32(_mm256_srli_epi32(_mm256_add_epi32(_mm256_and_si256(bits, seven), one), 1), two);
        const __m256i dy = _mm256_sub_epi32(
            _mm256_srli_epi32(_mm256_add_epi32(_mm256_and_si256(_mm256_srli_epi32(bits, 3), seven), one), 1), two);
        bits = _mm256_srli_epi32(bits, 6);
        --left;
        const __m256i index = _mm256_add_epi32(_mm256_add_epi32(position, dx), _mm256_mullo_epi32(dy, rowStep));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_i32gather_epi32(in, index, 4));
        position = _mm256_add_epi32(position, eight);
    }
    _mm256_store_si256(st, a);
    _mm256_store_si256(st + 1, b);
    _mm256_store_si256(st + 2, c);
    _mm256_store_si256(st + 3, d);
    return x;
}
#endif

// The editor's own draws: the pixels' offsets are independent, so they are
// drawn row by row, ten pixels from one word, and the interior, where no
// offset can leave the picture, is read without bounds checks.
void diffuseFast(const PixelBuffer& src, PixelBuffer& dst, const ProgressFn& progress, std::uint64_t seed)
{
    const int w = src.width, h = src.height;
    FastRandom gen{seed};
    std::vector<std::uint8_t> draws(std::size_t(std::max(w, 0) + kDrawsPerWord));
    std::ptrdiff_t shift[64]; // dy × W + dx for each six-bit draw
    for (int k = 0; k < 64; ++k)
        shift[k] = std::ptrdiff_t(kOffsetOf3Bits[k >> 3]) * w + kOffsetOf3Bits[k & 7];
#ifdef LV_EFFECTS_AVX2
    const bool gather = haveAvx2() && w < (1 << 28); // the indices are 32-bit
    LaneRandom lanes;
    for (int k = 0; k < 8; ++k) { // xorshift128 wants a state that is not all zero: splitmix64 gives none
        const std::uint64_t p = gen.next(), q = gen.next();
        lanes.x[k] = std::uint32_t(p) | 1u;
        lanes.y[k] = std::uint32_t(p >> 32);
        lanes.z[k] = std::uint32_t(q);
        lanes.w[k] = std::uint32_t(q >> 32);
    }
#else
    [[maybe_unused]] const bool gather = false;
#endif
    forEachRowChunk(w, h, Effect::Diffusing, progress, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            std::uint8_t* __restrict d = draws.data();
            const bool interiorRow = y >= 2 && y < h - 2 && w >= 5;
            int gathered = 2; // the interior columns done by the gather end here
#ifdef LV_EFFECTS_AVX2
            if (gather && interiorRow)
                gathered = diffuseInteriorAvx2(src.pixels.data() + std::size_t(y) * std::size_t(w),
                                               dst.pixels.data() + std::size_t(y) * std::size_t(w), 2, w - 2, w, lanes);
#endif
            const auto draw = [&](int from, int to) {
                for (int x = from; x < to; x += kDrawsPerWord) {
                    std::uint64_t bits = gen.next();
                    for (int k = 0; k < kDrawsPerWord; ++k, bits >>= 6)
                        d[x + k] = std::uint8_t(bits & 63);
                }
            };
            if (gathered > 2) {
                draw(0, 2);
                draw(gathered, w);
            } else {
                draw(0, w);
            }
            const std::int32_t* in = src.pixels.data() + std::size_t(y) * std::size_t(w);
            std::int32_t* __restrict out = dst.pixels.data() + std::size_t(y) * std::size_t(w);
            const auto checked = [&](int x) {
                const int k = d[x];
                const std::int32_t c = src.at(x + kOffsetOf3Bits[k & 7], y + kOffsetOf3Bits[k >> 3]);
                out[x] = c < 0 ? 0 : c;
            };
            if (!interiorRow) {
                for (int x = 0; x < w; ++x)
                    checked(x);
                continue;
            }
            checked(0);
            checked(1);
            for (int x = gathered; x < w - 2; ++x)
                out[x] = in[x + shift[d[x]]];
            checked(w - 2);
            checked(w - 1);
        }
    });
}

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
    diffuseFast(src, dst, progress, std::uint64_t(clock().now().time().msecsSinceStartOfDay()));
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
            const std::int32_t* __restrict in = src.pixels.data() + std::size_t(y) * std::size_t(w);
            std::int32_t* __restrict out = dst.pixels.data() + std::size_t(y) * std::size_t(w);
            int* __restrict L = light.data();
            // L is raised to at least 50 after every pixel; done here, before
            // the next row, the pixel loop below only reads it.
            const int floorLevel = y > 0 ? 50 : std::numeric_limits<int>::min();
            if (rowTie[std::size_t(y)]) {
                const double sine = rowSine[std::size_t(y)];
                for (int x = 0; x < w; ++x)
                    L[x] = nearestEven(std::max(L[x], floorLevel) - sine);
            } else {
                const int drop = rowDrop[std::size_t(y)];
                for (int x = 0; x < w; ++x)
                    L[x] = std::max(L[x], floorLevel) - drop;
            }
            int x = 0;
#ifdef LV_EFFECTS_AVX2
            if (haveAvx2())
                x = lightingRunAvx2(in, L, out, x, w);
#endif
#ifdef LV_EFFECTS_SSE2
            // In 16-bit lanes L is capped at 1024: from there on every channel is 255 anyway.
            const __m128i cap = _mm_set1_epi16(1024), rgb = _mm_set1_epi32(0xffffff);
            const auto lit = [](__m128i channels, __m128i levels) {
                return _mm_srai_epi16(_mm_add_epi16(_mm_add_epi16(channels, channels), levels), 2);
            };
            for (; x + 8 <= w; x += 8) {
                const __m128i levels = _mm_min_epi16(
                    _mm_packs_epi32(loadPixels(L + x), loadPixels(L + x + 4)), cap); // L of 8 pixels
                const __m128i pairs0 = _mm_unpacklo_epi16(levels, levels), pairs1 = _mm_unpackhi_epi16(levels, levels);
                const __m128i a = loadPixels(in + x), b = loadPixels(in + x + 4);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                                 _mm_and_si128(_mm_packus_epi16(lit(lowChannels(a), _mm_unpacklo_epi32(pairs0, pairs0)),
                                                                lit(highChannels(a), _mm_unpackhi_epi32(pairs0, pairs0))),
                                               rgb));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x + 4),
                                 _mm_and_si128(_mm_packus_epi16(lit(lowChannels(b), _mm_unpacklo_epi32(pairs1, pairs1)),
                                                                lit(highChannels(b), _mm_unpackhi_epi32(pairs1, pairs1))),
                                               rgb));
            }
#endif
            for (; x < w; ++x) {
                const int l = L[x];
                const std::int32_t c = in[x];
                // floor(channel / 2 + L × 0.25) is exact in integers: (2 × channel + L) >> 2.
                out[x] = clamp255((2 * (c & 0xff) + l) >> 2) | (clamp255((2 * ((c >> 8) & 0xff) + l) >> 2) << 8)
                    | (clamp255((2 * (c >> 16) + l) >> 2) << 16);
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
        greyscale(source, result, progress);
        break;
    case Effect::Inverting:
        pointEffect(effect, source, result, progress, [](std::int32_t c) { return c ^ 0xffffff; });
        break;
    case Effect::Solarizing:
        solarize(source, result, progress);
        break;
    case Effect::Softening:
        soften(source, result, progress);
        break;
    case Effect::Sharpening:
        diagonalEffect<false>(effect, source, result, progress, -1, -1,
                       [](int ch, int n) { return halfToEven2(3 * ch - n); }, // ch + (ch - n) × 0.5
                       [](auto c, auto n) { return sharpenChannels(c, n); });
        break;
    case Effect::Embossing:
        diagonalEffect<true>(effect, source, result, progress, 1, 1, [](int ch, int n) { return std::abs(ch - n + 128); },
                       [](auto c, auto n) { return embossChannels(c, n); });
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
