#include "schedule/countdown.h"

#include <QtTest>

using namespace lv;
using namespace lv::schedule;

Q_DECLARE_METATYPE(lv::schedule::Countdown)

namespace {
QString text(const Countdown& c)
{
    return QStringLiteral("%1:%2:%3").arg(c.hours).arg(c.minutes, 2, 10, QLatin1Char('0')).arg(c.seconds, 2, 10, QLatin1Char('0'));
}
} // namespace

class TestCountdown : public QObject {
    Q_OBJECT

private slots:
    void ticks_data()
    {
        QTest::addColumn<Countdown>("start");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("fireTick"); // 1-based tick that fires; 0: none within the list
        QTest::newRow("0:00:05 fires on the fifth tick")
            << Countdown{0, 0, 5} << QStringList{QStringLiteral("0:00:04"), QStringLiteral("0:00:03"), QStringLiteral("0:00:02"), QStringLiteral("0:00:01"), QStringLiteral("0:00:00")} << 5;
        QTest::newRow("0:01:00") << Countdown{0, 1, 0} << QStringList{QStringLiteral("0:00:59"), QStringLiteral("0:00:58")} << 0;
        QTest::newRow("1:00:00") << Countdown{1, 0, 0} << QStringList{QStringLiteral("0:59:59"), QStringLiteral("0:59:58")} << 0;
        QTest::newRow("2:00:00 borrows an hour") << Countdown{2, 0, 0} << QStringList{QStringLiteral("1:59:59")} << 0;
        QTest::newRow("1:05:00 borrows a minute") << Countdown{1, 5, 0} << QStringList{QStringLiteral("1:04:59")} << 0;
        QTest::newRow("armed at zero fires at once") << Countdown{0, 0, 0} << QStringList{QStringLiteral("0:00:00")} << 1;
        QTest::newRow("0:00:01") << Countdown{0, 0, 1} << QStringList{QStringLiteral("0:00:00")} << 1;
    }
    void ticks()
    {
        QFETCH(Countdown, start);
        QFETCH(QStringList, after);
        QFETCH(int, fireTick);
        Countdown c = start;
        for (int i = 0; i < after.size(); ++i) {
            const bool fired = countdownTick(c);
            QCOMPARE(text(c), after[i]);
            QCOMPARE(fired, i + 1 == fireTick);
        }
    }

    void minuteCountsDownToZeroOnce()
    {
        Countdown c{0, 1, 0};
        int fired = 0;
        int ticks = 0;
        while (fired == 0 && ticks < 100) {
            ++ticks;
            fired += countdownTick(c) ? 1 : 0;
        }
        QCOMPARE(ticks, 60);
        QVERIFY(c.isZero());
    }

    void processDate_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("day");
        QTest::addColumn<int>("newMonth");
        QTest::addColumn<int>("newDay");
        const QDate today(2026, 6, 15);
        QTest::newRow("earlier month moves up") << today << 2026 << 3 << 20 << 6 << 20;
        QTest::newRow("moved month: day follows next tick") << today << 2026 << 3 << 2 << 6 << 2;
        QTest::newRow("earlier day this month") << today << 2026 << 6 << 2 << 6 << 15;
        QTest::newRow("later day stays") << today << 2026 << 6 << 20 << 6 << 20;
        QTest::newRow("later year untouched") << today << 2027 << 1 << 1 << 1 << 1;
        QTest::newRow("no month chosen") << today << 2026 << 0 << 2 << 0 << 2;
    }
    void processDate()
    {
        QFETCH(QDate, today);
        QFETCH(int, year);
        QFETCH(int, month);
        QFETCH(int, day);
        QFETCH(int, newMonth);
        QFETCH(int, newDay);
        DateChoice c{year, month, day};
        schedule::processDate(today, c);
        QCOMPARE(c.month, newMonth);
        QCOMPARE(c.day, newDay);
        schedule::processDate(today, c); // the next tick
        if (c.year == today.year() && c.month == today.month())
            QVERIFY(c.day >= today.day());
    }

    void processTime_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDate>("chosen");
        QTest::addColumn<QTime>("target");
        QTest::addColumn<QTime>("clamped");
        const QDateTime now(QDate(2026, 6, 15), QTime(14, 30, 45));
        QTest::newRow("earlier hour raised, minutes and seconds follow")
            << now << QDate(2026, 6, 15) << QTime(9, 10, 5) << QTime(14, 30, 45);
        QTest::newRow("same hour, earlier minute") << now << QDate(2026, 6, 15) << QTime(14, 10, 50) << QTime(14, 30, 50);
        QTest::newRow("same minute, earlier second") << now << QDate(2026, 6, 15) << QTime(14, 30, 5) << QTime(14, 30, 45);
        QTest::newRow("later stays") << now << QDate(2026, 6, 15) << QTime(15, 0, 0) << QTime(15, 0, 0);
        QTest::newRow("another day untouched") << now << QDate(2026, 6, 16) << QTime(9, 0, 0) << QTime(9, 0, 0);
    }
    void processTime()
    {
        QFETCH(QDateTime, now);
        QFETCH(QDate, chosen);
        QFETCH(QTime, target);
        QFETCH(QTime, clamped);
        int h = target.hour(), m = target.minute(), s = target.second();
        schedule::processTime(now, DateChoice{chosen.year(), chosen.month(), chosen.day()}, h, m, s);
        QCOMPARE(QTime(h, m, s), clamped);
    }

    void dateTimeWait_data()
    {
        QTest::addColumn<QList<int>>("tickSeconds"); // tick times relative to the target
        QTest::addColumn<int>("firesAt");             // index of the firing tick, -1 none
        QTest::newRow("on the second") << QList<int>{-2, -1, 0, 1} << 2;
        QTest::newRow("a tick lands a second late") << QList<int>{-2, -1, 1, 2} << 2;
        QTest::newRow("long past: never") << QList<int>{3600, 3601} << -1;
        QTest::newRow("a year early: never") << QList<int>{-365 * 86400} << -1;
    }
    void dateTimeWait()
    {
        QFETCH(QList<int>, tickSeconds);
        QFETCH(int, firesAt);
        const QDateTime target(QDate(2027, 3, 1), QTime(8, 0, 0));
        DateTimeWait w(DateChoice{2027, 3, 1}, 8, 0, 0);
        QVERIFY(w.isValid());
        int fired = -1;
        for (int i = 0; i < tickSeconds.size(); ++i)
            if (w.tick(target.addSecs(tickSeconds[i]))) {
                QCOMPARE(fired, -1); // once
                fired = i;
            }
        QCOMPARE(fired, firesAt);
    }

    void impossibleDateNeverFires()
    {
        DateTimeWait w(DateChoice{2027, 6, 31}, 8, 0, 0);
        QVERIFY(!w.isValid());
        QVERIFY(!w.tick(QDateTime(QDate(2027, 7, 1), QTime(8, 0, 0))));
    }
};

QTEST_GUILESS_MAIN(TestCountdown)
#include "tst_countdown.moc"
