// SFTP and FTP-over-TLS uploads of 20 MB to real servers on 127.0.0.1 (sshd
// and vsftpd, started here with throwaway keys and a made certificate): our
// upload next to the curl program sending the same file to the same server
// in the same run.
#include "../../tests/net/daemontestservers.h"

#include "net/ftpupload.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace lv;

namespace {

SshTestServer* g_ssh = nullptr;
VsftpdTestServer* g_ftps = nullptr;
QString g_bigFile;

qint64 bigSize() { return QFileInfo(g_bigFile).size(); }

void ours(benchmark::State& state, const FtpSettings& st, const FtpUpload::Options& o)
{
    for (auto _ : state) {
        FtpUpload up(st);
        up.setOptions(o);
        up.setHangUp([] {});
        if (!up.run(g_bigFile, QStringLiteral("ours.bin"))) {
            state.SkipWithError(qPrintable(up.lastError()));
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * bigSize());
}

void curlProgram(benchmark::State& state, const QStringList& args)
{
    for (auto _ : state) {
        QProcess curl;
        QElapsedTimer t;
        t.start();
        curl.start(QStringLiteral("curl"), QStringList{QStringLiteral("-sS"), QStringLiteral("-T"), g_bigFile} + args);
        if (!curl.waitForFinished(120000) || curl.exitCode() != 0) {
            state.SkipWithError(qPrintable(QStringLiteral("curl failed: ") + QString::fromUtf8(curl.readAllStandardError())));
            return;
        }
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
    }
    state.SetBytesProcessed(state.iterations() * bigSize());
}

FtpSettings sftpSettings()
{
    FtpSettings st;
    st.server = QStringLiteral("sftp://127.0.0.1");
    st.port = g_ssh->port();
    st.userName = g_ssh->userName();
    return st;
}

FtpSettings ftpsSettings()
{
    FtpSettings st;
    st.server = QStringLiteral("ftps://127.0.0.1");
    st.port = g_ftps->port();
    st.userName = QStringLiteral("anonymous");
    st.password = QStringLiteral("bench@example.org");
    st.directory = QStringLiteral("incoming");
    return st;
}

void BM_SftpUpload_20MB(benchmark::State& state) { ours(state, sftpSettings(), {}); }
void BM_CurlSftp_20MB(benchmark::State& state)
{
    const QString key = g_ssh->clientHome() + QStringLiteral("/.ssh/id_ed25519");
    curlProgram(state, {QStringLiteral("--key"), key, QStringLiteral("--pubkey"), key + QStringLiteral(".pub"),
                        QStringLiteral("-u"), g_ssh->userName() + QLatin1Char(':'),
                        QStringLiteral("sftp://127.0.0.1:%1/~/curl.bin").arg(g_ssh->port())});
}

void BM_FtpsUpload_20MB(benchmark::State& state)
{
    FtpUpload::Options o;
    o.caFile = g_ftps->certificate();
    ours(state, ftpsSettings(), o);
}
void BM_CurlFtps_20MB(benchmark::State& state)
{
    curlProgram(state, {QStringLiteral("--ssl-reqd"), QStringLiteral("--cacert"), g_ftps->certificate(),
                        QStringLiteral("-u"), QStringLiteral("anonymous:bench@example.org"),
                        QStringLiteral("ftp://127.0.0.1:%1/incoming/curl.bin").arg(g_ftps->port())});
}

bool makeBigFile(const QString& path)
{
    QFile big(path);
    if (!big.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    QRandomGenerator gen(1);
    for (int i = 0; i < 20; ++i) {
        gen.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
        big.write(block);
    }
    return true;
}

} // namespace

BENCHMARK(BM_SftpUpload_20MB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_CurlSftp_20MB)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3.0);
BENCHMARK(BM_FtpsUpload_20MB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_CurlFtps_20MB)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3.0);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    // Keep the user's own settings (the hang-up preference) out of it.
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
    qputenv("LUMIVARK_HOME", dir.filePath(QStringLiteral("home")).toUtf8());
    SshTestServer ssh;
    VsftpdTestServer ftps(true);
    if (!ssh.isRunning() || !ftps.isRunning()) {
        fprintf(stderr, "bench_secureupload: servers did not start: %s %s\n", qPrintable(ssh.errorText()),
                qPrintable(ftps.errorText()));
        return 1;
    }
    g_ssh = &ssh;
    g_ftps = &ftps;
    // Both clients use the test's ~/.ssh: its key, its known_hosts.
    qputenv("HOME", ssh.clientHome().toUtf8());
    QFile known(ssh.clientHome() + QStringLiteral("/.ssh/known_hosts"));
    if (!known.open(QIODevice::WriteOnly) || known.write(ssh.knownHostsLine().toUtf8() + '\n') < 0)
        return 1;
    known.close();
    g_bigFile = dir.filePath(QStringLiteral("big.bin"));
    if (!makeBigFile(g_bigFile))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
