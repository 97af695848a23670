#include "../movie/ffprobe.h"
#include "capture/drivercatalogue.h"
#include "capture/capturesession.h"
#include "capture/devicewatcher.h"
#include "capture/pipewire/pwdriver.h"
#include "capture/pipewire/pwportal.h"
#include "capture/pipewire/pwsession.h"
#include "capture/recorder.h"
#include "capture/testpatterndriver.h"
#include "collectedframes.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QTest>
#include <linux/videodev2.h>
#include <csignal>
#include <memory>
#include <mutex>
#include <sys/types.h>

extern "C" {
#include <libavutil/log.h>
}

using namespace lv;
using namespace lv::pipewire;

namespace {

// Mean difference of two pictures, per channel value.
double meanDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    if (x.size() != y.size())
        return 255.0;
    int64_t sum = 0;
    for (int r = 0; r < x.height(); ++r) {
        const uchar* p = x.constScanLine(r);
        const uchar* q = y.constScanLine(r);
        for (int i = 0; i < x.width() * 3; ++i)
            sum += std::abs(int(p[i]) - int(q[i]));
    }
    return double(sum) / (double(x.width()) * x.height() * 3);
}

// The gst-launch caps that publish a picture as the given format.
QStringList publishPipeline(const QString& format, const QString& description, int width, int height, int rate,
                            const QString& extraProps)
{
    const QString size = QStringLiteral("width=%1,height=%2,framerate=%3/1").arg(width).arg(height).arg(rate);
    QStringList args{QStringLiteral("-q"), QStringLiteral("videotestsrc"), QStringLiteral("is-live=true"),
                     QStringLiteral("!")};
    if (format == u"MJPEG")
        args << QStringLiteral("video/x-raw,format=I420,") + size << QStringLiteral("!") << QStringLiteral("jpegenc")
             << QStringLiteral("!") << QStringLiteral("image/jpeg,") + size;
    else
        args << QStringLiteral("video/x-raw,format=%1,").arg(format) + size;
    args << QStringLiteral("!") << QStringLiteral("pipewiresink") << QStringLiteral("mode=provide")
         << QStringLiteral("stream-properties=props,media.class=(string)\"Video/Source\",media.role=(string)Camera,"
                           "node.description=(string)%1%2")
                .arg(description, extraProps);
    return args;
}

std::optional<SourceInfo> findSource(const QString& description)
{
    for (const SourceInfo& s : listSources())
        if (s.description == description)
            return s;
    return std::nullopt;
}

// Processes that keep every core busy while they live.
class CpuLoad {
public:
    explicit CpuLoad(int count)
    {
        for (int i = 0; i < count; ++i) {
            auto p = std::make_unique<QProcess>();
            p->start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
            if (p->waitForStarted(5000))
                m_spinners.push_back(std::move(p));
        }
    }
    ~CpuLoad()
    {
        for (auto& p : m_spinners) {
            p->kill();
            p->waitForFinished(3000);
        }
    }
    int running() const { return int(m_spinners.size()); }

private:
    std::vector<std::unique_ptr<QProcess>> m_spinners;
};

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs lumivark-cli with the test's environment (its PipeWire, no test pattern).
CliRun runCli(const QStringList& args, int timeoutMs = 60000)
{
    CliRun r;
#ifdef LUMIVARK_CLI
    QProcess p;
    p.start(QStringLiteral(LUMIVARK_CLI), args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(3000);
        r.err = QStringLiteral("lumivark-cli did not finish");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
#else
    Q_UNUSED(args);
    Q_UNUSED(timeoutMs);
#endif
    return r;
}

} // namespace

// A private PipeWire: its own runtime folder and session bus, a pipewire
// daemon and wireplumber, and test sources published with GStreamer.
class PipeWireTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_runtime;
    std::unique_ptr<QProcess> m_bus;
    std::unique_ptr<QProcess> m_pipewire;
    std::unique_ptr<QProcess> m_wireplumber;
    std::vector<std::unique_ptr<QProcess>> m_publishers;
    QString m_skip;

    std::unique_ptr<QProcess> startDaemon(const QString& program, const QStringList& args)
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->setStandardOutputFile(QProcess::nullDevice());
        p->start(program, args);
        if (!p->waitForStarted(5000))
            return nullptr;
        return p;
    }

    static void stopProcess(std::unique_ptr<QProcess>& p)
    {
        if (!p)
            return;
        p->terminate();
        if (!p->waitForFinished(3000)) {
            p->kill();
            p->waitForFinished(3000);
        }
        p.reset();
    }

    // Starts a publisher and waits until its node is in the graph.
    QProcess* publish(const QString& format, const QString& description, int width = 640, int height = 480,
                      int rate = 30, const QString& extraProps = {})
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->setStandardOutputFile(QProcess::nullDevice());
        p->start(QStringLiteral("gst-launch-1.0"), publishPipeline(format, description, width, height, rate, extraProps));
        if (!p->waitForStarted(5000))
            return nullptr;
        if (!QTest::qWaitFor([&] { return findSource(description).has_value(); }, 15000))
            return nullptr;
        m_publishers.push_back(std::move(p));
        return m_publishers.back().get();
    }

private slots:
    void initTestCase()
    {
        av_log_set_level(AV_LOG_ERROR);
        for (const char* tool : {"pipewire", "wireplumber", "gst-launch-1.0", "dbus-daemon"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("PipeWire daemon cannot start: %1 is not installed")
                                     .arg(QString::fromLatin1(tool))));
        QVERIFY(m_runtime.isValid());
        QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
        qunsetenv("PIPEWIRE_REMOTE");
        qunsetenv("PIPEWIRE_RUNTIME_DIR");
        qputenv("LUMIVARK_TEST_DEVICE", "0");
        qputenv("LUMIVARK_SANDBOXED", "0");
        // wireplumber wants a session bus; a private one keeps the desktop's out.
        m_bus = std::make_unique<QProcess>();
        m_bus->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_bus->start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        QVERIFY(m_bus->waitForReadyRead(5000));
        const QByteArray address = m_bus->readLine().trimmed();
        QVERIFY(!address.isEmpty());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);

        m_pipewire = startDaemon(QStringLiteral("pipewire"), {});
        const QString socket = m_runtime.filePath(QStringLiteral("pipewire-0"));
        if (!m_pipewire || !QTest::qWaitFor([&] { return QFile::exists(socket); }, 10000))
            QSKIP("PipeWire daemon cannot start here: no pipewire-0 socket appeared");
        m_wireplumber = startDaemon(QStringLiteral("wireplumber"), {});
        QVERIFY2(m_wireplumber, "wireplumber did not start");
    }

    void cleanupTestCase()
    {
        for (auto& p : m_publishers)
            stopProcess(p);
        stopProcess(m_wireplumber);
        stopProcess(m_pipewire);
        stopProcess(m_bus);
    }

    void cleanup()
    {
        for (auto& p : m_publishers)
            stopProcess(p);
        m_publishers.clear();
    }

    // Each published format is listed by its description, offers its
    // size and rate in the format dialog, streams at the published rate
    // and shows the published picture.
    void streamsThePublishedPicture_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<uint32_t>("fourcc");
        QTest::addColumn<double>("meanLimit");
        // YUYV goes through libv4lconvert, which takes luma as full range
        // (see the V4L2 conversion tests): a few steps off everywhere.
        QTest::newRow("YUYV") << QStringLiteral("YUY2") << uint32_t(V4L2_PIX_FMT_YUYV) << 12.0;
        QTest::newRow("MJPEG") << QStringLiteral("MJPEG") << uint32_t(V4L2_PIX_FMT_MJPEG) << 3.0;
        QTest::newRow("NV12") << QStringLiteral("NV12") << uint32_t(V4L2_PIX_FMT_NV12) << 3.0;
        QTest::newRow("I420") << QStringLiteral("I420") << uint32_t(V4L2_PIX_FMT_YUV420) << 3.0;
        QTest::newRow("RGB") << QStringLiteral("RGB") << uint32_t(V4L2_PIX_FMT_RGB24) << 1.0;
        QTest::newRow("BGRx") << QStringLiteral("BGRx") << uint32_t(V4L2_PIX_FMT_XBGR32) << 1.0;
    }
    void streamsThePublishedPicture()
    {
        QFETCH(QString, format);
        QFETCH(uint32_t, fourcc);
        QFETCH(double, meanLimit);
        const QString name = QStringLiteral("TestCamera") + QString::fromLatin1(QTest::currentDataTag());
        QVERIFY(publish(format, name));

        SystemDriverCatalogue catalogue;
        int index = -1;
        QString n;
        QString version;
        for (int i = 0; catalogue.describe(i, &n, &version); ++i)
            if (n == name)
                index = i;
        QVERIFY2(index >= 0, "the source is not listed");
        QCOMPARE(version, QStringLiteral("PipeWire"));
        std::unique_ptr<CaptureDriver> driver = catalogue.create(index);
        QVERIFY(driver);
        QCOMPARE(driver->name(), name);
        QVERIFY(driver->open());
        auto* pw = dynamic_cast<PipeWireDriver*>(driver.get());
        QVERIFY(pw);
        const auto formats = pw->formatChoices();
        QCOMPARE(int(formats.size()), 1);
        QCOMPARE(formats.front().fourcc, fourcc);
        QCOMPARE(formats.front().sizes.front().size, QSize(640, 480));
        QCOMPARE(formats.front().sizes.front().intervals.front().rate(), 30.0);
        QCOMPARE(driver->frameSize(), QSize(640, 480));

        Collected got;
        QVERIFY(driver->start(got.frameSink(), got.errorSink()));
        QVERIFY(QTest::qWaitFor([&] { return got.frameCount() > 0; }, 10000));
        const size_t before = got.frameCount();
        QTest::qWait(2000);
        const size_t perTwoSeconds = got.frameCount() - before;
        driver->stop();
        driver->stop();
        QVERIFY2(perTwoSeconds >= 48 && perTwoSeconds <= 66, qPrintable(QString::number(perTwoSeconds)));
        QCOMPARE(got.errorCount(), 0);

        std::lock_guard l(got.mutex);
        uint64_t gaps = 0;
        for (size_t i = 1; i < got.frames.size(); ++i) {
            QVERIFY(got.frames[i]->sequence > got.frames[i - 1]->sequence);
            gaps += got.frames[i]->sequence - got.frames[i - 1]->sequence - 1;
        }
        QVERIFY2(gaps < 5, qPrintable(QString::number(gaps)));
        const FramePtr& f = got.frames.back();
        QCOMPARE(f->picture().size(), QSize(640, 480));
        QCOMPARE(f->jpeg.isEmpty(), fourcc != V4L2_PIX_FMT_MJPEG);
        if (!f->jpeg.isEmpty())
            QVERIFY(f->jpeg.startsWith("\xff\xd8"));

        // The same picture straight from GStreamer through the same format.
        QTemporaryDir dir;
        const QString ref = dir.filePath(QStringLiteral("ref.rgb"));
        QStringList pipeline{QStringLiteral("-q"), QStringLiteral("videotestsrc"), QStringLiteral("num-buffers=1"),
                             QStringLiteral("!")};
        if (format == u"MJPEG")
            pipeline << QStringLiteral("video/x-raw,format=I420,width=640,height=480") << QStringLiteral("!")
                     << QStringLiteral("jpegenc") << QStringLiteral("!") << QStringLiteral("jpegdec");
        else
            pipeline << QStringLiteral("video/x-raw,format=%1,width=640,height=480").arg(format);
        pipeline << QStringLiteral("!") << QStringLiteral("videoconvert") << QStringLiteral("!")
                 << QStringLiteral("video/x-raw,format=RGB") << QStringLiteral("!") << QStringLiteral("filesink")
                 << QStringLiteral("location=") + ref;
        QProcess gst;
        gst.start(QStringLiteral("gst-launch-1.0"), pipeline);
        QVERIFY(gst.waitForFinished(30000));
        QFile file(ref);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray raw = file.readAll();
        QCOMPARE(raw.size(), 640 * 480 * 3);
        // The bars only: the pattern's corner of noise changes every frame.
        const QImage expected =
            QImage(reinterpret_cast<const uchar*>(raw.constData()), 640, 480, 640 * 3, QImage::Format_RGB888)
                .copy(0, 0, 640, 320);
        const double mean = meanDifference(f->picture().copy(0, 0, 640, 320), expected);
        QVERIFY2(mean <= meanLimit, qPrintable(QString::number(mean)));
        driver->close();
        driver->close();
    }

    // Three seconds of a 30 frames per second source make a file of about
    // 90 frames; Motion JPEG goes in unchanged.
    void recordsThreeSeconds_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("codec");
        QTest::newRow("YUYV") << QStringLiteral("YUY2") << QString();
        QTest::newRow("MJPEG") << QStringLiteral("MJPEG") << QStringLiteral("mjpeg");
    }
    void recordsThreeSeconds()
    {
        QFETCH(QString, format);
        QFETCH(QString, codec);
        const QString name = QStringLiteral("Recorded") + QString::fromLatin1(QTest::currentDataTag());
        QVERIFY(publish(format, name));
        const auto info = findSource(name);
        QVERIFY(info);
        PipeWireDriver driver(*info);
        QVERIFY(driver.open());
        Recorder capture;
        QList<int> codes;
        QVERIFY(driver.start([&](const FramePtr& f) { capture.pushFrame(f); }, [&](const QString&) { capture.deviceLost(); }));
        QTemporaryDir dir;
        Recorder::Setup st;
        st.fileName = dir.filePath(QStringLiteral("three.avi"));
        st.parms.dwRequestMicroSecPerFrame = 33333;
        st.parms.fLimitEnabled = 1;
        st.parms.wTimeLimit = 3;
        st.driver = &driver;
        st.codec = CodecChoice{};
        st.status = [&](int c) { codes << c; };
        QVERIFY(capture.start(st));
        QTRY_VERIFY_WITH_TIMEOUT(!capture.capturing(), 15000);
        driver.close();
        QCOMPARE(codes, (QList<int>{kStatusCaptureStart, kStatusCaptureEnd}));
        const QJsonObject v = probeStream(ffprobe(st.fileName), QStringLiteral("video"));
        const int frames = probeInt(v, "nb_read_packets");
        QVERIFY2(frames >= 85 && frames <= 92, qPrintable(QString::number(frames)));
        QCOMPARE(probeInt(v, "width"), 640);
        if (!codec.isEmpty())
            QCOMPARE(v.value(QStringLiteral("codec_name")).toString(), codec);
        QVERIFY(decodesCleanly(st.fileName));
    }

    // With every core kept busy by other programs, lumivark-cli still records
    // three seconds of a 30 frames per second camera, run after run.
    void recordsUnderLoad()
    {
#ifndef LUMIVARK_CLI
        QSKIP("lumivark-cli is not built");
#endif
        // On a machine already busy beyond the spinners (a parallel build, a
        // sanitizer run) the source can still stall after its first picture;
        // that recording fails honestly, but the count would not hold. Run on
        // purpose: LUMIVARK_LOAD_TESTS=1 ctest -R pipewire_test
        if (qEnvironmentVariableIntValue("LUMIVARK_LOAD_TESTS") != 1)
            QSKIP("set LUMIVARK_LOAD_TESTS=1 to record under load");
        QVERIFY(publish(QStringLiteral("YUY2"), QStringLiteral("BusyCamera")));
        const CpuLoad load(3);
        QCOMPARE(load.running(), 3);
        QTemporaryDir dir;
        QList<int> counts;
        for (int run = 1; run <= 3; ++run) {
            const QString file = dir.filePath(QStringLiteral("busy%1.avi").arg(run));
            const CliRun r = runCli({QStringLiteral("record"), QStringLiteral("--duration"), QStringLiteral("3"),
                                     QStringLiteral("--rate"), QStringLiteral("30"), file});
            const int frames = countFrames(file);
            counts << frames;
            QVERIFY2(r.exitCode == 0, qPrintable(QStringLiteral("run %1: exit %2: %3").arg(run).arg(r.exitCode).arg(r.err)));
            QVERIFY2(frames >= 84 && frames <= 96, qPrintable(QStringLiteral("run %1: %2 frames").arg(run).arg(frames)));
        }
        qInfo() << "frames under load:" << counts;
    }

    // A camera that stops sending before the first picture: lumivark-cli
    // says so and fails, and writes no movie.
    void sourceStoppedBeforeTheFirstPicture()
    {
#ifndef LUMIVARK_CLI
        QSKIP("lumivark-cli is not built");
#endif
        QProcess* publisher = publish(QStringLiteral("YUY2"), QStringLiteral("Frozen"));
        QVERIFY(publisher);
        // Still in the graph, sending nothing.
        QCOMPARE(::kill(pid_t(publisher->processId()), SIGSTOP), 0);
        const auto resume = qScopeGuard([&] { ::kill(pid_t(publisher->processId()), SIGCONT); });
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("frozen.avi"));
        const CliRun r = runCli({QStringLiteral("record"), QStringLiteral("--duration"), QStringLiteral("2"),
                                 QStringLiteral("--rate"), QStringLiteral("30"), file});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(u"the device delivered no picture"), qPrintable(r.err));
        QVERIFY(!QFile::exists(file));
    }

    // A recording that gets no picture at all (the camera stops after the
    // first one, before the recording starts) ends as a failure with its
    // reason, not as an empty success.
    void recordingWithoutAPictureFails()
    {
        QProcess* publisher = publish(QStringLiteral("YUY2"), QStringLiteral("Stalling"));
        QVERIFY(publisher);
        const auto info = findSource(QStringLiteral("Stalling"));
        QVERIFY(info);
        PipeWireDriver driver(*info);
        QVERIFY(driver.open());
        Recorder capture;
        Collected got;
        QVERIFY(driver.start(
            [&](const FramePtr& f) {
                got.frameSink()(f);
                capture.pushFrame(f);
            },
            [&](const QString&) { capture.deviceLost(); }));
        QTRY_VERIFY_WITH_TIMEOUT(got.frameCount() > 0, 10000);
        QCOMPARE(::kill(pid_t(publisher->processId()), SIGSTOP), 0);
        const auto resume = qScopeGuard([&] { ::kill(pid_t(publisher->processId()), SIGCONT); });
        // Frames already on their way are let through before the recording starts.
        QTest::qWait(500);
        QTemporaryDir dir;
        Recorder::Setup st;
        st.fileName = dir.filePath(QStringLiteral("empty.avi"));
        st.parms.dwRequestMicroSecPerFrame = 33333;
        st.parms.fLimitEnabled = 1;
        st.parms.wTimeLimit = 1;
        st.driver = &driver;
        st.codec = CodecChoice{};
        QList<int> codes;
        st.status = [&](int c) { codes << c; };
        QVERIFY(capture.start(st));
        QTRY_VERIFY_WITH_TIMEOUT(!capture.capturing(), 10000);
        driver.close();
        QCOMPARE(codes, (QList<int>{kStatusCaptureStart, kStatusCaptureEnd}));
        QCOMPARE(capture.framesCaptured(), 0u);
        QCOMPARE(capture.errorText(), QStringLiteral("the device delivered no picture during the recording"));
    }

    // The publisher going away mid-recording ends the recording with a
    // playable file and says why, once.
    void publisherLeavingEndsTheRecording()
    {
        QProcess* publisher = publish(QStringLiteral("MJPEG"), QStringLiteral("Leaving"));
        QVERIFY(publisher);
        const auto info = findSource(QStringLiteral("Leaving"));
        QVERIFY(info);
        PipeWireDriver driver(*info);
        QVERIFY(driver.open());
        Recorder capture;
        Collected got;
        QVERIFY(driver.start([&](const FramePtr& f) { capture.pushFrame(f); },
                             [&](const QString& reason) {
                                 got.errorSink()(reason);
                                 capture.deviceLost();
                             }));
        QTemporaryDir dir;
        Recorder::Setup st;
        st.fileName = dir.filePath(QStringLiteral("lost.avi"));
        st.parms.dwRequestMicroSecPerFrame = 33333;
        st.driver = &driver;
        st.codec = CodecChoice{};
        QVERIFY(capture.start(st));
        QTRY_VERIFY_WITH_TIMEOUT(capture.framesCaptured() >= 30, 10000);
        publisher->kill();
        QTRY_VERIFY_WITH_TIMEOUT(!capture.capturing(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(got.errorCount(), 1, 5000);
        QCOMPARE(got.errors.front(), QStringLiteral("The device has gone."));
        driver.stop();
        driver.close();
        QTRY_VERIFY(!findSource(QStringLiteral("Leaving")));
        const QJsonObject v = probeStream(ffprobe(st.fileName), QStringLiteral("video"));
        QVERIFY(probeInt(v, "nb_read_packets") >= 30);
        QVERIFY(decodesCleanly(st.fileName));
        QCOMPARE(got.errorCount(), 1);
        // The same source cannot be opened again.
        PipeWireDriver again(*info);
        QVERIFY(!again.open());
        QVERIFY(!again.lastError().isEmpty());
        QVERIFY(!again.start({}, {}));
    }

    // A camera PipeWire reaches through a V4L2 node (its object.path names the
    // node, as PipeWire's V4L2 monitor sets it): listed through PipeWire
    // when this program cannot open the node itself.
    void cameraBehindAnUnreachableNode()
    {
        QVERIFY(publish(QStringLiteral("YUY2"), QStringLiteral("BehindNode"), 640, 480, 30,
                        QStringLiteral(",object.path=(string)\"v4l2:/dev/video63\"")));
        const auto info = findSource(QStringLiteral("BehindNode"));
        QVERIFY(info);
        QCOMPARE(info->devicePath, QStringLiteral("/dev/video63"));
        QVERIFY(!QFile::exists(info->devicePath));
        SystemDriverCatalogue catalogue;
        QString n;
        bool listed = false;
        for (int i = 0; catalogue.describe(i, &n, nullptr); ++i)
            listed = listed || n == u"BehindNode";
        QVERIFY(listed);
    }

    // A source published while the program runs shows up, and one that
    // leaves goes, without a restart.
    void deviceListFollowsSources()
    {
        QTemporaryDir dev;
        DeviceWatcher watcher(nullptr, dev.path());
        QVERIFY(watcher.pipewireConnected());
        QSignalSpy changed(&watcher, &DeviceWatcher::changed);
        QProcess* publisher = publish(QStringLiteral("YUY2"), QStringLiteral("LateComer"));
        QVERIFY(publisher);
        QTRY_VERIFY_WITH_TIMEOUT(changed.count() >= 1, 5000);
        SystemDriverCatalogue catalogue;
        QString n;
        bool listed = false;
        for (int i = 0; catalogue.describe(i, &n, nullptr); ++i)
            listed = listed || n == u"LateComer";
        QVERIFY(listed);
        changed.clear();
        publisher->kill();
        QTRY_VERIFY_WITH_TIMEOUT(changed.count() >= 1, 5000);
        catalogue.rescan();
        for (int i = 0; catalogue.describe(i, &n, nullptr); ++i)
            QVERIFY(n != u"LateComer");

        // A video node appearing in the device folder counts too.
        changed.clear();
        QFile node(dev.filePath(QStringLiteral("video7")));
        QVERIFY(node.open(QIODevice::WriteOnly));
        node.close();
        QTRY_VERIFY_WITH_TIMEOUT(changed.count() >= 1, 5000);
        changed.clear();
        QVERIFY(QFile::remove(node.fileName()));
        QTRY_VERIFY_WITH_TIMEOUT(changed.count() >= 1, 5000);
    }

    // Sandboxed, the program asks the camera portal and connects through the
    // remote it hands out; every kind of no is a clear reason, and no wait
    // is longer than the portal timeout.
    void cameraPortal_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("granted") << QStringLiteral("grant") << QString();
        QTest::newRow("refused") << QStringLiteral("refuse") << QStringLiteral("Camera access was refused.");
        QTest::newRow("no camera") << QStringLiteral("nocamera")
                                   << QStringLiteral("Camera access: the desktop portal sees no camera.");
        QTest::newRow("no answer") << QStringLiteral("silent")
                                   << QStringLiteral("Camera access: no answer from the desktop portal.");
        QTest::newRow("no portal") << QString() << QStringLiteral("Camera access: the desktop portal does not answer");
    }
    void cameraPortal()
    {
        QFETCH(QString, mode);
        QFETCH(QString, refusal);
        QVERIFY(publish(QStringLiteral("YUY2"), QStringLiteral("PortalCamera")));
        QProcess portal;
        portal.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (!mode.isEmpty()) {
            const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
            portal.start(python.isEmpty() ? QStringLiteral("python3") : python,
                         {qEnvironmentVariable("LUMIVARK_TEST_SOURCE_DIR") + QStringLiteral("/tests/capture/camera_portal.py"),
                          mode});
            QVERIFY(portal.waitForReadyRead(10000));
            QCOMPARE(portal.readLine().trimmed(), QByteArray("ready"));
        }
        qputenv("LUMIVARK_SANDBOXED", "1");
        qputenv("LUMIVARK_PORTAL_TIMEOUT_MS", "1500");
        forgetPortalAnswer();
        const auto restore = qScopeGuard([&] {
            qputenv("LUMIVARK_SANDBOXED", "0");
            qunsetenv("LUMIVARK_PORTAL_TIMEOUT_MS");
            forgetPortalAnswer();
            portal.terminate();
            portal.waitForFinished(3000);
        });
        QElapsedTimer t;
        t.start();
        // The first look asks the portal and finds nothing yet; the answer
        // comes through the event loop.
        QSignalSpy answered(&portalAccess(), &PortalAccess::answered);
        QVERIFY(listSources().empty());
        QVERIFY(portalPending());
        QVERIFY(answered.wait(10000));
        QCOMPARE(answered.count(), 1);
        QVERIFY(!portalPending());
        const auto found = findSource(QStringLiteral("PortalCamera"));
        QVERIFY(t.elapsed() < 10000);
        if (refusal.isEmpty()) {
            QVERIFY(found);
            PipeWireDriver driver(*found);
            QVERIFY2(driver.open(), qPrintable(driver.lastError()));
            Collected got;
            QVERIFY(driver.start(got.frameSink(), got.errorSink()));
            QTRY_VERIFY_WITH_TIMEOUT(got.frameCount() >= 10, 10000);
            driver.close();
            QCOMPARE(got.errorCount(), 0);
            return;
        }
        QVERIFY(!found);
        QVERIFY(portalRefused());
        QVERIFY2(portalRefusal().startsWith(refusal), qPrintable(portalRefusal()));
        PipeWireDriver driver(SourceInfo{1, 1, QStringLiteral("PortalCamera"), {}, {}});
        QVERIFY(!driver.open());
        QVERIFY2(driver.lastError().startsWith(refusal), qPrintable(driver.lastError()));
        QVERIFY(!driver.start({}, {}));
    }

    // A portal that takes its time (the user is asked): the event loop goes
    // on meanwhile, the device list gets the portal's camera when the answer
    // comes, and a saved device index is applied only to the complete list.
    void portalAnswersLater()
    {
        QVERIFY(publish(QStringLiteral("YUY2"), QStringLiteral("PortalCamera")));
        QProcess portal;
        portal.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
        portal.start(python.isEmpty() ? QStringLiteral("python3") : python,
                     {qEnvironmentVariable("LUMIVARK_TEST_SOURCE_DIR") + QStringLiteral("/tests/capture/camera_portal.py"),
                      QStringLiteral("grant"), QStringLiteral("5000")});
        QVERIFY(portal.waitForReadyRead(10000));
        QCOMPARE(portal.readLine().trimmed(), QByteArray("ready"));
        qputenv("LUMIVARK_SANDBOXED", "1");
        // The test pattern listed too: before the answer it is device 0.
        qputenv("LUMIVARK_TEST_DEVICE", "1");
        forgetPortalAnswer();
        const auto restore = qScopeGuard([&] {
            qputenv("LUMIVARK_SANDBOXED", "0");
            qputenv("LUMIVARK_TEST_DEVICE", "0");
            forgetPortalAnswer();
            portal.terminate();
            portal.waitForFinished(3000);
        });

        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        ticker.start(100);
        QElapsedTimer t;
        t.start();
        SystemDriverCatalogue catalogue;
        const ScopedDriverCatalogue installed(&catalogue);
        DeviceWatcher watcher(nullptr, m_runtime.path());
        QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
        QVERIFY(!catalogue.complete());
        QString name;
        QVERIFY(catalogue.describe(0, &name, nullptr));
        QCOMPARE(name, TestPatternDriver::driverName());
        QVERIFY(!catalogue.describe(1, nullptr, nullptr));
        QSignalSpy changed(&watcher, &DeviceWatcher::changed);

        // Device 0 as a parameters file saved it, while the portal camera was listed first.
        const int saved = 0;
        CaptureSession session;
        qint64 openedAt = -1;
        whenCatalogueComplete(&session, [&] {
            openedAt = t.elapsed();
            QVERIFY(session.open(saved));
        });
        QCOMPARE(openedAt, qint64(-1));
        QTRY_VERIFY_WITH_TIMEOUT(openedAt >= 0, 15000);
        QVERIFY2(openedAt >= 4500, qPrintable(QString::number(openedAt)));
        // The timer went on firing all through the wait.
        QVERIFY2(ticks >= 30, qPrintable(QString::number(ticks)));
        QVERIFY(catalogue.complete());
        QVERIFY(session.isOpen());
        QCOMPARE(session.driver()->name(), QStringLiteral("PortalCamera"));
        QTRY_VERIFY_WITH_TIMEOUT(session.latestFrame() != nullptr, 10000);
        session.close();

        // The device list hears of the answer and shows the camera.
        QTRY_VERIFY_WITH_TIMEOUT(changed.count() >= 1, 5000);
        QVERIFY(watcher.pipewireConnected());
        QVERIFY(catalogue.describe(0, &name, nullptr));
        QCOMPARE(name, QStringLiteral("PortalCamera"));
        QVERIFY(catalogue.describe(1, &name, nullptr));
        QCOMPARE(name, TestPatternDriver::driverName());
    }

    // No daemon, or one that accepts and never answers: nothing listed,
    // nothing opens, and no wait beyond the timeout.
    void missingOrSilentDaemon()
    {
        const QByteArray saved = qgetenv("PIPEWIRE_REMOTE");
        qputenv("PIPEWIRE_REMOTE", "lumivark-no-such-remote");
        QVERIFY(listSources().empty());
        PipeWireDriver driver(SourceInfo{1, 1, QStringLiteral("Nowhere"), {}, {}});
        QVERIFY(!driver.open());
        QCOMPARE(driver.lastError(), QStringLiteral("The PipeWire service does not answer."));
        QVERIFY(!driver.start({}, {}));
        driver.stop();
        driver.close();

        QLocalServer silent;
        QVERIFY(silent.listen(m_runtime.filePath(QStringLiteral("silent-0"))));
        qputenv("PIPEWIRE_REMOTE", "silent-0");
        QElapsedTimer t;
        t.start();
        QVERIFY(listSources(500).empty());
        QVERIFY(t.elapsed() < 5000);
        qputenv("PIPEWIRE_REMOTE", saved);
        if (saved.isEmpty())
            qunsetenv("PIPEWIRE_REMOTE");
    }

    // The PipeWire service itself going away mid-stream (last: it takes the
    // fixture's daemon with it) ends the stream once with the reason, and
    // the device list hears of it.
    void serviceLeavingEndsTheStream()
    {
        QVERIFY(publish(QStringLiteral("YUY2"), QStringLiteral("Orphan")));
        const auto info = findSource(QStringLiteral("Orphan"));
        QVERIFY(info);
        QTemporaryDir dev;
        DeviceWatcher watcher(nullptr, dev.path());
        QSignalSpy changed(&watcher, &DeviceWatcher::changed);
        PipeWireDriver driver(*info);
        QVERIFY(driver.open());
        Collected got;
        QVERIFY(driver.start(got.frameSink(), got.errorSink()));
        QTRY_VERIFY_WITH_TIMEOUT(got.frameCount() >= 5, 10000);
        m_pipewire->kill();
        m_pipewire->waitForFinished(5000);
        QTRY_COMPARE_WITH_TIMEOUT(got.errorCount(), 1, 5000);
        QVERIFY2(got.errors.front() == u"The PipeWire service has gone." || got.errors.front() == u"The device has gone.",
                 qPrintable(got.errors.front()));
        QTRY_VERIFY_WITH_TIMEOUT(changed.count() >= 1, 5000);
        QVERIFY(!watcher.pipewireConnected());
        driver.stop();
        driver.stop();
        driver.close();
        QCOMPARE(got.errorCount(), 1);
        QVERIFY(listSources(500).empty());
    }
};

QTEST_GUILESS_MAIN(PipeWireTest)
#include "pipewire_test.moc"
