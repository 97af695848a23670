#include "modes/motionmeasure.h"

#include <QtTest>

using namespace lv;

namespace {

// A frame of one packed colour (red + 256 × green + 65536 × blue).
QImage solid(QSize size, uint32_t packed)
{
    QImage img(size, QImage::Format_RGB888);
    img.fill(QColor(int(packed & 0xff), int((packed >> 8) & 0xff), int((packed >> 16) & 0xff)));
    return img;
}

} // namespace

class TestMotionMeasure : public QObject {
    Q_OBJECT

private slots:
    void grid_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("rowStep");
        QTest::addColumn<double>("columnStep");
        QTest::addColumn<int>("samples");
        QTest::newRow("320x240: 10 rows of 14") << QSize(320, 240) << 24 << 24.0 << 140;
        QTest::newRow("640x480: 10 rows of 14") << QSize(640, 480) << 48 << 48.0 << 140;
        QTest::newRow("1920x1080: 10 rows of 18") << QSize(1920, 1080) << 108 << 108.0 << 180;
        QTest::newRow("height 25: 2.5 rounds to 2") << QSize(50, 25) << 2 << 2.5 << 13 * 20;
        QTest::newRow("height 35: 3.5 rounds to 4") << QSize(35, 35) << 4 << 3.5 << 9 * 10;
        QTest::newRow("height 3: steps held at 1") << QSize(4, 3) << 1 << 1.0 << 12;
        QTest::newRow("one pixel") << QSize(1, 1) << 1 << 1.0 << 1;
    }
    void grid()
    {
        QFETCH(QSize, size);
        QFETCH(int, rowStep);
        QFETCH(double, columnStep);
        QFETCH(int, samples);
        const motion::Grid g = motion::gridFor(size.height());
        QCOMPARE(g.rowStep, rowStep);
        QCOMPARE(g.columnStep, columnStep);
        // Count the samples through the average: one white pixel per sample
        // point on black, everything else black, gives the share of samples.
        QImage img = solid(size, 0);
        int count = 0;
        for (int y = 1; y <= size.height(); y += g.rowStep)
            for (double x = 1; x <= size.width(); x += g.columnStep, ++count)
                img.setPixelColor(int(x) - 1, y - 1, QColor(255, 0, 0));
        QCOMPARE(count, samples);
        QCOMPARE(motion::sampleAverage(img), 255.0);
    }

    void averageOfPackedColours_data()
    {
        QTest::addColumn<uint32_t>("packed");
        QTest::newRow("red weighs 1") << 0x0000c8u;
        QTest::newRow("green weighs 256") << 0x00c800u;
        QTest::newRow("blue weighs 65536") << 0xc80000u;
        QTest::newRow("white") << 0xffffffu;
        QTest::newRow("black") << 0u;
    }
    void averageOfPackedColours()
    {
        QFETCH(uint32_t, packed);
        QCOMPARE(motion::sampleAverage(solid({320, 240}, packed)), double(packed));
        // The same in the other pixel layouts the program meets.
        QCOMPARE(motion::sampleAverage(solid({320, 240}, packed).convertToFormat(QImage::Format_RGB32)),
                 double(packed));
    }

    void onlyGridPointsCount()
    {
        // A change off the grid is not seen; one on it is.
        QImage img = solid({320, 240}, 1000);
        const double before = motion::sampleAverage(img);
        img.setPixelColor(1, 1, Qt::white); // (2,2) is not a sample point
        QCOMPARE(motion::sampleAverage(img), before);
        img.setPixelColor(24, 24, Qt::white); // (25,25) is
        QVERIFY(motion::sampleAverage(img) > before);
    }

    void ticks_data()
    {
        QTest::addColumn<QList<double>>("levels");
        QTest::addColumn<int>("sensitivity");
        QTest::addColumn<QList<bool>>("motion");
        QTest::addColumn<QStringList>("status");
        QTest::addColumn<double>("reference");
        QTest::newRow("still scene")
            << QList<double>{5000, 5000, 5000} << 5 << QList<bool>{false, false, false}
            << QStringList{QStringLiteral(" 0% Image changed"), QStringLiteral(" 0% Image changed"),
                           QStringLiteral(" 0% Image changed")}
            << 5000.0;
        QTest::newRow("94.9% triggers, 95.5% does not")
            << QList<double>{10000, 9490, 10000, 9550} << 5 << QList<bool>{false, true, false, false}
            << QStringList{QStringLiteral(" 0% Image changed"), QStringLiteral(" 6% Image changed"),
                           QStringLiteral(" 5% Image changed"), QStringLiteral(" 5% Image changed")}
            << 9550.0;
        QTest::newRow("105 is on the bound, 106 is out")
            << QList<double>{10000, 10500, 10500 * 1.06} << 5 << QList<bool>{false, false, true}
            << QStringList{QStringLiteral(" 0% Image changed"), QStringLiteral(" 5% Image changed"),
                           QStringLiteral(" 6% Image changed")}
            << 10500 * 1.06;
        QTest::newRow("tolerance 0: any change")
            << QList<double>{10000, 9999, 9999} << 0 << QList<bool>{false, true, false}
            << QStringList{QStringLiteral(" 0% Image changed"), QStringLiteral(" 1% Image changed"),
                           QStringLiteral(" 0% Image changed")}
            << 9999.0;
        QTest::newRow("black frame: no status, no trigger, reference kept")
            << QList<double>{8000, 0, 8000} << 5 << QList<bool>{false, false, false}
            << QStringList{QStringLiteral(" 0% Image changed"), QString(), QStringLiteral(" 0% Image changed")}
            << 8000.0;
        QTest::newRow("dark to bright: held at the top, counts as motion")
            << QList<double>{1, 16777215} << 5 << QList<bool>{false, true}
            << QStringList{QStringLiteral(" 0% Image changed"), QStringLiteral(" 32667% Image changed")}
            << 16777215.0;
    }
    void ticks()
    {
        QFETCH(QList<double>, levels);
        QFETCH(int, sensitivity);
        QFETCH(QList<bool>, motion);
        QFETCH(QStringList, status);
        QFETCH(double, reference);
        motion::Detector d;
        for (int i = 0; i < levels.size(); ++i) {
            const motion::Step s = d.step(levels[i], sensitivity);
            QCOMPARE(s.motion, motion[i]);
            QCOMPARE(s.status, status[i]);
            QCOMPARE(s.measured, !status[i].isEmpty());
        }
        QCOMPARE(d.reference(), reference);
    }

    void firstTickAfterResetSeesNoChange()
    {
        motion::Detector d;
        d.step(100, 5);
        d.reset();
        const motion::Step s = d.step(50000, 5);
        QVERIFY(!s.motion);
        QCOMPARE(s.ratio, 100);
    }

    void framesToTicks_data()
    {
        QTest::addColumn<uint32_t>("first");
        QTest::addColumn<uint32_t>("second");
        QTest::addColumn<bool>("motion");
        // Blue dominates: a small blue change outweighs a full red swing.
        QTest::newRow("red 0 -> 255 on mid blue") << 0x800000u << 0x8000ffu << false;
        QTest::newRow("blue 128 -> 120") << 0x800000u << 0x780000u << true;
        QTest::newRow("to black") << 0x808080u << 0u << false;
    }
    void framesToTicks()
    {
        QFETCH(uint32_t, first);
        QFETCH(uint32_t, second);
        QFETCH(bool, motion);
        motion::Detector d;
        d.step(motion::sampleAverage(solid({320, 240}, first)), 5);
        QCOMPARE(d.step(motion::sampleAverage(solid({320, 240}, second)), 5).motion, motion);
    }
};

QTEST_GUILESS_MAIN(TestMotionMeasure)
#include "tst_motionmeasure.moc"
