#include "modes/seriesnaming.h"

#include <QtTest>

using namespace lv;

class TestSeriesNaming : public QObject {
    Q_OBJECT

private slots:
    void fileNames_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bitmap, third shot") << "/pics/cam.bmp" << 1 << 3 << "/pics/cam00003.bmp";
        QTest::newRow("jpeg, 42") << "/pics/cam.JPG" << 2 << 42 << "/pics/cam00042.jpg";
        QTest::newRow("six digits stay") << "/pics/cam.bmp" << 1 << 123456 << "/pics/cam123456.bmp";
        QTest::newRow("100000 does not wrap") << "/pics/cam.bmp" << 2 << 100000 << "/pics/cam100000.jpg";
        QTest::newRow("refresh bitmap") << "/pics/cam.bmp" << 3 << 7 << "/pics/cam.bmp";
        QTest::newRow("refresh jpeg") << "/pics/cam.bmp" << 4 << 7 << "/pics/cam.jpg";
        QTest::newRow("movie: no file") << "/pics/cam.avi" << 0 << 1 << "";
        QTest::newRow("clipboard: no file") << "/pics/cam.avi" << 5 << 1 << "";
        QTest::newRow("short name keeps its letters") << "ab" << 1 << 1 << "ab00001.bmp";
        QTest::newRow("three letters, no dot") << "cam" << 1 << 1 << "cam00001.bmp";
        QTest::newRow("short name with extension") << "a.b" << 1 << 2 << "a00002.bmp";
        QTest::newRow("long extension") << "/p/cam.jpeg" << 2 << 1 << "/p/cam00001.jpg";
        QTest::newRow("dot in the folder only") << "/p.q/cam" << 1 << 1 << "/p.q/cam00001.bmp";
        QTest::newRow("empty name") << "" << 1 << 1 << "00001.bmp";
    }
    void fileNames()
    {
        QFETCH(QString, current);
        QFETCH(int, type);
        QFETCH(int, count);
        QFETCH(QString, expected);
        QCOMPARE(seriesFileName(current, type, count), expected);
    }

    void texts()
    {
        QCOMPARE(imageNumberStatus(7), QStringLiteral("Image no. 7"));
        QCOMPARE(imageNumberText(1), QStringLiteral("00001"));
        QCOMPARE(signedNumberText(-3), QStringLiteral("-3"));
        QCOMPARE(signedNumberText(0), QStringLiteral(" 0"));
    }

    void interval_data()
    {
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("m");
        QTest::addColumn<int>("s");
        QTest::addColumn<int>("seconds");
        QTest::newRow("5 s") << 0 << 0 << 5 << 5;
        QTest::newRow("1 h 2 min 3 s") << 1 << 2 << 3 << 3723;
        QTest::newRow("negative hours count as 0") << -1 << 1 << 0 << 60;
        QTest::newRow("negative minutes count as 0") << 0 << -5 << 7 << 7;
    }
    void interval()
    {
        QFETCH(int, h);
        QFETCH(int, m);
        QFETCH(int, s);
        QFETCH(int, seconds);
        QCOMPARE(seriesInterval(h, m, s), seconds);
    }

    void countdown_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<QStringList>("statuses");
        const auto left = [](int n) { return QStringLiteral(" %1 seconds to capture another frame").arg(n); };
        const QString cap = QStringLiteral("Capturing");
        QTest::newRow("5 seconds, twice")
            << 5 << QStringList{left(4), left(3), left(2), left(1), cap, left(4), left(3), left(2), left(1), cap};
        QTest::newRow("1 second: every tick") << 1 << QStringList{cap, cap, cap};
        QTest::newRow("2 seconds") << 2 << QStringList{left(1), cap, left(1), cap};
    }
    void countdown()
    {
        QFETCH(int, interval);
        QFETCH(QStringList, statuses);
        SeriesCountdown c(interval);
        for (const QString& expected : statuses) {
            const SeriesCountdown::Tick t = c.tick();
            QCOMPARE(t.status, expected);
            QCOMPARE(t.shoot, expected == QLatin1String("Capturing"));
        }
    }
};

QTEST_GUILESS_MAIN(TestSeriesNaming)
#include "tst_seriesnaming.moc"
