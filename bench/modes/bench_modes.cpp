// Series shots and motion ticks on the main window with the test-pattern
// device, as the user meets them: grab, stamp, JPEG, write; grab and measure.
#include "app/capturecontroller.h"
#include "app/master.h"
#include "app/videoscreen.h"
#include "base/programdirectory.h"
#include "capture/ui/capturewindow.h"
#include "capture/testpatterndriver.h"
#include "modes/motionmeasure.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>
#include <memory>

using namespace lv;

namespace {

struct Window {
    SessionState state;
    std::unique_ptr<Master> master;
    CaptureController* ctl = nullptr;

    Window(QSize size, bool still, const QString& file)
    {
        state.ProgramDirectory = programDirectory();
        state.SystemSounds = QStringLiteral("0");
        master = std::make_unique<Master>(state);
        ctl = new CaptureController(*master, state);
        master->load(QString());
        master->show();
        master->MasterTimer.stop();
        state.CurrentFileName = file;
        if (auto* d = state.CaptureHandle ? dynamic_cast<TestPatternDriver*>(state.CaptureHandle->driver()) : nullptr) {
            TestPatternSettings s = d->settings();
            s.size = size;
            s.still = still;
            s.rate = 30;
            d->setSettings(s);
        }
        // Wait for a frame of the new size.
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 2000) {
            QCoreApplication::processEvents();
            const FramePtr f = state.CaptureHandle ? state.CaptureHandle->latestFrame() : nullptr;
            if (f && f->picture().size() == size)
                break;
            QThread::msleep(5);
        }
    }
    ~Window() { master->videoScreen()->Disconnect(); }
};

void BM_MultipleJpegShot(benchmark::State& st)
{
    QTemporaryDir out;
    Window w({640, 480}, false, out.filePath(QStringLiteral("cam.jpg")));
    w.master->SelectMultipleMode();
    w.master->MultipleImageMode->setCurrentIndex(2);
    w.state.CurrentFileName = out.filePath(QStringLiteral("cam.jpg"));
    for (const char* k : {"time", "date", "text"})
        w.master->MultipleImageToolbar2->setPressed(QString::fromLatin1(k), true);
    w.master->MultipleImageText->setText(QStringLiteral("Frame &FRM& on &DATE"));
    w.master->MultipleImageTimePosition->setCurrentIndex(4);
    w.master->MultipleImageDatePosition->setCurrentIndex(1);
    w.ctl->DispatchCapture(true);
    for (auto _ : st) {
        if (!w.ctl->ShootImage())
            st.SkipWithError("shot not stored");
    }
    w.ctl->DispatchCapture(false);
    st.SetItemsProcessed(st.iterations());
}
BENCHMARK(BM_MultipleJpegShot)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void BM_MotionTick(benchmark::State& st)
{
    const QSize size(int(st.range(0)), int(st.range(1)));
    QTemporaryDir out;
    Window w(size, false, out.filePath(QStringLiteral("m.avi")));
    w.state.MotionSensitivity = 32767; // measure only, never fire
    w.master->SelectMovieMode();
    w.master->MotionTimer.setInterval(100000000);
    w.ctl->ArmMotionDetector();
    for (auto _ : st)
        w.ctl->motionTick();
    w.master->MotionTimer.stop();
    st.SetLabel(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
}
BENCHMARK(BM_MotionTick)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_MotionMeasureOnly(benchmark::State& st)
{
    QImage img(int(st.range(0)), int(st.range(1)), QImage::Format_RGB888);
    img.fill(QColor(10, 200, 30));
    for (auto _ : st)
        benchmark::DoNotOptimize(motion::sampleAverage(img));
}
BENCHMARK(BM_MotionMeasureOnly)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A program directory and settings of its own, so the user's stay untouched.
    QTemporaryDir home;
    qputenv("LUMIVARK_HOME", home.filePath(QStringLiteral("home")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.filePath(QStringLiteral("run")).toLocal8Bit());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
