#include "../movie/ffprobe.h"
#include "capture/drivercatalogue.h"
#include "capture/recorder.h"
#include "capture/testpatterndriver.h"
#include "capture/v4l2/frameconverter.h"
#include "capture/v4l2/v4l2devices.h"
#include "capture/v4l2/v4l2driver.h"
#include "movie/ffmpegptr.h"
#include "collectedframes.h"
#include "v4l2_replayio.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <linux/videodev2.h>
#include <mutex>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

using namespace lv;
using namespace lv::v4l2;

namespace {

QString dataPath(const QString& name)
{
    return qEnvironmentVariable("LUMIVARK_TEST_SOURCE_DIR") + QStringLiteral("/tests/capture/data/v4l2/") + name;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// Mean and largest difference of two RGB pictures, per channel value.
std::pair<double, int> difference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    if (x.size() != y.size())
        return {255.0, 255};
    int64_t sum = 0;
    int worst = 0;
    for (int r = 0; r < x.height(); ++r) {
        const uchar* p = x.constScanLine(r);
        const uchar* q = y.constScanLine(r);
        for (int i = 0; i < x.width() * 3; ++i) {
            const int dv = std::abs(int(p[i]) - int(q[i]));
            sum += dv;
            worst = std::max(worst, dv);
        }
    }
    return {double(sum) / (x.width() * x.height() * 3), worst};
}

// What ffmpeg prints on stdout for the arguments, with `input` on its stdin.
QByteArray ffmpegOutput(const QStringList& args, const QByteArray& input = {})
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-v"), QStringLiteral("error")} + args);
    if (!p.waitForStarted())
        return {};
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

QByteArray firstVideoPacket(const QString& file)
{
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, QFile::encodeName(file).constData(), nullptr, nullptr) < 0)
        return {};
    ff::InputPtr in(raw);
    ff::PacketPtr pkt(av_packet_alloc());
    while (av_read_frame(in.get(), pkt.get()) >= 0) {
        if (in->streams[pkt->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            return QByteArray(reinterpret_cast<const char*>(pkt->data), pkt->size);
        av_packet_unref(pkt.get());
    }
    return {};
}

} // namespace

class V4l2Test : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_replay = std::make_unique<ReplayIo>(dataPath(QStringLiteral("replaycam.json")));
        setIo(m_replay.get());
    }
    void cleanup()
    {
        setIo(nullptr);
        QCOMPARE(m_replay->openDescriptors(), 0);
        QCOMPARE(m_replay->mappedBuffers(), 0);
        m_replay.reset();
    }
    void initTestCase() { av_log_set_level(AV_LOG_ERROR); }

    void enumeratesCaptureNodesOnly()
    {
        const std::vector<DeviceInfo> devices = listDevices();
        QCOMPARE(int(devices.size()), 2); // the metadata node is not a camera
        QCOMPARE(devices[0].path, QStringLiteral("/dev/video0"));
        QCOMPARE(devices[0].card, QStringLiteral("Replay HD Camera"));
        QCOMPARE(devices[0].version, QStringLiteral("uvcvideo 6.1.0"));
        QCOMPARE(devices[1].path, QStringLiteral("/dev/video2"));
        QCOMPARE(devices[1].version, QStringLiteral("vivid 5.10.3"));

        // Cameras come before the test pattern in the program's driver list.
        qputenv("LUMIVARK_TEST_DEVICE", "1");
        SystemDriverCatalogue catalogue;
        QString name, version;
        QVERIFY(catalogue.describe(0, &name, &version));
        QCOMPARE(name, QStringLiteral("Replay HD Camera"));
        QVERIFY(catalogue.describe(1, &name, &version));
        QCOMPARE(name, QStringLiteral("Replay Second Camera"));
        QVERIFY(catalogue.describe(2, &name, &version));
        QCOMPARE(name, TestPatternDriver::driverName());
        QVERIFY(!catalogue.describe(3, &name, &version));
        auto driver = catalogue.create(0);
        QVERIFY(driver);
        QCOMPARE(driver->name(), QStringLiteral("Replay HD Camera"));
        QCOMPARE(driver->captureSystem(), QStringLiteral("V4L2 (uvcvideo 6.1.0)"));
        QVERIFY(driver->open());
        QCOMPARE(driver->frameSize(), QSize(160, 120));
        QCOMPARE(driver->frameRate(), 30.0);
        QVERIFY(!driver->hasOverlay());
        driver->close();
        driver->close(); // twice is harmless
    }

    void formatChoicesListWhatCanBeShown()
    {
        V4l2Driver driver(listDevices().front());
        QVERIFY(driver.open());
        const auto formats = driver.formatChoices();
        QCOMPARE(int(formats.size()), 2); // H.264 cannot be shown live
        QCOMPARE(fourccText(formats[0].fourcc), QStringLiteral("YUYV"));
        QCOMPARE(formats[0].description, QStringLiteral("YUYV 4:2:2"));
        QCOMPARE(int(formats[0].sizes.size()), 2);
        QCOMPARE(formats[0].sizes[0].size, QSize(160, 120));
        QCOMPARE(int(formats[0].sizes[0].intervals.size()), 2);
        QCOMPARE(formats[0].sizes[0].intervals[1].rate(), 15.0);
        QCOMPARE(formats[0].sizes[1].size, QSize(320, 240));
        QCOMPARE(fourccText(formats[1].fourcc), QStringLiteral("MJPG"));
        QVERIFY(std::abs(formats[1].sizes[0].intervals[1].rate() - 29.97) < 0.001);

        QVERIFY(driver.applyFormat(V4L2_PIX_FMT_YUYV, {320, 240}, {1, 15}));
        QCOMPARE(driver.frameSize(), QSize(320, 240));
        QCOMPARE(driver.frameRate(), 15.0);
        QVERIFY(!driver.applyFormat(v4l2_fourcc('H', '2', '6', '4'), {160, 120}, {1, 30}));
    }

    void controlsAreReadAndSet()
    {
        V4l2Driver driver(listDevices().front());
        QVERIFY(driver.open());
        const auto controls = driver.controls();
        QStringList names;
        for (const ControlInfo& c : controls)
            names << c.name;
        // The disabled control is not offered.
        QCOMPARE(names, (QStringList{QStringLiteral("Brightness"), QStringLiteral("Contrast"),
                                     QStringLiteral("White Balance, Automatic"),
                                     QStringLiteral("Power Line Frequency")}));
        QCOMPARE(int(controls[0].type), int(ControlInfo::Type::Integer));
        QCOMPARE(controls[0].minimum, -64);
        QCOMPARE(controls[0].maximum, 64);
        QCOMPARE(controls[0].value, 10);
        QCOMPARE(int(controls[2].type), int(ControlInfo::Type::Boolean));
        QCOMPARE(int(controls[3].type), int(ControlInfo::Type::Menu));
        QCOMPARE(controls[3].value, 2);
        QCOMPARE(int(controls[3].menu.size()), 3);
        QCOMPARE(controls[3].menu[1].second, QStringLiteral("50 Hz"));

        QVERIFY(driver.setControl(V4L2_CID_BRIGHTNESS, -20));
        QCOMPARE(m_replay->controlValue(QStringLiteral("/dev/video0"), V4L2_CID_BRIGHTNESS), -20);
        QVERIFY(!driver.setControl(V4L2_CID_BRIGHTNESS, 500)); // out of range
        QCOMPARE(driver.controls()[0].value, -20);
    }

    void keptSettingsComeBackOnTheSameCamera()
    {
        CaptureDriver::Settings kept;
        {
            V4l2Driver a(listDevices().front());
            QVERIFY(a.open());
            // Bus place and card: the same camera whatever node it gets.
            QCOMPARE(a.identity(), QStringLiteral("v4l2:replay:Replay HD Camera"));
            QVERIFY(a.applyFormat(V4L2_PIX_FMT_MJPEG, {160, 120}, {1001, 30000}));
            QVERIFY(a.setControl(V4L2_CID_BRIGHTNESS, -20));
            kept = a.keptSettings();
            // Someone else puts the camera back to its first format and brightness.
            QVERIFY(a.applyFormat(V4L2_PIX_FMT_YUYV, {160, 120}, {1, 30}));
            QVERIFY(a.setControl(V4L2_CID_BRIGHTNESS, 10));
        }
        V4l2Driver b(listDevices().front());
        QVERIFY(b.open());
        b.applyKeptSettings(kept);
        QCOMPARE(fourccText(b.currentFormat().fourcc), QStringLiteral("MJPG"));
        QCOMPARE(b.currentFormat().interval, (Interval{1001, 30000}));
        QCOMPARE(m_replay->controlValue(QStringLiteral("/dev/video0"), V4L2_CID_BRIGHTNESS), -20);

        // A format or value the camera does not offer is left out, not forced.
        CaptureDriver::Settings bad = kept;
        bad.insert(QStringLiteral("width"), QStringLiteral("4096"));
        bad.insert(QStringLiteral("control-%1").arg(V4L2_CID_BRIGHTNESS), QStringLiteral("500"));
        QVERIFY(b.applyFormat(V4L2_PIX_FMT_YUYV, {320, 240}, {1, 15}));
        b.applyKeptSettings(bad);
        QCOMPARE(b.frameSize(), QSize(320, 240));
        QCOMPARE(fourccText(b.currentFormat().fourcc), QStringLiteral("YUYV"));
        QCOMPARE(m_replay->controlValue(QStringLiteral("/dev/video0"), V4L2_CID_BRIGHTNESS), -20);
    }

    void conversionMatchesReference_data()
    {
        QTest::addColumn<uint32_t>("fourcc");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("reference");
        QTest::addColumn<int>("engine");
        QTest::addColumn<double>("meanLimit");
        const auto sws = int(FrameConverter::Engine::Swscale);
        const auto v4l = int(FrameConverter::Engine::V4lConvert);
        QTest::newRow("YUYV, swscale") << uint32_t(V4L2_PIX_FMT_YUYV) << "yuyv_160x120.yuv"
                                       << "yuyv_160x120_ref.ppm" << sws << 1.5;
        // libv4lconvert takes YUYV luma as full range: its colours stay within
        // a few steps of the studio-range reference, but not within one.
        QTest::newRow("YUYV, libv4lconvert") << uint32_t(V4L2_PIX_FMT_YUYV) << "yuyv_160x120.yuv"
                                             << "yuyv_160x120_ref.ppm" << v4l << 12.0;
        QTest::newRow("MJPEG, swscale") << uint32_t(V4L2_PIX_FMT_MJPEG) << "mjpeg_160x120.jpg"
                                        << "mjpeg_160x120_ref.ppm" << sws << 1.5;
        QTest::newRow("MJPEG, libv4lconvert") << uint32_t(V4L2_PIX_FMT_MJPEG) << "mjpeg_160x120.jpg"
                                              << "mjpeg_160x120_ref.ppm" << v4l << 1.5;
    }
    void conversionMatchesReference()
    {
        QFETCH(uint32_t, fourcc);
        QFETCH(QString, input);
        QFETCH(QString, reference);
        QFETCH(int, engine);
        QFETCH(double, meanLimit);
        const QByteArray bytes = readFile(dataPath(input));
        QVERIFY(!bytes.isEmpty());
        FrameConverter conv{static_cast<FrameConverter::Engine>(engine)};
        QImage out;
        QVERIFY(conv.convert(fourcc, {160, 120}, 0, reinterpret_cast<const uint8_t*>(bytes.constData()),
                             size_t(bytes.size()), &out));
        QCOMPARE(out.format(), QImage::Format_RGB888);
        QCOMPARE(out.size(), QSize(160, 120));
        const QImage ref(dataPath(reference));
        QVERIFY(!ref.isNull());
        const auto [mean, worst] = difference(out, ref);
        QVERIFY2(mean <= meanLimit && worst <= 80, qPrintable(QStringLiteral("mean %1, worst %2").arg(mean).arg(worst)));

        // A short or damaged buffer is refused, not read past its end.
        QImage bad;
        QVERIFY(!conv.convert(fourcc, {160, 120}, 0, reinterpret_cast<const uint8_t*>(bytes.constData()), 100, &bad));
    }

    // Camera frames of sizes whose width is no multiple of 16 come out as
    // ffmpeg converts the same bytes, to the last column.
    void oddSizesMatchFfmpeg_data()
    {
        QTest::addColumn<uint32_t>("fourcc");
        QTest::addColumn<QString>("ffmpegFormat");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("engine");
        const auto sws = int(FrameConverter::Engine::Swscale);
        const auto v4l = int(FrameConverter::Engine::V4lConvert);
        for (const QSize size : {QSize(322, 242), QSize(648, 486), QSize(1366, 768)}) {
            const QByteArray tag = QByteArray::number(size.width()) + 'x' + QByteArray::number(size.height());
            QTest::newRow("YUYV, swscale " + tag) << uint32_t(V4L2_PIX_FMT_YUYV) << "yuyv422" << size << sws;
            QTest::newRow("MJPEG 4:2:2, swscale " + tag) << uint32_t(V4L2_PIX_FMT_MJPEG) << "yuvj422p" << size << sws;
            QTest::newRow("MJPEG 4:2:0, swscale " + tag) << uint32_t(V4L2_PIX_FMT_MJPEG) << "yuvj420p" << size << sws;
            QTest::newRow("MJPEG 4:2:2, libv4lconvert " + tag) << uint32_t(V4L2_PIX_FMT_MJPEG) << "yuvj422p" << size
                                                               << v4l;
            QTest::newRow("NV12 " + tag) << uint32_t(V4L2_PIX_FMT_NV12) << "nv12" << size << sws;
            QTest::newRow("I420 " + tag) << uint32_t(V4L2_PIX_FMT_YUV420) << "yuv420p" << size << sws;
        }
    }
    void oddSizesMatchFfmpeg()
    {
        QFETCH(uint32_t, fourcc);
        QFETCH(QString, ffmpegFormat);
        QFETCH(QSize, size);
        QFETCH(int, engine);
        const QString dims = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
        const bool jpeg = fourcc == V4L2_PIX_FMT_MJPEG;
        const QStringList source{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                 QStringLiteral("testsrc2=size=%1:rate=1").arg(dims), QStringLiteral("-frames:v"),
                                 QStringLiteral("1"), QStringLiteral("-pix_fmt"), ffmpegFormat};
        const QStringList container = jpeg ? QStringList{QStringLiteral("-q:v"), QStringLiteral("2"),
                                                         QStringLiteral("-f"), QStringLiteral("mjpeg")}
                                           : QStringList{QStringLiteral("-f"), QStringLiteral("rawvideo")};
        const QByteArray frame = ffmpegOutput(source + container + QStringList{QStringLiteral("-")});
        QVERIFY(!frame.isEmpty());
        // ffmpeg's own reading of the very bytes the camera would hand over.
        const QStringList in = jpeg ? QStringList{QStringLiteral("-f"), QStringLiteral("mjpeg")}
                                    : QStringList{QStringLiteral("-f"), QStringLiteral("rawvideo"),
                                                  QStringLiteral("-pix_fmt"), ffmpegFormat, QStringLiteral("-s"), dims};
        const QByteArray rgb = ffmpegOutput(in + QStringList{QStringLiteral("-i"), QStringLiteral("-"),
                                                             QStringLiteral("-f"), QStringLiteral("rawvideo"),
                                                             QStringLiteral("-pix_fmt"), QStringLiteral("rgb24"),
                                                             QStringLiteral("-")},
                                            frame);
        QCOMPARE(rgb.size(), qsizetype(size.width()) * size.height() * 3);
        const QImage ref(reinterpret_cast<const uchar*>(rgb.constData()), size.width(), size.height(), size.width() * 3,
                         QImage::Format_RGB888);

        FrameConverter conv{static_cast<FrameConverter::Engine>(engine)};
        QImage out;
        QVERIFY(conv.convert(fourcc, size, 0, reinterpret_cast<const uint8_t*>(frame.constData()),
                             size_t(frame.size()), &out));
        QCOMPARE(out.size(), size);
        const auto [mean, worst] = difference(out, ref);
        // The last columns alone: a few unwritten pixels hardly move the mean.
        const int edge = 16;
        const auto [edgeMean, edgeWorst] = difference(out.copy(size.width() - edge, 0, edge, size.height()),
                                                      ref.copy(size.width() - edge, 0, edge, size.height()));
        // libv4lconvert decodes JPEG with its own upsampling, a step or two off ffmpeg's.
        const double meanLimit = engine == int(FrameConverter::Engine::Swscale) ? 1.5 : 3.0;
        QVERIFY2(mean <= meanLimit && edgeMean <= 3,
                 qPrintable(QStringLiteral("mean %1 (worst %2), last columns %3 (worst %4)")
                                .arg(mean)
                                .arg(worst)
                                .arg(edgeMean)
                                .arg(edgeWorst)));
    }

    void streamsCountsGapsAndEndsWhenTheDeviceVanishes_data()
    {
        QTest::addColumn<uint32_t>("fourcc");
        QTest::newRow("YUYV") << uint32_t(V4L2_PIX_FMT_YUYV);
        QTest::newRow("MJPEG") << uint32_t(V4L2_PIX_FMT_MJPEG);
    }
    void streamsCountsGapsAndEndsWhenTheDeviceVanishes()
    {
        QFETCH(uint32_t, fourcc);
        V4l2Driver driver(listDevices().front());
        QVERIFY(driver.open());
        QVERIFY(driver.applyFormat(fourcc, {160, 120}, {1, 30}));
        Collected got;
        QVERIFY(driver.start(got.frameSink(), got.errorSink()));
        QTRY_COMPARE_WITH_TIMEOUT(got.errorCount(), 1, 5000);
        QTest::qWait(100);
        QCOMPARE(got.errorCount(), 1);
        QCOMPARE(int(got.frameCount()), 8);
        std::vector<uint64_t> seqs;
        for (const FramePtr& f : got.frames)
            seqs.push_back(f->sequence);
        QCOMPARE(seqs, (std::vector<uint64_t>{0, 1, 2, 3, 7, 8, 9, 10}));
        const FramePtr& f = got.frames.front();
        QCOMPARE(f->picture().size(), QSize(160, 120));
        QVERIFY(got.frames.back()->timestampUs > f->timestampUs);
        if (fourcc == V4L2_PIX_FMT_MJPEG)
            QCOMPARE(f->jpeg, readFile(dataPath(QStringLiteral("mjpeg_160x120.jpg"))));
        else
            QVERIFY(f->jpeg.isEmpty());
        driver.stop();
        driver.close();
    }

    // The camera into a Motion JPEG recording: the device's JPEG goes in
    // unchanged, its sequence gap counts as dropped, and its loss ends the
    // recording with a playable file.
    void recordingFromTheCamera()
    {
        QTemporaryDir dir;
        V4l2Driver driver(listDevices().front());
        QVERIFY(driver.open());
        QVERIFY(driver.applyFormat(V4L2_PIX_FMT_MJPEG, {160, 120}, {1, 30}));
        Recorder capture;
        QList<int> codes;
        QVERIFY(driver.start([&](const FramePtr& f) { capture.pushFrame(f); },
                             [&](const QString&) { capture.deviceLost(); }));
        Recorder::Setup st;
        st.fileName = dir.filePath(QStringLiteral("camera.avi"));
        st.parms.dwRequestMicroSecPerFrame = 33333;
        st.driver = &driver;
        st.codec = CodecChoice{};
        st.status = [&](int c) { codes << c; };
        QVERIFY(capture.start(st));
        QTRY_VERIFY_WITH_TIMEOUT(!capture.capturing(), 5000);
        QCOMPARE(codes, (QList<int>{kStatusCaptureStart, kStatusCaptureEnd}));
        QCOMPARE(capture.framesDropped(), 3u);
        driver.close();
        QCOMPARE(firstVideoPacket(st.fileName), readFile(dataPath(QStringLiteral("mjpeg_160x120.jpg"))));
        const QJsonObject v = probeStream(ffprobe(st.fileName), QStringLiteral("video"));
        QCOMPARE(v.value(QStringLiteral("codec_name")).toString(), QStringLiteral("mjpeg"));
        QVERIFY(probeInt(v, "nb_read_packets") >= 8);
        QVERIFY(decodesCleanly(st.fileName));
    }

    void missingNodeDoesNotOpen()
    {
        V4l2Driver driver(DeviceInfo{QStringLiteral("/dev/video9"), QStringLiteral("Gone"), {}});
        QVERIFY(!driver.open());
        QVERIFY(!driver.start({}, {}));
        QVERIFY(!driver.showFormatDialog(nullptr));
        driver.close();
    }

private:
    std::unique_ptr<ReplayIo> m_replay;
};

QTEST_GUILESS_MAIN(V4l2Test)
#include "v4l2_test.moc"
