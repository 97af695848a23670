// FTP upload to a real server on 127.0.0.1: our upload next to the curl
// program sending the same file to the same server in the same run, and the
// time a 200 KB JPEG keeps the upload window open.
#include "../../tests/net/ftptestserver.h"

#include "net/ui/ftpimage.h"
#include "net/ftpupload.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

using namespace lv;

namespace {

FtpTestServer* g_server = nullptr;
QTemporaryDir* g_dir = nullptr;
QString g_bigFile;
QString g_jpegFile;

FtpSettings serverSettings()
{
    FtpSettings st;
    st.server = QStringLiteral("127.0.0.1");
    st.port = g_server->port();
    st.userName = QLatin1String(FtpTestServer::User);
    st.password = QLatin1String(FtpTestServer::Password);
    return st;
}

qint64 fileSize(const QString& path) { return QFileInfo(path).size(); }

void BM_FtpUpload_20MB(benchmark::State& state)
{
    const FtpSettings st = serverSettings();
    for (auto _ : state) {
        FtpUpload up(st);
        up.setHangUp([] {});
        if (!up.run(g_bigFile, QString())) {
            state.SkipWithError(qPrintable(up.lastError()));
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * fileSize(g_bigFile));
}

void curlUpload(benchmark::State& state, const QStringList& modeArgs)
{
    const QString url = QStringLiteral("ftp://127.0.0.1:%1/curl.bin").arg(g_server->port());
    const QString user = QLatin1String(FtpTestServer::User) + QLatin1Char(':') + QLatin1String(FtpTestServer::Password);
    for (auto _ : state) {
        QProcess curl;
        QElapsedTimer t;
        t.start();
        curl.start(QStringLiteral("curl"), QStringList{QStringLiteral("-sS"), QStringLiteral("-T"), g_bigFile,
                                                         QStringLiteral("-u"), user, url} + modeArgs);
        if (!curl.waitForFinished(120000) || curl.exitCode() != 0) {
            state.SkipWithError("curl failed");
            return;
        }
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
    }
    state.SetBytesProcessed(state.iterations() * fileSize(g_bigFile));
}

// curl's default (passive, as our upload's default) and active mode.
void BM_CurlProgram_20MB(benchmark::State& state) { curlUpload(state, {}); }
void BM_CurlProgramActive_20MB(benchmark::State& state) { curlUpload(state, {QStringLiteral("-P"), QStringLiteral("-")}); }

// From the call until the upload window has closed.
void BM_SendFileToFtp_200KBJpeg(benchmark::State& state)
{
    const FtpSettings st = serverSettings();
    for (auto _ : state) {
        bool ok = false;
        QEventLoop loop;
        FTPImage* window = SendFileToFtp(g_jpegFile, QString(), st);
        QObject::connect(window, &FTPImage::uploadFinished, &loop, [&](bool result) {
            ok = result;
            loop.quit();
        });
        loop.exec();
        if (!ok) {
            state.SkipWithError("upload failed");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * fileSize(g_jpegFile));
}

bool makeFiles()
{
    g_bigFile = g_dir->filePath(QStringLiteral("big.bin"));
    QFile big(g_bigFile);
    if (!big.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    QRandomGenerator gen(1);
    for (int i = 0; i < 20; ++i) {
        gen.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
        big.write(block);
    }
    big.close();

    g_jpegFile = g_dir->filePath(QStringLiteral("cam00001.jpg"));
    QProcess convert;
    // About 200 KB.
    convert.start(QStringLiteral("convert"), {QStringLiteral("-seed"), QStringLiteral("7"), QStringLiteral("-size"),
                                              QStringLiteral("800x600"), QStringLiteral("plasma:fractal"),
                                              QStringLiteral("-quality"), QStringLiteral("92"), g_jpegFile});
    return convert.waitForFinished(60000) && convert.exitCode() == 0;
}

} // namespace

BENCHMARK(BM_FtpUpload_20MB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_CurlProgram_20MB)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_CurlProgramActive_20MB)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_SendFileToFtp_200KBJpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("LUMIVARK_TEST_SOURCE_DIR"))
        qputenv("LUMIVARK_TEST_SOURCE_DIR", LV_SOURCE_DIR);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QTemporaryDir config;
    // Keep the user's own settings (the hang-up preference) out of it.
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    qputenv("LUMIVARK_HOME", config.filePath(QStringLiteral("home")).toUtf8());
    g_dir = &dir;
    FtpTestServer server;
    if (!server.isRunning()) {
        fprintf(stderr, "bench_net: FTP server did not start: %s\n", qPrintable(server.errorText()));
        return 1;
    }
    g_server = &server;
    if (!makeFiles()) {
        fprintf(stderr, "bench_net: could not make the files to send\n");
        return 1;
    }
    fprintf(stderr, "bench_net: JPEG of %lld bytes\n", fileSize(g_jpegFile));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
