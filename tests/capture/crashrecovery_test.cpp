// A recording killed outright (SIGKILL: no destructor, no trailer) and the
// repair at the next start. The recording runs in a child: this same program
// started with --record-child.
#include "../movie/ffprobe.h"
#include "capture/recorder.h"
#include "capture/testpatterndriver.h"
#include "movie/avirepair.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <sys/stat.h>
#include <sys/types.h>

using namespace lv;

namespace {

constexpr int kRate = 15;

// Records the test pattern into file until killed: argv FILE [ENCODER WIDTH HEIGHT RATE].
int recordChild(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TestPatternDriver driver;
    Recorder capture;
    TestPatternSettings s;
    s.size = QSize(320, 240);
    s.rate = kRate;
    CodecChoice codec;
    if (argc == 7) {
        codec.encoder = QString::fromLatin1(argv[3]);
        s.size = QSize(atoi(argv[4]), atoi(argv[5]));
        s.rate = atoi(argv[6]);
    }
    driver.setSettings(s);
    driver.open();
    driver.start([&capture](const FramePtr& f) { capture.pushFrame(f); }, [](const QString&) {});
    Recorder::Setup st;
    st.fileName = QString::fromLocal8Bit(argv[2]);
    st.parms.dwRequestMicroSecPerFrame = 1000000 / s.rate;
    st.parms.fYield = 1;
    st.driver = &driver;
    st.codec = codec;
    if (!capture.start(st)) {
        std::fprintf(stderr, "%s\n", qPrintable(capture.errorText()));
        return 1;
    }
    std::printf("recording\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

} // namespace

class CrashRecoveryTest : public QObject {
    Q_OBJECT

private slots:
    void killedRecordingIsRepairedAtTheNextStart_data()
    {
        QTest::addColumn<int>("killAfterMs");
        QTest::newRow("killed at 1 s") << 1000;
        QTest::newRow("killed at 3 s") << 3000;
        QTest::newRow("killed at 10 s") << 10000;
    }
    void killedRecordingIsRepairedAtTheNextStart()
    {
        QFETCH(int, killAfterMs);
        QTemporaryDir home;
        qputenv("LUMIVARK_HOME", home.path().toLocal8Bit() + '/');
        const QString movie = home.filePath(QStringLiteral("crash.avi"));

        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--record-child"), movie});
        QVERIFY(child.waitForStarted());
        QVERIFY(child.waitForReadyRead(20000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("recording"));
        QElapsedTimer clock;
        clock.start();
        QTest::qSleep(killAfterMs);
        const double seconds = clock.elapsed() / 1000.0;
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        QCOMPARE(AviRepair::inspect(movie), AviRepair::State::Unfinished);
        const QStringList said = AviRepair::repairLeftovers();
        QCOMPARE(said.size(), 1);
        QVERIFY2(said.first().startsWith(QStringLiteral("Repaired the unfinished recording ") + movie), qPrintable(said.first()));
        QCOMPARE(AviRepair::inspect(movie), AviRepair::State::Finished);
        QVERIFY(AviRepair::repairLeftovers().isEmpty()); // once is enough

        // All but at most the last second of frames.
        const int frames = countFrames(movie);
        const int atLeast = int((seconds - 1.0) * kRate);
        qInfo("killed after %.2f s: %d of %d frames kept", seconds, frames, int(seconds * kRate));
        QVERIFY2(frames >= atLeast && frames <= int(seconds * kRate) + 2,
                 qPrintable(QStringLiteral("%1 frames after %2 s").arg(frames).arg(seconds)));
        const QJsonObject v = probeStream(ffprobe(movie), QStringLiteral("video"));
        QCOMPARE(probeInt(v, "nb_frames"), frames); // the header's count agrees with the packets
        QVERIFY(decodesCleanly(movie));
    }

    // A long recording goes on past 1 GiB in OpenDML extension parts; a crash
    // there loses its last second only, not every part after the first.
    // Uncompressed frames reach the first part's end within seconds.
    void killedRecordingKeepsItsLaterParts_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("rate");
        QTest::addColumn<qint64>("killPast"); // bytes on disk
        QTest::newRow("killed in its second part") << QSize(1920, 1080) << 25 << qint64(1100) * 1024 * 1024;
        QTest::newRow("killed in its third part") << QSize(1920, 1080) << 25 << qint64(2200) * 1024 * 1024;
    }
    void killedRecordingKeepsItsLaterParts()
    {
        QFETCH(QSize, size);
        QFETCH(int, rate);
        QFETCH(qint64, killPast);
        QTemporaryDir home;
        qputenv("LUMIVARK_HOME", home.path().toLocal8Bit() + '/');
        const QString movie = home.filePath(QStringLiteral("long.avi"));

        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--record-child"), movie, QStringLiteral("rawvideo"), QString::number(size.width()),
                     QString::number(size.height()), QString::number(rate)});
        QVERIFY(child.waitForStarted());
        QVERIFY(child.waitForReadyRead(20000));
        QElapsedTimer clock;
        clock.start();
        while (QFileInfo(movie).size() < killPast && clock.elapsed() < 240000)
            QTest::qSleep(20);
        QVERIFY2(QFileInfo(movie).size() >= killPast, "the recording did not grow");
        const double seconds = clock.elapsed() / 1000.0;
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(10000));
        const qint64 sizeAtKill = QFileInfo(movie).size();

        QCOMPARE(AviRepair::inspect(movie), AviRepair::State::Unfinished);
        const QStringList said = AviRepair::repairLeftovers();
        QCOMPARE(said.size(), 1);
        QVERIFY2(said.first().startsWith(QStringLiteral("Repaired the unfinished recording ") + movie),
                 qPrintable(said.first()));
        QCOMPARE(AviRepair::inspect(movie), AviRepair::State::Finished);

        // Every whole frame on disk but at most the last second's.
        const qint64 frameBytes = qint64(size.width()) * size.height() * 3 + 8;
        const int onDisk = int(sizeAtKill / frameBytes);
        const int frames = countFrames(movie);
        qInfo("killed after %.2f s at %lld bytes: %d frames kept, about %d on disk", seconds, sizeAtKill, frames, onDisk);
        QVERIFY2(frames >= onDisk - rate && frames <= onDisk,
                 qPrintable(QStringLiteral("%1 frames of about %2").arg(frames).arg(onDisk)));
        const QJsonObject probe = ffprobe(movie);
        const QJsonObject v = probeStream(probe, QStringLiteral("video"));
        QCOMPARE(probeInt(v, "nb_frames"), frames); // the header's count agrees with the packets
        QCOMPARE(probeInt(v, "nb_read_packets"), frames);
        const double duration = probeDouble(probe.value(QStringLiteral("format")).toObject(), "duration");
        QVERIFY2(std::abs(duration - double(frames) / rate) < 0.1, qPrintable(QString::number(duration)));

        // The last frame is reached through the index, as a player's seek does.
        QProcess seek;
        seek.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-ss"),
                                              QString::number(double(frames - 2) / rate), QStringLiteral("-i"), movie,
                                              QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
        QVERIFY(seek.waitForFinished(60000));
        QCOMPARE(seek.exitCode(), 0);
        QCOMPARE(seek.readAllStandardError().trimmed(), QByteArray());
    }

    // What the list of unfinished recordings says decides what is repaired:
    // never a file that only shares the name of the recording.
    void listEntries_data()
    {
        QTest::addColumn<QString>("entry"); // %1: the movie's folder; %2 its device, %3 its inode
        QTest::addColumn<bool>("repaired");
        QTest::addColumn<QString>("said");
        QTest::newRow("an older version's absolute name") << "%1/cut.avi" << true << "Repaired the unfinished recording";
        QTest::newRow("an older version's bare name: its folder is unknown") << "cut.avi" << false << "without its folder";
        QTest::newRow("this file, by identity") << "#2\t%2\t%3\t1000\t1\tlumivark\t%1/cut.avi" << true
                                                << "Repaired the unfinished recording";
        QTest::newRow("another file of that name") << "#2\t%2\t999999999\t1000\t1\tlumivark\t%1/cut.avi" << false
                                                   << "another file than the one recorded";
        QTest::newRow("this file, but shorter than it was") << "#2\t%2\t%3\t999999999\t1\tlumivark\t%1/cut.avi"
                                                            << false << "another file than the one recorded";
    }
    void listEntries()
    {
        QFETCH(QString, entry);
        QFETCH(bool, repaired);
        QFETCH(QString, said);
        QTemporaryDir home;
        qputenv("LUMIVARK_HOME", home.path().toLocal8Bit() + '/');
        const QString movie = home.filePath(QStringLiteral("cut.avi"));
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--record-child"), movie});
        QVERIFY(child.waitForStarted());
        QVERIFY(child.waitForReadyRead(20000));
        QTest::qSleep(1500);
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(10000));

        // The bare name as a user's current folder would resolve it.
        const QString before = QDir::currentPath();
        QDir::setCurrent(home.path());
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(movie).constData(), &st), 0);
        QFile list(home.filePath(QStringLiteral("unfinished-recordings")));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write(entry.arg(QFileInfo(movie).canonicalPath()).arg(quint64(st.st_dev)).arg(quint64(st.st_ino)).toUtf8()
                   + '\n');
        list.close();
        const QByteArray sum = [&] { QFile g(movie); g.open(QIODevice::ReadOnly); return QCryptographicHash::hash(g.readAll(), QCryptographicHash::Md5); }();

        const QStringList lines = AviRepair::repairLeftovers();
        QDir::setCurrent(before);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().contains(said), qPrintable(lines.first()));
        QCOMPARE(AviRepair::inspect(movie), repaired ? AviRepair::State::Finished : AviRepair::State::Unfinished);
        if (!repaired) {
            QFile g(movie);
            QVERIFY(g.open(QIODevice::ReadOnly));
            QCOMPARE(QCryptographicHash::hash(g.readAll(), QCryptographicHash::Md5), sum);
        }
        QVERIFY(!list.exists()); // said once, then off the list
    }

    // A file torn in the middle of a packet: the torn packet goes, the rest stays.
    void tornLastPacketIsCutOff()
    {
        QTemporaryDir dir;
        qputenv("LUMIVARK_HOME", dir.path().toLocal8Bit() + '/');
        const QString movie = dir.filePath(QStringLiteral("torn.avi"));
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--record-child"), movie});
        QVERIFY(child.waitForStarted());
        QVERIFY(child.waitForReadyRead(20000));
        QTest::qSleep(2500);
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(10000));

        QFile f(movie);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.size() > 20000);
        QVERIFY(f.resize(f.size() - 777));
        f.close();
        const AviRepair::Result r = AviRepair::repair(movie);
        QVERIFY(r.repaired);
        QVERIFY(r.indexed);
        QVERIFY(r.bytesCut > 0);
        QCOMPARE(countFrames(movie), int(r.videoFrames));
        QVERIFY(decodesCleanly(movie));
        // A finished file is left as it is.
        const QByteArray before = [&] { QFile g(movie); g.open(QIODevice::ReadOnly); return g.readAll(); }();
        QCOMPARE(AviRepair::repair(movie).before, AviRepair::State::Finished);
        QFile g(movie);
        QVERIFY(g.open(QIODevice::ReadOnly));
        QCOMPARE(g.readAll(), before);
        AviRepair::markFinished(movie);
    }
};

int main(int argc, char** argv)
{
    if ((argc == 3 || argc == 7) && qstrcmp(argv[1], "--record-child") == 0)
        return recordChild(argc, argv);
    QCoreApplication app(argc, argv);
    CrashRecoveryTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "crashrecovery_test.moc"
