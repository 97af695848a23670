#include "../testpatternindex.h"
#include "../scopedtmpfs.h"
#include "base/scripteddialogs.h"
#include "capture/capturesession.h"
#include "capture/drivercatalogue.h"
#include "capture/testpatterndriver.h"
#include "modes/captureprogram.h"

#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace lv;

namespace {

// Runs a peer program; its standard output, or empty when it failed.
QByteArray run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

// The core on the test-pattern device, as the command-line program or the
// main window puts it together, with the timers sped up.
struct Core {
    QTemporaryDir dir;
    CaptureModel model;
    RunRecord run;
    CaptureSession session;
    CaptureProgram program{model, run};
    QList<RunState> states;
    QStringList shots;

    explicit Core(bool still, bool open = true)
    {
        model.setFileName(dir.filePath(QStringLiteral("shot.jpg")));
        model.preferences().JpegQuality = 90;
        model.preferences().MotionSensitivity = 0;
        QObject::connect(&model, &CaptureModel::runStateChanged, &model, [this](RunState s) { states << s; });
        QObject::connect(&program, &CaptureProgram::pictureShot, &program,
                         [this](const QImage&, const QString& title) { shots << title; });
        program.seriesTimer().setInterval(20);
        program.motionTimer().setInterval(60);
        if (open)
            openDevice(still);
    }
    bool openDevice(bool still)
    {
        const bool opened = session.open(testPatternIndex(), [still](CaptureDriver& d) {
            auto& pattern = dynamic_cast<TestPatternDriver&>(d);
            TestPatternSettings s = pattern.settings();
            s.size = QSize(320, 240);
            s.rate = 30;
            s.still = still;
            pattern.setSettings(s);
        });
        program.setSession(&session);
        return opened;
    }
    void settings(const std::function<void(CaptureSettings&)>& change) { model.edit(change); }
    QStringList files() const
    {
        return QDir(dir.path()).entryList(QDir::Files, QDir::Name);
    }
};

} // namespace

class TestCaptureProgram : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(testPatternIndex() >= 0, "the test pattern is not listed"); }

    // A timer series of N shots leaves N numbered files that other programs read.
    void timerSeries_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("base");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("reader");
        QTest::newRow("JPEG") << int(SeriesType::NumberedJpeg) << QStringLiteral("shot.jpg")
                              << QStringList{QStringLiteral("shot00001.jpg"), QStringLiteral("shot00002.jpg"),
                                             QStringLiteral("shot00003.jpg")}
                              << QStringLiteral("djpeg");
        QTest::newRow("bitmaps") << int(SeriesType::NumberedBitmap) << QStringLiteral("shot.bmp")
                                 << QStringList{QStringLiteral("shot00001.bmp"), QStringLiteral("shot00002.bmp"),
                                                QStringLiteral("shot00003.bmp")}
                                 << QStringLiteral("identify");
    }
    void timerSeries()
    {
        QFETCH(int, type);
        QFETCH(QString, base);
        QFETCH(QStringList, files);
        QFETCH(QString, reader);
        Core core(false);
        core.model.setFileName(core.dir.filePath(base));
        core.settings([type](CaptureSettings& c) {
            c.MultipleImageType = static_cast<int16_t>(type);
            c.Trigger = TriggerKind::Timer;
            c.Interval = 1;
            c.SeriesStamps.InsertText = true;
            c.SeriesStamps.Text = QStringLiteral("no. &FRM&");
        });
        // A series of a count ends when its last picture is there.
        QObject::connect(&core.program, &CaptureProgram::pictureShot, &core.program, [&core] {
            if (core.shots.size() == 3)
                core.program.stopSeries();
        });
        core.program.startSeries();
        QCOMPARE(core.model.runState(), RunState::SeriesRunning);
        QVERIFY(core.program.seriesTimer().isActive());
        QTRY_VERIFY_WITH_TIMEOUT(core.model.runState() == RunState::Idle, 10000);
        QVERIFY(!core.program.seriesTimer().isActive());
        QTest::qWait(100);
        QCOMPARE(core.run.ImageCount, 3);
        QCOMPARE(core.files(), files);
        QStringList titles;
        for (const QString& f : files)
            titles << core.dir.filePath(f);
        QCOMPARE(core.shots, titles);
        QCOMPARE(core.states, (QList<RunState>{RunState::SeriesRunning, RunState::Idle}));

        const QString program = QStandardPaths::findExecutable(reader);
        if (program.isEmpty())
            QSKIP("the reading program is not installed");
        for (const QString& f : files) {
            const QString path = core.dir.filePath(f);
            if (reader == QLatin1String("djpeg")) {
                const QByteArray pnm = run(program, {QStringLiteral("-pnm"), path});
                QVERIFY2(pnm.startsWith("P6\n320 240\n"), qPrintable(f));
            } else {
                QCOMPARE(run(program, {QStringLiteral("-format"), QStringLiteral("%m %wx%h"), path}),
                         QByteArray("BMP3 320x240"));
            }
        }
    }

    // A timer series with the refresh type keeps one file, overwritten by every shot.
    void refreshSeriesKeepsOneFile()
    {
        Core core(false);
        QTRY_VERIFY(core.session.latestFrame());
        core.settings([](CaptureSettings& c) {
            c.MultipleImageType = static_cast<int16_t>(SeriesType::RefreshJpeg);
            c.Trigger = TriggerKind::Manual;
        });
        core.program.startSeries();
        QVERIFY(core.program.shoot());
        QVERIFY(core.program.shoot());
        core.program.stopSeries();
        QCOMPARE(core.files(), QStringList{QStringLiteral("shot.jpg")});
        QCOMPARE(core.model.statusText(), QStringLiteral("Image no. 2"));
    }

    // With "Send a copy to FTP Server" every stored picture goes to the upload, and only those.
    void uploadsStoredPicturesOnly()
    {
        Core core(false);
        QTRY_VERIFY(core.session.latestFrame());
        QStringList sent;
        core.program.upload = [&sent](const QString& file, const QString& remote) { sent << file << remote; };
        core.settings([](CaptureSettings& c) {
            c.MultipleImageType = static_cast<int16_t>(SeriesType::NumberedJpeg);
            c.Trigger = TriggerKind::Manual;
            c.SendToFTPServer = true;
        });
        core.program.startSeries();
        QVERIFY(core.program.shoot());
        const QString first = core.dir.filePath(QStringLiteral("shot00001.jpg"));
        QCOMPARE(sent, (QStringList{first, first}));
        core.program.stopSeries();

        // A folder that is not there: nothing stored, nothing sent, and the
        // file layer's message goes to whoever shows it.
        ScopedScriptedDialogs dialogs;
        QSignalSpy failed(&core.program, &CaptureProgram::fileFailed);
        core.model.setFileName(core.dir.filePath(QStringLiteral("gone/shot.jpg")));
        core.program.startSeries();
        QVERIFY(!core.program.shoot());
        QCOMPARE(sent.size(), 2);
        QCOMPARE(failed.count(), 1);
        QVERIFY(!failed.first().first().value<FileResult>().message().isEmpty());
        QVERIFY(dialogs.d.requests.isEmpty()); // the core shows nothing itself
        core.program.stopSeries();
        core.settings([](CaptureSettings& c) { c.SendToFTPServer = false; });
        core.model.setFileName(core.dir.filePath(QStringLiteral("shot.jpg")));
        core.program.startSeries();
        QVERIFY(core.program.shoot());
        QCOMPARE(sent.size(), 2);
        core.program.stopSeries();
    }

    // A shot that is not stored says so once, with the status line's words,
    // before its picture is shown, so a caller ending on the first failure
    // never counts it; nothing of it is uploaded.
    void failedShotIsReported_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("device");
        QTest::addColumn<QString>("reason");
        QTest::newRow("stored") << int(SeriesType::NumberedJpeg) << QStringLiteral("shot.jpg") << true << QString();
        QTest::newRow("JPEG into a missing folder")
            << int(SeriesType::NumberedJpeg) << QStringLiteral("gone/shot.jpg") << true << QStringLiteral("Error writing ");
        QTest::newRow("bitmap into a missing folder")
            << int(SeriesType::NumberedBitmap) << QStringLiteral("gone/shot.bmp") << true << QStringLiteral("Error writing ");
        QTest::newRow("no device") << int(SeriesType::NumberedJpeg) << QStringLiteral("shot.jpg") << false
                                   << QStringLiteral("No picture from the capture device");
        QTest::newRow("movie without device") << int(SeriesType::Movie) << QStringLiteral("shot.avi") << false
                                              << QStringLiteral("No picture from the capture device");
    }
    void failedShotIsReported()
    {
        QFETCH(int, type);
        QFETCH(QString, file);
        QFETCH(bool, device);
        QFETCH(QString, reason);
        Core core(false, device);
        if (device)
            QTRY_VERIFY(core.session.latestFrame());
        ScopedScriptedDialogs dialogs;
        core.model.setFileName(core.dir.filePath(file));
        QStringList events;
        QObject::connect(&core.program, &CaptureProgram::shotFailed, &core.program,
                         [&](const QString& why) { events << QStringLiteral("failed: ") + why; });
        QObject::connect(&core.program, &CaptureProgram::pictureShot, &core.program,
                         [&](const QImage&, const QString&) { events << QStringLiteral("shot"); });
        QStringList sent;
        core.program.upload = [&sent](const QString& f, const QString&) { sent << f; };
        core.settings([type](CaptureSettings& c) {
            c.MultipleImageType = static_cast<int16_t>(type);
            c.Trigger = TriggerKind::Manual;
            c.SendToFTPServer = true;
        });
        core.program.startSeries();
        const bool stored = core.program.shoot();
        core.program.stopSeries();
        if (reason.isEmpty()) {
            QVERIFY(stored);
            QCOMPARE(events, QStringList{QStringLiteral("shot")});
            QCOMPARE(sent.size(), 1);
            return;
        }
        QVERIFY(!stored);
        QVERIFY(sent.isEmpty());
        QVERIFY2(!events.isEmpty() && events.first().startsWith(QStringLiteral("failed: ") + reason),
                 qPrintable(events.join(QLatin1Char('|'))));
        QCOMPARE(events.first(), QStringLiteral("failed: ") + core.model.statusText());
        // Which file could not be written.
        if (device)
            QVERIFY2(events.first().contains(QStringLiteral("gone/shot00001.")), qPrintable(events.first()));
        // A picture that was taken but not stored is still shown, after the report.
        QVERIFY(events.size() <= 2);
        if (events.size() == 2)
            QCOMPARE(events.last(), QStringLiteral("shot"));
        QVERIFY(core.files().isEmpty());
    }

    // A full disk is named as the system names it, on the status line that
    // ends a series; the pictures stored before stay whole and nothing
    // half-written is left.
    void bitmapSeriesOnAFullDisk_data()
    {
        QTest::addColumn<bool>("fullAtOnce");
        QTest::addColumn<int>("stored"); // pictures before the disk is full
        QTest::newRow("room for one picture") << false << 1;
        QTest::newRow("full from the start") << true << 0;
    }
    void bitmapSeriesOnAFullDisk()
    {
        QFETCH(bool, fullAtOnce);
        QFETCH(int, stored);
        ScopedTmpfs disk(fullAtOnce);
        if (!disk.mounted())
            QSKIP("cannot mount a tmpfs here (mounting needs root)");
        Core core(false);
        QTRY_VERIFY(core.session.latestFrame());
        core.model.setFileName(disk.path(QStringLiteral("shot.bmp")));
        core.settings([](CaptureSettings& c) {
            c.MultipleImageType = static_cast<int16_t>(SeriesType::NumberedBitmap);
            c.Trigger = TriggerKind::Manual;
        });
        QStringList failures;
        QObject::connect(&core.program, &CaptureProgram::shotFailed, &core.program,
                         [&](const QString& why) { failures << why; });
        core.program.startSeries();
        for (int i = 0; i < stored; ++i)
            QVERIFY(core.program.shoot());
        QVERIFY(!core.program.shoot());
        core.program.stopSeries();
        const QString failed = disk.path(QStringLiteral("shot%1.bmp").arg(stored + 1, 5, 10, QLatin1Char('0')));
        QCOMPARE(failures, QStringList{QStringLiteral("Error writing ") + failed
                                       + QStringLiteral(": No space left on device")});
        QVERIFY(!QFile::exists(failed));
        QVERIFY(!QFile::exists(failed + QStringLiteral(".part")));
        for (int i = 1; i <= stored; ++i) {
            const QString kept = disk.path(QStringLiteral("shot%1.bmp").arg(i, 5, 10, QLatin1Char('0')));
            QCOMPARE(run(QStringLiteral("identify"), {QStringLiteral("-format"), QStringLiteral("%wx%h"), kept}),
                     QByteArray("320x240"));
        }
    }

    // While an upload still runs the timer and the motion detector wait, instead of stacking shots.
    void ticksWaitForAnUpload()
    {
        Core core(false);
        QTRY_VERIFY(core.session.latestFrame());
        bool busy = true;
        core.program.uploadRunning = [&busy] { return busy; };
        core.settings([](CaptureSettings& c) {
            c.MultipleImageType = static_cast<int16_t>(SeriesType::NumberedJpeg);
            c.Trigger = TriggerKind::Timer;
            c.Interval = 1;
        });
        core.program.startSeries();
        core.program.seriesTimer().stop(); // the test ticks by hand
        for (int i = 0; i < 5; ++i) {
            core.program.seriesTick();
            core.program.motionTick();
        }
        QCOMPARE(core.program.seriesCountdown().ticks(), 0);
        QCOMPARE(core.run.ImageCount, 0);
        busy = false;
        for (int i = 0; i < 3 && core.run.ImageCount == 0; ++i)
            core.program.seriesTick();
        QCOMPARE(core.run.ImageCount, 1);
        core.program.stopSeries();
    }

    // The motion detector armed on the still pattern never starts anything;
    // on the moving one it asks once for the start and leaves the run state Idle.
    void motionArming_data()
    {
        QTest::addColumn<bool>("still");
        QTest::newRow("still pattern") << true;
        QTest::newRow("moving pattern") << false;
    }
    void motionArming()
    {
        QFETCH(bool, still);
        Core core(still);
        QTRY_VERIFY(core.session.latestFrame());
        QSignalSpy starts(&core.program, &CaptureProgram::startRequested);
        core.program.armMotion();
        QCOMPARE(core.model.runState(), RunState::MotionArmed);
        if (still) {
            QTest::qWait(1500);
            QCOMPARE(starts.count(), 0);
            QCOMPARE(core.model.runState(), RunState::MotionArmed);
            QVERIFY(core.program.motionTimer().isActive());
            QVERIFY(core.program.interruptMotion());
            QVERIFY(!core.program.interruptMotion()); // a second stop finds nothing to stop
            QCOMPARE(core.states, (QList<RunState>{RunState::MotionArmed, RunState::Idle}));
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(starts.count(), 1, 5000);
            QCOMPARE(core.model.runState(), RunState::Idle);
            QVERIFY(!core.program.motionTimer().isActive());
            QTest::qWait(300);
            QCOMPARE(starts.count(), 1); // armed once, started once
            QCOMPARE(core.states, (QList<RunState>{RunState::MotionArmed, RunState::Idle}));
        }
        QVERIFY(core.files().isEmpty());
    }

    // A motion-triggered series shoots only when the picture moves.
    void motionSeries_data() { motionArming_data(); }
    void motionSeries()
    {
        QFETCH(bool, still);
        Core core(still);
        QTRY_VERIFY(core.session.latestFrame());
        core.settings([](CaptureSettings& c) {
            c.MultipleImageType = static_cast<int16_t>(SeriesType::NumberedJpeg);
            c.Trigger = TriggerKind::Motion;
        });
        core.program.startSeries();
        QVERIFY(core.program.motionTimer().isActive());
        if (still) {
            QTest::qWait(1500);
            QCOMPARE(core.run.ImageCount, 0);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(core.run.ImageCount >= 2, 5000);
        }
        core.program.stopSeries();
        QVERIFY(!core.program.motionTimer().isActive());
        QCOMPARE(core.model.runState(), RunState::Idle);
        QCOMPARE(core.files().size(), core.run.ImageCount);
    }

    // A frame-by-frame movie: stopping twice closes it once, writes its
    // information once and leaves a file ffprobe reads with every shot.
    void movieSeriesStopsTwice()
    {
        Core core(false);
        QTRY_VERIFY(core.session.latestFrame());
        core.model.setFileName(core.dir.filePath(QStringLiteral("series.avi")));
        core.model.setInfoField(0, QStringLiteral("(c) the tests"));
        core.settings([](CaptureSettings& c) {
            c.MultipleImageType = static_cast<int16_t>(SeriesType::Movie);
            c.Trigger = TriggerKind::Manual;
            c.AVIRate = 5;
            c.SeriesAviInfo = true;
        });
        core.program.startSeries();
        for (int i = 0; i < 3; ++i) {
            QVERIFY(core.program.shoot());
            QCOMPARE(core.model.statusText(), QStringLiteral("Capturing Frame"));
            QTest::qWait(50);
        }
        QSignalSpy status(&core.model, &CaptureModel::statusChanged);
        core.program.stopSeries();
        QVERIFY(!core.model.infoWriteFailed());
        const int afterFirst = status.count();
        core.program.stopSeries();
        QCOMPARE(status.count(), afterFirst); // nothing closed or written again
        QCOMPARE(core.states, (QList<RunState>{RunState::SeriesRunning, RunState::Idle}));
        // A shot after the end has no file to go to.
        QVERIFY(!core.program.shoot());
        QVERIFY(core.model.statusText().startsWith(QStringLiteral("Error writing frame to ")));

        const QString ffprobe = QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
        if (ffprobe.isEmpty())
            QSKIP("ffprobe is not installed");
        const QByteArray out = run(ffprobe, {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_packets"),
                                             QStringLiteral("-select_streams"), QStringLiteral("v:0"),
                                             QStringLiteral("-show_entries"),
                                             QStringLiteral("stream=nb_read_packets,r_frame_rate:format_tags=copyright"),
                                             QStringLiteral("-of"), QStringLiteral("default=nw=1"),
                                             core.model.fileName()});
        QVERIFY2(out.contains("r_frame_rate=5/1"), out.constData());
        QVERIFY2(out.contains("nb_read_packets=3"), out.constData());
        QVERIFY2(out.contains("(c) the tests"), out.constData());
    }

    // Right after the device opens there is no frame yet: the shot waits for
    // the first one instead of failing, and the caller is not held up.
    void shotBeforeTheFirstFrame()
    {
        Core core(false, false);
        core.settings([](CaptureSettings& c) {
            c.MultipleImageType = static_cast<int16_t>(SeriesType::NumberedJpeg);
            c.Trigger = TriggerKind::Manual;
        });
        QVERIFY(core.openDevice(false));
        core.program.startSeries();
        const bool frameYet = core.session.latestFrame() != nullptr;
        QVERIFY(core.program.shoot());
        if (!frameYet)
            QVERIFY(core.files().isEmpty()); // stored later, when the frame is there
        QTRY_COMPARE(core.files(), QStringList{QStringLiteral("shot00001.jpg")});
        core.program.stopSeries();
    }

    // Without a device nothing is written and the status says why.
    void noDevice()
    {
        Core core(false, false);
        core.settings([](CaptureSettings& c) { c.MultipleImageType = static_cast<int16_t>(SeriesType::NumberedJpeg); });
        core.program.startSeries();
        QVERIFY(!core.program.shoot());
        QCOMPARE(core.model.statusText(), QStringLiteral("No picture from the capture device"));
        // The motion detector without a picture stops what runs and says so.
        QSignalSpy failed(&core.program, &CaptureProgram::motionFailed);
        core.program.armMotion();
        core.program.motionTick();
        QCOMPARE(failed.count(), 1);
        QCOMPARE(core.model.statusText(), QStringLiteral("Motion Detector Error"));
        QCOMPARE(core.model.runState(), RunState::Idle);
        QVERIFY(!core.program.motionTimer().isActive());
        QVERIFY(core.files().isEmpty());
    }

    // The session hands over the first frame when it comes, or nothing after the time-out.
    void sessionWhenFrame()
    {
        CaptureSession closed;
        int calls = 0;
        FramePtr got;
        closed.whenFrame(&closed, 1000, [&](FramePtr f) {
            ++calls;
            got = f;
        });
        QCOMPARE(calls, 1); // no device: answered at once, without a frame
        QVERIFY(!got);

        Core core(false, false);
        QVERIFY(core.openDevice(false));
        calls = 0;
        core.session.whenFrame(&core.session, 2000, [&](FramePtr f) {
            ++calls;
            got = f;
        });
        QTRY_COMPARE(calls, 1);
        QVERIFY(got);
        QCOMPARE(got->picture().size(), QSize(320, 240));
        QTest::qWait(100);
        QCOMPARE(calls, 1);
    }
};

int main(int argc, char** argv)
{
    // Fonts for the stamps; no widgets.
    QGuiApplication app(argc, argv);
    TestCaptureProgram t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_captureprogram.moc"
