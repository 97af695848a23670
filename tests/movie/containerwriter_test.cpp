#include "ffprobe.h"
#include "movie/containerwriter.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace lv;

namespace {

// The presentation end (last packet's time plus its length) and the start of
// one stream, as ffprobe reads the packets.
struct StreamSpan {
    double start = -1;
    double end = -1;
    int packets = 0;
};

StreamSpan spanOf(const QString& file, const char* stream)
{
    QProcess p;
    p.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                                        QString::fromLatin1(stream), QStringLiteral("-show_entries"),
                                        QStringLiteral("packet=pts_time,duration_time"), QStringLiteral("-of"),
                                        QStringLiteral("csv=p=0"), file});
    StreamSpan s;
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return s;
    const QList<QByteArray> lines = p.readAllStandardOutput().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> f = line.trimmed().split(',');
        if (f.size() < 2)
            continue;
        const double pts = f[0].toDouble();
        const double dur = f[1].toDouble();
        if (s.packets++ == 0 || pts < s.start)
            s.start = pts;
        s.end = std::max(s.end, pts + dur);
    }
    return s;
}

QImage pattern(int n, QSize size)
{
    QImage img(size, QImage::Format_RGB888);
    img.fill(QColor::fromHsv((n * 7) % 360, 200, 200));
    return img;
}

} // namespace

class ContainerWriterTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    // Ten minutes of pictures and sound at the recorder's pace: sound and
    // picture end together (within one sound frame), as ffprobe's packet
    // times say, and the frame count is the one written.
    void soundStaysInStep_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("sound");
        QTest::addColumn<int>("bits");
        QTest::addColumn<QString>("codec");
        QTest::newRow("MP4, AAC from 16-bit") << "sync.mp4" << "aac" << 16 << "aac";
        QTest::newRow("MKV, AAC from 8-bit") << "sync.mkv" << "aac" << 8 << "aac";
        QTest::newRow("MKV, PCM from 16-bit") << "pcm.mkv" << "pcm" << 16 << "pcm_s16le";
    }
    void soundStaysInStep()
    {
        QFETCH(QString, name);
        QFETCH(QString, sound);
        QFETCH(int, bits);
        QFETCH(QString, codec);
        ContainerWriter::Setup s;
        s.fileName = path(name);
        s.frameSize = QSize(64, 48);
        s.rateNum = 15;
        s.encoder = QStringLiteral("libx264");
        s.audioChannels = 1;
        s.audioBits = bits;
        s.audioSampleRate = 22050;
        s.audioEncoder = sound;
        ContainerWriter w;
        QVERIFY2(w.open(s), qPrintable(w.errorText()));
        const int frames = 10 * 60 * 15;
        const int perFrame = 22050 / 15;
        const QImage still = pattern(0, s.frameSize);
        for (int n = 0; n < frames; ++n) {
            // A new picture every second, repeats between, as a still camera gives.
            if (n % 15 == 0)
                QVERIFY(w.writeVideo(pattern(n, s.frameSize), {}, n));
            else
                QVERIFY(w.repeatVideo(n));
            QByteArray pcm(perFrame * bits / 8, bits == 8 ? char(0x80) : char(0));
            QVERIFY(w.writeAudio(pcm));
        }
        QVERIFY(w.padAudio(int64_t(frames) * 22050 / 15));
        QVERIFY2(w.close(), qPrintable(w.errorText()));
        QCOMPARE(w.videoFramesWritten(), frames);

        const QJsonObject probe = ffprobe(s.fileName);
        QCOMPARE(probeStream(probe, QStringLiteral("audio")).value(QStringLiteral("codec_name")).toString(), codec);
        QCOMPARE(probeInt(probeStream(probe, QStringLiteral("video")), "nb_read_packets"), frames);
        const StreamSpan v = spanOf(s.fileName, "v:0");
        const StreamSpan a = spanOf(s.fileName, "a:0");
        // The muxers may move both streams by the sound encoder's priming:
        // what counts is the picture's length and where sound ends beside it.
        QVERIFY2(std::abs(v.end - v.start - 600.0) < 0.01, qPrintable(QStringLiteral("%1..%2").arg(v.start).arg(v.end)));
        const double drift = a.end - v.end;
        qInfo("video %.3f..%.3f s, sound %.3f..%.3f s", v.start, v.end, a.start, a.end);
        const double frame = 1024.0 / 22050 + 0.001; // one AAC frame (its priming), and rounding
        QVERIFY2(std::abs(drift) <= frame, qPrintable(QStringLiteral("drift %1 s").arg(drift)));
        QVERIFY2(std::abs(a.start - v.start) <= frame, qPrintable(QStringLiteral("%1 vs %2").arg(a.start).arg(v.start)));
    }

    // What the container cannot hold is refused before the disk is touched:
    // no file is made, and an older one of the name stays as it was.
    void refusedBeforeAnythingIsWritten_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<QString>("sound");
        QTest::addColumn<bool>("existing");
        QTest::addColumn<QString>("says");
        QTest::newRow("raw frames into MP4") << "raw.mp4" << "rawvideo" << "" << false << "cannot hold rawvideo";
        QTest::newRow("FFV1 into MP4, over an older file") << "old.mp4" << "ffv1" << "" << true << "cannot hold ffv1";
        QTest::newRow("PCM sound into MP4") << "pcm.mp4" << "libx264" << "pcm" << false << "cannot hold pcm sound";
        QTest::newRow("an AVI name") << "plain.avi" << "libx264" << "" << false << "Not an MKV or MP4";
        QTest::newRow("no such encoder") << "none.mkv" << "nosuchcodec" << "" << false << "No video encoder";
    }
    void refusedBeforeAnythingIsWritten()
    {
        QFETCH(QString, name);
        QFETCH(QString, encoder);
        QFETCH(QString, sound);
        QFETCH(bool, existing);
        QFETCH(QString, says);
        const QString file = path(name);
        if (existing) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("older");
        }
        ContainerWriter::Setup s;
        s.fileName = file;
        s.frameSize = QSize(64, 48);
        s.encoder = encoder;
        if (!sound.isEmpty()) {
            s.audioChannels = 1;
            s.audioBits = 16;
            s.audioEncoder = sound;
        }
        ContainerWriter w;
        QVERIFY(!w.open(s));
        QVERIFY2(w.errorText().contains(says), qPrintable(w.errorText()));
        QVERIFY(!w.isOpen());
        if (existing) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("older"));
        } else {
            QVERIFY(!QFile::exists(file));
        }
    }
};

QTEST_GUILESS_MAIN(ContainerWriterTest)
#include "containerwriter_test.moc"
