// Recompression of a 640x480, 30 frames/s, 30 s Motion JPEG clip (made once by
// the ffmpeg program) to MPEG-4 and to FFV1, next to the ffmpeg program doing
// the same with the same settings and the same thread count, in one run.
// LUMIVARK_BENCH_THREADS sets the thread count (default 2),
// LUMIVARK_BENCH_SECONDS the clip's length (default 30).
#include "movie/recompressor.h"
#include "movie/videocodecs.h"

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

void BM_Recompress(benchmark::State& state, const char* encoder)
{
    av_log_set_level(AV_LOG_ERROR);
    const QString source = sourceClip();
    QTemporaryDir out;
    lv::RecompressOptions o;
    o.encoder = QLatin1String(encoder);
    o.quality = kQuality;
    o.threads = threads();
    for (auto _ : state) {
        std::atomic_bool cancel{false};
        const auto r = lv::recompressMovie(source, out.filePath(QStringLiteral("ours.avi")), o, cancel);
        if (r.status != lv::RecompressResult::Status::Recompressed) {
            state.SkipWithError(r.error.toLocal8Bit().constData());
            return;
        }
    }
    state.counters["fps"] = benchmark::Counter(double(seconds()) * 30 * double(state.iterations()),
                                               benchmark::Counter::kIsRate);
    // The same settings give files of about the same size.
    state.counters["MB"] = double(QFileInfo(out.filePath(QStringLiteral("ours.avi"))).size()) / 1e6;
}

void BM_FfmpegProgram(benchmark::State& state, const char* encoder)
{
    const QString source = sourceClip();
    QTemporaryDir out;
    const QString t = QString::number(threads());
    for (auto _ : state) {
        if (!ffmpeg(QStringList{QStringLiteral("-threads"), t, QStringLiteral("-i"), source, QStringLiteral("-threads"),
                                t}
                    + ffmpegCodecArgs(encoder) + QStringList{QStringLiteral("-an"), out.filePath(QStringLiteral("theirs.avi"))})) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
    }
    state.counters["fps"] = benchmark::Counter(double(seconds()) * 30 * double(state.iterations()),
                                               benchmark::Counter::kIsRate);
    state.counters["MB"] = double(QFileInfo(out.filePath(QStringLiteral("theirs.avi"))).size()) / 1e6;
}

} // namespace

// Ours and theirs alternate, so a busy machine weighs on both alike.
BENCHMARK_CAPTURE(BM_Recompress, mpeg4, "mpeg4")->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(BM_FfmpegProgram, mpeg4, "mpeg4")->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(BM_Recompress, ffv1, "ffv1")->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);
BENCHMARK_CAPTURE(BM_FfmpegProgram, ffv1, "ffv1")->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
