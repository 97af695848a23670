#include "../scopedtmpfs.h"
#include "../movie/ffprobe.h"
#include "capture/recorder.h"
#include "capture/testpattern.h"
#include "capture/testpatterndriver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>

extern "C" {
#include <libavutil/log.h>
}

using namespace lv;

namespace {

int64_t nowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

FramePtr syntheticFrame(uint64_t sequence, int64_t timestampUs, QSize size = {160, 120})
{
    auto f = std::make_shared<VideoFrame>();
    TestPatternSettings s;
    s.size = size;
    f->image = TestPattern::render(sequence, s);
    f->sequence = sequence;
    f->timestampUs = timestampUs;
    return f;
}

// The test-pattern device streaming into a recorder, with the status codes seen
// and the frame numbers the device itself skipped (a late wake-up under load).
struct Rig {
    TestPatternDriver driver;
    Recorder capture;
    QList<int> codes;
    std::atomic<uint32_t> sourceSkipped{0};
    uint64_t lastSequence = 0;

    explicit Rig(QSize size = {160, 120}, int rate = 30)
    {
        TestPatternSettings s;
        s.size = size;
        s.rate = rate;
        driver.setSettings(s);
        driver.open();
        driver.start(
            [this](const FramePtr& f) {
                if (lastSequence != 0 && f->sequence > lastSequence + 1)
                    sourceSkipped += uint32_t(f->sequence - lastSequence - 1);
                lastSequence = f->sequence;
                capture.pushFrame(f);
            },
            [](const QString&) {});
    }
    ~Rig() { driver.close(); }

    Recorder::Setup setup(const QString& file, uint32_t usPerFrame, uint32_t limitSeconds)
    {
        Recorder::Setup st;
        st.fileName = file;
        st.parms.dwRequestMicroSecPerFrame = usPerFrame;
        st.parms.fLimitEnabled = limitSeconds > 0 ? 1 : 0;
        st.parms.wTimeLimit = limitSeconds;
        st.parms.fYield = 1;
        st.driver = &driver;
        st.codec = CodecChoice{};
        st.status = [this](int code) { codes << code; };
        return st;
    }
};

} // namespace

class RecordingTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        av_log_set_level(AV_LOG_ERROR);
    }

    void rateRecording_data()
    {
        QTest::addColumn<uint32_t>("usPerFrame");
        QTest::addColumn<QString>("rateText");
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("sampleRate");
        QTest::addColumn<QString>("soundCodec");
        QTest::newRow("12 fps, no sound") << 83333u << "12/1" << 12.0 << 0 << 0 << 0 << "";
        QTest::newRow("15 fps, 8-bit mono 8000 Hz") << 66667u << "15/1" << 15.0 << 8 << 1 << 8000 << "pcm_u8";
        QTest::newRow("29.97 fps, 16-bit stereo 44100 Hz")
            << 33367u << "30000/1001" << 29.97 << 16 << 2 << 44100 << "pcm_s16le";
        QTest::newRow("30 fps, 8-bit stereo 22050 Hz") << 33333u << "30/1" << 30.0 << 8 << 2 << 22050 << "pcm_u8";
    }
    void rateRecording()
    {
        QFETCH(uint32_t, usPerFrame);
        QFETCH(QString, rateText);
        QFETCH(double, rate);
        QFETCH(int, bits);
        QFETCH(int, channels);
        QFETCH(int, sampleRate);
        QFETCH(QString, soundCodec);

        Rig rig({320, 240}, 30);
        const QString file = m_dir.filePath(QStringLiteral("rate.avi"));
        Recorder::Setup st = rig.setup(file, usPerFrame, 2);
        if (channels > 0) {
            st.parms.fCaptureAudio = 1;
            st.audio.nChannels = uint16_t(channels);
            st.audio.wBitsPerSample = uint16_t(bits);
            st.audio.nSamplesPerSec = uint32_t(sampleRate);
            st.audio.nBlockAlign = uint16_t(channels * bits / 8);
            st.audio.nAvgBytesPerSec = uint32_t(sampleRate * channels * bits / 8);
        }
        QElapsedTimer t;
        t.start();
        QVERIFY(rig.capture.start(st));
        QVERIFY(t.elapsed() < 1000); // a background recording returns at once
        QVERIFY(rig.capture.capturing());
        QTRY_VERIFY_WITH_TIMEOUT(rig.capture.framesCaptured() > 0, 2000);
        // The time limit ends it by itself.
        QTRY_VERIFY_WITH_TIMEOUT(!rig.capture.capturing(), 5000);
        QCOMPARE(rig.codes, (QList<int>{kStatusCaptureStart, kStatusCaptureEnd}));
        // The recorder itself loses nothing: what it counts as dropped is only
        // what the device skipped, which a loaded machine can make happen.
        QVERIFY2(rig.capture.framesDropped() <= rig.sourceSkipped,
                 qPrintable(QStringLiteral("%1 dropped, the device skipped %2")
                                .arg(rig.capture.framesDropped())
                                .arg(rig.sourceSkipped.load())));

        const QJsonObject probe = ffprobe(file);
        const QJsonObject v = probeStream(probe, QStringLiteral("video"));
        QCOMPARE(probe.value(QStringLiteral("streams")).toArray().size(), channels > 0 ? 2 : 1);
        QCOMPARE(v.value(QStringLiteral("codec_name")).toString(), QStringLiteral("mjpeg"));
        QCOMPARE(probeInt(v, "width"), 320);
        QCOMPARE(probeInt(v, "height"), 240);
        QCOMPARE(v.value(QStringLiteral("r_frame_rate")).toString(), rateText);
        const int expected = int(std::lround(rate * 2));
        QVERIFY2(std::abs(probeInt(v, "nb_read_packets") - expected) <= 1,
                 qPrintable(QStringLiteral("%1 frames").arg(probeInt(v, "nb_read_packets"))));
        QVERIFY(std::abs(int(rig.capture.framesCaptured()) - expected) <= 1);
        const double duration = probeDouble(probe.value(QStringLiteral("format")).toObject(), "duration");
        QVERIFY2(std::abs(duration - 2.0) <= 1.0 / rate + 0.01, qPrintable(QString::number(duration)));
        if (channels > 0) {
            const QJsonObject a = probeStream(probe, QStringLiteral("audio"));
            QCOMPARE(a.value(QStringLiteral("codec_name")).toString(), soundCodec);
            QCOMPARE(probeInt(a, "channels"), channels);
            QCOMPARE(probeInt(a, "sample_rate"), sampleRate);
            QCOMPARE(probeInt(a, "bits_per_sample"), bits);
            // About two seconds of sound, as long as the picture.
            QVERIFY(std::abs(probeInt(a, "nb_frames") - 2 * sampleRate) <= sampleRate / 10);
        }
        QVERIFY(decodesCleanly(file));
    }

    void chosenCodecIsUsed_data()
    {
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<QString>("codecName");
        QTest::newRow("raw BGR") << "rawvideo" << "rawvideo";
        QTest::newRow("FFV1") << "ffv1" << "ffv1";
        QTest::newRow("MPEG-4") << "mpeg4" << "mpeg4";
        if (isAviVideoCodec(QStringLiteral("libx264")))
            QTest::newRow("H.264") << "libx264" << "h264";
    }
    void chosenCodecIsUsed()
    {
        QFETCH(QString, encoder);
        QFETCH(QString, codecName);
        Rig rig;
        const QString file = m_dir.filePath(QStringLiteral("codec.avi"));
        Recorder::Setup st = rig.setup(file, 66667, 1);
        st.codec = CodecChoice{encoder, 60};
        QVERIFY(rig.capture.start(st));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.capture.capturing(), 5000);
        const QJsonObject v = probeStream(ffprobe(file), QStringLiteral("video"));
        QCOMPARE(v.value(QStringLiteral("codec_name")).toString(), codecName);
        QVERIFY(std::abs(probeInt(v, "nb_read_packets") - 15) <= 1);
        QVERIFY(decodesCleanly(file));
    }

    // Synthetic frames with chosen sequence numbers and times: only buffer
    // sequence gaps count as dropped, not frames skipped for a lower rate.
    void droppedCountsOnlyLostFrames_data()
    {
        QTest::addColumn<uint32_t>("usPerFrame");
        QTest::addColumn<QList<int>>("missing");
        QTest::addColumn<uint32_t>("dropped");
        QTest::newRow("same rate, no gap") << 33333u << QList<int>{} << 0u;
        QTest::newRow("same rate, gap of 3") << 33333u << QList<int>{10, 11, 12} << 3u;
        QTest::newRow("half rate, no gap") << 66667u << QList<int>{} << 0u;
        QTest::newRow("half rate, two gaps") << 66667u << QList<int>{5, 20, 21} << 3u;
        QTest::newRow("first frames lost") << 33333u << QList<int>{0, 1} << 0u;
    }
    void droppedCountsOnlyLostFrames()
    {
        QFETCH(uint32_t, usPerFrame);
        QFETCH(QList<int>, missing);
        QFETCH(uint32_t, dropped);
        Recorder capture;
        QList<int> codes;
        Recorder::Setup st;
        st.fileName = m_dir.filePath(QStringLiteral("gaps.avi"));
        st.parms.dwRequestMicroSecPerFrame = usPerFrame;
        st.frameSize = {160, 120};
        st.codec = CodecChoice{};
        st.status = [&](int c) { codes << c; };
        QVERIFY(capture.start(st));
        // A 30 fps device for one second, in real time.
        const int64_t t0 = nowUs();
        for (int i = 0; i < 30; ++i) {
            const int64_t due = t0 + i * 33333;
            while (nowUs() < due)
                QThread::usleep(500);
            if (!missing.contains(i))
                capture.pushFrame(syntheticFrame(uint64_t(i), due));
        }
        QCOMPARE(capture.framesDropped(), dropped);
        QVERIFY(capture.stop());
        QVERIFY(!capture.stop()); // twice is harmless
        QCOMPARE(codes, (QList<int>{kStatusCaptureStart, kStatusCaptureEnd}));
        // Slots of lost frames are filled: two seconds stay two seconds.
        const QJsonObject v = probeStream(ffprobe(st.fileName), QStringLiteral("video"));
        const int expected = int(std::lround(1e6 / usPerFrame));
        QVERIFY2(std::abs(probeInt(v, "nb_read_packets") - expected) <= 1,
                 qPrintable(QString::number(probeInt(v, "nb_read_packets"))));
    }

    // An exclusive recording ("Exclusive Task") no longer holds the caller in
    // a loop of its own: start returns while it runs, the end still comes by
    // the status callback, and the file is whole.
    void exclusiveStartReturnsAtOnce_data()
    {
        QTest::addColumn<uint32_t>("limit");
        QTest::addColumn<bool>("stopTwice");
        QTest::newRow("time limit") << 1u << false;
        QTest::newRow("stopped, twice") << 0u << true;
    }
    void exclusiveStartReturnsAtOnce()
    {
        QFETCH(uint32_t, limit);
        QFETCH(bool, stopTwice);
        Rig rig;
        Recorder::Setup st = rig.setup(m_dir.filePath(QStringLiteral("exclusive.avi")), 66667, limit);
        st.parms.fYield = 0;
        QVERIFY(rig.capture.start(st));
        // Back before the end: nothing ran the event loop in between.
        QVERIFY(rig.capture.capturing());
        QCOMPARE(rig.codes, QList<int>{kStatusCaptureStart});
        if (stopTwice) {
            QTest::qWait(1000);
            QVERIFY(rig.capture.stop());
            QVERIFY(!rig.capture.stop());
        }
        QTRY_COMPARE_WITH_TIMEOUT(rig.codes, (QList<int>{kStatusCaptureStart, kStatusCaptureEnd}), 10000);
        QVERIFY(!rig.capture.capturing());
        QVERIFY(rig.capture.errorText().isEmpty());
        QVERIFY(decodesCleanly(st.fileName));
        const QJsonObject v = probeStream(ffprobe(st.fileName), QStringLiteral("video"));
        QCOMPARE(v.value(QStringLiteral("r_frame_rate")).toString(), QStringLiteral("15/1"));
        const int packets = probeInt(v, "nb_read_packets");
        if (limit > 0)
            QVERIFY2(std::abs(packets - 15) <= 1, qPrintable(QString::number(packets)));
        else
            QVERIFY2(packets >= 12, qPrintable(QString::number(packets)));
        QTest::qWait(100);
        QCOMPARE(rig.codes.count(kStatusCaptureEnd), 1);
    }

    void unwritableFileFailsTheStart()
    {
        Rig rig;
        const QString blocker = m_dir.filePath(QStringLiteral("notafolder"));
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep");
        f.close();
        Recorder::Setup st = rig.setup(blocker + QStringLiteral("/movie.avi"), 66667, 1);
        QVERIFY(!rig.capture.start(st));
        QVERIFY(!rig.capture.capturing());
        QVERIFY(!rig.capture.errorText().isEmpty());
        QVERIFY(rig.codes.isEmpty());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("keep"));
        QVERIFY(!rig.capture.openSingle(blocker + QStringLiteral("/single.avi"), st.parms));
        QVERIFY(!rig.capture.captureOne(syntheticFrame(0, nowUs())));
    }

    // A disk that fills up ends the recording with the reason; the count
    // reported is what the mended file holds, and a file that could take
    // nothing at all is not left behind.
    void fullDisk_data()
    {
        QTest::addColumn<bool>("fullAtOnce");
        QTest::newRow("full part way") << false;
        QTest::newRow("full from the start") << true;
    }
    void fullDisk()
    {
        QFETCH(bool, fullAtOnce);
        ScopedTmpfs disk(fullAtOnce);
        if (!disk.mounted())
            QSKIP("cannot mount a tmpfs here (mounting needs root)");
        Rig rig({640, 480}, 30);
        const QString file = disk.path(QStringLiteral("full.avi"));
        const Recorder::Setup st = rig.setup(file, 33333, 10);
        if (fullAtOnce) {
            QVERIFY(!rig.capture.start(st));
            QVERIFY2(rig.capture.errorText().contains(QStringLiteral("disk is full")), qPrintable(rig.capture.errorText()));
            QVERIFY(rig.codes.isEmpty());
            QVERIFY(!QFile::exists(file));
            return;
        }
        QVERIFY(rig.capture.start(st));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.capture.capturing(), 9000);
        QCOMPARE(rig.codes, (QList<int>{kStatusCaptureStart, kStatusCaptureEnd}));
        QVERIFY2(rig.capture.errorText().contains(QStringLiteral("disk is full")), qPrintable(rig.capture.errorText()));
        const int held = countFrames(file);
        QVERIFY2(held > 0, qPrintable(QString::number(held)));
        QCOMPARE(int(rig.capture.framesCaptured()), held);
        QVERIFY(decodesCleanly(file));
    }

    void deviceLossEndsWithAPlayableFile()
    {
        Recorder capture;
        QList<int> codes;
        Recorder::Setup st;
        st.fileName = m_dir.filePath(QStringLiteral("lost.avi"));
        st.parms.dwRequestMicroSecPerFrame = 66667;
        st.frameSize = {160, 120};
        st.codec = CodecChoice{};
        st.status = [&](int c) { codes << c; };
        QVERIFY(capture.start(st));
        const int64_t t0 = nowUs();
        for (int i = 0; i < 15; ++i)
            capture.pushFrame(syntheticFrame(uint64_t(i), t0 + i * 66667));
        capture.deviceLost();
        capture.deviceLost(); // a second report changes nothing
        QTRY_VERIFY_WITH_TIMEOUT(!capture.capturing(), 3000);
        QTest::qWait(50);
        QCOMPARE(codes, (QList<int>{kStatusCaptureStart, kStatusCaptureEnd}));
        const QJsonObject v = probeStream(ffprobe(st.fileName), QStringLiteral("video"));
        QVERIFY(probeInt(v, "nb_read_packets") >= 14);
        QVERIFY(decodesCleanly(st.fileName));
    }

    // YUV frames go to the file as they are: no RGB picture is made for a
    // recording (streaming or frame by frame), and the file shows the pattern.
    void yuvFramesAreRecordedWithoutAnRgbPicture_data()
    {
        QTest::addColumn<bool>("single");
        QTest::newRow("streaming") << false;
        QTest::newRow("frame by frame") << true;
    }
    void yuvFramesAreRecordedWithoutAnRgbPicture()
    {
        QFETCH(bool, single);
        TestPatternSettings s;
        s.size = {320, 240};
        std::atomic<int> made{0};
        const auto frame = [&](uint64_t n, int64_t t) {
            auto f = std::make_shared<VideoFrame>();
            TestPattern::renderYuvInto(f->yuv, n, s);
            f->makePicture = [&made, n, s] {
                ++made;
                return TestPattern::render(n, s);
            };
            f->sequence = n;
            f->timestampUs = t;
            return FramePtr(f);
        };
        const QString file = m_dir.filePath(QStringLiteral("yuv-%1.avi").arg(single));
        Recorder capture;
        if (single) {
            CaptureParms parms;
            parms.dwRequestMicroSecPerFrame = 66667;
            QVERIFY(capture.openSingle(file, parms, {}, CodecChoice{}));
            for (int i = 0; i < 10; ++i)
                QVERIFY(capture.captureOne(frame(uint64_t(i), nowUs())));
            QVERIFY(capture.closeSingle());
        } else {
            Recorder::Setup st;
            st.fileName = file;
            st.parms.dwRequestMicroSecPerFrame = 66667;
            st.frameSize = s.size;
            st.codec = CodecChoice{};
            QVERIFY(capture.start(st));
            const int64_t t0 = nowUs();
            for (int i = 0; i < 10; ++i)
                capture.pushFrame(frame(uint64_t(i), t0 + i * 66667));
            QTest::qWait(700);
            capture.stop();
            QCOMPARE(capture.framesDropped(), 0u);
        }
        QCOMPARE(made.load(), 0);
        const QJsonObject v = probeStream(ffprobe(file), QStringLiteral("video"));
        QCOMPARE(v.value(QStringLiteral("codec_name")).toString(), QStringLiteral("mjpeg"));
        QCOMPARE(probeInt(v, "width"), 320);
        QVERIFY(probeInt(v, "nb_read_packets") >= 10);
        QVERIFY(decodesCleanly(file));
        // Frame 5 as ffmpeg decodes it is the pattern's frame 5.
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), file,
                                                QStringLiteral("-vf"), QStringLiteral("select=eq(n\\,5)"),
                                                QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-f"),
                                                QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"),
                                                QStringLiteral("rgb24"), QStringLiteral("-")});
        QVERIFY(ffmpeg.waitForFinished(30000));
        const QByteArray rgb = ffmpeg.readAllStandardOutput();
        QCOMPARE(rgb.size(), qsizetype(320 * 240 * 3));
        const QImage expected = TestPattern::render(5, s);
        double sum = 0;
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320 * 3; ++x)
                sum += std::abs(int(uchar(rgb[y * 320 * 3 + x])) - int(expected.constScanLine(y)[x]));
        QVERIFY2(sum / (320 * 240 * 3) < 4.0, qPrintable(QString::number(sum / (320 * 240 * 3))));
    }

    void singleFramesAtTheSetRate_data()
    {
        QTest::addColumn<uint32_t>("usPerFrame");
        QTest::addColumn<QString>("rateText");
        QTest::addColumn<int>("calls");
        QTest::addColumn<bool>("sizeKnown");
        QTest::newRow("1 frame at 15") << 66667u << "15/1" << 1 << true;
        QTest::newRow("7 frames at 29.97") << 33367u << "30000/1001" << 7 << false;
        QTest::newRow("12 frames at 1") << 1000000u << "1/1" << 12 << true;
    }
    void singleFramesAtTheSetRate()
    {
        QFETCH(uint32_t, usPerFrame);
        QFETCH(QString, rateText);
        QFETCH(int, calls);
        QFETCH(bool, sizeKnown);
        Recorder capture;
        const QString file = m_dir.filePath(QStringLiteral("single.avi"));
        CaptureParms parms;
        parms.dwRequestMicroSecPerFrame = usPerFrame;
        QVERIFY(capture.openSingle(file, parms, sizeKnown ? QSize(160, 120) : QSize(), CodecChoice{}));
        QVERIFY(!capture.captureOne(nullptr));
        for (int i = 0; i < calls; ++i)
            QVERIFY(capture.captureOne(syntheticFrame(uint64_t(i), nowUs())));
        QVERIFY(capture.closeSingle());
        QVERIFY(!capture.closeSingle());
        const QJsonObject v = probeStream(ffprobe(file), QStringLiteral("video"));
        QCOMPARE(probeInt(v, "nb_read_packets"), calls);
        QCOMPARE(v.value(QStringLiteral("r_frame_rate")).toString(), rateText);
        QVERIFY(decodesCleanly(file));
    }

    void frameRateOfRequestedPeriod_data()
    {
        QTest::addColumn<uint32_t>("us");
        QTest::addColumn<int>("num");
        QTest::addColumn<int>("den");
        QTest::newRow("12") << 83333u << 12 << 1;
        QTest::newRow("15") << 66667u << 15 << 1;
        QTest::newRow("29.97") << 33367u << 30000 << 1001;
        QTest::newRow("30") << 33333u << 30 << 1;
        QTest::newRow("23.976") << 41708u << 24000 << 1001;
        QTest::newRow("1") << 1000000u << 1 << 1;
        QTest::newRow("odd period") << 40400u << 2500 << 101;
        QTest::newRow("none") << 0u << 15 << 1;
    }
    void frameRateOfRequestedPeriod()
    {
        QFETCH(uint32_t, us);
        QFETCH(int, num);
        QFETCH(int, den);
        int n = 0, d = 0;
        Recorder::frameRateOf(us, &n, &d);
        QCOMPARE(n, num);
        QCOMPARE(d, den);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(RecordingTest)
#include "recording_test.moc"
