// CPU share of one core for live view and for a recording from a 1280x720
// 30 fps camera: a PipeWire source (published by GStreamer to a private
// PipeWire) next to the same picture through the V4L2 back end replaying
// recorded buffers. Only this process's CPU counts (not the publisher's,
// the daemon's or the kernel driver's); "fps" is what arrived.
#include "../../tests/capture/v4l2_replayio.h"
#include "capture/pipewire/pwdriver.h"
#include "capture/recorder.h"
#include "capture/v4l2/v4l2driver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <benchmark/benchmark.h>
#include <ctime>
#include <memory>

extern "C" {
#include <libavutil/log.h>
}

using namespace lv;

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kSeconds = 5;

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double wallSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

std::unique_ptr<QProcess> launch(const QString& program, const QStringList& args, bool readOutput = false)
{
    auto p = std::make_unique<QProcess>();
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (!readOutput)
        p->setStandardOutputFile(QProcess::nullDevice());
    p->start(program, args);
    return p->waitForStarted(5000) ? std::move(p) : nullptr;
}

void stop(std::unique_ptr<QProcess>& p)
{
    if (!p)
        return;
    p->terminate();
    if (!p->waitForFinished(3000))
        p->kill();
    p->waitForFinished(3000);
    p.reset();
}

// A private PipeWire publishing a 1280x720 30 fps YUYV test picture.
struct PrivatePipeWire {
    QTemporaryDir runtime;
    std::unique_ptr<QProcess> bus, daemon, manager, publisher;
    QString error;

    PrivatePipeWire()
    {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        qunsetenv("PIPEWIRE_REMOTE");
        bus = launch(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")}, true);
        if (!bus || !bus->waitForReadyRead(5000)) {
            error = QStringLiteral("no session bus");
            return;
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus->readLine().trimmed());
        daemon = launch(QStringLiteral("pipewire"), {});
        for (int i = 0; i < 100 && !QFile::exists(runtime.filePath(QStringLiteral("pipewire-0"))); ++i)
            QThread::msleep(100);
        if (!daemon || !QFile::exists(runtime.filePath(QStringLiteral("pipewire-0")))) {
            error = QStringLiteral("the PipeWire daemon cannot start");
            return;
        }
        manager = launch(QStringLiteral("wireplumber"), {});
        publish();
    }
    // GStreamer's provider stalls when a second consumer links to it after
    // the first left: every run gets a fresh one.
    void publish()
    {
        stop(publisher);
        for (int i = 0; i < 50 && source(); ++i)
            QThread::msleep(100);
        publisher = launch(QStringLiteral("gst-launch-1.0"),
                           {QStringLiteral("-q"), QStringLiteral("videotestsrc"), QStringLiteral("is-live=true"),
                            QStringLiteral("!"),
                            QStringLiteral("video/x-raw,format=YUY2,width=%1,height=%2,framerate=30/1").arg(kWidth).arg(kHeight),
                            QStringLiteral("!"), QStringLiteral("pipewiresink"), QStringLiteral("mode=provide"),
                            QStringLiteral("stream-properties=props,media.class=(string)\"Video/Source\","
                                           "node.description=(string)BenchCamera")});
        for (int i = 0; i < 100 && !source(); ++i)
            QThread::msleep(100);
        if (!source())
            error = QStringLiteral("the published source does not appear");
    }
    ~PrivatePipeWire()
    {
        stop(publisher);
        stop(manager);
        stop(daemon);
        stop(bus);
    }
    std::optional<pipewire::SourceInfo> source() const
    {
        for (const auto& s : pipewire::listSources())
            if (s.description == u"BenchCamera")
                return s;
        return std::nullopt;
    }
};

PrivatePipeWire& pipeWire()
{
    static PrivatePipeWire p;
    return p;
}

// The same picture as a replayed V4L2 camera.
struct ReplayCamera {
    QTemporaryDir dir;
    std::unique_ptr<ReplayIo> io;
    QString error;

    ReplayCamera()
    {
        const QString frame = dir.filePath(QStringLiteral("frame.yuv"));
        QProcess gst;
        gst.start(QStringLiteral("gst-launch-1.0"),
                  {QStringLiteral("-q"), QStringLiteral("videotestsrc"), QStringLiteral("num-buffers=1"),
                   QStringLiteral("!"),
                   QStringLiteral("video/x-raw,format=YUY2,width=%1,height=%2").arg(kWidth).arg(kHeight),
                   QStringLiteral("!"), QStringLiteral("filesink"), QStringLiteral("location=") + frame});
        if (!gst.waitForFinished(30000) || QFileInfo(frame).size() != kWidth * kHeight * 2) {
            error = QStringLiteral("gst-launch-1.0 made no frame");
            return;
        }
        QJsonArray sequence;
        for (int i = 0; i < 30 * (kSeconds + 5) * 4; ++i)
            sequence.append(i);
        const QJsonObject size{{QStringLiteral("width"), kWidth},
                               {QStringLiteral("height"), kHeight},
                               {QStringLiteral("intervals"), QJsonArray{QJsonArray{1, 30}}}};
        const QJsonObject device{
            {QStringLiteral("path"), QStringLiteral("/dev/video0")},
            {QStringLiteral("driver"), QStringLiteral("uvcvideo")},
            {QStringLiteral("card"), QStringLiteral("Replay Camera")},
            {QStringLiteral("version"), QJsonArray{6, 1, 0}},
            {QStringLiteral("capabilities"), QJsonArray{QStringLiteral("video-capture"), QStringLiteral("streaming")}},
            {QStringLiteral("formats"),
             QJsonArray{QJsonObject{{QStringLiteral("fourcc"), QStringLiteral("YUYV")},
                                    {QStringLiteral("description"), QStringLiteral("YUYV 4:2:2")},
                                    {QStringLiteral("sizes"), QJsonArray{size}}}}},
            {QStringLiteral("current"), QJsonObject{{QStringLiteral("fourcc"), QStringLiteral("YUYV")},
                                                    {QStringLiteral("width"), kWidth},
                                                    {QStringLiteral("height"), kHeight},
                                                    {QStringLiteral("interval"), QJsonArray{1, 30}}}},
            {QStringLiteral("controls"), QJsonArray{}},
            {QStringLiteral("frames"), QJsonObject{{QStringLiteral("YUYV"), QStringLiteral("frame.yuv")}}},
            {QStringLiteral("sequence"), sequence},
            {QStringLiteral("vanishes"), false}};
        const QString json = dir.filePath(QStringLiteral("camera.json"));
        QFile f(json);
        f.open(QIODevice::WriteOnly);
        f.write(QJsonDocument(QJsonObject{{QStringLiteral("devices"), QJsonArray{device}}}).toJson());
        f.close();
        io = std::make_unique<ReplayIo>(json);
    }
};

// Streams for kSeconds into live view (the latest frame kept, as the capture
// window does) or a Motion JPEG recording; reports CPU share and frame rate.
void run(benchmark::State& state, CaptureDriver& driver, bool record)
{
    for (auto _ : state) {
        std::atomic<int> frames{0};
        Recorder capture;
        FramePtr latest;
        std::mutex latestMutex;
        if (!driver.open()) {
            state.SkipWithError("the device does not open");
            return;
        }
        driver.start(
            [&](const FramePtr& f) {
                ++frames;
                {
                    std::lock_guard l(latestMutex);
                    latest = f;
                }
                capture.pushFrame(f);
            },
            [](const QString&) {});
        QTemporaryDir dir;
        if (record) {
            Recorder::Setup st;
            st.fileName = dir.filePath(QStringLiteral("bench.avi"));
            st.parms.dwRequestMicroSecPerFrame = 33333;
            st.driver = &driver;
            st.codec = CodecChoice{};
            capture.start(st);
        }
        QThread::msleep(1000); // settle
        const int frames0 = frames;
        const double cpu0 = cpuSeconds();
        const double wall0 = wallSeconds();
        QThread::msleep(kSeconds * 1000);
        const double cpu = cpuSeconds() - cpu0;
        const double wall = wallSeconds() - wall0;
        const int n = frames - frames0;
        if (record)
            capture.stop();
        driver.stop();
        driver.close();
        state.counters["cpu_share"] = cpu / wall;
        state.counters["fps"] = n / wall;
        state.counters["cpu_ms_per_frame"] = n ? 1000.0 * cpu / n : 0.0;
    }
}

void pipeWireSource(benchmark::State& state, bool record)
{
    PrivatePipeWire& pw = pipeWire();
    if (pw.error.isEmpty())
        pw.publish();
    if (!pw.error.isEmpty()) {
        state.SkipWithError(pw.error.toUtf8().constData());
        return;
    }
    pipewire::PipeWireDriver driver(*pw.source());
    run(state, driver, record);
}

void v4l2Replay(benchmark::State& state, bool record)
{
    ReplayCamera cam;
    if (!cam.error.isEmpty()) {
        state.SkipWithError(cam.error.toUtf8().constData());
        return;
    }
    v4l2::V4l2Driver driver(v4l2::DeviceInfo{QStringLiteral("/dev/video0"), QStringLiteral("Replay Camera"), {}}, *cam.io);
    run(state, driver, record);
}

} // namespace

BENCHMARK_CAPTURE(v4l2Replay, liveView, false)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(pipeWireSource, liveView, false)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(v4l2Replay, recording, true)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(pipeWireSource, recording, true)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
