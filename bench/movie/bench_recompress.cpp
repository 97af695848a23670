// Recompression of a 640x480, 30 frames/s, 30 s Motion JPEG clip (made once by
// the ffmpeg program) to MPEG-4 and to FFV1, next to the ffmpeg program doing
// the same with the same settings and the same thread count, in one run.
// LUMIVARK_BENCH_THREADS sets the thread count (default 2),
// LUMIVARK_BENCH_SECONDS the clip's length (default 30).
#include "movie/recompressor.h"
#include "movie/videocodecs.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/log.h>
}

namespace {

int threads()
{
    const int t = qEnvironmentVariableIntValue("LUMIVARK_BENCH_THREADS");
    return t > 0 ? t : 2;
}

int seconds()
{
    const int s = qEnvironmentVariableIntValue("LUMIVARK_BENCH_SECONDS");
    return s > 0 ? s : 30;
}

constexpr int kQuality = 75;

bool ffmpeg(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-nostdin"), QStringLiteral("-y")}
                + args);
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The clip, made once for all benchmarks.
const QString& sourceClip()
{
    static QTemporaryDir dir;
    static const QString clip = [] {
        const QString name = dir.filePath(QStringLiteral("clip.avi"));
        ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                QStringLiteral("testsrc2=size=640x480:rate=30"), QStringLiteral("-t"), QString::number(seconds()),
                QStringLiteral("-c:v"), QStringLiteral("mjpeg"), QStringLiteral("-q:v"), QStringLiteral("3"),
                QStringLiteral("-pix_fmt"), QStringLiteral("yuvj420p"), name});
        return name;
    }();
    return clip;
}

// The ffmpeg program's arguments for what the options dialog's choice means.
QStringList ffmpegCodecArgs(const char* encoder)
{
    QStringList a{QStringLiteral("-c:v"), QLatin1String(encoder), QStringLiteral("-g"), QStringLiteral("30")};
    if (QLatin1String(encoder) == QLatin1String("mpeg4"))
        a << QStringLiteral("-q:v") << QString::number(lv::qscaleForQuality(kQuality)) << QStringLiteral("-bf")
          << QStringLiteral("0");
    return a;
}

bool recompressOurs(const QString& source, const QString& output, const char* encoder)
{
    lv::RecompressOptions o;
    o.encoder = QLatin1String(encoder);
    o.quality = kQuality;
    o.threads = threads();
    std::atomic_bool cancel{false};
    return lv::recompressMovie(source, output, o, cancel).status == lv::RecompressResult::Status::Recompressed;
}

bool recompressTheirs(const QString& source, const QString& output, const char* encoder)
{
    const QString t = QString::number(threads());
    return ffmpeg(QStringList{QStringLiteral("-threads"), t, QStringLiteral("-i"), source, QStringLiteral("-threads"), t}
                  + ffmpegCodecArgs(encoder) + QStringList{QStringLiteral("-an"), output});
}

// Each iteration runs ours and then the ffmpeg program's, so a machine whose
// load changes during the run weighs on both alike; the counters hold each
// side's mean wall time, the output sizes and the speed ratio.
void BM_RecompressVsFfmpeg(benchmark::State& state, const char* encoder)
{
    av_log_set_level(AV_LOG_ERROR);
    const QString source = sourceClip();
    QTemporaryDir out;
    const QString ours = out.filePath(QStringLiteral("ours.avi"));
    const QString theirs = out.filePath(QStringLiteral("theirs.avi"));
    double oursSeconds = 0;
    double theirSeconds = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        if (!recompressOurs(source, ours, encoder)) {
            state.SkipWithError("recompression failed");
            return;
        }
        oursSeconds += double(clock.nsecsElapsed()) / 1e9;
        clock.restart();
        if (!recompressTheirs(source, theirs, encoder)) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        theirSeconds += double(clock.nsecsElapsed()) / 1e9;
    }
    const double n = double(state.iterations());
    state.counters["ours_s"] = oursSeconds / n;
    state.counters["ffmpeg_s"] = theirSeconds / n;
    state.counters["ratio"] = theirSeconds / oursSeconds; // above 1: ours is faster
    state.counters["frames"] = double(seconds()) * 30;
    // The same settings give files of about the same size.
    state.counters["ours_MB"] = double(QFileInfo(ours).size()) / 1e6;
    state.counters["ffmpeg_MB"] = double(QFileInfo(theirs).size()) / 1e6;
}

} // namespace

BENCHMARK_CAPTURE(BM_RecompressVsFfmpeg, mpeg4, "mpeg4")->Unit(benchmark::kSecond)->UseRealTime()->Iterations(4);
BENCHMARK_CAPTURE(BM_RecompressVsFfmpeg, ffv1, "ffv1")->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
