#include "tst_capturerig.h"

#include "capture/drivercatalogue.h"
#include "mainwindowparts.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QPushButton>
#include <QSpinBox>

using lv::test::part;

using namespace lv;
using namespace captest;

namespace {

// The test pattern, with a way to pull it out of the machine mid-stream.
class VanishingDriver final : public CaptureDriver {
public:
    QString name() const override { return m_inner.name(); }
    QString version() const override { return m_inner.version(); }
    bool open() override { return m_inner.open(); }
    void close() override { m_inner.close(); }
    QSize frameSize() const override { return m_inner.frameSize(); }
    double frameRate() const override { return m_inner.frameRate(); }
    bool hasOverlay() const override { return false; }
    bool hasSourceDialog() const override { return false; }
    bool hasFormatDialog() const override { return false; }
    bool showSourceDialog(QWidget*) override { return false; }
    bool showFormatDialog(QWidget*) override { return false; }
    bool start(FrameSink frames, ErrorSink errors) override
    {
        m_errors = errors;
        return m_inner.start(std::move(frames), std::move(errors));
    }
    void stop() override { m_inner.stop(); }
    std::unique_ptr<AudioSource> createAudioSource() override { return m_inner.createAudioSource(); }

    void vanish()
    {
        m_inner.stop();
        if (m_errors)
            m_errors(QStringLiteral("device unplugged"));
    }

private:
    TestPatternDriver m_inner;
    ErrorSink m_errors;
};

class VanishingCatalogue final : public DriverCatalogue {
public:
    bool describe(int index, QString* name, QString* version) const override
    {
        if (index != 0)
            return false;
        if (name)
            *name = TestPatternDriver::driverName();
        if (version)
            *version = TestPatternDriver::driverVersion();
        return true;
    }
    std::unique_ptr<CaptureDriver> create(int index) const override
    {
        if (index != 0)
            return nullptr;
        auto d = std::make_unique<VanishingDriver>();
        last = d.get();
        return d;
    }
    mutable VanishingDriver* last = nullptr;
};

// Ticks the detector by hand, a little apart so new frames arrive, until
// `done` holds or the ticks run out; returns the ticks taken.
template <typename F>
int tickUntil(Rig& rig, int maxTicks, F done)
{
    for (int i = 1; i <= maxTicks; ++i) {
        QTest::qWait(70);
        rig.ctl->motionTick();
        if (done())
            return i;
    }
    return -1;
}

} // namespace

class TestCaptureMotion : public QObject {
    Q_OBJECT

private slots:
    void motionShootsASeries()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        Rig rig(out.filePath(QStringLiteral("cam.bmp")));
        rig.fileName = out.filePath(QStringLiteral("cam.bmp"));
        rig.model.preferences().MotionSensitivity = 0;
        rig.setPattern({320, 240}, true);
        rig.multiple(1, QStringLiteral("motion"));
        QVERIFY(part<QLabel>(rig.master, "MotionLabel")->isVisibleTo(rig.master.get()));
        QGuiApplication::clipboard()->setText(QStringLiteral("keep"));
        rig.ctl->program().motionTimer().setInterval(1000000); // ticks come from the test
        rig.master->RecordButtonClicked();
        QVERIFY(rig.ctl->program().motionTimer().isActive());
        QVERIFY(rig.run.MotionSeries);

        QCOMPARE(tickUntil(rig, 6, [] { return false; }), -1);
        QCOMPARE(rig.status(), QStringLiteral(" 0% Image changed"));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 0);

        rig.setPattern({320, 240}, false);
        QVERIFY(tickUntil(rig, 40, [&] { return rig.run.ImageCount >= 2; }) > 0);
        QVERIFY(QFileInfo::exists(out.filePath(QStringLiteral("cam00001.bmp"))));
        QVERIFY(QFileInfo::exists(out.filePath(QStringLiteral("cam00002.bmp"))));
        QVERIFY(rig.ctl->program().motionTimer().isActive()); // a series goes on
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("keep"));

        rig.master->RecordButtonClicked();
        QVERIFY(!rig.ctl->program().motionTimer().isActive());
        QVERIFY(!rig.run.MotionSeries);
        QCOMPARE(rig.recordImage(), QStringLiteral("record"));
    }

    void buttonArmsOneMovie()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        const QString movie = out.filePath(QStringLiteral("motion.avi"));
        {
            QFile old(movie); // motion never asks about an existing file
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old");
        }
        Rig rig(movie);
        rig.master->SelectMovieMode();
        rig.model.setFileName(movie);
        rig.model.preferences().MotionSensitivity = 0;
        part<QCheckBox>(rig.master, "MovieDisableLimit")->setChecked(false);
        part<QSpinBox>(rig.master, "MovieSecondsControl")->setValue(1);
        rig.setPattern({320, 240}, true);
        QGuiApplication::clipboard()->setText(QStringLiteral("keep"));
        rig.ctl->program().motionTimer().setInterval(1000000);
        emit rig.master->OperationBar->buttonClicked(QStringLiteral("motion"));
        QVERIFY(rig.ctl->program().motionTimer().isActive());
        QCOMPARE(rig.recordImage(), QStringLiteral("stop"));
        QVERIFY(!rig.master->OperationBar->button(QStringLiteral("motion"))->isEnabled());
        QCOMPARE(tickUntil(rig, 6, [] { return false; }), -1);

        rig.setPattern({320, 240}, false);
        QVERIFY(tickUntil(rig, 40, [&] { return !rig.ctl->program().motionTimer().isActive(); }) > 0);
        QVERIFY(dialogs.d.requests.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(rig.status(), QStringLiteral("Stopped"), 10000);
        QVERIFY(probeInt(probeStream(movie, QStringLiteral("video")), "nb_read_packets") >= 10);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("keep"));
        // Once: the detector is off and the movie is not started again.
        QVERIFY(!rig.ctl->program().motionTimer().isActive());
        QTRY_VERIFY(rig.master->OperationBar->button(QStringLiteral("motion"))->isEnabled());
    }

    // After a recording, an armed detector keeps the button at "stop" (the
    // housekeeping tick used to put "record" back while it went on running),
    // and the button disarms it instead of starting a movie.
    void armedAfterARecordingShowsStop()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        const QString movie = out.filePath(QStringLiteral("first.avi"));
        Rig rig(movie);
        rig.master->SelectMovieMode();
        rig.model.setFileName(movie);
        part<QCheckBox>(rig.master, "MovieDisableLimit")->setChecked(false);
        part<QSpinBox>(rig.master, "MovieSecondsControl")->setValue(1);
        rig.master->RecordButtonClicked();
        QTRY_COMPARE_WITH_TIMEOUT(rig.status(), QStringLiteral("Stopped"), 10000);
        QCOMPARE(rig.recordImage(), QStringLiteral("record"));

        rig.setPattern({320, 240}, true);
        rig.ctl->program().motionTimer().setInterval(1000000);
        emit rig.master->OperationBar->buttonClicked(QStringLiteral("motion"));
        QCOMPARE(rig.master->model().runState(), RunState::MotionArmed);
        QTest::qWait(400); // several housekeeping ticks
        QCOMPARE(rig.recordImage(), QStringLiteral("stop"));
        QVERIFY(rig.ctl->program().motionTimer().isActive());

        rig.master->RecordButtonClicked();
        QVERIFY(!rig.ctl->program().motionTimer().isActive());
        QCOMPARE(rig.master->model().runState(), RunState::Idle);
        QCOMPARE(rig.recordImage(), QStringLiteral("record"));
        QTest::qWait(300);
        QCOMPARE(rig.master->videoScreen()->status().fCapturingNow, 0u); // nothing was started
    }

    void overlayWarning()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        Rig rig(out.filePath(QStringLiteral("o.avi")));
        rig.master->DeviceToolbar->button(QStringLiteral("overlay"))->trigger(); // a click
        QVERIFY(rig.master->DeviceToolbar->isPressed(QStringLiteral("overlay")));
        emit rig.master->OperationBar->buttonClicked(QStringLiteral("motion"));
        QCOMPARE(dialogs.d.messages(),
                 QStringList{QStringLiteral("Overlay Mode detected. Some devices can only detect movement under Preview Mode.")});
        QCOMPARE(dialogs.d.requests.first().caption, QStringLiteral("Warning"));
        QVERIFY(rig.ctl->program().motionTimer().isActive()); // armed all the same
        rig.ctl->program().motionTimer().stop();
    }

    void deviceVanishes_data()
    {
        QTest::addColumn<QString>("when");
        QTest::newRow("manual series") << "manual";
        QTest::newRow("motion series") << "motion";
        QTest::newRow("recording") << "recording";
    }
    void deviceVanishes()
    {
        QFETCH(QString, when);
        AppTestEnv env;
        VanishingCatalogue catalogue;
        ScopedDriverCatalogue scoped(&catalogue);
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        Rig rig(out.filePath(QStringLiteral("cam.bmp")));
        rig.fileName = out.filePath(QStringLiteral("cam.bmp"));
        QVERIFY(catalogue.last);

        if (when == QLatin1String("recording")) {
            const QString movie = out.filePath(QStringLiteral("lost.avi"));
            rig.master->SelectMovieMode();
            rig.model.setFileName(movie);
            part<QCheckBox>(rig.master, "MovieDisableLimit")->setChecked(true);
            rig.master->RecordButtonClicked();
            QTRY_COMPARE(rig.master->videoScreen()->status().fCapturingNow, 1u);
            QTest::qWait(500);
            catalogue.last->vanish();
            QTRY_COMPARE_WITH_TIMEOUT(rig.status(), QStringLiteral("Stopped"), 5000);
            QCOMPARE(rig.recordImage(), QStringLiteral("record"));
            QVERIFY(probeInt(probeStream(movie, QStringLiteral("video")), "nb_read_packets") > 0);
            return;
        }

        rig.multiple(1, when);
        rig.ctl->program().motionTimer().setInterval(1000000);
        rig.master->RecordButtonClicked();
        if (when == QLatin1String("manual"))
            part<QPushButton>(rig.master, "Shooter")->click();
        else
            rig.ctl->motionTick();
        catalogue.last->vanish();
        QTRY_VERIFY(rig.status().startsWith(QLatin1String("Capture device lost")));
        if (when == QLatin1String("manual")) {
            part<QPushButton>(rig.master, "Shooter")->click();
            QCOMPARE(rig.status(), QStringLiteral("No picture: the capture device is lost"));
            QCOMPARE(QDir(out.path()).entryList(QDir::Files), QStringList{QStringLiteral("cam00001.bmp")});
            rig.master->RecordButtonClicked();
        } else {
            rig.ctl->motionTick();
            QCOMPARE(rig.status(), QStringLiteral("Motion Detector Error"));
            QVERIFY(!rig.ctl->program().motionTimer().isActive());
        }
        QCOMPARE(rig.recordImage(), QStringLiteral("record"));
        QVERIFY(part<QComboBox>(rig.master, "MultipleImageMode")->isEnabled());
    }
};

QTEST_MAIN(TestCaptureMotion)
#include "tst_capturemotion.moc"
