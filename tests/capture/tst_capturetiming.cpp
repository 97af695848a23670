// The capture time arithmetic, without a window: this test links no Qt Widgets.
#include "capture/capturetiming.h"

#include <QTest>

using namespace lv;

class TestCaptureTiming : public QObject {
    Q_OBJECT

private slots:
    void microSecondsPerFrame_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<bool>("whole");
        QTest::addColumn<uint>("us");
        QTest::newRow("12") << 12.0 << true << 83333u;
        QTest::newRow("15") << 15.0 << true << 66667u;
        QTest::newRow("0 whole") << 0.0 << true << 0u;
        QTest::newRow("29.97") << 29.97 << false << 33367u;
        QTest::newRow("0 fractional") << 0.0 << false << 0u;
        QTest::newRow("30 fractional") << 30.0 << false << 33333u;
    }
    void microSecondsPerFrame()
    {
        QFETCH(double, rate);
        QFETCH(bool, whole);
        QFETCH(uint, us);
        QCOMPARE(whole ? capturetiming::MicroSecondsPerFrame(static_cast<int>(rate))
                       : capturetiming::MicroSecondsPerFrame(rate),
                 us);
    }

    void timeParts_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("m");
        QTest::addColumn<int>("s");
        QTest::newRow("3725") << 3725 << 1 << 2 << 5;
        QTest::newRow("0") << 0 << 0 << 0 << 0;
        QTest::newRow("59") << 59 << 0 << 0 << 59;
        QTest::newRow("3599") << 3599 << 0 << 59 << 59;
        QTest::newRow("86399") << 86399 << 23 << 59 << 59;
        QTest::newRow("30") << 30 << 0 << 0 << 30;
    }
    void timeParts()
    {
        QFETCH(int, seconds);
        QFETCH(int, h);
        QFETCH(int, m);
        QFETCH(int, s);
        QCOMPARE(capturetiming::HoursOf(seconds), h);
        QCOMPARE(capturetiming::MinutesOf(seconds), m);
        QCOMPARE(capturetiming::SecondsOf(seconds), s);
        QCOMPARE(capturetiming::TotalSeconds(h, m, s), int64_t(seconds));
    }

    void totalSecondsIgnoresNegativeHoursAndMinutes()
    {
        QCOMPARE(capturetiming::TotalSeconds(-1, -5, 7), int64_t(7));
        QCOMPARE(capturetiming::TotalSeconds(1, 0, -1), int64_t(3599));
    }

    void previewInterval_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("ms");
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("negative") << -3 << 0;
        QTest::newRow("15") << 15 << 67;
        QTest::newRow("30") << 30 << 33;
        QTest::newRow("1") << 1 << 1000;
        QTest::newRow("40") << 40 << 25;
    }
    void previewInterval()
    {
        QFETCH(int, rate);
        QFETCH(int, ms);
        QCOMPARE(capturetiming::PreviewIntervalMs(rate), ms);
    }
};

QTEST_GUILESS_MAIN(TestCaptureTiming)
#include "tst_capturetiming.moc"
