// The movie window's speed, against the ffmpeg program where one does the same:
//  - Extract All to bitmaps of a 640x480 Motion JPEG clip of 30 s (900
//    frames): our extractor and `ffmpeg -i clip.avi out_%d.bmp`, frames/s;
//  - playback of a 640x480 30 fps Motion JPEG movie with PCM sound in the
//    movie window (offscreen, drawing and the 10 ms position label included):
//    the process's CPU time as a share of one core;
//  - a recording past 1 GiB (OpenDML): from giving the player the file to its
//    first frame on screen.
// The clips are made once by ffmpeg into $LUMIVARK_BENCH_DATA (default: a
// folder "movie-bench-data" in the working directory) and kept for later runs.
#include "movie/frameextractor.h"
#include "movie/movieplayer.h"
#include "movie/ui/movieviewer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <ctime>

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

QString dataDir()
{
    QString dir = qEnvironmentVariable("LUMIVARK_BENCH_DATA");
    if (dir.isEmpty())
        dir = QDir::current().filePath(QStringLiteral("movie-bench-data"));
    QDir().mkpath(dir);
    return dir;
}

bool ffmpeg(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-v"), QStringLiteral("error"),
                                                  QStringLiteral("-nostdin"), QStringLiteral("-y")}
                                          + args);
    return p.waitForFinished(-1) && p.exitCode() == 0;
}

// 640x480, 30 fps Motion JPEG with 16-bit stereo sound.
QString clip30s()
{
    const QString file = QDir(dataDir()).filePath(QStringLiteral("clip-640x480-30s.avi"));
    if (!QFileInfo::exists(file)
        && !ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                    QStringLiteral("testsrc2=size=640x480:rate=30"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                    QStringLiteral("-i"), QStringLiteral("sine=sample_rate=44100"), QStringLiteral("-t"),
                    QStringLiteral("30"), QStringLiteral("-c:v"), QStringLiteral("mjpeg"), QStringLiteral("-q:v"),
                    QStringLiteral("3"), QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), QStringLiteral("-ac"),
                    QStringLiteral("2"), file}))
        return {};
    return file;
}

// A Motion JPEG recording past 1 GiB: a noisy clip copied over and over.
QString clip1GiB()
{
    const QString file = QDir(dataDir()).filePath(QStringLiteral("clip-1GiB.avi"));
    if (QFileInfo(file).size() > (qint64(1) << 30))
        return file;
    const QString piece = QDir(dataDir()).filePath(QStringLiteral("piece.avi"));
    if (!ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                 QStringLiteral("testsrc2=size=640x480:rate=30"), QStringLiteral("-vf"),
                 QStringLiteral("noise=alls=60:allf=t"), QStringLiteral("-t"), QStringLiteral("10"),
                 QStringLiteral("-c:v"), QStringLiteral("mjpeg"), QStringLiteral("-q:v"), QStringLiteral("1"), piece}))
        return {};
    const qint64 pieceBytes = QFileInfo(piece).size();
    const int loops = int((qint64(1) << 30) / std::max<qint64>(pieceBytes, 1)) + 1;
    const bool ok = ffmpeg({QStringLiteral("-stream_loop"), QString::number(loops), QStringLiteral("-i"), piece,
                            QStringLiteral("-c"), QStringLiteral("copy"), file});
    QFile::remove(piece);
    return ok ? file : QString();
}

void BM_ExtractAllBmp(benchmark::State& state)
{
    const QString clip = clip30s();
    if (clip.isEmpty())
        return state.SkipWithError("ffmpeg could not make the clip");
    int64_t frames = 0;
    for (auto _ : state) {
        QTemporaryDir out(QDir(dataDir()).filePath(QStringLiteral("outXXXXXX")));
        lv::FrameExtractor x;
        qint64 last = -1;
        QObject::connect(&x, &lv::FrameExtractor::progress, [&last](qint64 i) { last = i; });
        QEventLoop loop;
        QObject::connect(&x, &lv::FrameExtractor::finished, &loop, &QEventLoop::quit);
        x.extractAll(clip, out.filePath(QStringLiteral("shot.bmp")), 90);
        loop.exec();
        frames += last + 1;
    }
    state.counters["frames_per_s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ExtractAllBmp)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

void BM_FfmpegProgramBmp(benchmark::State& state)
{
    const QString clip = clip30s();
    if (clip.isEmpty())
        return state.SkipWithError("ffmpeg could not make the clip");
    int64_t frames = 0;
    for (auto _ : state) {
        QTemporaryDir out(QDir(dataDir()).filePath(QStringLiteral("outXXXXXX")));
        if (!ffmpeg({QStringLiteral("-i"), clip, out.filePath(QStringLiteral("out_%d.bmp"))}))
            return state.SkipWithError("ffmpeg failed");
        frames += QDir(out.path()).entryList(QDir::Files).size();
    }
    state.counters["frames_per_s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FfmpegProgramBmp)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

// Plays for LUMIVARK_BENCH_SECONDS (default 20) in the movie window.
void BM_PlaybackCpuShare(benchmark::State& state)
{
    const QString clip = clip30s();
    if (clip.isEmpty())
        return state.SkipWithError("ffmpeg could not make the clip");
    const int seconds = qEnvironmentVariableIntValue("LUMIVARK_BENCH_SECONDS") > 0
                            ? qEnvironmentVariableIntValue("LUMIVARK_BENCH_SECONDS")
                            : 20;
    double share = 0;
    int64_t shown = 0;
    for (auto _ : state) {
        lv::MovieViewer viewer(lv::MovieViewerHost{}, QString());
        viewer.show();
        QEventLoop loop;
        QObject::connect(&viewer.player(), &lv::MoviePlayer::readyStateChanged, &loop, &QEventLoop::quit);
        viewer.openMovie(clip, QStringLiteral("clip.avi"));
        loop.exec();
        QObject::connect(&viewer.player(), &lv::MoviePlayer::frameShown, [&shown] { ++shown; });
        QElapsedTimer wall;
        wall.start();
        const double cpu0 = processCpuSeconds();
        viewer.player().play();
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        share = (processCpuSeconds() - cpu0) / (double(wall.nsecsElapsed()) / 1e9);
        viewer.player().pause();
    }
    state.counters["cpu_share_pct"] = share * 100;
    state.counters["frames_shown"] = double(shown);
}
BENCHMARK(BM_PlaybackCpuShare)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

void BM_OpenToFirstFrame1GiB(benchmark::State& state)
{
    const QString clip = clip1GiB();
    if (clip.isEmpty())
        return state.SkipWithError("ffmpeg could not make the 1 GiB file");
    for (auto _ : state) {
        lv::MoviePlayer player;
        QEventLoop loop;
        QObject::connect(&player, &lv::MoviePlayer::frameShown, &loop, &QEventLoop::quit);
        QObject::connect(&player, &lv::MoviePlayer::openFailed, &loop, &QEventLoop::quit);
        player.setFileName(clip);
        loop.exec();
        if (player.imageFrame() != 0)
            return state.SkipWithError("no first frame");
        state.counters["frames"] = double(player.frameCount());
    }
    state.counters["file_MiB"] = double(QFileInfo(clip).size()) / (1 << 20);
}
BENCHMARK(BM_OpenToFirstFrame1GiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    av_log_set_level(AV_LOG_ERROR);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
