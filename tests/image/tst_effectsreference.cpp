// Every effect against a column-by-column reference written straight from the
// arithmetic, on many sizes and picture contents: the fast row loops (and their
// SIMD lanes) must give the same bits, the same untouched pixels and the same
// progress texts.
#include "image/effects.h"

#include <QTest>
#include <cmath>
#include <random>

using namespace lv;

namespace {

int floorDiv(int a, int b) { return static_cast<int>(std::floor(static_cast<double>(a) / b)); }
int roundEven(double v) { return static_cast<int>(std::nearbyint(v)); }
int R(int c) { return c % 256; }
int G(int c) { return floorDiv(c, 256) % 256; }
int B(int c) { return floorDiv(c, 65536); }
int pack(int r, int g, int b) { return clampChannel(r) + 256 * clampChannel(g) + 65536 * clampChannel(b); }

void reference(Effect e, const PixelBuffer& s, PixelBuffer& d, QStringList& texts, const UnitRandom& rnd)
{
    const int W = s.width;
    const int H = s.height;
    const int every = std::max(1, roundEven((W - 1) / 20.0));
    for (int x = 0; x < W; ++x) {
        // Each column starts its own light level and step angle.
        double light = H - x;
        double angle = 0;
        for (int y = 0; y < H; ++y) {
            const int c = s.at(x, y);
            const int r = R(c), g = G(c), b = B(c);
            switch (e) {
            case Effect::Grayscaling: {
                const int v = floorDiv(r + g + b, 3);
                d.set(x, y, pack(v, v, v));
                break;
            }
            case Effect::FlipHorizontal: d.set(W - 1 - x, H - 1 - y, c); break;
            case Effect::FlipVertical: d.set(W - 1 - x, y, c); break;
            case Effect::Inverting: d.set(x, y, pack(255 - r, 255 - g, 255 - b)); break;
            case Effect::Softening:
                if (x >= 1 && y >= 1) {
                    int sr = 0, sg = 0, sb = 0;
                    for (int j = -1; j <= 1; ++j)
                        for (int i = -1; i <= 1; ++i) {
                            const int q = s.at(x + i, y + j);
                            sr += R(q);
                            sg += G(q);
                            sb += B(q);
                        }
                    d.set(x, y, pack(floorDiv(sr, 9), floorDiv(sg, 9), floorDiv(sb, 9)));
                }
                break;
            case Effect::Sharpening:
                if (x >= 1 && y >= 1 && x <= W - 3 && y <= H - 3) {
                    const int q = s.at(x - 1, y - 1);
                    d.set(x, y, pack(roundEven(r + (r - R(q)) * 0.5), roundEven(g + (g - G(q)) * 0.5),
                                     roundEven(b + (b - B(q)) * 0.5)));
                }
                break;
            case Effect::Embossing:
                if (x >= 1 && y >= 1 && x <= W - 3 && y <= H - 3) {
                    const int q = s.at(x + 1, y + 1);
                    d.set(x, y, pack(std::abs(r - R(q) + 128), std::abs(g - G(q) + 128), std::abs(b - B(q) + 128)));
                }
                break;
            case Effect::Solarizing:
                d.set(x, y, pack(r < 128 ? 255 - r : r, g < 128 ? 255 - g : g, b != 128 ? 255 - b : b));
                break;
            case Effect::Diffusing: {
                const int dx = roundEven(rnd() * 4 - 2);
                const int dy = roundEven(rnd() * 4 - 2);
                const int q = s.at(x + dx, y + dy);
                d.set(x, y, q == -1 ? 0 : q);
                break;
            }
            case Effect::Lighting: {
                const double h = roundEven((W - 1) / 90.0 + angle);
                light = roundEven(light - std::sin(h * 3.14 / 180));
                d.set(x, y, pack(static_cast<int>(std::floor(r / 2.0 + light * 0.25)),
                                 static_cast<int>(std::floor(g / 2.0 + light * 0.25)),
                                 static_cast<int>(std::floor(b / 2.0 + light * 0.25))));
                if (light <= 50)
                    light = 50;
                angle = std::min(h, 90.0);
                break;
            }
            }
        }
        if (x % every == 0)
            texts << effectProgressText(e)
                    + QStringLiteral(" %1%").arg(static_cast<int>(std::floor(W > 1 ? double(x) / (W - 1) * 100 : 100)));
    }
}

PixelBuffer picture(int w, int h, int kind, std::mt19937& gen)
{
    static const int extremes[] = {0, 1, 127, 128, 129, 254, 255};
    PixelBuffer p(w, h);
    for (auto& px : p.pixels) {
        unsigned v = gen();
        if (kind == 1)
            v = (v & 0x0f0f0fu) | 0x787878u; // around the middle grey
        else if (kind == 2)
            v = unsigned(extremes[gen() % 7]) | unsigned(extremes[gen() % 7]) << 8 | unsigned(extremes[gen() % 7]) << 16;
        else if (kind == 3)
            v = gen() % 2 ? 0u : 0xffffffu;
        px = static_cast<int>(v & 0xffffffu);
    }
    return p;
}

} // namespace

class TestEffectsReference : public QObject {
    Q_OBJECT

private slots:
    void matchesTheArithmetic_data()
    {
        QTest::addColumn<int>("effect");
        const char* names[] = {"flip horizontal", "flip vertical", "grayscaling", "inverting", "softening",
                               "sharpening", "diffusing", "embossing", "lighting", "solarizing"};
        for (int e = 0; e < 10; ++e)
            QTest::newRow(names[e]) << e;
    }
    void matchesTheArithmetic()
    {
        QFETCH(int, effect);
        const Effect eff = static_cast<Effect>(effect);
        std::mt19937 gen(12345u + static_cast<unsigned>(effect));
        // Tiny, odd, long and wide pictures (so lighting's values pass both of its limits), and random ones.
        std::vector<std::pair<int, int>> sizes = {{1, 1}, {1, 5}, {5, 1}, {2, 2}, {3, 3}, {4, 3}, {9, 9}, {11, 6},
                                                  {17, 13}, {31, 2}, {33, 35}, {67, 41}, {101, 50}, {257, 129},
                                                  {13, 1500}, {2100, 3}};
        for (int i = 0; i < 8; ++i)
            sizes.emplace_back(1 + static_cast<int>(gen() % 300), 1 + static_cast<int>(gen() % 200));
        for (const auto& [w, h] : sizes) {
            for (int kind = 0; kind < 4; ++kind) {
                const PixelBuffer src = picture(w, h, kind, gen);
                const int fill = static_cast<int>(gen() & 0xffffffu);
                PixelBuffer expected(w, h, fill);
                PixelBuffer actual(w, h, fill);
                QStringList expectedTexts;
                QStringList actualTexts;
                const auto seed = static_cast<std::uint32_t>(gen());
                reference(eff, src, expected, expectedTexts, seededUnitRandom(seed));
                applyEffect(eff, src, actual, [&](const QString& t) { actualTexts << t; }, seededUnitRandom(seed));
                const QByteArray where = QStringLiteral("%1x%2 content %3").arg(w).arg(h).arg(kind).toLatin1();
                QVERIFY2(actual == expected, where.constData());
                QVERIFY2(actualTexts == expectedTexts, where.constData());
            }
        }
    }

    void defaultDiffusingStaysWithinTwoPixels()
    {
        // Each pixel's source is known from its value: every result pixel must come
        // from at most two pixels away, or be black where that falls outside.
        const int w = 97, h = 61;
        PixelBuffer src(w, h);
        for (int i = 0; i < w * h; ++i)
            src.pixels[static_cast<size_t>(i)] = i + 1;
        const PixelBuffer d = runEffect(Effect::Diffusing, src);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int c = d.at(x, y);
                if (c == 0) {
                    QVERIFY2(x < 2 || y < 2 || x >= w - 2 || y >= h - 2, "black inside the picture");
                    continue;
                }
                QVERIFY(std::abs((c - 1) % w - x) <= 2);
                QVERIFY(std::abs((c - 1) / w - y) <= 2);
            }
    }
};

QTEST_GUILESS_MAIN(TestEffectsReference)
#include "tst_effectsreference.moc"
