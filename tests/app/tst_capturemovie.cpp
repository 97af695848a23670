#include "tst_capturerig.h"

#include "app/recordingabort.h"
#include "mainwindowparts.h"

#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QSpinBox>

#include <csignal>
#include <sys/resource.h>

using lv::test::part;

using namespace lv;
using namespace captest;

namespace {

QJsonObject exiftool(const QString& file)
{
    const QByteArray out = run(QStringLiteral("exiftool"), {QStringLiteral("-j"), QStringLiteral("-RIFF:all"), file});
    return QJsonDocument::fromJson(out).array().first().toObject();
}

} // namespace

class TestCaptureMovie : public QObject {
    Q_OBJECT

private slots:
    void recordingEndsByItself_data()
    {
        QTest::addColumn<bool>("ntsc");
        QTest::addColumn<uint32_t>("yield");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("rateIndex");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<int>("sampleRate");
        QTest::newRow("29.97 fps, background task, 16-bit stereo 22050")
            << true << 1u << 1 << 1 << 2 << "pcm_s16le" << 22050;
        QTest::newRow("15 fps, exclusive task, 8-bit mono 11025") << false << 0u << 0 << 0 << 1 << "pcm_u8" << 11025;
    }
    void recordingEndsByItself()
    {
        QFETCH(bool, ntsc);
        QFETCH(uint32_t, yield);
        QFETCH(int, bits);
        QFETCH(int, channels);
        QFETCH(int, rateIndex);
        QFETCH(QString, codec);
        QFETCH(int, sampleRate);
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        const QString movie = out.filePath(QStringLiteral("movie.avi"));
        Rig rig(movie);
        rig.master->SelectMovieMode();
        rig.model.setFileName(movie);
        rig.model.captureParms().fYield = yield;
        part<QSpinBox>(rig.master, "MovieFrameRateControl")->setValue(15);
        if (ntsc)
            emit part<lv::ClickLabel>(rig.master, "MovieFrameRateDisplay")->clicked();
        part<QCheckBox>(rig.master, "MovieDisableLimit")->setChecked(false);
        part<QSpinBox>(rig.master, "MovieHoursControl")->setValue(0);
        part<QSpinBox>(rig.master, "MovieMinutesControl")->setValue(0);
        part<QSpinBox>(rig.master, "MovieSecondsControl")->setValue(3);
        rig.master->action(Command::AudioOn)->trigger();
        part<QComboBox>(rig.master, "AudioBits")->setCurrentIndex(bits);
        part<QComboBox>(rig.master, "AudioChannels")->setCurrentIndex(channels);
        part<QComboBox>(rig.master, "AudioRate")->setCurrentIndex(rateIndex);
        part<lv::KeyedToolBar>(rig.master, "MovieToolbar")->setPressed(QStringLiteral("writeinfo"), true);
        rig.model.setInfoFields({QStringLiteral("CR"), QStringLiteral("The Artist"), QStringLiteral("Subj"),
                                   QStringLiteral("Product X"), QStringLiteral("Source Y"), QStringLiteral("Some comments")});

        rig.master->RecordButtonClicked();
        QTRY_COMPARE_WITH_TIMEOUT(rig.status(), QStringLiteral("Stopped"), 15000);
        QCOMPARE(rig.recordImage(), QStringLiteral("record"));
        QTest::qWait(500); // more housekeeping ticks: the end is handled once
        // The recording wrote its information itself, once.
        QFile written(movie);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll().count("IART"), 1);
        QCOMPARE(rig.commands.count(Command::WriteMovieInfo), 0);
        QVERIFY(dialogs.d.requests.isEmpty());
        QVERIFY(rig.run.FreeSpaceAtStart > 0);

        const QJsonObject v = probeStream(movie, QStringLiteral("video"));
        const double rate = ntsc ? 30000.0 / 1001.0 : 15.0;
        QCOMPARE(v.value(QStringLiteral("r_frame_rate")).toString(), ntsc ? QStringLiteral("30000/1001") : QStringLiteral("15/1"));
        QVERIFY2(std::abs(probeInt(v, "nb_read_packets") - rate * 3) <= 1.0,
                 qPrintable(QString::number(probeInt(v, "nb_read_packets"))));
        const QJsonObject a = probeStream(movie, QStringLiteral("audio"));
        QCOMPARE(a.value(QStringLiteral("codec_name")).toString(), codec);
        QCOMPARE(a.value(QStringLiteral("channels")).toInt(), channels + 1);
        QCOMPARE(probeInt(a, "sample_rate"), sampleRate);

        const QJsonObject ex = exiftool(movie);
        QCOMPARE(ex.value(QStringLiteral("Copyright")).toString(), QStringLiteral("CR"));
        QCOMPARE(ex.value(QStringLiteral("Artist")).toString(), QStringLiteral("The Artist"));
        QCOMPARE(ex.value(QStringLiteral("Subject")).toString(), QStringLiteral("Subj"));
        QCOMPARE(ex.value(QStringLiteral("Product")).toString(), QStringLiteral("Product X"));
        QCOMPARE(ex.value(QStringLiteral("Source")).toString(), QStringLiteral("Source Y"));
        QCOMPARE(ex.value(QStringLiteral("Comment")).toString(), QStringLiteral("Some comments"));
        QCOMPARE(ex.value(QStringLiteral("Title")).toString(), QStringLiteral("Video Lumivark"));

        // Over the existing file the record button asks first; "No" starts nothing.
        dialogs.d.answers.enqueue(Dialogs::Answer::No);
        rig.master->RecordButtonClicked();
        QCOMPARE(dialogs.d.messages().size(), 1);
        QCOMPARE(dialogs.d.requests.first().icon, Dialogs::Icon::Warning);
        QCOMPARE(rig.recordImage(), QStringLiteral("record"));
        QCOMPARE(rig.master->videoScreen()->status().fCapturingNow, 0u);
    }

    void stopButtonEndsAnUnlimitedRecording()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        const QString movie = out.filePath(QStringLiteral("stop.avi"));
        Rig rig(movie);
        rig.master->SelectMovieMode();
        rig.model.setFileName(movie);
        part<QCheckBox>(rig.master, "MovieDisableLimit")->setChecked(true);
        rig.master->RecordButtonClicked();
        QTRY_COMPARE(rig.recordImage(), QStringLiteral("stop"));
        QTest::qWait(700);
        rig.master->RecordButtonClicked();
        QCOMPARE(rig.recordImage(), QStringLiteral("record"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.status(), QStringLiteral("Stopped"), 5000);
        QVERIFY(probeInt(probeStream(movie, QStringLiteral("video")), "nb_read_packets") > 0);
    }

    void diskFillsDuringARecording()
    {
        AppTestEnv env;
        ScopedTmpfs fs(QStringLiteral("size=256k"));
        if (!fs.mounted())
            QSKIP("cannot mount a tmpfs here");
        ScopedScriptedDialogs dialogs;
        const QString movie = fs.path(QStringLiteral("full.avi"));
        Rig rig(movie);
        rig.master->SelectMovieMode();
        rig.model.setFileName(movie);
        part<QCheckBox>(rig.master, "MovieDisableLimit")->setChecked(true);
        rig.master->RecordButtonClicked();
        QTRY_VERIFY_WITH_TIMEOUT(rig.status().contains(QLatin1String("disk is full")), 20000);
        QCOMPARE(rig.recordImage(), QStringLiteral("record"));
        QCOMPARE(rig.master->videoScreen()->status().fCapturingNow, 0u);
    }

    // A press of an aborting mouse button anywhere in the main window ends the
    // recording; an exclusive one also holds back every other input and the
    // window's closing until it ends, while the window goes on updating.
    void mousePressInTheWindowStopsTheRecording_data()
    {
        QTest::addColumn<uint32_t>("yield");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::newRow("background task, left button") << 1u << Qt::LeftButton;
        QTest::newRow("exclusive task, left button") << 0u << Qt::LeftButton;
        QTest::newRow("exclusive task, right button") << 0u << Qt::RightButton;
    }
    void mousePressInTheWindowStopsTheRecording()
    {
        QFETCH(uint32_t, yield);
        QFETCH(Qt::MouseButton, button);
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        const QString movie = out.filePath(QStringLiteral("pressed.avi"));
        Rig rig(movie);
        rig.master->SelectMovieMode();
        rig.model.setFileName(movie);
        rig.model.captureParms().fYield = yield;
        part<QCheckBox>(rig.master, "MovieDisableLimit")->setChecked(true);
        struct KeyCounter : QObject {
            int seen = 0;
            bool eventFilter(QObject*, QEvent* e) override
            {
                seen += e->type() == QEvent::KeyPress ? 1 : 0;
                return false;
            }
        } keys;
        QLabel* time = part<QLabel>(rig.master, "StatusTime");
        time->installEventFilter(&keys);

        rig.master->RecordButtonClicked();
        QCOMPARE(rig.recordImage(), QStringLiteral("stop"));
        if (yield == 0)
            QCOMPARE(part<QLabel>(rig.master, "DroppedString")->text(), QStringLiteral("Exclusive Task"));
        QTRY_VERIFY_WITH_TIMEOUT(rig.master->videoScreen()->status().fCapturingNow == 1 && !part<QLabel>(rig.master, "StatusTime")->text().isEmpty(),
                                 5000);
        const QString elapsed = part<QLabel>(rig.master, "StatusTime")->text();
        QTest::keyClick(time, Qt::Key_A);
        QCOMPARE(keys.seen, yield == 1 ? 1 : 0);
        if (yield == 0) {
            QVERIFY(!rig.master->close());
            // The housekeeping goes on: the elapsed time moves.
            QTRY_VERIFY_WITH_TIMEOUT(part<QLabel>(rig.master, "StatusTime")->text() != elapsed, 5000);
        }
        QTest::mousePress(part<QLabel>(rig.master, "StatusTime"), button);
        QTest::mouseRelease(part<QLabel>(rig.master, "StatusTime"), button);
        QTRY_COMPARE_WITH_TIMEOUT(rig.status(), QStringLiteral("Stopped"), 5000);
        QCOMPARE(rig.recordImage(), QStringLiteral("record"));
        QVERIFY(probeInt(probeStream(movie, QStringLiteral("video")), "nb_read_packets") > 0);

        // Afterwards the window takes input again.
        keys.seen = 0;
        QTest::keyClick(time, Qt::Key_A);
        QCOMPARE(keys.seen, 1);
    }

    // Which presses stop, and what the rest of the window sees meanwhile.
    void abortFilterTakesOnlyItsButtons_data()
    {
        QTest::addColumn<bool>("left");
        QTest::addColumn<bool>("right");
        QTest::addColumn<bool>("exclusive");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("stops");
        QTest::addColumn<bool>("buttonSeesIt");
        QTest::newRow("left aborts, left press") << true << false << false << Qt::LeftButton << true << false;
        QTest::newRow("only right aborts, left press") << false << true << false << Qt::LeftButton << false << true;
        QTest::newRow("only right aborts, right press") << false << true << false << Qt::RightButton << true << false;
        QTest::newRow("nothing aborts, exclusive") << false << false << true << Qt::LeftButton << false << false;
    }
    void abortFilterTakesOnlyItsButtons()
    {
        QFETCH(bool, left);
        QFETCH(bool, right);
        QFETCH(bool, exclusive);
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, stops);
        QFETCH(bool, buttonSeesIt);
        QWidget window;
        auto* push = new QPushButton(QStringLiteral("Other"), &window);
        window.show();
        int stopped = 0;
        int clicks = 0;
        QObject::connect(push, &QPushButton::clicked, [&] { ++clicks; });
        RecordingAbort abort;
        abort.arm(&window, {left, right, exclusive}, [&] { ++stopped; });
        QTest::mouseClick(push, button);
        QTest::mouseClick(push, button); // a second press stops nothing more
        QTest::qWait(50);
        QCOMPARE(stopped, stops ? 1 : 0);
        QCOMPARE(clicks, buttonSeesIt && button == Qt::LeftButton ? 2 : 0);
        abort.disarm();
        abort.disarm();
        QTest::mouseClick(push, Qt::LeftButton);
        QCOMPARE(clicks, buttonSeesIt && button == Qt::LeftButton ? 3 : 1);
        QTest::qWait(50);
        QCOMPARE(stopped, stops ? 1 : 0);
    }

    // A recording that cannot start says why and leaves the record button idle.
    void recordingThatCannotStartIsReported()
    {
        AppTestEnv env;
        ScopedTmpfs fs(QStringLiteral("ro,size=1m"));
        if (!fs.mounted())
            QSKIP("cannot mount a tmpfs here");
        ScopedScriptedDialogs dialogs;
        const QString movie = fs.path(QStringLiteral("readonly.avi"));
        Rig rig(movie);
        rig.master->SelectMovieMode();
        rig.model.setFileName(movie);
        part<QCheckBox>(rig.master, "MovieDisableLimit")->setChecked(true);
        rig.master->RecordButtonClicked();
        QVERIFY2(rig.status().startsWith(QLatin1String("Cannot record ") + movie), qPrintable(rig.status()));
        QVERIFY2(rig.status().contains(QLatin1String("Read-only")), qPrintable(rig.status()));
        QCOMPARE(rig.recordImage(), QStringLiteral("record"));
        QTest::qWait(500); // the housekeeping ticks keep it so
        QVERIFY(rig.status().startsWith(QLatin1String("Cannot record ")));
        QCOMPARE(rig.recordImage(), QStringLiteral("record"));
        QCOMPARE(rig.master->videoScreen()->status().fCapturingNow, 0u);
    }

    // A write error ends the recording with the writer's reason, not "Stopped",
    // and what was written before it stays readable.
    void writeErrorEndsTheRecordingWithItsReason()
    {
        AppTestEnv env;
        ScopedScriptedDialogs dialogs;
        QTemporaryDir out;
        const QString movie = out.filePath(QStringLiteral("limited.avi"));
        Rig rig(movie);
        rig.master->SelectMovieMode();
        rig.model.setFileName(movie);
        part<QCheckBox>(rig.master, "MovieDisableLimit")->setChecked(true);

        // A file-size limit, as a FAT32 disk has at 4 GiB, here at 600 KiB.
        struct FileSizeLimit {
            rlimit before{};
            void (*handler)(int) = nullptr;
            FileSizeLimit()
            {
                getrlimit(RLIMIT_FSIZE, &before);
                handler = std::signal(SIGXFSZ, SIG_IGN);
                rlimit small = before;
                small.rlim_cur = 600 * 1024;
                setrlimit(RLIMIT_FSIZE, &small);
            }
            ~FileSizeLimit() { lift(); }
            void lift()
            {
                setrlimit(RLIMIT_FSIZE, &before);
                std::signal(SIGXFSZ, handler);
            }
        } limit;
        rig.master->RecordButtonClicked();
        QTRY_VERIFY_WITH_TIMEOUT(rig.status().startsWith(QLatin1String("Recording stopped: ")), 30000);
        limit.lift();
        QVERIFY2(rig.status().contains(QLatin1String("File too large")), qPrintable(rig.status()));
        QCOMPARE(rig.recordImage(), QStringLiteral("record"));
        QCOMPARE(rig.master->videoScreen()->status().fCapturingNow, 0u);
        QTest::qWait(500);
        QVERIFY2(rig.status().contains(QLatin1String("File too large")), qPrintable(rig.status()));

        const QFileInfo file(movie);
        QVERIFY(file.size() > 500 * 1024);
        QVERIFY(file.size() <= 600 * 1024);
        const int packets = probeInt(probeStream(movie, QStringLiteral("video")), "nb_read_packets");
        QVERIFY2(packets > 5, qPrintable(QString::number(packets)));
    }
};

QTEST_MAIN(TestCaptureMovie)
#include "tst_capturemovie.moc"
