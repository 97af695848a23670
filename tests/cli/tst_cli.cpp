// lumivark-cli end to end: the program as a script runs it, on the test
// pattern device and on movies ffmpeg made, read back by djpeg and ffprobe.

#include "../bmpbytes.h"
#include "../scopedtmpfs.h"
#include "ffprobe.h"
#include "daemontestservers.h"
#include "ftptestserver.h"
#include "moviefiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <csignal>
#include <memory>
#include <optional>
#include <sys/types.h>

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// The outcome of a finished run of the program; a run past the time is killed.
Run finished(QProcess& p, int timeoutMs = 60000)
{
    Run r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("timed out");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// The test pattern's number among the devices (last, after any camera); -1 before it is known.
int g_testDevice = -1;

// Capture commands without --device go to the test pattern, whatever cameras are plugged in.
Run runCli(QStringList args, int timeoutMs = 60000, const QMap<QString, QString>& extraEnv = {})
{
    static const QStringList capturing{QStringLiteral("snapshot"), QStringLiteral("series"), QStringLiteral("record")};
    if (g_testDevice >= 0 && !args.isEmpty() && capturing.contains(args.first())
        && !args.filter(QStringLiteral("--device")).size() && !args.contains(QStringLiteral("--params")))
        args << QStringLiteral("--device") << QString::number(g_testDevice);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Keep the user's kept settings (codec choice, device memory) out of the way.
    env.insert(QStringLiteral("HOME"), QDir::tempPath());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QDir::tempPath() + QStringLiteral("/lv-cli-test-config"));
    env.remove(QStringLiteral("LUMIVARK_FTP_PASSWORD"));
    for (auto it = extraEnv.cbegin(); it != extraEnv.cend(); ++it)
        env.insert(it.key(), it.value());
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(LUMIVARK_CLI), args);
    return finished(p, timeoutMs);
}

// djpeg's decode of a JPEG file as a PPM image; null when djpeg refuses it.
QImage djpeg(const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("djpeg"), {QStringLiteral("-pnm"), file});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    return QImage::fromData(p.readAllStandardOutput(), "PPM");
}

// Mean absolute channel difference of two same-sized pictures inside rect.
double difference(const QImage& a, const QImage& b, const QRect& rect)
{
    double sum = 0;
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
            ++n;
        }
    return n ? sum / (3.0 * n) : 0.0;
}

// A program left running: lumivark-cli or the window program, in folder
// `cwd`, with the program directory `home` (where the list of unfinished
// recordings lives) and everything else of the user's kept out of the way.
std::unique_ptr<QProcess> startProgram(const QString& program, QStringList args, const QString& cwd,
                                       const QString& home, const QMap<QString, QString>& extraEnv = {})
{
    if (program == QLatin1String(LUMIVARK_CLI) && !args.isEmpty() && args.first() == QLatin1String("record"))
        args << QStringLiteral("--device") << QString::number(g_testDevice);
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), QDir::tempPath());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/run"));
    env.insert(QStringLiteral("LUMIVARK_HOME"), home + QStringLiteral("/program"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (auto it = extraEnv.cbegin(); it != extraEnv.cend(); ++it)
        env.insert(it.key(), it.value());
    QDir().mkpath(home + QStringLiteral("/run"));
    QFile::setPermissions(home + QStringLiteral("/run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    p->setProcessEnvironment(env);
    p->setWorkingDirectory(cwd);
    p->start(program, args);
    return p;
}

// The window program's start, up to its first live picture (the repair of
// unfinished recordings comes before it), then its end.
Run startWindow(const QString& cwd, const QString& home)
{
    auto p = startProgram(QStringLiteral(LUMIVARK_PROGRAM), {}, cwd, home,
                          {{QStringLiteral("LUMIVARK_STARTUP_PROBE"), QStringLiteral("1")}});
    return finished(*p, 60000);
}

// Waits until a recording has put `bytes` on disk.
bool grows(const QString& file, qint64 bytes, int timeoutMs = 20000)
{
    QElapsedTimer t;
    t.start();
    while (QFileInfo(file).size() < bytes && t.elapsed() < timeoutMs)
        QTest::qWait(50);
    return QFileInfo(file).size() >= bytes;
}

QByteArray md5(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash h(QCryptographicHash::Md5);
    h.addData(&f);
    return h.result().toHex();
}

// A movie a player can take as it is: a length in its header and an index
// that agrees with the packets.
bool playsWhole(const QString& file, int* frames = nullptr)
{
    const QJsonObject probe = ffprobe(file);
    const QJsonObject v = probeStream(probe, QStringLiteral("video"));
    const double duration = probeDouble(probe.value(QStringLiteral("format")).toObject(), "duration");
    const int packets = probeInt(v, "nb_read_packets");
    if (frames)
        *frames = packets;
    return duration > 0 && packets > 0 && probeInt(v, "nb_frames") == packets;
}

QStringList leftovers(const QString& dir, const QString& pattern)
{
    return QDir(dir).entryList({pattern}, QDir::Files | QDir::Hidden);
}

// ImageMagick's convert; its exit code, with what it printed when asked.
int convert(const QStringList& args, QByteArray* out = nullptr)
{
    QProcess p;
    p.start(QStringLiteral("convert"), args);
    if (!p.waitForFinished(60000))
        return -1;
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// A picture as ImageMagick reads it; null when it refuses the file.
QImage imageMagickReads(const QString& file)
{
    QByteArray ppm;
    if (convert({file, QStringLiteral("ppm:-")}, &ppm) != 0)
        return {};
    return QImage::fromData(ppm, "PPM").convertToFormat(QImage::Format_RGB32);
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const Run r = runCli({QStringLiteral("devices")});
        QCOMPARE(r.exitCode, 0);
        for (const QString& line : r.out.split(QLatin1Char('\n')))
            if (line.contains(QStringLiteral("\tLumivark Test Pattern\t")))
                g_testDevice = line.section(QLatin1Char('\t'), 0, 0).toInt();
        QVERIFY(g_testDevice >= 0);
    }

    void badArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        auto row = [](const char* name, const QStringList& args, const char* message) {
            QTest::newRow(name) << args << QString::fromLatin1(message);
        };
        const QString jpg = QDir::temp().filePath(QStringLiteral("lv-cli-never.jpg"));
        row("no command", {}, "no command given");
        row("unknown command", {QStringLiteral("shoot")}, "unknown command \"shoot\"");
        row("unknown option", {QStringLiteral("snapshot"), jpg, QStringLiteral("--colour"), QStringLiteral("red")},
            "unknown option --colour");
        row("missing value", {QStringLiteral("snapshot"), jpg, QStringLiteral("--device")}, "--device needs a value");
        row("no output", {QStringLiteral("snapshot")}, "snapshot needs OUT.jpg|OUT.bmp (0 given)");
        row("two outputs", {QStringLiteral("snapshot"), jpg, jpg}, "(2 given)");
        row("wrong type", {QStringLiteral("snapshot"), QStringLiteral("x.png")}, "must end in .jpg or .bmp");
        row("bad size", {QStringLiteral("snapshot"), jpg, QStringLiteral("--size"), QStringLiteral("640by480")},
            "--size must be WIDTHxHEIGHT");
        row("zero size", {QStringLiteral("snapshot"), jpg, QStringLiteral("--size"), QStringLiteral("0x480")},
            "--size must be WIDTHxHEIGHT");
        row("bad position", {QStringLiteral("snapshot"), jpg, QStringLiteral("--time"), QStringLiteral("middle")},
            "--time must be 0-5");
        row("text-pos alone", {QStringLiteral("snapshot"), jpg, QStringLiteral("--text-pos"), QStringLiteral("1")},
            "--text-pos needs --text");
        row("quality range", {QStringLiteral("snapshot"), jpg, QStringLiteral("--quality"), QStringLiteral("101")},
            "--quality must be a whole number from 1 to 100");
        row("device not a number", {QStringLiteral("snapshot"), jpg, QStringLiteral("--device"), QStringLiteral("one")},
            "--device must be a whole number");
        row("series without trigger", {QStringLiteral("series"), jpg, QStringLiteral("--count"), QStringLiteral("3")},
            "needs --interval SECONDS or --motion PERCENT");
        row("series interval without end", {QStringLiteral("series"), jpg, QStringLiteral("--interval"), QStringLiteral("1")},
            "--interval needs --count N or --duration SECONDS");
        row("series motion without duration",
            {QStringLiteral("series"), jpg, QStringLiteral("--motion"), QStringLiteral("5")},
            "--motion needs --duration SECONDS");
        row("series both triggers",
            {QStringLiteral("series"), jpg, QStringLiteral("--motion"), QStringLiteral("5"), QStringLiteral("--interval"),
             QStringLiteral("1"), QStringLiteral("--duration"), QStringLiteral("2")},
            "not both");
        row("series zero interval",
            {QStringLiteral("series"), jpg, QStringLiteral("--interval"), QStringLiteral("0"), QStringLiteral("--count"),
             QStringLiteral("2")},
            "--interval must be a whole number from 1");
        row("record without duration", {QStringLiteral("record"), QStringLiteral("x.avi")}, "needs --duration");
        row("record not a movie name", {QStringLiteral("record"), QStringLiteral("x.mov"), QStringLiteral("--duration"),
                                        QStringLiteral("1")},
            "must end in .avi, .mkv or .mp4");
        row("record PCM into MP4", {QStringLiteral("record"), QStringLiteral("x.mp4"), QStringLiteral("--duration"),
                                    QStringLiteral("1"), QStringLiteral("--sound-codec"), QStringLiteral("pcm")},
            "an MP4 file holds AAC sound only");
        row("record sound codec for AVI", {QStringLiteral("record"), QStringLiteral("x.avi"), QStringLiteral("--duration"),
                                           QStringLiteral("1"), QStringLiteral("--sound-codec"), QStringLiteral("aac")},
            "--sound-codec is for .mkv and .mp4");
        row("record bad audio", {QStringLiteral("record"), QStringLiteral("x.avi"), QStringLiteral("--duration"),
                                 QStringLiteral("1"), QStringLiteral("--audio"), QStringLiteral("22050:12:1")},
            "--audio must be RATE:BITS:CHANNELS");
        row("record bad rate", {QStringLiteral("record"), QStringLiteral("x.avi"), QStringLiteral("--duration"),
                                QStringLiteral("1"), QStringLiteral("--rate"), QStringLiteral("0")},
            "--rate must be a number from 1 to 60");
        row("recompress without codec", {QStringLiteral("recompress"), QStringLiteral("a.avi"), QStringLiteral("b.avi")},
            "needs --codec NAME");
        row("extract negative frame", {QStringLiteral("extract"), QStringLiteral("a.avi"), QStringLiteral("b.bmp"),
                                       QStringLiteral("--frame"), QStringLiteral("-1")},
            "--frame must be a whole number from 0");
        row("effect unknown", {QStringLiteral("effect"), QStringLiteral("blur"), QStringLiteral("a.bmp"),
                               QStringLiteral("b.bmp")},
            "unknown effect \"blur\"");
        row("flag with value", {QStringLiteral("snapshot"), jpg, QStringLiteral("--still=yes")}, "--still takes no value");
        row("option twice", {QStringLiteral("snapshot"), jpg, QStringLiteral("--device"), QStringLiteral("0"),
                             QStringLiteral("--device=0")},
            "--device given twice");
        const QStringList series{QStringLiteral("series"), jpg, QStringLiteral("--interval"), QStringLiteral("1"),
                                 QStringLiteral("--count"), QStringLiteral("1")};
        const QString server = QStringLiteral("--ftp-url=127.0.0.1");
        row("ftp user without server", series + QStringList{QStringLiteral("--ftp-user"), QStringLiteral("cam")},
            "--ftp-user needs --ftp-url SERVER");
        row("ftp empty server", series + QStringList{QStringLiteral("--ftp-url"), QStringLiteral(" ")},
            "--ftp-url needs a server name or address");
        row("ftp port out of range", series + QStringList{server, QStringLiteral("--ftp-port"), QStringLiteral("70000")},
            "--ftp-port must be a whole number from 1 to 65535");
        row("ftp port not a number", series + QStringList{server, QStringLiteral("--ftp-port"), QStringLiteral("ftp")},
            "--ftp-port must be a whole number from 1 to 65535");
        row("ftp user with a line break",
            series + QStringList{server, QStringLiteral("--ftp-user"), QStringLiteral("cam\r\nDELE feeder.jpg")},
            "--ftp-user must not hold control characters");
        row("ftp password with a line break",
            series + QStringList{server, QStringLiteral("--ftp-password"), QStringLiteral("pw\nQUIT")},
            "--ftp-password must not hold control characters");
        row("ftp directory with a tab", series + QStringList{server, QStringLiteral("--ftp-dir"), QStringLiteral("a\tb")},
            "--ftp-dir must not hold control characters");
        row("ftp on a snapshot", {QStringLiteral("snapshot"), jpg, server}, "snapshot: unknown option --ftp-url");
        row("information field on a series", series + QStringList{QStringLiteral("--artist"), QStringLiteral("me")},
            "series: unknown option --artist");
        row("information field on a snapshot", {QStringLiteral("snapshot"), jpg, QStringLiteral("--comments=x")},
            "snapshot: unknown option --comments");
    }

    // A script can tell a mistyped command line from a failed capture, and
    // learns what was wrong; nothing is written.
    void badArguments()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const Run r = runCli(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
        QVERIFY(!QFile::exists(QDir::temp().filePath(QStringLiteral("lv-cli-never.jpg"))));
    }

    void helpAndDevices()
    {
        Run r = runCli({QStringLiteral("--help")});
        QCOMPARE(r.exitCode, 0);
        for (const char* c : {"devices", "snapshot", "series", "record", "extract", "recompress", "whatcodec", "effect"})
            QVERIFY2(r.out.contains(QLatin1String(c)), c);
        r = runCli({QStringLiteral("devices")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains(QStringLiteral("\tLumivark Test Pattern\t1.0")), qPrintable(r.out));
    }

    // Failures that are not the command line's fault exit with 1.
    void failures()
    {
        // No such device.
        Run r = runCli({QStringLiteral("snapshot"), path(QStringLiteral("none.jpg")), QStringLiteral("--device"),
                        QStringLiteral("999")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("no capture device 999")), qPrintable(r.err));
        QVERIFY(!QFile::exists(path(QStringLiteral("none.jpg"))));
        // A folder that does not exist.
        r = runCli({QStringLiteral("snapshot"), path(QStringLiteral("no/such/folder.jpg"))});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(!r.err.isEmpty());
        // A parameters file that cannot be read.
        r = runCli({QStringLiteral("devices"), QStringLiteral("--params"), path(QStringLiteral("missing.lvp"))});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("cannot read")), qPrintable(r.err));
    }

    // The stamp is on the picture where it was asked, and djpeg reads the file.
    void stampedSnapshot()
    {
        const QString plain = path(QStringLiteral("plain.jpg"));
        const QString stamped = path(QStringLiteral("stamped.jpg"));
        Run r = runCli({QStringLiteral("snapshot"), plain, QStringLiteral("--still"), QStringLiteral("--size"),
                        QStringLiteral("320x240")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        r = runCli({QStringLiteral("snapshot"), stamped, QStringLiteral("--still"), QStringLiteral("--size"),
                    QStringLiteral("320x240"), QStringLiteral("--text"), QStringLiteral("FEEDER"),
                    QStringLiteral("--text-pos"), QStringLiteral("bottom-right"), QStringLiteral("--time"),
                    QStringLiteral("top-right")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QImage a = djpeg(plain);
        const QImage b = djpeg(stamped);
        QCOMPARE(a.size(), QSize(320, 240));
        QCOMPARE(b.size(), QSize(320, 240));
        QVERIFY(difference(a, b, QRect(240, 180, 80, 40)) > 3.0); // the text, bottom right
        QVERIFY(difference(a, b, QRect(250, 25, 70, 25)) > 3.0);  // the time, top right
        QVERIFY(difference(a, b, QRect(120, 90, 80, 60)) < 1.0);  // nothing in the middle
    }

    void bitmapSnapshotSize()
    {
        const QString bmp = path(QStringLiteral("small.bmp"));
        const Run r = runCli({QStringLiteral("snapshot"), bmp, QStringLiteral("--size"), QStringLiteral("160x120")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(QImage(bmp).size(), QSize(160, 120));
    }

    void intervalSeries()
    {
        const QString base = path(QStringLiteral("feeder.jpg"));
        const Run r = runCli({QStringLiteral("series"), base, QStringLiteral("--interval"), QStringLiteral("1"),
                              QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--date"),
                              QStringLiteral("0")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(r.out.trimmed(), QStringLiteral("3 pictures"));
        for (const char* n : {"feeder00001.jpg", "feeder00002.jpg", "feeder00003.jpg"})
            QCOMPARE(djpeg(path(QLatin1String(n))).size(), QSize(320, 240));
        QVERIFY(!QFile::exists(path(QStringLiteral("feeder00004.jpg"))));
    }

    // The still pattern never changes, so it never triggers; the moving one does.
    void motionSeries()
    {
        Run r = runCli({QStringLiteral("series"), path(QStringLiteral("still.bmp")), QStringLiteral("--motion"),
                        QStringLiteral("0"), QStringLiteral("--duration"), QStringLiteral("3"),
                        QStringLiteral("--still")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(r.out.trimmed(), QStringLiteral("0 pictures"));
        QVERIFY(!QFile::exists(path(QStringLiteral("still00001.bmp"))));
        r = runCli({QStringLiteral("series"), path(QStringLiteral("moving.bmp")), QStringLiteral("--motion"),
                    QStringLiteral("0"), QStringLiteral("--duration"), QStringLiteral("3")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY2(r.out.trimmed() != QStringLiteral("0 pictures"), qPrintable(r.out));
        QCOMPARE(QImage(path(QStringLiteral("moving00001.bmp"))).size(), QSize(320, 240));
    }

    void recording()
    {
        const QString avi = path(QStringLiteral("three.avi"));
        const Run r = runCli({QStringLiteral("record"), avi, QStringLiteral("--duration"), QStringLiteral("3"),
                              QStringLiteral("--rate"), QStringLiteral("10"), QStringLiteral("--audio"),
                              QStringLiteral("22050:16:2")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QJsonObject probe = ffprobe(avi);
        const QJsonObject video = probeStream(probe, QStringLiteral("video"));
        const QJsonObject audio = probeStream(probe, QStringLiteral("audio"));
        QCOMPARE(video.value(QStringLiteral("r_frame_rate")).toString(), QStringLiteral("10/1"));
        QCOMPARE(probeInt(audio, "sample_rate"), 22050);
        QCOMPARE(probeInt(audio, "channels"), 2);
        QCOMPARE(probeInt(audio, "bits_per_sample"), 16);
        const double seconds = probeDouble(probe.value(QStringLiteral("format")).toObject(), "duration");
        QVERIFY2(seconds > 2.5 && seconds < 3.6, qPrintable(QString::number(seconds)));
        QVERIFY(probeInt(video, "nb_read_packets") >= 25);
        QVERIFY(decodesCleanly(avi));
    }

    // MKV and MP4 recordings: the container, codecs, size, rate and sound
    // ffprobe reads back, a frame count that matches the length, and the
    // information fields as the container's own tags (ffprobe and exiftool).
    void recordingContainers_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("videoCodec");
        QTest::addColumn<QString>("audioCodec");
        QTest::newRow("MP4, H.264 by default, AAC") << "c.mp4" << QStringList{} << "mov,mp4,m4a,3gp,3g2,mj2" << "h264"
                                                    << "aac";
        QTest::newRow("MKV, H.264 by default, AAC") << "c.mkv" << QStringList{} << "matroska,webm" << "h264" << "aac";
        QTest::newRow("MKV, PCM sound") << "pcm.mkv" << QStringList{QStringLiteral("--sound-codec"), QStringLiteral("pcm")}
                                        << "matroska,webm" << "h264" << "pcm_s16le";
        QTest::newRow("MKV, Motion JPEG") << "mj.mkv" << QStringList{QStringLiteral("--codec"), QStringLiteral("mjpeg")}
                                          << "matroska,webm" << "mjpeg" << "aac";
    }
    void recordingContainers()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, extra);
        QFETCH(QString, format);
        QFETCH(QString, videoCodec);
        QFETCH(QString, audioCodec);
        const QString file = path(name);
        const Run r = runCli(QStringList{QStringLiteral("record"), file, QStringLiteral("--duration"), QStringLiteral("3"),
                                         QStringLiteral("--rate"), QStringLiteral("15"), QStringLiteral("--size"),
                                         QStringLiteral("640x480"), QStringLiteral("--audio"), QStringLiteral("22050:16:2"),
                                         QStringLiteral("--copyright"), QStringLiteral("(c) Feeder Cam"),
                                         QStringLiteral("--artist"), QStringLiteral("Ana Bird"),
                                         QStringLiteral("--subject"), QStringLiteral("Blue tits"),
                                         QStringLiteral("--comments"), QStringLiteral("Morning visit")}
                             + extra);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QJsonObject probe = ffprobe(file);
        const QJsonObject fmt = probe.value(QStringLiteral("format")).toObject();
        QCOMPARE(fmt.value(QStringLiteral("format_name")).toString(), format);
        const QJsonObject video = probeStream(probe, QStringLiteral("video"));
        const QJsonObject audio = probeStream(probe, QStringLiteral("audio"));
        QCOMPARE(video.value(QStringLiteral("codec_name")).toString(), videoCodec);
        QCOMPARE(probeInt(video, "width"), 640);
        QCOMPARE(probeInt(video, "height"), 480);
        QCOMPARE(video.value(QStringLiteral("r_frame_rate")).toString(), QStringLiteral("15/1"));
        QCOMPARE(audio.value(QStringLiteral("codec_name")).toString(), audioCodec);
        QCOMPARE(probeInt(audio, "sample_rate"), 22050);
        QCOMPARE(probeInt(audio, "channels"), 2);
        // 3 s at 15 fps, within 2 frames.
        const int frames = countFrames(file);
        QVERIFY2(std::abs(frames - 45) <= 2, qPrintable(QString::number(frames)));
        QVERIFY(decodesCleanly(file));

        // Matroska keeps tag names in capitals: compare the names without case.
        QMap<QString, QString> tags;
        const QJsonObject t = fmt.value(QStringLiteral("tags")).toObject();
        for (auto it = t.begin(); it != t.end(); ++it)
            tags.insert(it.key().toLower(), it.value().toString());
        QCOMPARE(tags.value(QStringLiteral("copyright")), QStringLiteral("(c) Feeder Cam"));
        QCOMPARE(tags.value(QStringLiteral("artist")), QStringLiteral("Ana Bird"));
        QCOMPARE(tags.value(QStringLiteral("title")), QStringLiteral("Blue tits"));
        QCOMPARE(tags.value(QStringLiteral("comment")), QStringLiteral("Morning visit"));
        QProcess exif;
        exif.start(QStringLiteral("exiftool"), {QStringLiteral("-s"), QStringLiteral("-Artist"), QStringLiteral("-Copyright"),
                                                QStringLiteral("-Title"), file});
        QVERIFY(exif.waitForFinished(30000));
        const QString said = QString::fromUtf8(exif.readAllStandardOutput());
        QVERIFY2(said.contains(QRegularExpression(QStringLiteral("Artist\\s+: Ana Bird"))), qPrintable(said));
        QVERIFY2(said.contains(QRegularExpression(QStringLiteral("Copyright\\s+: \\(c\\) Feeder Cam"))), qPrintable(said));
        QVERIFY2(said.contains(QRegularExpression(QStringLiteral("Title\\s+: Blue tits"))), qPrintable(said));
    }

    // A codec the container cannot hold is refused with the codecs it can,
    // before the device opens: no file is made, and one of the name stays as it was.
    void codecTheContainerCannotHold_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<bool>("existing");
        QTest::newRow("lossless FFV1 into MP4") << "ffv1.mp4" << "ffv1" << false;
        QTest::newRow("raw frames into MP4, over an older file") << "raw.mp4" << "rawvideo" << true;
        QTest::newRow("no such encoder into MKV") << "none.mkv" << "nosuchcodec" << false;
    }
    void codecTheContainerCannotHold()
    {
        QFETCH(QString, name);
        QFETCH(QString, codec);
        QFETCH(bool, existing);
        const QString file = path(name);
        if (existing) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("older");
        }
        const Run r = runCli({QStringLiteral("record"), file, QStringLiteral("--duration"), QStringLiteral("2"),
                              QStringLiteral("--codec"), codec});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(codec) && r.err.contains(QStringLiteral("record: ")), qPrintable(r.err));
        if (codec != QLatin1String("nosuchcodec"))
            QVERIFY2(r.err.contains(QStringLiteral("cannot hold")) && r.err.contains(QStringLiteral("libx264")),
                     qPrintable(r.err));
        if (existing) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("older"));
        } else {
            QVERIFY(!QFile::exists(file));
        }
    }

    // A recording killed outright (no chance to finish the file) plays as it
    // lies: ffprobe reads it without a repair and the frames up to the last
    // second decode cleanly.
    void killedRecordingPlays_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("MP4") << "killed.mp4";
        QTest::newRow("MKV") << "killed.mkv";
    }
    void killedRecordingPlays()
    {
        QFETCH(QString, name);
        QTemporaryDir root;
        const QString dir = root.filePath(QStringLiteral("work"));
        QDir().mkpath(dir);
        const QString file = dir + QLatin1Char('/') + name;
        auto p = startProgram(QStringLiteral(LUMIVARK_CLI),
                              {QStringLiteral("record"), file, QStringLiteral("--duration"), QStringLiteral("60"),
                               QStringLiteral("--rate"), QStringLiteral("30"), QStringLiteral("--size"),
                               QStringLiteral("640x480"), QStringLiteral("--audio"), QStringLiteral("44100:16:2")},
                              dir, root.filePath(QStringLiteral("home")));
        QVERIFY(p->waitForStarted());
        // Three seconds from the first bytes on disk.
        QElapsedTimer t;
        t.start();
        while (!QFile::exists(file) && t.elapsed() < 20000 && p->state() == QProcess::Running)
            QTest::qWait(20);
        QVERIFY2(QFile::exists(file), "the recording never started");
        QTest::qWait(3000);
        QVERIFY2(p->state() == QProcess::Running, "it ended before the kill");
        ::kill(pid_t(p->processId()), SIGKILL);
        p->waitForFinished();
        const QJsonObject probe = ffprobe(file);
        QVERIFY2(!probeStream(probe, QStringLiteral("video")).isEmpty(), "ffprobe cannot read the killed recording");
        QVERIFY(!probeStream(probe, QStringLiteral("audio")).isEmpty());
        const int frames = countFrames(file);
        QVERIFY2(frames >= 60, qPrintable(QString::number(frames)));
        QVERIFY(decodesCleanly(file));
    }

    // extract on MKV and MP4 files of ffmpeg's making (H.264 with B-frames,
    // an odd size): every frame is the picture ffmpeg decodes as that
    // frame number, alone (--frame) or all at once.
    void extractFromOtherContainers_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("MP4") << "bframes.mp4";
        QTest::newRow("MKV") << "bframes.mkv";
    }
    void extractFromOtherContainers()
    {
        QFETCH(QString, name);
        const QString movie = path(name);
        QProcess make;
        make.start(QStringLiteral("ffmpeg"),
                   {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
                    QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("testsrc=size=317x239:rate=25"),
                    QStringLiteral("-t"), QStringLiteral("2"), QStringLiteral("-c:v"), QStringLiteral("libx264"),
                    QStringLiteral("-bf"), QStringLiteral("3"), QStringLiteral("-g"), QStringLiteral("12"),
                    // Odd sides need 4:4:4 in H.264.
                    QStringLiteral("-pix_fmt"), QStringLiteral("yuv444p"), movie});
        QVERIFY(make.waitForFinished(60000) && make.exitCode() == 0);
        const QString refDir = path(name + QStringLiteral("-ref"));
        QDir().mkpath(refDir);
        QProcess ref;
        ref.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), movie,
                                             QStringLiteral("-fps_mode"), QStringLiteral("passthrough"),
                                             QStringLiteral("-pix_fmt"), QStringLiteral("bgr24"),
                                             refDir + QStringLiteral("/r%d.bmp")});
        QVERIFY(ref.waitForFinished(60000) && ref.exitCode() == 0);
        const int total = int(QDir(refDir).entryList({QStringLiteral("r*.bmp")}).size());
        QCOMPARE(total, 50);

        const QString outDir = path(name + QStringLiteral("-out"));
        QDir().mkpath(outDir);
        Run r = runCli({QStringLiteral("extract"), movie, outDir + QStringLiteral("/f.bmp")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        auto psnr = [](const QImage& a, const QImage& b) {
            if (a.size() != b.size())
                return 0.0;
            const QImage x = a.convertToFormat(QImage::Format_RGB888);
            const QImage y = b.convertToFormat(QImage::Format_RGB888);
            double se = 0;
            for (int row = 0; row < x.height(); ++row) {
                const uchar* p = x.constScanLine(row);
                const uchar* q = y.constScanLine(row);
                for (int i = 0; i < x.width() * 3; ++i)
                    se += double(p[i] - q[i]) * (p[i] - q[i]);
            }
            const double mse = se / (double(x.width()) * x.height() * 3);
            return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
        };
        for (int n = 0; n < total; ++n) {
            const QImage want(refDir + QStringLiteral("/r%1.bmp").arg(n + 1));
            const QImage got(outDir + QStringLiteral("/f_Frame_%1.bmp").arg(n));
            QVERIFY2(!got.isNull(), qPrintable(QString::number(n)));
            const double db = psnr(got, want);
            QVERIFY2(db >= 45, qPrintable(QStringLiteral("frame %1: %2 dB").arg(n).arg(db)));
        }
        // Frames alone, in an order that seeks back and forth across key frames.
        for (int n : {37, 11, 12, 49, 0, 25}) {
            const QString one = outDir + QStringLiteral("/one.bmp");
            r = runCli({QStringLiteral("extract"), movie, one, QStringLiteral("--frame"), QString::number(n)});
            QVERIFY2(r.exitCode == 0, qPrintable(r.err));
            const double db = psnr(QImage(one), QImage(refDir + QStringLiteral("/r%1.bmp").arg(n + 1)));
            QVERIFY2(db >= 45, qPrintable(QStringLiteral("frame %1 alone: %2 dB").arg(n).arg(db)));
        }
        r = runCli({QStringLiteral("whatcodec"), movie});
        QVERIFY2(r.exitCode == 0 && r.out.contains(QStringLiteral("(h264)")), qPrintable(r.out + r.err));
    }

    // A disk that fills up inside a picture ends the series with the
    // system's reason, and no part of the picture is left.
    void seriesOnAFullDisk_data()
    {
        QTest::addColumn<QString>("base");
        QTest::newRow("bitmaps") << "shot.bmp";
        QTest::newRow("JPEG") << "shot.jpg";
    }
    void seriesOnAFullDisk()
    {
        QFETCH(QString, base);
        ScopedTmpfs disk(true);
        if (!disk.mounted())
            QSKIP("cannot mount a tmpfs here (mounting needs root)");
        QVERIFY(disk.leave(4096));
        const Run r = runCli({QStringLiteral("series"), disk.path(base), QStringLiteral("--interval"),
                              QStringLiteral("1"), QStringLiteral("--count"), QStringLiteral("2")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("Error writing ") + disk.path(QStringLiteral("shot00001.")))
                     && r.err.contains(QStringLiteral("No space left on device")),
                 qPrintable(r.err));
        QCOMPARE(leftovers(disk.path(QString()), QStringLiteral("shot*")), QStringList());
    }

    // A full disk ends the recording with the reason and exit status 1; the
    // frames reported are the frames the file holds, and a file that could
    // take nothing is not left behind.
    void recordOnAFullDisk_data()
    {
        QTest::addColumn<bool>("fullAtOnce");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("extra");
        QTest::newRow("full part way") << false << "full.avi" << QStringList{};
        QTest::newRow("full from the start") << true << "full.avi" << QStringList{};
        // Motion JPEG fills the small disk within the recording.
        const QStringList mjpeg{QStringLiteral("--codec"), QStringLiteral("mjpeg"), QStringLiteral("--quality"),
                                QStringLiteral("100")};
        QTest::newRow("MP4, full part way") << false << "full.mp4" << mjpeg;
        QTest::newRow("MP4, full from the start") << true << "full.mp4" << QStringList{};
        QTest::newRow("MKV, full part way") << false << "full.mkv" << mjpeg;
    }
    void recordOnAFullDisk()
    {
        QFETCH(bool, fullAtOnce);
        QFETCH(QString, name);
        QFETCH(QStringList, extra);
        ScopedTmpfs disk(fullAtOnce);
        if (!disk.mounted())
            QSKIP("cannot mount a tmpfs here (mounting needs root)");
        const QString avi = disk.path(name);
        const Run r = runCli(QStringList{QStringLiteral("record"), avi, QStringLiteral("--duration"), QStringLiteral("8"),
                                         QStringLiteral("--rate"), QStringLiteral("30"), QStringLiteral("--size"),
                                         QStringLiteral("640x480")}
                             + extra);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("disk is full")), qPrintable(r.err));
        if (fullAtOnce) {
            QVERIFY(!QFile::exists(avi));
            return;
        }
        const int held = countFrames(avi);
        QVERIFY2(held > 0, qPrintable(QString::number(held)));
        // Frames that came after the disk refused are dropped; how many depends on timing.
        const QString line = r.out.trimmed();
        QVERIFY2(line.startsWith(QStringLiteral("%1: %2 frames, ").arg(avi).arg(held)), qPrintable(line));
    }

    // An unfinished recording is mended where it was made, whoever starts
    // next and from whatever folder; another folder's file of the same name
    // stays as it is, and a recording still running is left alone.
    void recovery_data()
    {
        QTest::addColumn<bool>("windowDuringRecording");
        QTest::addColumn<QString>("repairBy"); // window, repair, record
        QTest::newRow("killed, then the window in another folder") << false << "window";
        QTest::newRow("killed, then lumivark-cli repair in another folder") << false << "repair";
        QTest::newRow("killed, then the next lumivark-cli record") << false << "record";
        QTest::newRow("the window started during the recording, then killed") << true << "window";
    }
    void recovery()
    {
        QFETCH(bool, windowDuringRecording);
        QFETCH(QString, repairBy);
        if ((windowDuringRecording || repairBy == QLatin1String("window")) && QByteArray(LUMIVARK_PROGRAM).isEmpty())
            QSKIP("built without the window program");
        QTemporaryDir root;
        const QString home = root.filePath(QStringLiteral("home"));
        const QString here = root.filePath(QStringLiteral("here"));
        const QString elsewhere = root.filePath(QStringLiteral("elsewhere"));
        QDir().mkpath(here);
        QDir().mkpath(elsewhere);
        const QString movie = here + QStringLiteral("/r.avi");
        const QString other = elsewhere + QStringLiteral("/r.avi");

        // Recorded by its bare name, in its own folder.
        auto cli = startProgram(QStringLiteral(LUMIVARK_CLI),
                                {QStringLiteral("record"), QStringLiteral("r.avi"), QStringLiteral("--duration"),
                                 QStringLiteral("120"), QStringLiteral("--size"), QStringLiteral("320x240")},
                                here, home);
        QVERIFY(cli->waitForStarted());
        QVERIFY(grows(movie, 40000));
        if (windowDuringRecording) {
            const Run w = startWindow(elsewhere, home);
            QVERIFY2(w.exitCode == 0, qPrintable(w.err));
            QVERIFY2(cli->state() == QProcess::Running, "the window's start ended the recording");
            const qint64 size = QFileInfo(movie).size();
            QVERIFY(grows(movie, size + 20000)); // it goes on growing, as the recording writes it
        }
        QTest::qWait(1200);
        ::kill(pid_t(cli->processId()), SIGKILL);
        QVERIFY(cli->waitForFinished(10000));
        const qint64 leftBytes = QFileInfo(movie).size();
        QVERIFY(!playsWhole(movie));

        // The other folder holds an unfinished movie of the same name, of its own.
        QVERIFY(QFile::copy(movie, other));
        const QByteArray otherSum = md5(other);

        if (repairBy == QLatin1String("window")) {
            const Run w = startWindow(elsewhere, home);
            QVERIFY2(w.exitCode == 0, qPrintable(w.err));
        } else if (repairBy == QLatin1String("repair")) {
            auto p = startProgram(QStringLiteral(LUMIVARK_CLI), {QStringLiteral("repair")}, elsewhere, home);
            const Run r = finished(*p);
            QCOMPARE(r.exitCode, 0);
            QVERIFY2(r.err.contains(QStringLiteral("Repaired the unfinished recording ") + QFileInfo(movie).canonicalFilePath()),
                     qPrintable(r.err));
        } else {
            auto p = startProgram(QStringLiteral(LUMIVARK_CLI),
                                  {QStringLiteral("record"), QStringLiteral("next.avi"), QStringLiteral("--duration"),
                                   QStringLiteral("1"), QStringLiteral("--size"), QStringLiteral("160x120")},
                                  elsewhere, home);
            const Run r = finished(*p);
            QVERIFY2(r.exitCode == 0, qPrintable(r.err));
            QVERIFY2(r.err.contains(QStringLiteral("Repaired the unfinished recording ") + QFileInfo(movie).canonicalFilePath()),
                     qPrintable(r.err));
        }
        QCOMPARE(md5(other), otherSum);
        int frames = 0;
        QVERIFY2(playsWhole(movie, &frames), "the recording was not repaired");
        QVERIFY2(QFileInfo(movie).size() > leftBytes - 200000, "more than the last second was lost");
        QVERIFY(frames > 10);
        QVERIFY(decodesCleanly(movie));
    }

    // Ctrl+C or a kill's SIGTERM: a recording ends as its end would, with a
    // file that plays; extract and recompress stop and leave no unfinished file.
    void interrupted_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("signal");
        for (const char* command : {"record", "recompress", "extract"}) {
            QTest::addRow("%s, SIGINT", command) << QString::fromLatin1(command) << int(SIGINT);
            QTest::addRow("%s, SIGTERM", command) << QString::fromLatin1(command) << int(SIGTERM);
        }
    }
    void interrupted()
    {
        QFETCH(QString, command);
        QFETCH(int, signal);
        QTemporaryDir root;
        const QString home = root.filePath(QStringLiteral("home"));
        const QString dir = root.filePath(QStringLiteral("work"));
        QDir().mkpath(dir);
        const QString source = dir + QStringLiteral("/source.avi");
        if (command != QLatin1String("record"))
            QVERIFY(moviefiles::makeMovie(source, {QStringLiteral("-c:v"), QStringLiteral("mjpeg")}, 400, 640, 480, true));
        const QString out = dir + (command == QLatin1String("extract") ? QStringLiteral("/frame.bmp")
                                                                       : QStringLiteral("/out.avi"));
        QStringList args{command};
        if (command == QLatin1String("record"))
            args << out << QStringLiteral("--duration") << QStringLiteral("120") << QStringLiteral("--size")
                 << QStringLiteral("320x240");
        else if (command == QLatin1String("recompress"))
            args << source << out << QStringLiteral("--codec") << QStringLiteral("ffv1");
        else
            args << source << out;
        auto p = startProgram(QStringLiteral(LUMIVARK_CLI), args, dir, home);
        QVERIFY(p->waitForStarted());
        // Until the work is well under way.
        QElapsedTimer t;
        t.start();
        auto underWay = [&] {
            if (command == QLatin1String("record"))
                return QFileInfo(out).size() > 40000;
            if (command == QLatin1String("recompress"))
                return !leftovers(dir, QStringLiteral(".out.avi.*")).isEmpty() && t.elapsed() > 700;
            return leftovers(dir, QStringLiteral("frame_Frame_*.bmp")).size() > 20;
        };
        while (!underWay() && t.elapsed() < 30000 && p->state() == QProcess::Running)
            QTest::qWait(20);
        QVERIFY2(underWay(), "the work never got under way");
        QVERIFY2(p->state() == QProcess::Running, "it ended before the signal");
        ::kill(pid_t(p->processId()), signal);
        const Run r = finished(*p);
        if (command == QLatin1String("record")) {
            QVERIFY2(r.exitCode == 0, qPrintable(r.err));
            int frames = 0;
            QVERIFY2(playsWhole(out, &frames), "the interrupted recording has no index or length");
            QVERIFY2(r.out.contains(QStringLiteral("frames")), qPrintable(r.out));
            QVERIFY(decodesCleanly(out));
            return;
        }
        QVERIFY2(r.exitCode == 128 + signal, qPrintable(QString::number(r.exitCode) + r.err));
        QVERIFY2(r.err.contains(QStringLiteral("interrupted")), qPrintable(r.err));
        QCOMPARE(leftovers(dir, QStringLiteral(".*")), QStringList());
        QCOMPARE(leftovers(dir, QStringLiteral("*.part")), QStringList());
        if (command == QLatin1String("recompress")) {
            QVERIFY(!QFileInfo::exists(out));
            QVERIFY(!QFileInfo::exists(dir + QStringLiteral("/out.wav")));
        }
    }

    // One file, two writers: the second is refused before it writes
    // anything and says who has the file; the first records on undisturbed.
    void secondWriterIsRefused()
    {
        QTemporaryDir root;
        const QString home = root.filePath(QStringLiteral("home"));
        const QString movie = root.filePath(QStringLiteral("same.avi"));
        auto first = startProgram(QStringLiteral(LUMIVARK_CLI),
                                  {QStringLiteral("record"), movie, QStringLiteral("--duration"), QStringLiteral("4"),
                                   QStringLiteral("--size"), QStringLiteral("320x240")},
                                  root.path(), home);
        QVERIFY(first->waitForStarted());
        QVERIFY(grows(movie, 20000));
        auto second = startProgram(QStringLiteral(LUMIVARK_CLI),
                                   {QStringLiteral("record"), movie, QStringLiteral("--duration"), QStringLiteral("2"),
                                    QStringLiteral("--size"), QStringLiteral("160x120")},
                                   root.path(), home);
        const Run refused = finished(*second);
        QCOMPARE(refused.exitCode, 1);
        const QString who = QStringLiteral("is being recorded by lumivark-cli (process %1)").arg(first->processId());
        QVERIFY2(refused.err.contains(who), qPrintable(refused.err));
        QVERIFY2(!refused.out.contains(QStringLiteral("frames")), qPrintable(refused.out));
        const Run recorded = finished(*first);
        QVERIFY2(recorded.exitCode == 0, qPrintable(recorded.err));
        int frames = 0;
        QVERIFY(playsWhole(movie, &frames));
        // The first one's frames, at its size: the second wrote nothing.
        const QJsonObject v = probeStream(ffprobe(movie), QStringLiteral("video"));
        QCOMPARE(probeInt(v, "width"), 320);
        QVERIFY2(recorded.out.contains(QStringLiteral(": %1 frames").arg(frames)),
                 qPrintable(recorded.out + QString::number(frames)));
    }

    void movieFiles()
    {
        const QString movie = path(QStringLiteral("made.avi"));
        QVERIFY(moviefiles::makeMovie(movie, {QStringLiteral("-c:v"), QStringLiteral("mjpeg")}, 4, 160, 120));

        Run r = runCli({QStringLiteral("whatcodec"), movie});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains(QStringLiteral("Motion JPEG")), qPrintable(r.out));

        QDir().mkpath(path(QStringLiteral("frames")));
        r = runCli({QStringLiteral("extract"), movie, path(QStringLiteral("frames/shot.bmp"))});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QStringList frames = QDir(path(QStringLiteral("frames"))).entryList(QDir::Files, QDir::Name);
        QCOMPARE(frames.size(), 4);
        for (const QString& f : frames)
            QVERIFY2(f.startsWith(QStringLiteral("shot_Frame_")) && f.endsWith(QStringLiteral(".bmp")), qPrintable(f));

        const QString one = path(QStringLiteral("one.jpg"));
        r = runCli({QStringLiteral("extract"), movie, one, QStringLiteral("--frame"), QStringLiteral("2")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(djpeg(one).size(), QSize(160, 120));
        r = runCli({QStringLiteral("extract"), movie, path(QStringLiteral("late.jpg")), QStringLiteral("--frame"),
                    QStringLiteral("40")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(!QFile::exists(path(QStringLiteral("late.jpg"))));

        const QString again = path(QStringLiteral("again.avi"));
        r = runCli({QStringLiteral("recompress"), movie, again, QStringLiteral("--codec"), QStringLiteral("mpeg4"),
                    QStringLiteral("--quality"), QStringLiteral("60")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QJsonObject video = probeStream(ffprobe(again), QStringLiteral("video"));
        QCOMPARE(video.value(QStringLiteral("codec_name")).toString(), QStringLiteral("mpeg4"));
        QCOMPARE(probeInt(video, "nb_read_packets"), 4);

        r = runCli({QStringLiteral("recompress"), movie, path(QStringLiteral("never.avi")), QStringLiteral("--codec"),
                    QStringLiteral("no-such-encoder")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(!r.err.isEmpty());
        QVERIFY(!QFile::exists(path(QStringLiteral("never.avi"))));

        r = runCli({QStringLiteral("extract"), path(QStringLiteral("absent.avi")), path(QStringLiteral("x.bmp"))});
        QCOMPARE(r.exitCode, 1);
        r = runCli({QStringLiteral("whatcodec"), path(QStringLiteral("absent.avi"))});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(!r.err.isEmpty());
    }

    // Extraction says what went wrong, once and with the reason, and never
    // calls a run that lost frames a success.
    void extractSaysWhatWentWrong_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("saying");
        QTest::addColumn<QString>("notSaying");
        QTest::newRow("JPEG pictures into a read-only folder")
            << QStringLiteral("readonly-all") << 1 << QStringLiteral("Read-only file system") << QString();
        QTest::newRow("one frame into a read-only folder")
            << QStringLiteral("readonly-one") << 1 << QStringLiteral("Read-only file system")
            << QStringLiteral("has no frame");
        QTest::newRow("no frame decodes") << QStringLiteral("rubbish") << 1 << QStringLiteral("Only 0 of the 12 frames")
                                          << QStringLiteral("0 frames");
        QTest::newRow("torn index") << QStringLiteral("torn") << 0 << QStringLiteral("12 frames") << QString();
    }

    void extractSaysWhatWentWrong()
    {
        QFETCH(QString, kind);
        QFETCH(int, exitCode);
        QFETCH(QString, saying);
        QFETCH(QString, notSaying);
        const QString movie = path(QStringLiteral("say-%1.avi").arg(kind));
        QVERIFY(moviefiles::makeMovie(movie, {QStringLiteral("-c:v"), QStringLiteral("mjpeg")}, 12, 96, 64));
        QFile f(movie);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray b = f.readAll();
        const qsizetype movi = b.indexOf("movi");
        const qsizetype idx = b.lastIndexOf("idx1");
        if (kind == QLatin1String("rubbish")) {
            // Every picture's bytes overwritten, the chunk headers kept.
            for (qsizetype at = b.indexOf("00dc", movi); at > 0 && at < idx; at = b.indexOf("00dc", at + 8)) {
                const auto* p = reinterpret_cast<const uchar*>(b.constData() + at + 4);
                const qsizetype len = p[0] | p[1] << 8 | p[2] << 16 | qsizetype(p[3]) << 24;
                b.replace(at + 8, len, QByteArray(len, '\x5a'));
            }
        } else if (kind == QLatin1String("torn")) {
            b.truncate(idx + 8 + 40);
        }
        f.resize(0);
        f.write(b);
        f.close();

        QString target = path(QStringLiteral("say-%1/x.jpg").arg(kind));
        QDir().mkpath(path(QStringLiteral("say-%1").arg(kind)));
        std::optional<ScopedTmpfs> readOnly;
        if (kind.startsWith(QLatin1String("readonly"))) {
            readOnly.emplace(false, QStringLiteral("ro,size=64k"));
            if (!readOnly->mounted())
                QSKIP("cannot mount a read-only tmpfs here");
            target = readOnly->path(QStringLiteral("x.jpg"));
        }
        QStringList args{QStringLiteral("extract"), movie, target};
        if (kind == QLatin1String("readonly-one"))
            args << QStringLiteral("--frame") << QStringLiteral("3");
        const Run r = runCli(args);
        const QString all = r.out + r.err;
        QVERIFY2(r.exitCode == exitCode, qPrintable(all));
        QVERIFY2(all.contains(saying), qPrintable(all));
        if (!notSaying.isEmpty())
            QVERIFY2(!all.contains(notSaying), qPrintable(all));
        // One line with the reason, and a count: not a line per picture.
        QVERIFY2(r.err.count(QStringLiteral("cannot write")) <= 1, qPrintable(r.err));
        if (kind == QLatin1String("readonly-all"))
            QVERIFY2(r.err.contains(QStringLiteral("12 of 12 pictures could not be written")), qPrintable(r.err));
    }

    void effect()
    {
        QImage in(8, 4, QImage::Format_RGB32);
        in.fill(qRgb(10, 100, 200));
        in.setPixel(0, 0, qRgb(255, 0, 0));
        const QString source = path(QStringLiteral("in.bmp"));
        QVERIFY(in.save(source, "BMP"));
        const QString out = path(QStringLiteral("out.bmp"));
        const Run r = runCli({QStringLiteral("effect"), QStringLiteral("invert"), source, out});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QImage result(out);
        QCOMPARE(result.size(), in.size());
        QCOMPARE(result.pixel(3, 2), qRgb(245, 155, 55));
        QCOMPARE(result.pixel(0, 0), qRgb(0, 255, 255));
        const Run bad = runCli({QStringLiteral("effect"), QStringLiteral("invert"), path(QStringLiteral("nothing.bmp")), out});
        QCOMPARE(bad.exitCode, 1);
    }

    // FFmpeg's own lines (here the scaler's note on the Motion JPEG pixel
    // format) go into the program's log: kept off stderr unless the
    // category is asked for.
    void ffmpegLinesGoToTheLog_data()
    {
        QTest::addColumn<QString>("rules"); // QT_LOGGING_RULES; empty: not set
        QTest::addColumn<bool>("shown");
        QTest::newRow("by default") << "" << false;
        QTest::newRow("asked for") << "lumivark.ffmpeg=true" << true;
    }
    void ffmpegLinesGoToTheLog()
    {
        QFETCH(QString, rules);
        QFETCH(bool, shown);
        const QString movie = path(QStringLiteral("scaled.avi"));
        if (!QFile::exists(movie))
            QVERIFY(moviefiles::makeMovie(movie, {QStringLiteral("-c:v"), QStringLiteral("mjpeg")}, 4, 160, 120));
        const QString out = path(QStringLiteral("scaled-again.avi"));
        QMap<QString, QString> env;
        if (!rules.isEmpty())
            env.insert(QStringLiteral("QT_LOGGING_RULES"), rules);
        const Run r = runCli({QStringLiteral("recompress"), movie, out, QStringLiteral("--codec"), QStringLiteral("mpeg4")},
                             60000, env);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QString note = QStringLiteral("deprecated pixel format used");
        if (!shown) {
            QVERIFY2(!r.err.contains(note) && !r.err.contains(QStringLiteral(" @ 0x")), qPrintable(r.err));
            return;
        }
        // As a line of the program's log, in the category named.
        const QStringList lines = r.err.split(QLatin1Char('\n')).filter(note);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().startsWith(QStringLiteral("lumivark.ffmpeg: [swscaler @ ")), qPrintable(lines.first()));
    }

    // Bitmaps other programs read are read; cut ones are refused with the
    // reason, and no picture is written from them.
    void effectOnBitmaps_data()
    {
        QTest::addColumn<QStringList>("convertArgs");
        QTest::addColumn<QString>("change"); // "top-down", or where the file is cut
        QTest::addColumn<QString>("error");  // empty: read
        const QStringList rgb{QStringLiteral("-type"), QStringLiteral("truecolor"), QStringLiteral("-define"),
                              QStringLiteral("bmp:format=bmp3")};
        const QStringList rgba{QStringLiteral("-alpha"), QStringLiteral("set"), QStringLiteral("-define"),
                               QStringLiteral("bmp:format=bmp4")};
        const QStringList table{QStringLiteral("-type"), QStringLiteral("palette"), QStringLiteral("-colors"),
                                QStringLiteral("200"), QStringLiteral("-compress"), QStringLiteral("none"),
                                QStringLiteral("-define"), QStringLiteral("bmp:format=bmp3")};
        QTest::newRow("top-down 24 bits") << rgb << "top-down" << "";
        QTest::newRow("top-down 32 bits") << rgba << "top-down" << "";
        QTest::newRow("top-down 8 bits") << table << "top-down" << "";
        QTest::newRow("cut in the header") << rgb << "30" << "cut short inside its header";
        QTest::newRow("header and 6 bytes") << rgb << "header+6" << "cut short: its header says";
        QTest::newRow("half the pixels") << table << "half" << "cut short: its header says";
        QTest::newRow("one byte short") << rgba << "-1" << "cut short: its header says";
    }
    void effectOnBitmaps()
    {
        QFETCH(QStringList, convertArgs);
        QFETCH(QString, change);
        QFETCH(QString, error);
        const QString source = path(QStringLiteral("made.bmp"));
        QCOMPARE(convert(QStringList{QStringLiteral("-size"), QStringLiteral("37x23"),
                                     QStringLiteral("gradient:red-blue"), QStringLiteral("-fill"),
                                     QStringLiteral("yellow"), QStringLiteral("-draw"),
                                     QStringLiteral("rectangle 3,2 12,6")}
                         + convertArgs + QStringList{source}),
                 0);
        QFile f(source);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        f.close();
        const qsizetype off = lvtest::bmpField(bytes, 10, 4);
        if (change == QLatin1String("top-down"))
            bytes = lvtest::topDownBitmap(bytes);
        else if (change == QLatin1String("header+6"))
            bytes.truncate(off + 6);
        else if (change == QLatin1String("half"))
            bytes.truncate(off + (bytes.size() - off) / 2);
        else
            bytes.truncate(change.toInt() > 0 ? change.toInt() : bytes.size() + change.toInt());
        const QString in = path(QStringLiteral("changed.bmp"));
        QFile changed(in);
        QVERIFY(changed.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(changed.write(bytes), bytes.size());
        changed.close();
        const QImage reference = imageMagickReads(in);
        QCOMPARE(reference.isNull(), !error.isEmpty());

        const QString out = path(QStringLiteral("inverted.bmp"));
        QFile::remove(out);
        const Run r = runCli({QStringLiteral("effect"), QStringLiteral("invert"), in, out});
        if (!error.isEmpty()) {
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(r.err.contains(QStringLiteral("cannot read ") + in) && r.err.contains(error), qPrintable(r.err));
            QVERIFY(!QFile::exists(out));
            return;
        }
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QImage inverted = imageMagickReads(out);
        QVERIFY(!inverted.isNull());
        inverted.invertPixels();
        QCOMPARE(inverted, reference);
    }

    // Each picture of the series goes to a real FTP server as it is taken,
    // byte for byte, into the folder asked for; the password comes from the
    // environment and never from the command line.
    void ftpSeries()
    {
        FtpTestServer server;
        QVERIFY2(server.isRunning(), qPrintable(server.errorText()));
        QVERIFY(QDir(server.home()).mkpath(QStringLiteral("cam")));
        const QString base = path(QStringLiteral("sent.jpg"));
        const Run r = runCli({QStringLiteral("series"), base, QStringLiteral("--interval"), QStringLiteral("1"),
                              QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--ftp-url"),
                              QStringLiteral("127.0.0.1"), QStringLiteral("--ftp-port"), QString::number(server.port()),
                              QStringLiteral("--ftp-user"), QLatin1String(FtpTestServer::User),
                              QStringLiteral("--ftp-dir"), QStringLiteral("cam"), QStringLiteral("--time"),
                              QStringLiteral("0")},
                             60000, {{QStringLiteral("LUMIVARK_FTP_PASSWORD"), QLatin1String(FtpTestServer::Password)}});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(r.out.trimmed(), QStringLiteral("3 pictures\n3 uploaded to 127.0.0.1"));
        for (const char* n : {"sent00001.jpg", "sent00002.jpg", "sent00003.jpg"}) {
            const QString onServer = server.pathOnServer(QStringLiteral("cam/") + QLatin1String(n));
            const QByteArray local = fileBytes(path(QLatin1String(n)));
            QVERIFY(local.size() > 1000);
            QCOMPARE(fileBytes(onServer), local);
            QCOMPARE(djpeg(onServer).size(), QSize(320, 240));
        }
        QVERIFY(!QFile::exists(server.pathOnServer(QStringLiteral("cam/sent00004.jpg"))));

        // A motion series that ends by its duration: every picture it kept
        // has arrived, none was taken after the end and left behind.
        QDir().mkpath(path(QStringLiteral("moving")));
        const Run m = runCli({QStringLiteral("series"), path(QStringLiteral("moving/mo.jpg")), QStringLiteral("--motion"),
                              QStringLiteral("0"), QStringLiteral("--duration"), QStringLiteral("3"),
                              QStringLiteral("--ftp-url"), QStringLiteral("127.0.0.1"), QStringLiteral("--ftp-port"),
                              QString::number(server.port()), QStringLiteral("--ftp-user"),
                              QLatin1String(FtpTestServer::User)},
                             60000, {{QStringLiteral("LUMIVARK_FTP_PASSWORD"), QLatin1String(FtpTestServer::Password)}});
        QVERIFY2(m.exitCode == 0, qPrintable(m.err));
        const QStringList taken = QDir(path(QStringLiteral("moving"))).entryList(QDir::Files);
        QVERIFY(!taken.isEmpty());
        QCOMPARE(m.out.trimmed(), QStringLiteral("%1 pictures\n%1 uploaded to 127.0.0.1").arg(taken.size()));
        for (const QString& n : taken)
            QCOMPARE(fileBytes(server.pathOnServer(n)), fileBytes(path(QStringLiteral("moving/") + n)));
        // Nothing but errors on stderr: the upload's steps are not logged there.
        QVERIFY2(!m.err.contains(QStringLiteral("ftp:")), qPrintable(m.err));
    }

    // The Internet Settings of a parameters file send the series as the
    // window would; the server's refusal of the login ends it with status 1
    // and the server's own words, and the picture stays at home.
    void ftpSeriesFromParameters()
    {
        FtpTestServer server;
        QVERIFY2(server.isRunning(), qPrintable(server.errorText()));
        auto lvp = [&](const QString& name, const QString& password) {
            const QString file = path(name);
            QFile f(file);
            if (!f.open(QIODevice::WriteOnly))
                return QString();
            f.write(QStringLiteral("[Video Capture Device]\r\nDevice Index=%1\r\n[Capture Type]\r\n"
                                   "Capture=Multiple Image\r\nMultiple Image Type=2\r\n[Trigger Type]\r\n"
                                   "Trigger=Timer\r\nInterval=1\r\n[Internet Settings]\r\n"
                                   "Send to FTP Server=Yes\r\nURL=127.0.0.1\r\nPort=%2\r\nUsername=%3\r\n"
                                   "Password=%4\r\nDirectory=\r\n")
                        .arg(g_testDevice)
                        .arg(server.port())
                        .arg(QLatin1String(FtpTestServer::User), password)
                        .toUtf8());
            return file;
        };
        const QString good = lvp(QStringLiteral("ftp.lvp"), QLatin1String(FtpTestServer::Password));
        Run r = runCli({QStringLiteral("series"), path(QStringLiteral("lvp.jpg")), QStringLiteral("--count"),
                        QStringLiteral("1"), QStringLiteral("--params"), good});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(fileBytes(server.pathOnServer(QStringLiteral("lvp00001.jpg"))), fileBytes(path(QStringLiteral("lvp00001.jpg"))));

        const QString refused = lvp(QStringLiteral("refused.lvp"), QStringLiteral("not-the-password"));
        r = runCli({QStringLiteral("series"), path(QStringLiteral("refused.jpg")), QStringLiteral("--count"),
                    QStringLiteral("3"), QStringLiteral("--params"), refused});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("cannot upload ")) && r.err.contains(QStringLiteral("refused00001.jpg: 530 ")),
                 qPrintable(r.err));
        QVERIFY2(!r.err.contains(QStringLiteral("not-the-password")), qPrintable(r.err));
        QVERIFY(QFile::exists(path(QStringLiteral("refused00001.jpg"))));
        QVERIFY(!QFile::exists(path(QStringLiteral("refused00002.jpg"))));
        QVERIFY(!QFile::exists(server.pathOnServer(QStringLiteral("refused00001.jpg"))));

        // The command line wins over the file.
        r = runCli({QStringLiteral("series"), path(QStringLiteral("fixed.jpg")), QStringLiteral("--count"),
                    QStringLiteral("1"), QStringLiteral("--params"), refused, QStringLiteral("--ftp-password"),
                    QLatin1String(FtpTestServer::Password)});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(fileBytes(server.pathOnServer(QStringLiteral("fixed00001.jpg"))), fileBytes(path(QStringLiteral("fixed00001.jpg"))));
    }

    // A server that is not there: status 1, the reason, the picture kept.
    void ftpSeriesNoServer()
    {
        const Run r = runCli({QStringLiteral("series"), path(QStringLiteral("lonely.bmp")), QStringLiteral("--interval"),
                              QStringLiteral("1"), QStringLiteral("--count"), QStringLiteral("2"),
                              QStringLiteral("--ftp-url"), QStringLiteral("127.0.0.1"), QStringLiteral("--ftp-port"),
                              QString::number(closedPort())});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("cannot upload ")) && r.err.contains(QStringLiteral("lonely00001.bmp")),
                 qPrintable(r.err));
        QCOMPARE(QImage(path(QStringLiteral("lonely00001.bmp"))).size(), QSize(320, 240));
    }

    // The server goes away after the first series and the program ends with
    // its pictures waiting (status 1, how many and where); the next series,
    // with the server back, sends them first, in order, none twice.
    void ftpSeriesWaitsForTheServer()
    {
        const QString log = path(QStringLiteral("received.log"));
        QFile::remove(log);
        FtpTestServer server({QStringLiteral("--log"), log});
        QVERIFY2(server.isRunning(), qPrintable(server.errorText()));
        const QString program = path(QStringLiteral("spooling-home"));
        const QMap<QString, QString> env{{QStringLiteral("LUMIVARK_FTP_PASSWORD"), QLatin1String(FtpTestServer::Password)},
                                         {QStringLiteral("LUMIVARK_HOME"), program}};
        auto series = [&](const QString& base) {
            return runCli({QStringLiteral("series"), path(base), QStringLiteral("--interval"), QStringLiteral("1"),
                           QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--ftp-url"),
                           QStringLiteral("ftp://127.0.0.1:%1").arg(server.port()), QStringLiteral("--ftp-user"),
                           QLatin1String(FtpTestServer::User)},
                          60000, env);
        };
        server.stop();
        Run r = series(QStringLiteral("away.jpg"));
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.out.contains(QStringLiteral("3 pictures\n0 uploaded")), qPrintable(r.out));
        QVERIFY2(r.err.contains(QStringLiteral("cannot upload away00001.jpg: ")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("3 pictures wait for the server in ") + program), qPrintable(r.err));

        QVERIFY2(server.restart(), qPrintable(server.errorText()));
        r = series(QStringLiteral("back.jpg"));
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(r.out.trimmed(), QStringLiteral("3 pictures\n6 uploaded to ftp://127.0.0.1:%1").arg(server.port()));
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QStringList received;
        for (const QByteArray& line : f.readAll().split('\n'))
            if (!line.isEmpty())
                received << QFileInfo(QString::fromUtf8(line)).fileName();
        QStringList expected;
        for (const char* base : {"away", "back"})
            for (int i = 1; i <= 3; ++i)
                expected << QStringLiteral("%1%2.jpg").arg(QLatin1String(base)).arg(i, 5, 10, QLatin1Char('0'));
        QCOMPARE(received, expected);
        for (const QString& n : expected)
            QCOMPARE(fileBytes(server.pathOnServer(n)), fileBytes(path(n)));
    }

    // A series to an SSH server: the key of --ftp-key, the host checked in
    // ~/.ssh/known_hosts; an unknown host is refused with its fingerprint.
    void sftpSeries()
    {
        SshTestServer server;
        if (!server.isRunning())
            QSKIP(qPrintable(QStringLiteral("sshd cannot start here: ") + server.errorText()));
        const QString home = path(QStringLiteral("ssh-home"));
        QVERIFY(QDir().mkpath(home + QStringLiteral("/.ssh")));
        QVERIFY(QDir().mkpath(server.root() + QStringLiteral("/cam")));
        QFile known(home + QStringLiteral("/.ssh/known_hosts"));
        QVERIFY(known.open(QIODevice::WriteOnly | QIODevice::Truncate));
        known.write(server.knownHostsLine().toUtf8() + '\n');
        known.close();
        const QStringList args{QStringLiteral("series"), path(QStringLiteral("ssh.jpg")), QStringLiteral("--interval"),
                               QStringLiteral("1"), QStringLiteral("--count"), QStringLiteral("3"),
                               QStringLiteral("--ftp-url"),
                               QStringLiteral("sftp://%1@127.0.0.1:%2/cam").arg(server.userName()).arg(server.port()),
                               QStringLiteral("--ftp-key"), server.clientHome() + QStringLiteral("/.ssh/id_ed25519")};
        const QMap<QString, QString> env{{QStringLiteral("HOME"), home},
                                         {QStringLiteral("LUMIVARK_HOME"), path(QStringLiteral("ssh-program"))}};
        Run r = runCli(args, 60000, env);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        for (const char* n : {"ssh00001.jpg", "ssh00002.jpg", "ssh00003.jpg"})
            QCOMPARE(fileBytes(server.root() + QStringLiteral("/cam/") + QLatin1String(n)), fileBytes(path(QLatin1String(n))));

        QVERIFY(known.open(QIODevice::WriteOnly | QIODevice::Truncate));
        known.close();
        r = runCli(QStringList(args).replaceInStrings(QStringLiteral("ssh.jpg"), QStringLiteral("stranger.jpg")), 60000, env);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("is not known: it shows ") + server.hostKeyFingerprint()), qPrintable(r.err));
        QVERIFY(!QFile::exists(server.root() + QStringLiteral("/cam/stranger00001.jpg")));
    }

    // The information fields of the command line, or of a parameters file
    // whose Movie panel writes them, are in the finished movie for ffprobe.
    void recordingInformation_data()
    {
        QTest::addColumn<bool>("fromFile");
        QTest::newRow("command line") << false;
        QTest::newRow("parameters file, one field from the command line") << true;
    }
    void recordingInformation()
    {
        QFETCH(bool, fromFile);
        const QString avi = path(fromFile ? QStringLiteral("info-file.avi") : QStringLiteral("info.avi"));
        const QStringList texts{QStringLiteral("(c) 2026 Feeder Cam"), QStringLiteral("Ana Birdwatcher"),
                                QStringLiteral("Blue tits"), QStringLiteral("Garden"),
                                QStringLiteral("Camera 2"), QStringLiteral("Morning visit: 3 birds")};
        QStringList args{QStringLiteral("record"), avi, QStringLiteral("--duration"), QStringLiteral("1"),
                         QStringLiteral("--rate"), QStringLiteral("10")};
        const QStringList options{QStringLiteral("--copyright"), QStringLiteral("--artist"), QStringLiteral("--subject"),
                                  QStringLiteral("--product"), QStringLiteral("--source"), QStringLiteral("--comments")};
        if (fromFile) {
            const QString lvp = path(QStringLiteral("info.lvp"));
            QFile f(lvp);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QByteArray bytes = QStringLiteral("[Video Capture Device]\r\nDevice Index=%1\r\n[Capture Type]\r\n"
                                              "Capture=Movie\r\n[AVI Info]\r\nAVI Info=Yes\r\n")
                                   .arg(g_testDevice)
                                   .toUtf8();
            const char* keys[] = {"Copyright", "Artist", "Subject", "Product", "Source", "Comments"};
            for (int i = 0; i < 6; ++i)
                bytes += QByteArray(keys[i]) + '=' + (i == 1 ? QByteArray("from the file") : texts[i].toUtf8()) + "\r\n";
            f.write(bytes);
            f.close();
            args << QStringLiteral("--params") << lvp << QStringLiteral("--artist") << texts[1];
        } else {
            for (int i = 0; i < 6; ++i)
                args << options[i] << texts[i];
        }
        const Run r = runCli(args);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QJsonObject tags = ffprobe(avi).value(QStringLiteral("format")).toObject().value(QStringLiteral("tags")).toObject();
        QCOMPARE(tags.value(QStringLiteral("copyright")).toString(), texts[0]);
        QCOMPARE(tags.value(QStringLiteral("artist")).toString(), texts[1]);
        QCOMPARE(tags.value(QStringLiteral("subject")).toString(), texts[2]);
        QCOMPARE(tags.value(QStringLiteral("comment")).toString(), texts[5]);
        QCOMPARE(tags.value(QStringLiteral("title")).toString(), QStringLiteral("Video Lumivark"));
        QVERIFY(probeInt(probeStream(ffprobe(avi), QStringLiteral("video")), "nb_read_packets") >= 5);
        QVERIFY(decodesCleanly(avi));
    }

    // The normal build's lumivark-cli does not need Qt Widgets: it runs where
    // only the core libraries are installed.
    void noWidgetsNeeded()
    {
        QProcess readelf;
        readelf.start(QStringLiteral("readelf"), {QStringLiteral("-d"), QStringLiteral(LUMIVARK_CLI)});
        QVERIFY(readelf.waitForFinished(30000));
        QCOMPARE(readelf.exitCode(), 0);
        const QString dynamic = QString::fromLocal8Bit(readelf.readAllStandardOutput());
        QVERIFY(dynamic.contains(QStringLiteral("libQt6Core")));
        QVERIFY2(!dynamic.contains(QStringLiteral("Qt6Widgets")), qPrintable(dynamic));
        QVERIFY2(!dynamic.contains(QStringLiteral("Qt6PrintSupport")), qPrintable(dynamic));
    }

    // Settings come from a capture parameters file; the command line wins.
    void parametersFile()
    {
        const QString lvp = path(QStringLiteral("bad-device.lvp"));
        QFile f(lvp);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Video Capture Device]\r\nDevice Index=999\r\n");
        f.close();
        Run r = runCli({QStringLiteral("snapshot"), path(QStringLiteral("p.jpg")), QStringLiteral("--params"), lvp});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("no capture device 999")), qPrintable(r.err));
        r = runCli({QStringLiteral("snapshot"), path(QStringLiteral("p.jpg")), QStringLiteral("--params"), lvp,
                    QStringLiteral("--device"), QString::number(g_testDevice)});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));

        // A field the reader leaves out is named, not silently dropped.
        const QString odd = path(QStringLiteral("odd.lvp"));
        QFile g(odd);
        QVERIFY(g.open(QIODevice::WriteOnly));
        g.write("[Capture Type]\r\nCapture=Multiple Image\r\n[Internet Settings]\r\nPassword=pw\x01x\r\n");
        g.close();
        r = runCli({QStringLiteral("devices"), QStringLiteral("--params"), odd});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.err.contains(QStringLiteral("Ignored Password in ")), qPrintable(r.err));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
