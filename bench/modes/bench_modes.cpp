// Series shots and motion ticks on the main window with the test-pattern
// device, as the user meets them: grab, stamp, JPEG, write; grab and measure.
#include "app/capturecontroller.h"
#include "app/mainwindow.h"
#include "app/videoscreen.h"
#include "base/programdirectory.h"
#include "capture/ui/liveview.h"
#include "capture/testpatterndriver.h"
#include "modes/motionmeasure.h"
#include "../../tests/app/mainwindowparts.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>
#include <memory>

using lv::test::part;

using namespace lv;

namespace {

struct Window {
    CaptureModel model;
    RunRecord run;
    std::unique_ptr<MainWindow> master;
    CaptureController* ctl = nullptr;

    LiveView* capture() const { return master->videoScreen()->captureWindow(); }

    Window(QSize size, bool still, const QString& file)
    {
        model.setProgramDirectory(programDirectory());
        model.preferences().SystemSounds = QStringLiteral("0");
        master = std::make_unique<MainWindow>(model, run);
        ctl = new CaptureController(*master);
        master->load(QString());
        master->show();
        master->MasterTimer.stop();
        model.setFileName(file);
        if (auto* d = capture() ? dynamic_cast<TestPatternDriver*>(capture()->driver()) : nullptr) {
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
            const FramePtr f = capture() ? capture()->latestFrame() : nullptr;
            if (f && f->size() == size)
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
    part<QComboBox>(w.master, "MultipleImageMode")->setCurrentIndex(2);
    w.model.setFileName(out.filePath(QStringLiteral("cam.jpg")));
    for (const char* k : {"time", "date", "text"})
        part<lv::KeyedToolBar>(w.master, "MultipleImageToolbar2")->setPressed(QString::fromLatin1(k), true);
    part<QLineEdit>(w.master, "MultipleImageText")->setText(QStringLiteral("Frame &FRM& on &DATE"));
    part<QComboBox>(w.master, "MultipleImageTimePosition")->setCurrentIndex(4);
    part<QComboBox>(w.master, "MultipleImageDatePosition")->setCurrentIndex(1);
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
    w.model.preferences().MotionSensitivity = 32767; // measure only, never fire
    w.master->SelectMovieMode();
    w.ctl->ArmMotionDetector();
    w.ctl->program().motionTimer().stop();
    for (auto _ : st)
        w.ctl->motionTick();
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
