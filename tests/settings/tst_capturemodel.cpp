#include "settings/capturemodel.h"

#include <QSignalSpy>
#include <QtTest>

using namespace lv;

class TestCaptureModel : public QObject {
    Q_OBJECT

private slots:
    // An edit that changes nothing is no change; one that does is announced once.
    void editsAnnounceChanges()
    {
        CaptureModel m;
        QSignalSpy changed(&m, &CaptureModel::settingsChanged);
        m.edit([](CaptureSettings& c) { c.Interval = c.Interval; });
        QCOMPARE(changed.count(), 0);
        m.edit([](CaptureSettings& c) {
            c.Interval = 42;
            c.SeriesStamps.Text = QStringLiteral("&FRM&");
        });
        QCOMPARE(changed.count(), 1);
        QCOMPARE(m.settings().Interval, 42);
        m.setSettings(m.settings());
        QCOMPARE(changed.count(), 1);
    }

    // The file keeps the stamps and the "writeinfo" button of the current mode's panel.
    void fileTakesTheCurrentPanel_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("info");
        QTest::newRow("movie") << int(CaptureKind::Movie) << QStringLiteral("image") << true;
        QTest::newRow("single image") << int(CaptureKind::SingleImage) << QStringLiteral("image") << true;
        QTest::newRow("series") << int(CaptureKind::MultipleImage) << QStringLiteral("series") << false;
    }
    void fileTakesTheCurrentPanel()
    {
        QFETCH(int, mode);
        QFETCH(QString, text);
        QFETCH(bool, info);
        CaptureModel m;
        m.edit([mode](CaptureSettings& c) {
            c.Capture = static_cast<CaptureKind>(mode);
            c.ImageStamps = {true, 1, false, 2, true, 3, QStringLiteral("image")};
            c.SeriesStamps = {false, 4, true, 5, false, 0, QStringLiteral("series")};
            c.MovieAviInfo = true;
            c.SeriesAviInfo = false;
        });
        const CaptureSettings f = m.forFile();
        const PanelStamps& p = mode == int(CaptureKind::MultipleImage) ? f.SeriesStamps : f.ImageStamps;
        QCOMPARE(f.Text, text);
        QCOMPARE(f.InsertTime, p.InsertTime);
        QCOMPARE(f.TimePosition, p.TimePosition);
        QCOMPARE(f.InsertDate, p.InsertDate);
        QCOMPARE(f.DatePosition, p.DatePosition);
        QCOMPARE(f.InsertText, p.InsertText);
        QCOMPARE(f.TextPosition, p.TextPosition);
        QCOMPARE(f.AviInfo, info);
    }

    // What pressing record means in each mode follows the run state.
    void runningByMode_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("movie");
        QTest::addColumn<bool>("image");
        QTest::addColumn<bool>("series");
        QTest::newRow("idle") << int(RunState::Idle) << false << false << false;
        QTest::newRow("recording") << int(RunState::Recording) << true << false << false;
        QTest::newRow("series") << int(RunState::SeriesRunning) << false << false << true;
        QTest::newRow("motion armed") << int(RunState::MotionArmed) << true << true << true;
    }
    void runningByMode()
    {
        QFETCH(int, state);
        QFETCH(bool, movie);
        QFETCH(bool, image);
        QFETCH(bool, series);
        CaptureModel m;
        QSignalSpy spy(&m, &CaptureModel::runStateChanged);
        m.setRunState(static_cast<RunState>(state));
        m.setRunState(static_cast<RunState>(state));
        QCOMPARE(spy.count(), state == int(RunState::Idle) ? 0 : 1);
        QCOMPARE(m.runningIn(CaptureKind::Movie), movie);
        QCOMPARE(m.runningIn(CaptureKind::SingleImage), image);
        QCOMPARE(m.runningIn(CaptureKind::MultipleImage), series);
    }

    // A finished recording's dropped-frames warning goes after its time; white texts stay.
    void statusExpiry()
    {
        CaptureModel m;
        m.setStatusText(QStringLiteral("Stopped"));
        m.setDropped(QStringLiteral("3 (1%)"), QColor(250, 0, 0));
        QSignalSpy spy(&m, &CaptureModel::statusChanged);
        QVERIFY(m.expireStatus());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(m.droppedText(), QString());
        QCOMPARE(m.statusText(), QStringLiteral("Stopped"));
        m.setDropped(QStringLiteral("none"), QColor(255, 255, 255));
        QVERIFY(!m.expireStatus());
        QCOMPARE(m.droppedText(), QStringLiteral("none"));
        // A new text keeps the display's colour.
        m.setDropped(QStringLiteral("x"), QColor(0, 250, 0));
        m.setDroppedText(QStringLiteral("Exclusive Task"));
        QCOMPARE(m.droppedColor(), QColor(0, 250, 0));
    }
};

QTEST_GUILESS_MAIN(TestCaptureModel)
#include "tst_capturemodel.moc"
