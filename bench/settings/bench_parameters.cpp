// Reading capture parameters files: one GetParameter per key (as the reader of
// old did) against the one-pass lookup, and a large hostile file.
#include "settings/capturesettings.h"
#include "settings/parameterfile.h"
#include "settings/parameterreader.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

const QStringList& keys()
{
    static const QStringList k = [] {
        QStringList out;
        for (const char* key : {"View Mode", "Preview Rate", "Hours", "Minutes", "Seconds", "Filename", "Capture",
                                "Multiple Image Type", "AVI Rate", "Insert Time", "Time Color", "Time Position",
                                "Insert Date", "Date Color", "Date Position", "Insert Text", "Text Color",
                                "Text Position", "Text", "Trigger", "Interval", "AVI Info", "Copyright", "Artist",
                                "Subject", "Product", "Source", "Comments", "Send to FTP Server", "URL", "Port",
                                "Username", "Password", "Directory"})
            out << QLatin1String(key);
        return out;
    }();
    return k;
}

struct Files {
    QTemporaryDir dir;
    QString session;
    QString huge;
    Files()
    {
        lv::CaptureSettings s;
        s.Capture = lv::CaptureKind::MultipleImage;
        s.Trigger = lv::TriggerKind::Timer;
        s.Filename = QStringLiteral("/home/user/Videos/series");
        session = dir.filePath(QStringLiteral("lvsr.lv2"));
        benchmark::DoNotOptimize(lv::WriteParameters(session, s, lv::ParameterFileKind::LastSession));

        huge = dir.filePath(QStringLiteral("huge.lvp"));
        QFile f(huge);
        f.open(QIODevice::WriteOnly);
        const QByteArray chunk(1 << 20, 'x');
        for (int i = 0; i < 50; ++i)
            f.write(chunk);
    }
};

Files& files()
{
    static Files f;
    return f;
}

void BM_GetParameterPerKey(benchmark::State& state)
{
    const QString path = files().session;
    for (auto _ : state) {
        for (const QString& k : keys())
            benchmark::DoNotOptimize(lv::GetParameter(path, k, QString()));
    }
}
BENCHMARK(BM_GetParameterPerKey)->Unit(benchmark::kMicrosecond);

void BM_LookupOnePass(benchmark::State& state)
{
    const QString path = files().session;
    for (auto _ : state) {
        lv::ParameterLookup lookup(keys());
        lookup.load(path);
        for (const QString& k : keys())
            benchmark::DoNotOptimize(lookup.value(k, QString()));
    }
}
BENCHMARK(BM_LookupOnePass)->Unit(benchmark::kMicrosecond);

void BM_GetParameter50MBWithoutLineEnd(benchmark::State& state)
{
    const QString path = files().huge;
    for (auto _ : state)
        benchmark::DoNotOptimize(lv::GetParameter(path, QStringLiteral("Port"), QString()));
    state.SetBytesProcessed(state.iterations() * 50LL * (1 << 20));
}
BENCHMARK(BM_GetParameter50MBWithoutLineEnd)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
