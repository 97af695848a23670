#include "base/clock.h"
#include "schedule/ui/autostart.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabBar>
#include <QtTest>

using namespace lv;

namespace {

struct ScopedClock {
    explicit ScopedClock(const QDateTime& t) : clock(t) { setClock(&clock); }
    ~ScopedClock() { setClock(nullptr); }
    FixedClock clock;
};

QString shown(const Autostart& a)
{
    return a.dhor->text() + QLatin1Char(':') + a.dmin->text() + QLatin1Char(':') + a.dsec->text();
}

} // namespace

class TestAutostart : public QObject {
    Q_OBJECT

private slots:
    void opening()
    {
        ScopedClock c(QDateTime(QDate(2026, 12, 10), QTime(12, 0, 0)));
        CaptureModel model;
        model.edit([](CaptureSettings& c) {
            c.Hours = 11; // out of the control's range: not taken
            c.Minutes = 2;
            c.Seconds = 30;
        });
        Autostart a(model);
        a.show();
        QCOMPARE(a.ano->count(), 11);
        QCOMPARE(a.ano->itemText(0), QStringLiteral("2026"));
        QCOMPARE(a.ano->itemText(10), QStringLiteral("2036"));
        QCOMPARE(a.mes->currentText(), QStringLiteral("December"));
        QCOMPARE(a.dia->count(), 31);
        QCOMPARE(a.dia->currentText(), QStringLiteral("10"));
        QCOMPARE(a.RealDate->text(), QStringLiteral("Thursday, 10 December 2026"));
        QCOMPARE(a.chor->value(), 0);
        QCOMPARE(shown(a), QStringLiteral("00:02:30"));
        QVERIFY(a.CDTimer.isActive());
        QVERIFY(!a.tcountdown.isActive());
        QVERIFY(!a.tdata.isActive());
        QVERIFY(a.countframe2->isVisible());
        QVERIFY(!a.countframe1->isVisible());
        a.counttag->setCurrentIndex(1);
        QVERIFY(a.countframe1->isVisible());
        QVERIFY(!a.countframe2->isVisible());
    }

    void countdownTicks_data()
    {
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("m");
        QTest::addColumn<int>("s");
        QTest::addColumn<QStringList>("shownAfter");
        QTest::addColumn<int>("fireTick");
        QTest::newRow("0:00:05") << 0 << 0 << 5
                                 << QStringList{QStringLiteral("00:00:04"), QStringLiteral("00:00:03"),
                                                QStringLiteral("00:00:02"), QStringLiteral("00:00:01"),
                                                QStringLiteral("00:00:00")}
                                 << 5;
        QTest::newRow("0:01:00") << 0 << 1 << 0 << QStringList{QStringLiteral("00:00:59")} << 0;
        QTest::newRow("1:00:00") << 1 << 0 << 0 << QStringList{QStringLiteral("00:59:59")} << 0;
    }
    void countdownTicks()
    {
        QFETCH(int, h);
        QFETCH(int, m);
        QFETCH(int, s);
        QFETCH(QStringList, shownAfter);
        QFETCH(int, fireTick);
        CaptureModel model;
        Autostart a(model);
        a.show();
        a.chor->setValue(h);
        a.cmin->setValue(m);
        a.csec->setValue(s);
        QSignalSpy fired(&a, &Autostart::fire);
        a.start->click();
        QCOMPARE(model.settings().Hours, h);
        QCOMPARE(model.settings().Minutes, m);
        QCOMPARE(model.settings().Seconds, s);
        QVERIFY(a.tcountdown.isActive());
        QVERIFY(!a.start->isVisible());
        QVERIFY(!a.csec->isVisible());
        QVERIFY(a.dsec->isVisible());
        QVERIFY(!a.counttag->isEnabled());
        a.tcountdown.stop(); // the test ticks
        for (int i = 0; i < shownAfter.size(); ++i) {
            a.countdownTick();
            QCOMPARE(shown(a), shownAfter[i]);
            QCOMPARE(fired.count(), (fireTick && i + 1 >= fireTick) ? 1 : 0);
        }
    }

    void pastTargetsAreClamped()
    {
        ScopedClock c(QDateTime(QDate(2026, 6, 15), QTime(14, 30, 45)));
        CaptureModel model;
        Autostart a(model);
        a.show();
        a.counttag->setCurrentIndex(1);
        a.mes->setCurrentIndex(2); // March, before June
        a.dia->setCurrentIndex(1); // the 2nd
        a.cdTimerTick();
        QCOMPARE(a.mes->currentText(), QStringLiteral("June"));
        QCOMPARE(a.dia->currentText(), QStringLiteral("2")); // the day follows a tick later
        a.cdTimerTick();
        QCOMPARE(a.dia->currentText(), QStringLiteral("15"));
        a.bh->setValue(9);
        a.bm->setValue(5);
        a.bs->setValue(0);
        a.cdTimerTick();
        QCOMPARE(QTime(a.bh->value(), a.bm->value(), a.bs->value()), QTime(14, 30, 45));
        // A later year is left alone.
        a.ano->setCurrentIndex(1);
        a.mes->setCurrentIndex(0);
        a.cdTimerTick();
        QCOMPARE(a.mes->currentText(), QStringLiteral("January"));
    }

    void dateAndTimeWait_data()
    {
        QTest::addColumn<int>("yearIndex");
        QTest::addColumn<QList<int>>("steps"); // clock advance before each tick, seconds
        QTest::addColumn<int>("fires");
        QTest::newRow("on time") << 0 << QList<int>{1, 1, 1, 1} << 1;
        QTest::newRow("a tick lands a second late") << 0 << QList<int>{1, 2, 1, 1} << 1;
        QTest::newRow("next year, same day and time") << 1 << QList<int>{1, 1, 1, 1} << 0;
    }
    void dateAndTimeWait()
    {
        QFETCH(int, yearIndex);
        QFETCH(QList<int>, steps);
        QFETCH(int, fires);
        ScopedClock c(QDateTime(QDate(2026, 6, 15), QTime(14, 30, 45)));
        CaptureModel model;
        Autostart a(model);
        a.show();
        a.counttag->setCurrentIndex(1);
        a.ano->setCurrentIndex(yearIndex);
        a.bh->setValue(14);
        a.bm->setValue(30);
        a.bs->setValue(47);
        QSignalSpy fired(&a, &Autostart::fire);
        a.start->click();
        QVERIFY(a.tdata.isActive());
        QVERIFY(!a.ano->isEnabled());
        QVERIFY(!a.bh->isVisible());
        a.tdata.stop();
        for (int step : steps) {
            c.clock.advance(step);
            a.cdTimerTick();
            a.dateTimeTick();
        }
        QCOMPARE(fired.count(), fires);
    }

    void cancelStopsEverything()
    {
        CaptureModel model;
        Autostart a(model);
        a.show();
        a.start->click();
        QVERIFY(a.tcountdown.isActive());
        a.cancelbutton->click();
        QVERIFY(!a.isVisible());
        QVERIFY(!a.tcountdown.isActive());
        QVERIFY(!a.CDTimer.isActive());
    }
};

QTEST_MAIN(TestAutostart)
#include "tst_autostart.moc"
