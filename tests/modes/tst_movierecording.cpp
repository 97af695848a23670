#include "../testpatternindex.h"
#include "../movie/ffprobe.h"
#include "capture/capturesession.h"
#include "capture/drivercatalogue.h"
#include "capture/testpatterndriver.h"
#include "modes/movierecording.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace lv;

namespace {

const std::array<QString, 6> kInfo{QStringLiteral("(c) Feeder Cam"), QStringLiteral("Ana"), QStringLiteral("Blue tits"),
                                   QStringLiteral("Garden"), QStringLiteral("Camera 2"), QStringLiteral("Morning")};

// The test-pattern device open in a session, and a recording's settings
// into a temporary folder.
struct Rig {
    QTemporaryDir dir;
    CaptureSession session;

    explicit Rig(QSize size = {320, 240})
    {
        session.open(testPatternIndex(), [size](CaptureDriver& d) {
            auto& pattern = dynamic_cast<TestPatternDriver&>(d);
            TestPatternSettings s = pattern.settings();
            s.size = size;
            s.rate = 30;
            pattern.setSettings(s);
        });
    }
    MovieRecordingSettings settings(const QString& name, double rate, uint32_t limitSeconds)
    {
        MovieRecordingSettings s;
        s.fileName = dir.filePath(name);
        s.parms.dwRequestMicroSecPerFrame = uint32_t(std::lround(1e6 / rate));
        s.parms.fLimitEnabled = limitSeconds > 0 ? 1 : 0;
        s.parms.wTimeLimit = limitSeconds;
        s.parms.fYield = 1;
        s.codec = CodecChoice{};
        return s;
    }
};

QJsonObject formatTags(const QString& file)
{
    return ffprobe(file).value(QStringLiteral("format")).toObject().value(QStringLiteral("tags")).toObject();
}

MovieRecordingResult resultOf(const QSignalSpy& ended)
{
    return ended.isEmpty() ? MovieRecordingResult{} : ended.first().first().value<MovieRecordingResult>();
}

} // namespace

class TestMovieRecording : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(testPatternIndex() >= 0, "the test pattern is not listed"); }

    // The time limit ends the recording by itself; the signals come in
    // order, progress follows the frames, and the movie holds what the
    // result says, with the information fields when asked.
    void timeLimitEndsIt_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<QString>("rateText");
        QTest::addColumn<bool>("sound");
        QTest::addColumn<bool>("info");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("encoder"); // empty: the container's default
        QTest::addColumn<QString>("videoCodec");
        QTest::addColumn<QString>("audioCodec");
        QTest::newRow("15 fps, no sound, information") << 15.0 << "15/1" << false << true << "limit.avi" << "mjpeg"
                                                       << "mjpeg" << "";
        QTest::newRow("29.97 fps, sound, no information") << 29.97 << "30000/1001" << true << false << "limit.avi"
                                                          << "mjpeg" << "mjpeg" << "pcm_s16le";
        QTest::newRow("10 fps, sound, information") << 10.0 << "10/1" << true << true << "limit.avi" << "mjpeg"
                                                    << "mjpeg" << "pcm_s16le";
        QTest::newRow("MP4, 15 fps, sound, information") << 15.0 << "15/1" << true << true << "limit.mp4" << ""
                                                         << "h264" << "aac";
        QTest::newRow("MKV, 29.97 fps, sound, information") << 29.97 << "30000/1001" << true << true << "limit.mkv"
                                                            << "" << "h264" << "aac";
        QTest::newRow("MKV, Motion JPEG, no sound") << 15.0 << "15/1" << false << false << "limit.mkv" << "mjpeg"
                                                    << "mjpeg" << "";
    }
    void timeLimitEndsIt()
    {
        QFETCH(double, rate);
        QFETCH(QString, rateText);
        QFETCH(bool, sound);
        QFETCH(bool, info);
        QFETCH(QString, name);
        QFETCH(QString, encoder);
        QFETCH(QString, videoCodec);
        QFETCH(QString, audioCodec);
        Rig rig;
        QVERIFY(rig.session.isOpen());
        MovieRecordingSettings s = rig.settings(name, rate, 2);
        if (encoder.isEmpty())
            s.codec = CodecChoice{defaultEncoderFor(containerForFile(name)), 75};
        else
            s.codec = CodecChoice{encoder, 75};
        s.parms.fCaptureAudio = sound ? 1 : 0;
        s.audio.nChannels = 1;
        s.audio.wBitsPerSample = 16;
        s.audio.nSamplesPerSec = 22050;
        s.writeInfo = info;
        s.info = kInfo;
        MovieRecording rec(rig.session, s);
        QSignalSpy started(&rec, &MovieRecording::started);
        QSignalSpy progress(&rec, &MovieRecording::progress);
        QSignalSpy ended(&rec, &MovieRecording::ended);
        QVERIFY(rec.start());
        QCOMPARE(started.size(), 1); // before start() returns
        QCOMPARE(started.first().at(0).toString(), s.fileName);
        QVERIFY(rec.running());
        QVERIFY(ended.isEmpty());

        QVERIFY(ended.wait(10000));
        QTest::qWait(300);
        QCOMPARE(ended.size(), 1);
        QVERIFY(!rec.running());
        const MovieRecordingResult r = resultOf(ended);
        QVERIFY2(r.ok(), qPrintable(r.error + r.infoError));
        QCOMPARE(r.fileName, s.fileName);
        // The limit in frames, not what the clock said when it fired.
        QCOMPARE(int(r.frames), int(std::llround(2 * (rate == 29.97 ? 30000.0 / 1001.0 : rate))));
        QVERIFY(r.elapsedMs >= 1900);
        QCOMPARE(r.infoAsked, info);
        QCOMPARE(r.infoWritten, info);

        // Progress came while it ran, counting up to what the file holds.
        QVERIFY(progress.size() >= 3);
        uint32_t last = 0;
        for (const auto& p : progress) {
            QVERIFY(p.at(0).toUInt() >= last);
            last = p.at(0).toUInt();
        }
        QVERIFY(last > 0 && last <= r.frames);

        const QJsonObject probe = ffprobe(s.fileName);
        const QJsonObject v = probeStream(probe, QStringLiteral("video"));
        QCOMPARE(v.value(QStringLiteral("r_frame_rate")).toString(), rateText);
        QCOMPARE(v.value(QStringLiteral("codec_name")).toString(), videoCodec);
        QCOMPARE(probeInt(v, "nb_read_packets"), int(r.frames));
        QCOMPARE(countFrames(s.fileName), int(r.frames));
        const QJsonObject a = probeStream(probe, QStringLiteral("audio"));
        QCOMPARE(a.isEmpty(), !sound);
        QCOMPARE(a.value(QStringLiteral("codec_name")).toString(), audioCodec);
        if (sound)
            QCOMPARE(probeInt(a, "sample_rate"), 22050);
        // Matroska keeps its tag names in capitals.
        QJsonObject tags;
        const QJsonObject given = formatTags(s.fileName);
        for (auto it = given.begin(); it != given.end(); ++it)
            tags.insert(it.key().toLower(), it.value());
        QCOMPARE(tags.value(QStringLiteral("copyright")).toString(), info ? kInfo[0] : QString());
        QCOMPARE(tags.value(QStringLiteral("artist")).toString(), info ? kInfo[1] : QString());
        QCOMPARE(tags.value(QStringLiteral("comment")).toString(), info ? kInfo[5] : QString());
        QVERIFY(decodesCleanly(s.fileName));
    }

    // stop() twice, stop() after the end and the destructor of a running
    // recording are safe; there is one end, and a destroyed recording still
    // leaves a whole movie with its information.
    void stopIsSafe_data()
    {
        QTest::addColumn<bool>("destroyRunning");
        QTest::newRow("stop twice, then after the end") << false;
        QTest::newRow("destroyed while running") << true;
    }
    void stopIsSafe()
    {
        QFETCH(bool, destroyRunning);
        Rig rig;
        MovieRecordingSettings s = rig.settings(QStringLiteral("stop.avi"), 15, 0);
        s.writeInfo = true;
        s.info = kInfo;
        auto rec = std::make_unique<MovieRecording>(rig.session, s);
        QSignalSpy ended(rec.get(), &MovieRecording::ended);
        rec->stop(); // before the start: nothing
        QVERIFY(rec->start());
        QVERIFY(!rec->start()); // once only
        QTest::qWait(600);
        if (destroyRunning) {
            rec.reset();
            QVERIFY(!rig.session.isRecording());
            QTest::qWait(100);
            QCOMPARE(ended.size(), 0); // nobody to hear it
        } else {
            rec->stop();
            rec->stop();
            QVERIFY(!rig.session.isRecording());
            QVERIFY(ended.wait(2000));
            rec->stop();
            QTest::qWait(100);
            QCOMPARE(ended.size(), 1);
            QVERIFY(resultOf(ended).ok());
            QVERIFY(resultOf(ended).frames > 0);
        }
        QVERIFY(countFrames(s.fileName) > 0);
        QCOMPARE(formatTags(s.fileName).value(QStringLiteral("artist")).toString(), kInfo[1]);
    }

    // An information write that cannot be done is in the result, with its
    // reason; the movie itself is whole.
    void failedInformationWriteIsReported()
    {
        Rig rig;
        MovieRecordingSettings s = rig.settings(QStringLiteral("gone.avi"), 15, 1);
        s.writeInfo = true;
        s.info = kInfo;
        MovieRecording rec(rig.session, s);
        QSignalSpy ended(&rec, &MovieRecording::ended);
        QVERIFY(rec.start());
        QTest::qWait(300);
        // The recorder goes on into the file it holds open; the name now
        // belongs to a folder nobody can append a chunk to.
        const QString moved = rig.dir.filePath(QStringLiteral("moved.avi"));
        QVERIFY(QFile::rename(s.fileName, moved));
        QVERIFY(QDir().mkdir(s.fileName));
        QVERIFY(ended.wait(10000));
        const MovieRecordingResult r = resultOf(ended);
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        QVERIFY(r.infoAsked);
        QVERIFY(!r.infoWritten);
        QVERIFY(r.infoFailed());
        QVERIFY(!r.infoError.isEmpty());
        QVERIFY(!r.ok());
        QCOMPARE(countFrames(moved), int(r.frames));
    }

    // A file that cannot be made, or a codec its container cannot hold:
    // start() says why, nothing else follows and no file is left.
    void unwritableFileDoesNotStart_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<QString>("says");
        QTest::newRow("no such folder") << "no/such/folder/x.avi" << "mjpeg" << "Cannot write the file";
        QTest::newRow("raw frames into MP4") << "raw.mp4" << "rawvideo" << "cannot hold rawvideo";
        QTest::newRow("lossless FFV1 into MP4") << "ffv1.mp4" << "ffv1" << "cannot hold ffv1";
    }
    void unwritableFileDoesNotStart()
    {
        QFETCH(QString, name);
        QFETCH(QString, encoder);
        QFETCH(QString, says);
        Rig rig;
        MovieRecordingSettings s = rig.settings(name, 15, 1);
        s.codec = CodecChoice{encoder, 75};
        MovieRecording rec(rig.session, s);
        QSignalSpy started(&rec, &MovieRecording::started);
        QSignalSpy ended(&rec, &MovieRecording::ended);
        QVERIFY(!rec.start());
        QVERIFY2(rec.errorText().contains(says), qPrintable(rec.errorText()));
        QVERIFY(!QFile::exists(s.fileName));
        QTest::qWait(100);
        QVERIFY(started.isEmpty());
        QVERIFY(ended.isEmpty());
        QVERIFY(!rig.session.isRecording());
    }
};

QTEST_GUILESS_MAIN(TestMovieRecording)
#include "tst_movierecording.moc"
