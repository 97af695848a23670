// Real-time recordings from the test-pattern device into Motion JPEG AVI
// with 16-bit stereo 44100 Hz sound: dropped frames, process CPU time per
// recorded second (the device's own pattern drawing included), peak RSS.
// The third argument turns the crash-safety flushing (every 0.5 s, sync
// every 5 s) off (0) or on (1), so the two rows show what it costs.
// LUMIVARK_BENCH_SECONDS sets the length (default 60).
#include "capture/recorder.h"
#include "capture/testpatterndriver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>
#include <ctime>
#include <sys/resource.h>

extern "C" {
#include <libavutil/log.h>
}

namespace {

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double peakRssMiB()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_maxrss) / 1024.0;
}

void BM_Record(benchmark::State& state)
{
    av_log_set_level(AV_LOG_ERROR);
    const int seconds = qEnvironmentVariableIntValue("LUMIVARK_BENCH_SECONDS") > 0
                            ? qEnvironmentVariableIntValue("LUMIVARK_BENCH_SECONDS")
                            : 60;
    const QSize size(int(state.range(0)), int(state.range(1)));
    QTemporaryDir dir;
    for (auto _ : state) {
        lv::TestPatternDriver driver;
        lv::TestPatternSettings ps;
        ps.size = size;
        ps.rate = 30;
        driver.setSettings(ps);
        driver.open();
        lv::Recorder capture;
        driver.start([&](const lv::FramePtr& f) { capture.pushFrame(f); }, [](const QString&) {});
        // The device alone, as the baseline the recording adds to.
        const double base0 = processCpuSeconds();
        QThread::sleep(3);
        const double deviceCpuPerSecond = (processCpuSeconds() - base0) / 3.0;

        lv::Recorder::Setup st;
        st.fileName = dir.filePath(QStringLiteral("bench.avi"));
        st.parms.dwRequestMicroSecPerFrame = 33333;
        st.parms.fCaptureAudio = 1;
        st.parms.fLimitEnabled = 1;
        st.parms.wTimeLimit = uint32_t(seconds);
        st.audio.nChannels = 2;
        st.audio.wBitsPerSample = 16;
        st.audio.nSamplesPerSec = 44100;
        st.audio.nBlockAlign = 4;
        st.audio.nAvgBytesPerSec = 176400;
        st.driver = &driver;
        st.codec = lv::CodecChoice{};
        const bool flush = state.range(2) != 0;
        st.flushIntervalMs = flush ? 500 : 0;
        st.syncIntervalMs = flush ? 5000 : 0;
        const double cpu0 = processCpuSeconds();
        capture.start(st);
        double rssFirstMinute = 0;
        QElapsedTimer t;
        t.start();
        while (capture.capturing()) {
            QThread::msleep(20); // as an idle UI thread would, without spinning
            QCoreApplication::processEvents();
            if (rssFirstMinute == 0 && t.elapsed() >= std::min(60, seconds) * 1000 - 500)
                rssFirstMinute = peakRssMiB();
        }
        const double cpu = processCpuSeconds() - cpu0;
        driver.close();
        state.counters["frames"] = capture.framesCaptured();
        state.counters["dropped"] = capture.framesDropped();
        state.counters["cpu_per_rec_s_%"] = 100.0 * cpu / seconds;
        state.counters["device_only_cpu_%"] = 100.0 * deviceCpuPerSecond;
        state.counters["rss_first_min_MiB"] = rssFirstMinute;
        state.counters["rss_peak_MiB"] = peakRssMiB();
    }
}

} // namespace

BENCHMARK(BM_Record)
    ->Args({640, 480, 0})
    ->Args({640, 480, 1})
    ->Args({1280, 720, 0})
    ->Args({1280, 720, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
