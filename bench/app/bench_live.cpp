// The live picture's cost per frame: generation on the capture thread, the
// hand-over to the UI thread, and drawing it into the video window.
#include "capture/ui/liveview.h"
#include "capture/testpattern.h"

#include <QApplication>
#include <QPainter>
#include <benchmark/benchmark.h>

using namespace lv;

namespace {

QSize sizeOf(const benchmark::State& state) { return {static_cast<int>(state.range(0)), static_cast<int>(state.range(1))}; }

void reportRate(benchmark::State& state)
{
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Rendering one test-pattern frame into a reused buffer.
void BM_Generate(benchmark::State& state)
{
    TestPatternSettings s;
    s.size = sizeOf(state);
    QImage img(s.size, QImage::Format_RGB888);
    uint64_t n = 0;
    for (auto _ : state) {
        TestPattern::renderInto(img, n++, s);
        benchmark::DoNotOptimize(img.constBits());
    }
    reportRate(state);
}

// Generation, the shared frame, the grab (latest frame under its lock), the
// queued hand-over to the UI thread and the repaint of the picture.
void BM_Pipeline(benchmark::State& state)
{
    TestPatternSettings s;
    s.size = sizeOf(state);
    QImage pool(s.size, QImage::Format_RGB888);
    QImage screen(s.size, QImage::Format_RGB32);
    QMutex mutex;
    FramePtr latest;
    QObject receiver;
    int delivered = 0;
    uint64_t n = 0;
    for (auto _ : state) {
        TestPattern::renderInto(pool, n++, s);
        auto frame = std::make_shared<VideoFrame>();
        frame->image = pool;
        frame->sequence = n;
        {
            QMutexLocker l(&mutex);
            latest = frame;
        }
        frame.reset();
        QMetaObject::invokeMethod(&receiver, [&] {
            FramePtr f;
            {
                QMutexLocker l(&mutex);
                f = latest;
            }
            QPainter p(&screen);
            p.drawImage(0, 0, f->image);
            ++delivered;
        }, Qt::QueuedConnection);
        QCoreApplication::processEvents();
        {
            // The pool buffer is free again once the frame is drawn and dropped.
            QMutexLocker l(&mutex);
            latest.reset();
        }
    }
    benchmark::DoNotOptimize(delivered);
    reportRate(state);
    // Share of one core at 30 frames per second: 3000 x CPU seconds per frame.
    state.counters["core%@30fps"] = benchmark::Counter(static_cast<double>(state.iterations()) / 3000.0,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_Generate)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Pipeline)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
