#include "ffprobe.h"
#include "movie/aviwriter.h"
#include "movie/videocodecs.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

using namespace lv;

namespace {

QImage picture(int n, QSize size = {160, 120})
{
    QImage img(size, QImage::Format_RGB888);
    img.fill(QColor::fromHsv((n * 37) % 360, 200, 220));
    QPainter p(&img);
    p.fillRect(QRect((n * 7) % size.width(), 10, 30, 30), Qt::white);
    return img;
}

// Fine detail, so the quantiser has something to throw away.
QImage detailed(int n, QSize size)
{
    QImage img(size, QImage::Format_RGB888);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            img.setPixel(x, y, qRgb((x * (n + 3)) & 255, (y * 3 + x) & 255, (x ^ y) & 255));
    return img;
}

QByteArray jpegOf(const QImage& img)
{
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "JPG", 80);
    return bytes;
}

// The bytes of the first video packet of a file, as libavformat reads them.
QByteArray firstVideoPacket(const QString& file)
{
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, QFile::encodeName(file).constData(), nullptr, nullptr) < 0)
        return {};
    ff::InputPtr in(raw);
    avformat_find_stream_info(in.get(), nullptr);
    ff::PacketPtr pkt(av_packet_alloc());
    while (av_read_frame(in.get(), pkt.get()) >= 0) {
        if (in->streams[pkt->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            return QByteArray(reinterpret_cast<const char*>(pkt->data), pkt->size);
        av_packet_unref(pkt.get());
    }
    return {};
}

} // namespace

class AviWriterTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        av_log_set_level(AV_LOG_ERROR);
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toLocal8Bit());
    }

    void eachListedEncoderWritesAReadableFile_data()
    {
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<QString>("codecName");
        for (const VideoCodecInfo& c : aviVideoCodecs()) {
            QString expected = c.encoder;
            if (c.encoder == QLatin1String("libx264"))
                expected = QStringLiteral("h264");
            else if (c.encoder == QLatin1String("libxvid"))
                expected = QStringLiteral("mpeg4");
            QTest::newRow(qPrintable(c.encoder)) << c.encoder << expected;
        }
    }
    void eachListedEncoderWritesAReadableFile()
    {
        QFETCH(QString, encoder);
        QFETCH(QString, codecName);
        const QString file = m_dir.filePath(encoder + QStringLiteral(".avi"));
        AviWriter w;
        AviWriter::Setup s;
        s.fileName = file;
        s.frameSize = {160, 120};
        s.rateNum = 15;
        s.encoder = encoder;
        QVERIFY2(w.open(s), qPrintable(w.errorText()));
        for (int i = 0; i < 10; ++i)
            QVERIFY(w.writeVideo(picture(i), {}, i));
        for (int i = 10; i < 15; ++i)
            QVERIFY(w.repeatVideo(i));
        QVERIFY(w.close());

        const QJsonObject probe = ffprobe(file);
        const QJsonObject v = probeStream(probe, QStringLiteral("video"));
        QCOMPARE(probe.value(QStringLiteral("streams")).toArray().size(), 1);
        QCOMPARE(v.value(QStringLiteral("codec_name")).toString(), codecName);
        QCOMPARE(probeInt(v, "width"), 160);
        QCOMPARE(probeInt(v, "height"), 120);
        QCOMPARE(probeInt(v, "nb_read_packets"), 15);
        QCOMPARE(probeDouble(probe.value(QStringLiteral("format")).toObject(), "duration"), 1.0);
        QVERIFY(decodesCleanly(file));
    }

    void qualityChangesTheSize()
    {
        auto sizeAt = [this](int quality) {
            const QString file = m_dir.filePath(QStringLiteral("q%1.avi").arg(quality));
            AviWriter w;
            AviWriter::Setup s;
            s.fileName = file;
            s.frameSize = {320, 240};
            s.quality = quality;
            w.open(s);
            for (int i = 0; i < 5; ++i)
                w.writeVideo(detailed(i, {320, 240}), {}, i);
            w.close();
            return QFileInfo(file).size();
        };
        QVERIFY(sizeAt(10) * 2 < sizeAt(95));
    }

    void deviceJpegIsStoredUnchanged()
    {
        const QString file = m_dir.filePath(QStringLiteral("passthrough.avi"));
        const QImage img = picture(3);
        const QByteArray jpeg = jpegOf(img);
        AviWriter w;
        AviWriter::Setup s;
        s.fileName = file;
        s.frameSize = img.size();
        QVERIFY(w.open(s));
        QVERIFY(w.writeVideo(img, jpeg, 0));
        QVERIFY(w.repeatVideo(1));
        QVERIFY(w.close());
        QCOMPARE(firstVideoPacket(file), jpeg);
        QCOMPARE(probeStream(ffprobe(file), QStringLiteral("video")).value(QStringLiteral("codec_name")).toString(),
                 QStringLiteral("mjpeg"));
    }

    void deviceJpegIsEncodedForOtherCodecs()
    {
        const QString file = m_dir.filePath(QStringLiteral("reencoded.avi"));
        const QImage img = picture(4);
        AviWriter w;
        AviWriter::Setup s;
        s.fileName = file;
        s.frameSize = img.size();
        s.encoder = QStringLiteral("ffv1");
        QVERIFY(w.open(s));
        QVERIFY(w.writeVideo(img, jpegOf(img), 0));
        QVERIFY(w.close());
        QCOMPARE(probeStream(ffprobe(file), QStringLiteral("video")).value(QStringLiteral("codec_name")).toString(),
                 QStringLiteral("ffv1"));
        QVERIFY(decodesCleanly(file));
    }

    void frameRateAndSoundFormat_data()
    {
        QTest::addColumn<int>("rateNum");
        QTest::addColumn<int>("rateDen");
        QTest::addColumn<QString>("rateText");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("sampleRate");
        QTest::addColumn<QString>("soundCodec");
        QTest::newRow("12 fps, 8-bit mono 8000") << 12 << 1 << "12/1" << 8 << 1 << 8000 << "pcm_u8";
        QTest::newRow("15 fps, 8-bit stereo 11025") << 15 << 1 << "15/1" << 8 << 2 << 11025 << "pcm_u8";
        QTest::newRow("29.97 fps, 16-bit mono 22050") << 30000 << 1001 << "30000/1001" << 16 << 1 << 22050
                                                      << "pcm_s16le";
        QTest::newRow("30 fps, 16-bit stereo 44100") << 30 << 1 << "30/1" << 16 << 2 << 44100 << "pcm_s16le";
    }
    void frameRateAndSoundFormat()
    {
        QFETCH(int, rateNum);
        QFETCH(int, rateDen);
        QFETCH(QString, rateText);
        QFETCH(int, bits);
        QFETCH(int, channels);
        QFETCH(int, sampleRate);
        QFETCH(QString, soundCodec);
        const QString file = m_dir.filePath(QStringLiteral("sound.avi"));
        AviWriter w;
        AviWriter::Setup s;
        s.fileName = file;
        s.frameSize = {160, 120};
        s.rateNum = rateNum;
        s.rateDen = rateDen;
        s.audioBits = bits;
        s.audioChannels = channels;
        s.audioSampleRate = sampleRate;
        QVERIFY(w.open(s));
        const int frames = 2 * rateNum / rateDen; // two seconds
        const int blockAlign = bits / 8 * channels;
        // Sound in odd-sized pieces: partial sample frames must carry over.
        const QByteArray second(sampleRate * blockAlign - 1, char(bits == 8 ? 0x90 : 0x10));
        QVERIFY(w.writeAudio(second));
        QVERIFY(w.writeAudio(QByteArray(1, char(0x90))));
        for (int i = 0; i < frames; ++i)
            QVERIFY(w.writeVideo(picture(i), {}, i));
        QVERIFY(w.padAudio(int64_t(frames) * sampleRate * rateDen / rateNum));
        QVERIFY(w.close());

        const QJsonObject probe = ffprobe(file);
        const QJsonObject v = probeStream(probe, QStringLiteral("video"));
        const QJsonObject a = probeStream(probe, QStringLiteral("audio"));
        QCOMPARE(probe.value(QStringLiteral("streams")).toArray().size(), 2);
        QCOMPARE(v.value(QStringLiteral("r_frame_rate")).toString(), rateText);
        QCOMPARE(probeInt(v, "nb_read_packets"), frames);
        QCOMPARE(a.value(QStringLiteral("codec_name")).toString(), soundCodec);
        QCOMPARE(probeInt(a, "channels"), channels);
        QCOMPARE(probeInt(a, "sample_rate"), sampleRate);
        QCOMPARE(probeInt(a, "bits_per_sample"), bits);
        // ffprobe gives no duration for PCM in AVI; its length counts sample frames.
        QCOMPARE(probeInt(a, "nb_frames"), int(int64_t(frames) * sampleRate * rateDen / rateNum));
        QVERIFY(std::abs(probeDouble(probe.value(QStringLiteral("format")).toObject(), "duration") - 2.0) < 0.05);
        QCOMPARE(w.audioSampleFramesWritten(), int64_t(frames) * sampleRate * rateDen / rateNum);
    }

    void badSetupLeavesExistingFileAlone_data()
    {
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<int>("channels");
        QTest::newRow("unknown encoder") << "no-such-encoder" << 0;
        QTest::newRow("three channels") << "mjpeg" << 3;
    }
    void badSetupLeavesExistingFileAlone()
    {
        QFETCH(QString, encoder);
        QFETCH(int, channels);
        const QString file = m_dir.filePath(QStringLiteral("keep.avi"));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("precious");
        }
        AviWriter w;
        AviWriter::Setup s;
        s.fileName = file;
        s.frameSize = {160, 120};
        s.encoder = encoder;
        s.audioChannels = channels;
        QVERIFY(!w.open(s));
        QVERIFY(!w.errorText().isEmpty());
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("precious"));
    }

    void unwritablePlaceFails()
    {
        // A file standing where the folder should be: permission bits do not stop root.
        const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        AviWriter w;
        AviWriter::Setup s;
        s.fileName = blocker + QStringLiteral("/movie.avi");
        s.frameSize = {160, 120};
        QVERIFY(!w.open(s));
        QVERIFY(w.errorText().contains(QStringLiteral("Cannot write")));
        QVERIFY(!w.writeVideo(picture(0), {}, 0));
        QVERIFY(w.close());
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(AviWriterTest)
#include "aviwriter_test.moc"
