#include "moviefiles.h"
#include "movie/moviereader.h"
#include "movie/avisoundreader.h"
#include "movie/aviwriter.h"

#include <QBuffer>
#include <QRandomGenerator>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

extern "C" {
#include <libavutil/log.h>
}

using namespace lv;
using namespace moviefiles;

namespace {

QByteArray readAll(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& file, const QByteArray& bytes)
{
    QFile f(file);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

void putLe32(QByteArray& b, qsizetype at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (8 * i));
}

uint32_t le32(const QByteArray& b, qsizetype at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | uint8_t(b[at + i]);
    return v;
}

} // namespace

class MovieReaderTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        av_log_set_level(AV_LOG_QUIET);
    }

    // Every frame, reached in stream order and by jumping about, is the frame
    // ffmpeg decodes at that number, and the file's facts are read right.
    void framesMatchFfmpeg_data()
    {
        QTest::addColumn<QStringList>("codec");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("sound");
        QTest::addColumn<bool>("exact");
        QTest::addColumn<QString>("container");
        const auto c = [](const char* s) { return QString::fromLatin1(s).split(QLatin1Char(' ')); };
        QTest::newRow("mjpeg") << c("-c:v mjpeg -q:v 3") << 40 << 321 << 241 << false << false << QStringLiteral("avi");
        QTest::newRow("mjpeg+pcm") << c("-c:v mjpeg -q:v 3") << 40 << 320 << 240 << true << false << QStringLiteral("avi");
        QTest::newRow("mpeg4 b-frames") << c("-c:v mpeg4 -q:v 3 -g 12 -bf 2") << 40 << 321 << 241 << false << false << QStringLiteral("avi");
        QTest::newRow("rawvideo bgr24") << c("-c:v rawvideo -pix_fmt bgr24") << 30 << 321 << 241 << false << true << QStringLiteral("avi");
        QTest::newRow("rawvideo+pcm") << c("-c:v rawvideo -pix_fmt bgr24") << 30 << 160 << 120 << true << true << QStringLiteral("avi");
        QTest::newRow("ffv1") << c("-c:v ffv1 -pix_fmt bgr0") << 30 << 321 << 241 << false << true << QStringLiteral("avi");
        QTest::newRow("ffv1 yuv") << c("-c:v ffv1") << 30 << 321 << 241 << false << false << QStringLiteral("avi");
        QTest::newRow("huffyuv") << c("-c:v huffyuv") << 30 << 322 << 241 << false << false << QStringLiteral("avi");
        QTest::newRow("libx264 b-frames") << c("-c:v libx264 -preset ultrafast -g 10 -bf 2 -pix_fmt yuv420p") << 45
                                          << 320 << 240 << false << false << QStringLiteral("avi");
        QTest::newRow("libx264+pcm") << c("-c:v libx264 -preset veryfast -g 15 -pix_fmt yuv420p") << 45 << 320
                                     << 240 << true << false << QStringLiteral("avi");
        QTest::newRow("one frame") << c("-c:v mjpeg -q:v 3") << 1 << 321 << 241 << false << false << QStringLiteral("avi");
        // Widths that are not a multiple of 16 with even heights: the sizes
        // where the scaler's block converters run.
        QTest::newRow("mjpeg 1366x768") << c("-c:v mjpeg -q:v 3") << 6 << 1366 << 768 << false << false << QStringLiteral("avi");
        QTest::newRow("mjpeg 4:2:2 1366x768") << c("-c:v mjpeg -q:v 3 -pix_fmt yuvj422p") << 6 << 1366 << 768 << false
                                              << false << QStringLiteral("avi");
        QTest::newRow("mjpeg 322x242") << c("-c:v mjpeg -q:v 3") << 12 << 322 << 242 << false << false << QStringLiteral("avi");
        QTest::newRow("mjpeg 170x98") << c("-c:v mjpeg -q:v 3") << 12 << 170 << 98 << false << false << QStringLiteral("avi");
        QTest::newRow("mpeg4 648x486") << c("-c:v mpeg4 -q:v 3 -g 6 -bf 2") << 12 << 648 << 486 << false << false << QStringLiteral("avi");
        QTest::newRow("libx264 b-frames 650x362") << c("-c:v libx264 -preset ultrafast -g 5 -bf 2 -pix_fmt yuv420p")
                                                  << 12 << 650 << 362 << false << false << QStringLiteral("avi");
        QTest::newRow("ffv1 yuv 322x242") << c("-c:v ffv1") << 12 << 322 << 242 << false << false << QStringLiteral("avi");
        QTest::newRow("huffyuv 330x250") << c("-c:v huffyuv") << 12 << 330 << 250 << false << false << QStringLiteral("avi");
        QTest::newRow("rawvideo 333x200") << c("-c:v rawvideo -pix_fmt bgr24") << 6 << 333 << 200 << false << true << QStringLiteral("avi");
        // Other containers: frames numbered by presentation time, B-frames,
        // edit lists and odd sizes included.
        // (4:2:0 H.264 needs even sides: odd ones come as 4:4:4.)
        QTest::newRow("mkv libx264 b-frames 317x239 4:4:4+pcm")
            << c("-c:v libx264 -preset veryfast -g 12 -bf 3 -pix_fmt yuv444p") << 50 << 317 << 239 << true << false
            << QStringLiteral("mkv");
        QTest::newRow("mp4 libx264 b-frames 318x238") << c("-c:v libx264 -preset veryfast -g 12 -bf 3 -pix_fmt yuv420p")
                                                      << 50 << 318 << 238 << false << false << QStringLiteral("mp4");
        QTest::newRow("mp4 libx264 b-frames 317x239 4:4:4")
            << c("-c:v libx264 -preset veryfast -g 12 -bf 3 -pix_fmt yuv444p") << 50 << 317 << 239 << false << false
            << QStringLiteral("mp4");
        QTest::newRow("mp4 mpeg4 b-frames") << c("-c:v mpeg4 -q:v 3 -g 12 -bf 2") << 40 << 321 << 241 << false << false
                                            << QStringLiteral("mp4");
        QTest::newRow("mov mjpeg") << c("-c:v mjpeg -q:v 3") << 20 << 321 << 241 << false << false
                                   << QStringLiteral("mov");
    }

    void framesMatchFfmpeg()
    {
        QFETCH(QStringList, codec);
        QFETCH(int, frames);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(bool, sound);
        QFETCH(bool, exact);
        QFETCH(QString, container);
        const QString file = path(QString::fromLatin1(QTest::currentDataTag())
                                      .replace(QLatin1Char(' '), QLatin1Char('_'))
                                      .replace(QLatin1Char('+'), QLatin1Char('_'))
                                  + QLatin1Char('.') + container);
        QVERIFY(makeMovie(file, codec, frames, width, height, sound));
        const QByteArray ref = ffmpegFrames(file);
        const qsizetype frameBytes = qsizetype(width) * height * 3;
        QCOMPARE(ref.size(), frameBytes * frames);

        MovieReader r;
        QVERIFY2(r.open(file), qPrintable(r.errorText()));
        QCOMPARE(r.streamCount(), sound ? 2 : 1);
        QCOMPARE(r.videoStream() >= 0, true);
        QCOMPARE(r.audioStream() >= 0, sound);
        QCOMPARE(r.streamOfType(MovieReader::kAudioStreamType), r.audioStream());
        QCOMPARE(r.firstFrame(), 0);
        QCOMPARE(r.frameCount(), frames);
        QCOMPARE(r.frameRect(), QRect(0, 0, width, height));
        QCOMPARE(qRound(r.framesPerSecond()), 25);
        QVERIFY(r.openDecoder());

        const double need = exact ? 999 : 45;
        const auto check = [&](int n) {
            const QByteArray dib = r.frame(n);
            QVERIFY2(!dib.isEmpty(), qPrintable(QStringLiteral("frame %1").arg(n)));
            QCOMPARE(dib.left(40), MovieReader::requestHeader(width, height));
            const double p = psnrOfDib(dib, ref.constData() + frameBytes * n, width, height);
            QVERIFY2(p >= need, qPrintable(QStringLiteral("frame %1: %2 dB").arg(n).arg(p)));
        };
        for (int n = 0; n < frames; ++n)
            check(n);
        // Backwards, across key frames, the same frame twice, then stepping again.
        for (int n : {frames - 1, frames / 2, 3, frames - 2, 0, 0, 7, 8, 9, frames / 3})
            if (n >= 0 && n < frames)
                check(n);
        QVERIFY(r.frame(frames).isEmpty());
        QVERIFY(r.frame(-1).isEmpty());
        // A fresh reader that jumps before it has walked the file lands right too.
        {
            MovieReader fresh;
            QVERIFY(fresh.open(file));
            for (int n : {frames - 2, frames / 2 + 1, 1}) {
                if (n < 0 || n >= frames)
                    continue;
                const QByteArray dib = fresh.frame(n);
                const double p = psnrOfDib(dib, ref.constData() + frameBytes * n, width, height);
                QVERIFY2(p >= need, qPrintable(QStringLiteral("fresh frame %1: %2 dB").arg(n).arg(p)));
            }
        }
        // And the reader goes on working after a refusal.
        check(frames - 1);

        // The drawing images are the same picture, top-down, every pixel.
        const QImage img = r.image(frames - 1);
        QCOMPARE(img.size(), QSize(width, height));
        const double imageDb = psnrOfImage(img, ref.constData() + frameBytes * (frames - 1));
        QVERIFY2(imageDb >= need, qPrintable(QStringLiteral("image: %1 dB").arg(imageDb)));
        const QByteArray dib = r.frame(frames - 1);
        const auto* bottomRow = reinterpret_cast<const uint8_t*>(dib.constData() + 40);
        const QRgb px = img.pixel(5, height - 1);
        QCOMPARE(qBlue(px), int(bottomRow[15]));
        QCOMPARE(qGreen(px), int(bottomRow[16]));
        QCOMPARE(qRed(px), int(bottomRow[17]));
        const QImage img32 = r.image(frames - 1, QImage::Format_RGB32);
        QCOMPARE(img32.format(), QImage::Format_RGB32);
        QCOMPARE(img32.pixel(5, height - 1), px);
        QCOMPARE(img32, img.convertToFormat(QImage::Format_RGB32));
    }

    // A file FFmpeg reads but that holds no moving picture is no movie:
    // refused with a reason, however it is named.
    void otherFilesWithoutPicturesAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("make");
        QTest::newRow("sound only, MP4") << "tone.m4a"
                                         << QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                                        QStringLiteral("sine=duration=1"), QStringLiteral("-c:a"),
                                                        QStringLiteral("aac")};
        QTest::newRow("sound only, named mkv") << "tone.mkv"
                                               << QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"),
                                                              QStringLiteral("-i"), QStringLiteral("sine=duration=1")};
        QTest::newRow("a still picture named mp4") << "still.mp4"
                                                   << QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"),
                                                                  QStringLiteral("-i"),
                                                                  QStringLiteral("testsrc=size=64x48"), QStringLiteral("-frames:v"),
                                                                  QStringLiteral("1"), QStringLiteral("-f"),
                                                                  QStringLiteral("image2"), QStringLiteral("-c:v"),
                                                                  QStringLiteral("png")};
        QTest::newRow("text named mkv") << "notes.mkv" << QStringList{};
    }
    void otherFilesWithoutPicturesAreRefused()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, make);
        const QString file = path(name);
        if (make.isEmpty())
            QVERIFY(writeAll(file, QByteArray("Shopping list\nbird seed\nnuts\n").repeated(40)));
        else
            QVERIFY(runFfmpeg(make << file));
        MovieReader r;
        QVERIFY(!r.open(file));
        QVERIFY2(r.errorText().startsWith(QStringLiteral("Not a movie file")), qPrintable(r.errorText()));
        QVERIFY(!r.isOpen());
        QVERIFY(r.frame(0).isEmpty());
    }

    void requestHeaderFields()
    {
        const QByteArray h = MovieReader::requestHeader(321, 241);
        QCOMPARE(h.size(), 40);
        QCOMPARE(le32(h, 0), 40u);
        QCOMPARE(le32(h, 4), 321u);
        QCOMPARE(le32(h, 8), 241u);
        QCOMPARE(uint8_t(h[12]) | uint8_t(h[13]) << 8, 1);
        QCOMPARE(uint8_t(h[14]) | uint8_t(h[15]) << 8, 24);
        QCOMPARE(le32(h, 16), 0u);
        QCOMPARE(le32(h, 20), 964u * 241u); // 321 * 3 = 963, padded to 964
        for (int i = 24; i < 40; ++i)
            QCOMPARE(h[i], '\0');
    }

    void zeroFramesOpensEmpty()
    {
        const QString file = path(QStringLiteral("zero.avi"));
        QVERIFY(makeMovie(file, {QStringLiteral("-c:v"), QStringLiteral("mjpeg")}, 0));
        MovieReader r;
        QVERIFY(r.open(file));
        QCOMPARE(r.frameCount(), 0);
        QVERIFY(r.frame(0).isEmpty());
        QVERIFY(r.image(0).isNull());
    }

    // Damaged and foreign files: a clear refusal or the frames that are there,
    // never a crash or a hang.
    void badInput_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<bool>("decodes");
        QTest::newRow("truncated mid-movi") << QStringLiteral("truncated") << true << true;
        QTest::newRow("no index") << QStringLiteral("noindex") << true << true;
        QTest::newRow("not an avi") << QStringLiteral("text") << false << false;
        QTest::newRow("png named avi") << QStringLiteral("png") << false << false;
        QTest::newRow("empty file") << QStringLiteral("empty") << false << false;
        QTest::newRow("missing file") << QStringLiteral("missing") << false << false;
        QTest::newRow("sound only") << QStringLiteral("sound") << true << false;
        // Motion JPEG states its size in every frame: the header's may be overruled.
        QTest::newRow("absurd dimensions") << QStringLiteral("absurd") << true << true;
        QTest::newRow("absurd dimensions, raw") << QStringLiteral("absurdraw") << true << false;
        QTest::newRow("codec missing from ffmpeg") << QStringLiteral("codec") << true << false;
    }

    void badInput()
    {
        QFETCH(QString, kind);
        QFETCH(bool, opens);
        QFETCH(bool, decodes);
        const QString good = path(QStringLiteral("good-%1.avi").arg(kind));
        QVERIFY(makeMovie(good, {QStringLiteral("-c:v"), QStringLiteral("mjpeg"), QStringLiteral("-g"), QStringLiteral("1")},
                          50, 320, 240, true));
        const QByteArray bytes = readAll(good);
        const QString file = path(QStringLiteral("bad-%1.avi").arg(kind));
        int expectFrames = -1;
        if (kind == QLatin1String("truncated")) {
            const qsizetype movi = bytes.indexOf("movi");
            QVERIFY(movi > 0);
            QVERIFY(writeAll(file, bytes.left(movi + (bytes.size() - movi) / 2 + 7)));
        } else if (kind == QLatin1String("noindex")) {
            const qsizetype idx = bytes.lastIndexOf("idx1");
            QVERIFY(idx > 0);
            QByteArray cut = bytes.left(idx);
            putLe32(cut, 4, uint32_t(cut.size() - 8));
            QVERIFY(writeAll(file, cut));
            expectFrames = 50;
        } else if (kind == QLatin1String("text")) {
            QVERIFY(writeAll(file, QByteArray("This is not a movie at all.\n").repeated(100)));
        } else if (kind == QLatin1String("png")) {
            QImage img(64, 64, QImage::Format_RGB32);
            img.fill(Qt::red);
            QVERIFY(img.save(file, "PNG"));
        } else if (kind == QLatin1String("empty")) {
            QVERIFY(writeAll(file, {}));
        } else if (kind == QLatin1String("sound")) {
            QVERIFY(runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                               QStringLiteral("sine=duration=1"), QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"),
                               file}));
        } else if (kind.startsWith(QLatin1String("absurd"))) {
            QByteArray b = bytes;
            if (kind == QLatin1String("absurdraw")) {
                QVERIFY(makeMovie(good, {QStringLiteral("-c:v"), QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"),
                                         QStringLiteral("bgr24")},
                                  5, 320, 240));
                b = readAll(good);
            }
            const qsizetype strf = b.indexOf("strf");
            const qsizetype avih = b.indexOf("avih");
            QVERIFY(strf > 0 && avih > 0);
            putLe32(b, strf + 8 + 4, 200000);
            putLe32(b, strf + 8 + 8, 150000);
            putLe32(b, avih + 8 + 32, 200000);
            putLe32(b, avih + 8 + 36, 150000);
            QVERIFY(writeAll(file, b));
        } else if (kind == QLatin1String("codec")) {
            QByteArray b = bytes;
            const qsizetype strh = b.indexOf("strh");
            const qsizetype strf = b.indexOf("strf", strh);
            QVERIFY(strh > 0 && strf > 0);
            QCOMPARE(b.mid(strh + 8, 4), QByteArray("vids"));
            b.replace(strh + 12, 4, "ZQZQ");
            b.replace(strf + 8 + 16, 4, "ZQZQ");
            QVERIFY(writeAll(file, b));
        }

        MovieReader r;
        QCOMPARE(r.open(file), opens);
        if (!opens) {
            QVERIFY(!r.errorText().isEmpty());
            QCOMPARE(r.frameCount(), -1);
            QVERIFY(r.frame(0).isEmpty());
            return;
        }
        QCOMPARE(r.openDecoder(), decodes);
        if (!decodes) {
            QVERIFY(!r.errorText().isEmpty());
            QVERIFY(r.frame(0).isEmpty());
            QVERIFY(r.image(0).isNull());
            return;
        }
        QVERIFY(r.frameRect().width() <= MovieReader::kMaxSide && r.frameRect().height() <= MovieReader::kMaxSide);
        if (kind == QLatin1String("absurd")) {
            const QByteArray dib = r.frame(0);
            QVERIFY(dib.isEmpty() || dib.left(40) == MovieReader::requestHeader(r.frameRect().width(), r.frameRect().height()));
            return;
        }
        if (expectFrames >= 0)
            QCOMPARE(r.frameCount(), expectFrames);
        QVERIFY(r.frameCount() > 0);
        int decoded = 0;
        for (int64_t n = 0; n < r.frameCount(); ++n)
            decoded += !r.frame(n).isEmpty();
        // A cut file may lose its last, partly written frame, no more.
        QVERIFY2(decoded >= r.frameCount() - 1, qPrintable(QStringLiteral("%1 of %2").arg(decoded).arg(r.frameCount())));
        // Jumping back still works where the index is missing.
        const QByteArray ref = ffmpegFrames(good);
        const qsizetype frameBytes = 320 * 240 * 3;
        for (int n : {int(r.frameCount()) / 2, 1, int(r.frameCount()) - 2, 0})
            QVERIFY(psnrOfDib(r.frame(n), ref.constData() + frameBytes * n, 320, 240) >= 45);
    }

    // A damaged index (torn, shortened, its size field changed, rubbish in its
    // entries) does not hide frames: every frame ffmpeg decodes from the file
    // is read, and is the same picture.
    void damagedIndexHidesNoFrame_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("index size halved") << QStringLiteral("halved");
        QTest::newRow("index size beyond the file") << QStringLiteral("beyond");
        QTest::newRow("index size zero") << QStringLiteral("zero");
        QTest::newRow("index torn") << QStringLiteral("torn");
        QTest::newRow("index shortened") << QStringLiteral("shortened");
        QTest::newRow("index offsets flipped") << QStringLiteral("flipped");
        QTest::newRow("index entries rubbish") << QStringLiteral("rubbish");
        QTest::newRow("movie list size halved") << QStringLiteral("movi");
        QTest::newRow("file size field zero") << QStringLiteral("riff");
    }

    void damagedIndexHidesNoFrame()
    {
        QFETCH(QString, damage);
        const int frames = 20;
        const QString good = path(QStringLiteral("index-%1-good.avi").arg(damage));
        QVERIFY(makeMovie(good, {QStringLiteral("-c:v"), QStringLiteral("mjpeg")}, frames, 160, 120, true));
        QByteArray b = readAll(good);
        const qsizetype idx = b.lastIndexOf("idx1");
        const qsizetype movi = b.indexOf("movi");
        QVERIFY(idx > 0 && movi > 0);
        const uint32_t size = le32(b, idx + 4);
        if (damage == QLatin1String("halved")) {
            putLe32(b, idx + 4, size / 2);
        } else if (damage == QLatin1String("beyond")) {
            putLe32(b, idx + 4, size * 50);
        } else if (damage == QLatin1String("zero")) {
            putLe32(b, idx + 4, 0);
        } else if (damage == QLatin1String("torn")) {
            b.truncate(idx + 8 + size / 3);
        } else if (damage == QLatin1String("shortened")) {
            // A whole index, of the first third of the chunks only.
            b.truncate(idx + 8 + (size / 3) / 16 * 16);
            putLe32(b, idx + 4, uint32_t(b.size() - idx - 8));
            putLe32(b, 4, uint32_t(b.size() - 8));
        } else if (damage == QLatin1String("flipped")) {
            for (uint32_t e = 5; e < 15; ++e)
                b[idx + 8 + 16 * e + 9] = char(b[idx + 8 + 16 * e + 9] ^ 0x5a);
        } else if (damage == QLatin1String("rubbish")) {
            for (qsizetype i = idx + 8 + size / 2; i < idx + 8 + qsizetype(size); ++i)
                b[i] = char(0xA5 ^ (i * 7));
        } else if (damage == QLatin1String("movi")) {
            putLe32(b, movi - 4, le32(b, movi - 4) / 2);
        } else if (damage == QLatin1String("riff")) {
            putLe32(b, 4, 0);
        }
        const QString file = path(QStringLiteral("index-%1.avi").arg(damage));
        QVERIFY(writeAll(file, b));
        const QByteArray ref = ffmpegFrames(file);
        const qsizetype frameBytes = 160 * 120 * 3;
        const int theirs = int(ref.size() / frameBytes);
        QVERIFY2(theirs > 0, "ffmpeg decodes the damaged file");

        MovieReader r;
        QVERIFY2(r.open(file), qPrintable(r.errorText()));
        QCOMPARE(r.frameCount(), theirs);
        for (int n = 0; n < theirs; ++n) {
            const double p = psnrOfDib(r.frame(n), ref.constData() + frameBytes * n, 160, 120);
            QVERIFY2(p >= 45, qPrintable(QStringLiteral("frame %1: %2 dB").arg(n).arg(p)));
        }
        // And back again.
        for (int n : {theirs - 1, 0, theirs / 2})
            QVERIFY(psnrOfDib(r.frame(n), ref.constData() + frameBytes * n, 160, 120) >= 45);
    }

    // Frames whose chunks hold rubbish are passed over, each read at most a
    // few times: a long damaged stretch ends, it does not make the reader
    // walk the file once per frame.
    void damagedStretchEnds_data()
    {
        QTest::addColumn<bool>("keepIndex");
        QTest::newRow("indexed") << true;
        QTest::newRow("no index") << false;
    }

    void damagedStretchEnds()
    {
        QFETCH(bool, keepIndex);
        const QString good = path(QStringLiteral("stretch-%1.avi").arg(keepIndex));
        QVERIFY(makeMovie(good, {QStringLiteral("-c:v"), QStringLiteral("mjpeg")}, 600, 64, 48));
        QByteArray b = readAll(good);
        const qsizetype movi = b.indexOf("movi");
        const qsizetype idx = b.lastIndexOf("idx1");
        QVERIFY(movi > 0 && idx > movi);
        // Rubbish over the movie data from 40 % on, chunk headers and all.
        const qsizetype from = movi + (idx - movi) * 4 / 10;
        for (qsizetype i = from; i < idx; ++i)
            b[i] = char(0xA5 ^ (i * 7));
        if (!keepIndex) {
            b.truncate(idx);
            putLe32(b, 4, uint32_t(b.size() - 8));
        }
        const QString file = path(QStringLiteral("damaged-%1.avi").arg(keepIndex));
        QVERIFY(writeAll(file, b));
        MovieReader r;
        QVERIFY(r.open(file));
        QVERIFY(r.frameCount() > 0);
        int decoded = 0;
        for (int64_t n = 0; n < r.frameCount(); ++n)
            decoded += !r.frame(n).isEmpty();
        QVERIFY2(decoded >= 200, qPrintable(QString::number(decoded)));
        QVERIFY(!r.frame(0).isEmpty());
    }

    // A recording of our own past 1 GiB goes on in OpenDML form (more RIFF
    // chunks, two-level index): every frame is counted, and frames deep in
    // the later chunks are the right ones.
    void openDmlRecordingPastOneGiB()
    {
        const QSize size(640, 480);
        // Thirty noisy pictures, each a large JPEG, repeated in turn.
        QList<QImage> pictures;
        QList<QByteArray> jpegs;
        QRandomGenerator rng(7);
        for (int i = 0; i < 30; ++i) {
            QImage img(size, QImage::Format_RGB32);
            for (int y = 0; y < size.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
                for (int x = 0; x < size.width(); ++x)
                    line[x] = rng.generate() | 0xff000000u;
            }
            QByteArray bytes;
            QBuffer buf(&bytes);
            buf.open(QIODevice::WriteOnly);
            QVERIFY(img.save(&buf, "JPG", 100));
            pictures << img;
            jpegs << bytes;
        }
        qint64 bytesPerRound = 0;
        for (const QByteArray& j : jpegs)
            bytesPerRound += j.size();
        const int frames = int((qint64(1) << 30) / bytesPerRound + 2) * 30;

        const QString file = path(QStringLiteral("big.avi"));
        {
            AviWriter w;
            AviWriter::Setup s;
            s.fileName = file;
            s.frameSize = size;
            s.rateNum = 30;
            s.encoder = QStringLiteral("mjpeg");
            QVERIFY2(w.open(s), qPrintable(w.errorText()));
            for (int i = 0; i < frames; ++i)
                QVERIFY(w.writeVideo(pictures[i % 30], jpegs[i % 30], i));
            QVERIFY(w.close());
        }
        QVERIFY(QFileInfo(file).size() > (qint64(1) << 30));

        MovieReader r;
        QVERIFY(r.open(file));
        QCOMPARE(r.frameCount(), frames);
        QCOMPARE(r.frameRect(), QRect(QPoint(0, 0), size));
        for (int n : {frames - 1, frames / 2 + 7, 3, frames - 30 + 12}) {
            const QImage got = r.image(n, QImage::Format_RGB32);
            QVERIFY2(!got.isNull(), qPrintable(QString::number(n)));
            // The decoder's picture of that JPEG, read on its own.
            const QImage want = QImage::fromData(jpegs[n % 30], "JPG").convertToFormat(QImage::Format_RGB32);
            qint64 diff = 0;
            for (int y = 0; y < size.height(); y += 7)
                for (int x = 0; x < size.width(); x += 5)
                    diff += qAbs(qGray(got.pixel(x, y)) - qGray(want.pixel(x, y)));
            const double mean = double(diff) / ((size.height() / 7 + 1) * (size.width() / 5));
            QVERIFY2(mean < 6, qPrintable(QStringLiteral("frame %1: mean difference %2").arg(n).arg(mean)));
        }
        QFile::remove(file);
    }

    // The sound track, whole and from a point in time, is ffmpeg's decode of it
    // as 16-bit PCM, to the sample.
    void soundMatchesFfmpeg_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("rate");
        QTest::newRow("16-bit mono 22050") << QStringLiteral("pcm_s16le") << 1 << 22050;
        QTest::newRow("8-bit stereo 11025") << QStringLiteral("pcm_u8") << 2 << 11025;
        QTest::newRow("16-bit stereo 44100") << QStringLiteral("pcm_s16le") << 2 << 44100;
    }

    void soundMatchesFfmpeg()
    {
        QFETCH(QString, codec);
        QFETCH(int, channels);
        QFETCH(int, rate);
        const QString file = path(QStringLiteral("sound-%1-%2-%3.avi").arg(codec).arg(channels).arg(rate));
        QVERIFY(runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("testsrc=size=64x48:rate=25"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                           QStringLiteral("-i"), QStringLiteral("sine=frequency=300:sample_rate=%1").arg(rate),
                           QStringLiteral("-t"), QStringLiteral("2"), QStringLiteral("-c:v"), QStringLiteral("mjpeg"),
                           QStringLiteral("-c:a"), codec, QStringLiteral("-ac"), QString::number(channels), file}));
        QProcess p;
        p.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), file,
                                           QStringLiteral("-map"), QStringLiteral("0:a"), QStringLiteral("-f"),
                                           QStringLiteral("s16le"), QStringLiteral("-")});
        QVERIFY(p.waitForFinished(60000));
        const QByteArray ref = p.readAllStandardOutput();
        QCOMPARE(ref.size(), 2 * channels * rate * 2);

        AviSoundReader s;
        QVERIFY2(s.open(file), qPrintable(s.errorText()));
        QCOMPARE(s.sampleRate(), rate);
        QCOMPARE(s.channels(), channels);
        QByteArray all;
        for (QByteArray piece; !(piece = s.read(1000)).isEmpty();)
            all += piece;
        QCOMPARE(all.size(), ref.size());
        QVERIFY(all == ref);

        const int bpf = 2 * channels;
        for (double at : {0.5, 1.25, 0.0}) {
            QVERIFY(s.seekSeconds(at));
            const QByteArray got = s.read(rate / 10);
            QCOMPARE(got, ref.mid(qsizetype(std::floor(at * rate + 0.5)) * bpf, qsizetype(rate / 10) * bpf));
        }
        QVERIFY(s.seekSeconds(5));
        QVERIFY(s.read(100).isEmpty());

        // A movie without sound, and a file that is no movie, are refused.
        const QString silent = path(QStringLiteral("silent.avi"));
        QVERIFY(makeMovie(silent, {QStringLiteral("-c:v"), QStringLiteral("mjpeg")}, 2, 32, 24));
        for (const QString& bad : {silent, path(QStringLiteral("no-such-file.avi"))}) {
            AviSoundReader none;
            QVERIFY(!none.open(bad));
            QVERIFY(!none.errorText().isEmpty());
            QVERIFY(none.read(10).isEmpty());
            QVERIFY(!none.seekSeconds(1));
        }
    }

    void closeTwiceAndReopen()
    {
        const QString file = path(QStringLiteral("reopen.avi"));
        QVERIFY(makeMovie(file, {QStringLiteral("-c:v"), QStringLiteral("mjpeg")}, 5, 64, 48));
        MovieReader r;
        QVERIFY(r.open(file));
        QVERIFY(!r.frame(4).isEmpty());
        r.close();
        r.close();
        QVERIFY(!r.isOpen());
        QVERIFY(r.frame(0).isEmpty());
        QVERIFY(r.open(file));
        QVERIFY(!r.frame(0).isEmpty());
        QCOMPARE(r.lastFrameNumber(), 0);
    }
};

QTEST_GUILESS_MAIN(MovieReaderTest)
#include "moviereader_test.moc"
