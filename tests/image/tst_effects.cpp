#include "image/effects.h"
#include "imagetesttools.h"

#include <QtTest>

using namespace lv;

namespace {

std::int32_t rgb(int r, int g, int b) { return r + 256 * g + 65536 * b; }

PixelBuffer filled(int w, int h, std::int32_t c) { return PixelBuffer(w, h, c); }

PixelBuffer patterned(int w, int h) { return PixelBuffer::fromImage(lvtest::patternImage(w, h)); }

UnitRandom scripted(QList<double> values)
{
    auto queue = std::make_shared<QList<double>>(std::move(values));
    return [queue] { return queue->isEmpty() ? 0.5 : queue->takeFirst(); };
}

} // namespace

class TestEffects : public QObject {
    Q_OBJECT

private slots:
    void channelsKeepTheSign();
    void pointEffects_data();
    void pointEffects();
    void solarizeEveryValue_data();
    void solarizeEveryValue();
    void sharpen_data();
    void sharpen();
    void emboss_data();
    void emboss();
    void softenReadsMinusOneOutside();
    void softenUniformInteriorKeepsColour();
    void lighting_data();
    void lighting();
    void diffuseTakesNeighboursInColumnOrder();
    void identities();
    void progressTexts_data();
    void progressTexts();
};

void TestEffects::channelsKeepTheSign()
{
    QCOMPARE(redOf(-1), -1);
    QCOMPARE(greenOf(-1), -1);
    QCOMPARE(blueOf(-1), -1);
    QCOMPARE(redOf(rgb(1, 2, 3)), 1);
    QCOMPARE(greenOf(rgb(1, 2, 3)), 2);
    QCOMPARE(blueOf(rgb(1, 2, 3)), 3);
    QCOMPARE(clampChannel(255), 255);
    QCOMPARE(clampChannel(256), 255);
    QCOMPARE(clampChannel(1), 1);
    QCOMPARE(clampChannel(0), 0);
    QCOMPARE(clampChannel(-7), 0);
}

void TestEffects::pointEffects_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<int>("in");
    QTest::addColumn<int>("out");

    const int grey = int(Effect::Grayscaling), neg = int(Effect::Inverting), sol = int(Effect::Solarizing);
    QTest::newRow("greyscale 10,20,31") << grey << rgb(10, 20, 31) << rgb(20, 20, 20);
    QTest::newRow("greyscale rounds down") << grey << rgb(255, 255, 254) << rgb(254, 254, 254);
    QTest::newRow("greyscale white") << grey << rgb(255, 255, 255) << rgb(255, 255, 255);
    QTest::newRow("negative") << neg << rgb(0, 128, 255) << rgb(255, 127, 0);
    QTest::newRow("solarize 200,100,128") << sol << rgb(200, 100, 128) << rgb(200, 155, 128);
    QTest::newRow("solarize 0,255,127") << sol << rgb(0, 255, 127) << rgb(255, 255, 128);
    QTest::newRow("solarize 128,127,129") << sol << rgb(128, 127, 129) << rgb(128, 128, 126);
    QTest::newRow("solarize blue 255") << sol << rgb(255, 255, 255) << rgb(255, 255, 0);
}

void TestEffects::pointEffects()
{
    QFETCH(int, effect);
    QFETCH(int, in);
    QFETCH(int, out);
    // Every pixel of a small picture, edges included, is visited.
    const PixelBuffer src = filled(3, 2, in);
    const PixelBuffer result = runEffect(Effect(effect), src);
    QCOMPARE(result, filled(3, 2, out));
}

void TestEffects::solarizeEveryValue_data()
{
    QTest::addColumn<QSize>("size");
    // Odd widths leave tails to the plain loop; one row and one column the edges.
    QTest::newRow("256 values x 3 rows, odd width") << QSize(259, 3);
    QTest::newRow("one column") << QSize(1, 300);
    QTest::newRow("tall odd") << QSize(7, 123);
}

void TestEffects::solarizeEveryValue()
{
    QFETCH(QSize, size);
    // Red and green turn over below 128, blue everywhere but at 128.
    const auto expected = [](int c) {
        const int r = redOf(c), g = greenOf(c), b = blueOf(c);
        return rgb(r < 128 ? 255 - r : r, g < 128 ? 255 - g : g, b == 128 ? b : 255 - b);
    };
    PixelBuffer src(size.width(), size.height());
    PixelBuffer want(size.width(), size.height());
    for (int i = 0; i < size.width() * size.height(); ++i) {
        const int c = rgb(i % 256, (i * 7 + 128) % 256, (i / 2 + (i % 3 ? 128 : 0)) % 256);
        src.pixels[std::size_t(i)] = c;
        want.pixels[std::size_t(i)] = expected(c);
    }
    QCOMPARE(runEffect(Effect::Solarizing, src), want);
}

void TestEffects::sharpen_data()
{
    QTest::addColumn<int>("pixel");
    QTest::addColumn<int>("upperLeft");
    QTest::addColumn<int>("expected");

    QTest::newRow("100 over 90 gives 105") << rgb(100, 100, 100) << rgb(90, 90, 90) << rgb(105, 105, 105);
    QTest::newRow("equal neighbour unchanged") << rgb(100, 7, 250) << rgb(100, 7, 250) << rgb(100, 7, 250);
    QTest::newRow("101.5 goes to 102") << rgb(101, 0, 0) << rgb(100, 0, 0) << rgb(102, 0, 0);
    QTest::newRow("100.5 goes to 100") << rgb(100, 0, 0) << rgb(99, 0, 0) << rgb(100, 0, 0);
    QTest::newRow("clamped high and low") << rgb(250, 10, 1) << rgb(100, 200, 0) << rgb(255, 0, 2);
    QTest::newRow("per channel") << rgb(10, 20, 30) << rgb(20, 10, 30) << rgb(5, 25, 30);
}

void TestEffects::sharpen()
{
    QFETCH(int, pixel);
    QFETCH(int, upperLeft);
    QFETCH(int, expected);
    // 4 × 4: only (1, 1) is visited (1 <= x <= W - 3, 1 <= y <= H - 3).
    PixelBuffer src = filled(4, 4, rgb(50, 50, 50));
    src.set(1, 1, pixel);
    src.set(0, 0, upperLeft);
    const PixelBuffer result = runEffect(Effect::Sharpening, src);
    QCOMPARE(result.at(1, 1), expected);
    PixelBuffer rest = result;
    rest.set(1, 1, src.at(1, 1));
    QCOMPARE(rest, src); // nothing else visited: the source's pixels stay
}

void TestEffects::emboss_data()
{
    QTest::addColumn<int>("pixel");
    QTest::addColumn<int>("lowerRight");
    QTest::addColumn<int>("expected");

    QTest::newRow("equal gives 128") << rgb(37, 200, 0) << rgb(37, 200, 0) << rgb(128, 128, 128);
    QTest::newRow("clamped above") << rgb(200, 0, 0) << rgb(10, 0, 0) << rgb(255, 128, 128);
    QTest::newRow("absolute value") << rgb(10, 0, 0) << rgb(200, 255, 0) << rgb(62, 127, 128);
    QTest::newRow("one stays one") << rgb(0, 0, 0) << rgb(127, 129, 128) << rgb(1, 1, 0);
}

void TestEffects::emboss()
{
    QFETCH(int, pixel);
    QFETCH(int, lowerRight);
    QFETCH(int, expected);
    PixelBuffer src = filled(4, 4, rgb(9, 9, 9));
    src.set(1, 1, pixel);
    src.set(2, 2, lowerRight);
    const PixelBuffer result = runEffect(Effect::Embossing, src);
    QCOMPARE(result.at(1, 1), expected);
    PixelBuffer rest = result;
    rest.set(1, 1, src.at(1, 1));
    QCOMPARE(rest, src);
}

void TestEffects::softenReadsMinusOneOutside()
{
    // Red 9..81 in a 3 × 3 picture, green 0, blue 90.
    PixelBuffer src(3, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            src.set(x, y, rgb(9 * (1 + x + 3 * y), 0, 90));
    const PixelBuffer r = runEffect(Effect::Softening, src);
    // (1, 1): all nine inside, 405 / 9.
    QCOMPARE(r.at(1, 1), rgb(45, 0, 90));
    // (2, 1): three neighbours outside count -1: red (297 - 3) / 9 = 32.67 -> 32;
    // green -3 / 9 floors to -1 -> 0; blue (540 - 3) / 9 = 59.67 -> 59.
    QCOMPARE(r.at(2, 1), rgb(32, 0, 59));
    // (1, 2): (351 - 3) / 9 = 38.67 -> 38.
    QCOMPARE(r.at(1, 2), rgb(38, 0, 59));
    // (2, 2): five outside: red (252 - 5) / 9 = 27.4 -> 27; blue (360 - 5) / 9 = 39.4 -> 39.
    QCOMPARE(r.at(2, 2), rgb(27, 0, 39));
    // The first row and column are not visited: they keep the source.
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(r.at(i, 0), src.at(i, 0));
        QCOMPARE(r.at(0, i), src.at(0, i));
    }
}

void TestEffects::softenUniformInteriorKeepsColour()
{
    const std::int32_t c = rgb(200, 13, 77);
    const PixelBuffer r = runEffect(Effect::Softening, filled(9, 7, c));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            QCOMPARE(r.at(x, y), c);
    // The last column and row see -1 beyond the edge: (200 × 6 − 3) / 9 = 133.
    QCOMPARE(redOf(r.at(8, 3)), 133);
}

void TestEffects::lighting_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("x");
    QTest::addColumn<QList<int>>("rows");     // rows to look at
    QTest::addColumn<QList<int>>("expected"); // their red channel (source 100 everywhere)

    // W = 91: step h = y + 1; the sine passes 0.5 at h = 31 (row 30), from then
    // L falls by one a row until it meets 50. Column 0 starts at L = H = 60.
    QTest::newRow("91 wide, column 0") << 91 << 60 << 0 << QList<int>{0, 29, 30, 31, 33, 34, 59}
                                       << QList<int>{65, 65, 64, 64, 64, 63, 62};
    // Column 60 starts at L = 0: the first row is darker, then L is held at 50 or
    // just under (49 after the sine passes 0.5, which still gives 62).
    QTest::newRow("91 wide, column 60") << 91 << 60 << 60 << QList<int>{0, 1, 30, 59}
                                        << QList<int>{50, 62, 62, 62};
    // A light start below zero: floor((200 + L) / 4) with L = 40 - 90 = -50 gives 37.
    QTest::newRow("91 wide, column 90") << 91 << 40 << 90 << QList<int>{0, 1} << QList<int>{37, 62};
    // W = 46: (W - 1) / 90 = 0.5 rounds to the even 0, so the angle never moves
    // and L stays at H for column 0: floor(50 + 80 / 4) = 70 on every row.
    QTest::newRow("46 wide, halves to even") << 46 << 80 << 0 << QList<int>{0, 40, 79} << QList<int>{70, 70, 70};
}

void TestEffects::lighting()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, x);
    QFETCH(QList<int>, rows);
    QFETCH(QList<int>, expected);
    const PixelBuffer r = runEffect(Effect::Lighting, filled(width, height, rgb(100, 100, 100)));
    for (int i = 0; i < rows.size(); ++i) {
        const std::int32_t c = r.at(x, rows[i]);
        QCOMPARE(redOf(c), expected[i]);
        QCOMPARE(greenOf(c), expected[i]);
        QCOMPARE(blueOf(c), expected[i]);
    }
}

void TestEffects::diffuseTakesNeighboursInColumnOrder()
{
    const PixelBuffer src = patterned(5, 4);
    // 0.5 draws 0 both ways: the picture stays.
    QCOMPARE(runEffect(Effect::Diffusing, src, {}, scripted({})), src);

    // Draws per pixel: dx then dy. Pixel 1 (0, 0): dx from 0.125 -> -1.5 -> -2
    // (even): outside, black. Pixel 2 in column order is (0, 1): dx 0.875 -> 1.5
    // -> 2, dy 0.625 -> 0.5 -> 0. Pixel 3 (0, 2): dx 0.375 -> -0.5 -> 0, dy
    // 0.875 -> 2: source (0, 4) is outside, black.
    const PixelBuffer r = runEffect(Effect::Diffusing, src, {},
                                    scripted({0.125, 0.5, 0.875, 0.625, 0.375, 0.875}));
    QCOMPARE(r.at(0, 0), 0);
    QCOMPARE(r.at(0, 1), src.at(2, 1));
    QCOMPARE(r.at(0, 2), 0);
    QCOMPARE(r.at(1, 0), src.at(1, 0));
    QCOMPARE(r.at(0, 3), src.at(0, 3));

    // Real draws, seeded and the editor's own, stay within two pixels and use all five offsets.
    const PixelBuffer big = patterned(40, 30);
    for (const UnitRandom& random : {seededUnitRandom(7), UnitRandom()}) {
    const PixelBuffer d = runEffect(Effect::Diffusing, big, {}, random);
    int black = 0, same = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            bool found = d.at(x, y) == 0;
            for (int j = -2; j <= 2 && !found; ++j)
                for (int i = -2; i <= 2 && !found; ++i)
                    found = big.at(x + i, y + j) == d.at(x, y);
            QVERIFY2(found, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
            black += d.at(x, y) == 0 && (x < 2 || y < 2 || x > 37 || y > 27);
            same += d.at(x, y) == big.at(x, y);
        }
    QVERIFY(black > 0);                           // offsets of two reach past the edge
    QVERIFY(same > 1200 / 25 && same < 1200 / 8); // (0, 0) has a chance of 1/4 × 1/4
    }
}

void TestEffects::identities()
{
    const PixelBuffer src = patterned(7, 5);
    const PixelBuffer h = runEffect(Effect::FlipHorizontal, src);
    QCOMPARE(runEffect(Effect::FlipHorizontal, h), src);
    const PixelBuffer v = runEffect(Effect::FlipVertical, src);
    QCOMPARE(runEffect(Effect::FlipVertical, v), src);
    QCOMPARE(runEffect(Effect::Inverting, runEffect(Effect::Inverting, src)), src);

    // "Flip Vertical" swaps left and right; "Flip Horizontal" turns by half a
    // turn; both together turn the picture upside down.
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            QCOMPARE(v.at(6 - x, y), src.at(x, y));
            QCOMPARE(h.at(6 - x, 4 - y), src.at(x, y));
        }
    const PixelBuffer both = runEffect(Effect::FlipVertical, h);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            QCOMPARE(both.at(x, 4 - y), src.at(x, y));

    // QImage round trip is exact.
    QCOMPARE(PixelBuffer::fromImage(src.toImage()), src);
}

void TestEffects::progressTexts_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<QStringList>("texts");

    QStringList w101;
    for (int x = 0; x <= 100; x += 5)
        w101 << QStringLiteral("Grayscaling... %1%").arg(x);
    QTest::newRow("101 wide: every 5th column") << 101 << w101;
    QTest::newRow("5 wide: every column") << 5
        << QStringList{QStringLiteral("Grayscaling... 0%"), QStringLiteral("Grayscaling... 25%"),
                       QStringLiteral("Grayscaling... 50%"), QStringLiteral("Grayscaling... 75%"),
                       QStringLiteral("Grayscaling... 100%")};
    // (W - 1) / 20 = 2.5 rounds to 2; 30 / 50 × 100 floors to 60, 14 / 50 to 28.
    QStringList w51;
    for (int x = 0; x <= 50; x += 2)
        w51 << QStringLiteral("Grayscaling... %1%").arg(int(std::floor(double(x) / 50 * 100)));
    QTest::newRow("51 wide: halves to even") << 51 << w51;
    QTest::newRow("1 wide") << 1 << QStringList{QStringLiteral("Grayscaling... 100%")};
}

void TestEffects::progressTexts()
{
    QFETCH(int, width);
    QFETCH(QStringList, texts);
    QStringList seen;
    const PixelBuffer src = patterned(width, 3);
    const PixelBuffer r = runEffect(Effect::Grayscaling, src, [&](const QString& t) { seen << t; });
    QCOMPARE(seen, texts);
    // Band-wise work still covers every column.
    for (int x = 0; x < width; ++x)
        QCOMPARE(redOf(r.at(x, 2)), (redOf(src.at(x, 2)) + greenOf(src.at(x, 2)) + blueOf(src.at(x, 2))) / 3);
}

QTEST_GUILESS_MAIN(TestEffects)
#include "tst_effects.moc"
