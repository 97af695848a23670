#include "moviefiles.h"
#include "image/bitmapfile.h"
#include "image/jpegoutput.h"
#include "movie/moviereader.h"
#include "movie/frameextractor.h"

#include <QDir>
#include <QSignalSpy>
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

// Another program's reading of a picture file, as packed top-down BGR.
QByteArray decodedBy(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

QByteArray magickBgr(const QString& file)
{
    return decodedBy(QStringLiteral("convert"), {file, QStringLiteral("-depth"), QStringLiteral("8"), QStringLiteral("bgr:-")});
}

// djpeg's PPM without its header, as top-down RGB.
QByteArray djpegRgb(const QString& file, int* width, int* height)
{
    const QByteArray ppm = decodedBy(QStringLiteral("djpeg"), {QStringLiteral("-pnm"), file});
    const QList<QByteArray> head = ppm.left(64).split('\n');
    if (head.size() < 4 || head[0] != "P6")
        return {};
    const QList<QByteArray> dims = head[1].split(' ');
    *width = dims.value(0).toInt();
    *height = dims.value(1).toInt();
    const qsizetype headerBytes = head[0].size() + head[1].size() + head[2].size() + 3;
    return ppm.mid(headerBytes);
}

// Packed BGR rows turned into RGB rows.
QByteArray toRgb(QByteArray bgr)
{
    for (qsizetype k = 0; k + 2 < bgr.size(); k += 3)
        std::swap(bgr[k], bgr[k + 2]);
    return bgr;
}

double psnr(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size() || a.isEmpty())
        return -1;
    double sum = 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const int d = int(uint8_t(a[i])) - int(uint8_t(b[i]));
        sum += d * d;
    }
    return sum == 0 ? 999 : 10 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

// A JPEG's quantisation tables and frame header (size, components and their
// sampling), the segments a quality setting and the chroma layout decide.
QByteArray tablesAndFrame(const QByteArray& jpeg)
{
    QByteArray kept;
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && uint8_t(jpeg[at]) == 0xff) {
        const uint8_t marker = uint8_t(jpeg[at + 1]);
        const qsizetype length = uint8_t(jpeg[at + 2]) << 8 | uint8_t(jpeg[at + 3]);
        if (marker == 0xda) // the scan: the headers are over
            break;
        if (marker == 0xdb || marker == 0xc0)
            kept += jpeg.mid(at, 2 + length);
        at += 2 + length;
    }
    return kept;
}

// Waits for the extractor's end and gives the outcome.
ExtractOutcome finish(FrameExtractor&, QSignalSpy& done)
{
    if (done.isEmpty() && !done.wait(120000))
        return ExtractOutcome::Error;
    return done.first().at(0).value<ExtractOutcome>();
}

} // namespace

class FrameExtractorTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        av_log_set_level(AV_LOG_QUIET);
        qputenv("LUMIVARK_HOME", m_dir.filePath(QStringLiteral("home")).toLocal8Bit());
        QDir().mkpath(m_dir.filePath(QStringLiteral("home")));
    }

    void texts_data()
    {
        QTest::addColumn<qint64>("i");
        QTest::addColumn<qint64>("last");
        QTest::addColumn<QString>("text");
        QTest::newRow("first of 100") << qint64(0) << qint64(99) << QStringLiteral("Saving  of 99 frames");
        QTest::newRow("last of 100") << qint64(99) << qint64(99) << QStringLiteral("Saving 99 of 99 frames");
        QTest::newRow("one frame") << qint64(0) << qint64(0) << QStringLiteral("Saving  of  frames");
    }

    void texts()
    {
        QFETCH(qint64, i);
        QFETCH(qint64, last);
        QFETCH(QString, text);
        QCOMPARE(savingFramesText(i, last), text);
        QCOMPARE(extractedFrameName(QStringLiteral("/x/shot"), 7, QStringLiteral("bmp")), QStringLiteral("/x/shot_Frame_7.bmp"));
        QCOMPARE(extractedImageCaption(QStringLiteral("clip.avi"), 25), QStringLiteral("clip_Frame_25"));
        QCOMPARE(extractedImageCaption(QStringLiteral("ab"), 0), QStringLiteral("_Frame_0"));
    }

    // Every written bitmap, read by ImageMagick, is ffmpeg's decode of the
    // same frame number; it is the very file the temporary-bitmap path gives.
    void extractAllBitmaps_data()
    {
        QTest::addColumn<QStringList>("codec");
        QTest::addColumn<int>("frames");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("exact");
        const auto c = [](const char* s) { return QString::fromLatin1(s).split(QLatin1Char(' ')); };
        QTest::newRow("rawvideo") << c("-c:v rawvideo -pix_fmt bgr24") << 12 << QSize(321, 241) << true;
        QTest::newRow("ffv1") << c("-c:v ffv1 -pix_fmt bgr0") << 12 << QSize(321, 241) << true;
        QTest::newRow("mjpeg") << c("-c:v mjpeg -q:v 3") << 12 << QSize(321, 241) << false;
        QTest::newRow("libx264") << c("-c:v libx264 -preset ultrafast -g 5 -bf 2") << 14 << QSize(321, 241) << false;
        QTest::newRow("one frame") << c("-c:v mjpeg -q:v 3") << 1 << QSize(321, 241) << false;
        // Camera and screen sizes whose width is no multiple of 16, odd and even heights.
        QTest::newRow("mjpeg 1366x768") << c("-c:v mjpeg -q:v 3") << 3 << QSize(1366, 768) << false;
        QTest::newRow("mjpeg 4:2:2 1366x768") << c("-c:v mjpeg -q:v 3 -pix_fmt yuvj422p") << 3 << QSize(1366, 768)
                                              << false;
        QTest::newRow("mjpeg 322x242") << c("-c:v mjpeg -q:v 3") << 5 << QSize(322, 242) << false;
        QTest::newRow("mjpeg 176x144") << c("-c:v mjpeg -q:v 3") << 5 << QSize(176, 144) << false;
        QTest::newRow("mpeg4 648x486") << c("-c:v mpeg4 -q:v 3 -bf 2") << 5 << QSize(648, 486) << false;
        QTest::newRow("libx264 b-frames 854x480") << c("-c:v libx264 -preset ultrafast -g 3 -bf 2") << 7
                                                  << QSize(854, 480) << false;
        QTest::newRow("ffv1 yuv 330x251") << c("-c:v ffv1 -pix_fmt yuv420p") << 5 << QSize(330, 251) << false;
        QTest::newRow("ffv1 yuv 330x250") << c("-c:v ffv1 -pix_fmt yuv420p") << 5 << QSize(330, 250) << false;
        QTest::newRow("rawvideo 1023x767") << c("-c:v rawvideo -pix_fmt bgr24") << 2 << QSize(1023, 767) << true;
    }

    void extractAllBitmaps()
    {
        QFETCH(QStringList, codec);
        QFETCH(int, frames);
        QFETCH(QSize, size);
        QFETCH(bool, exact);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_'));
        const QString movie = path(tag + QStringLiteral(".avi"));
        QVERIFY(makeMovie(movie, codec, frames, size.width(), size.height(), true));
        const QByteArray ref = ffmpegFrames(movie);
        const qsizetype frameBytes = qsizetype(size.width()) * size.height() * 3;
        QCOMPARE(ref.size(), frameBytes * frames);
        QDir().mkpath(path(tag));

        FrameExtractor x;
        QSignalSpy progress(&x, &FrameExtractor::progress);
        QSignalSpy done(&x, &FrameExtractor::finished);
        QVERIFY(x.extractAll(movie, path(tag + QStringLiteral("/shot.bmp")), 90));
        QVERIFY(x.isRunning());
        QVERIFY(!x.extractAll(movie, path(tag + QStringLiteral("/again.bmp")), 90)); // one job at a time
        QCOMPARE(finish(x, done), ExtractOutcome::Done);
        QVERIFY(!x.isRunning());
        QCOMPARE(progress.size(), frames);
        for (int i = 0; i < frames; ++i) {
            QCOMPARE(progress.at(i).at(0).toLongLong(), i);
            QCOMPARE(progress.at(i).at(1).toLongLong(), frames - 1);
        }

        for (int i = 0; i < frames; ++i) {
            const QString file = path(tag + QStringLiteral("/shot_Frame_%1.bmp").arg(i));
            const QByteArray pixels = magickBgr(file);
            const double p = psnr(pixels, ref.mid(frameBytes * i, frameBytes));
            QVERIFY2(p >= (exact ? 999 : 45), qPrintable(QStringLiteral("frame %1: %2 dB").arg(i).arg(p)));
        }
        QCOMPARE(QDir(path(tag)).entryList(QDir::Files).size(), frames);
        // Through a picture and back, as the temporary bitmap went: the same bytes.
        const QString last = path(tag + QStringLiteral("/shot_Frame_%1.bmp").arg(frames - 1));
        const QString again = path(tag + QStringLiteral("/via-picture.bmp"));
        QVERIFY(SavePictureAsBitmap(LoadPicture(last), again));
        QCOMPARE(readAll(last), readAll(again));
        QVERIFY(!QFile::exists(path(QStringLiteral("home/temp.bmp"))));
    }

    // JPEG frames are pictures of the image layer's kind (its quantisation
    // tables for the quality, 4:2:0), djpeg reads them, and they are as close
    // to ffmpeg's decode as libjpeg's own cjpeg makes of that decode at the
    // same quality, and as the image layer's JPEG of the decoded bitmap. YUV
    // frames go from their planes; others (and studio-range 4:2:0 of odd
    // size) are the very file the image layer writes.
    void extractAllJpegs_data()
    {
        QTest::addColumn<QStringList>("codec");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("sameAsPicture");
        const auto c = [](const char* s) { return QString::fromLatin1(s).split(QLatin1Char(' ')); };
        QTest::newRow("mjpeg 321x241") << c("-c:v mjpeg -q:v 2") << QSize(321, 241) << false;
        QTest::newRow("mjpeg 1366x768") << c("-c:v mjpeg -q:v 2") << QSize(1366, 768) << false;
        QTest::newRow("mjpeg 322x242") << c("-c:v mjpeg -q:v 2") << QSize(322, 242) << false;
        QTest::newRow("mjpeg 4:2:0 321x241") << c("-c:v mjpeg -q:v 2 -pix_fmt yuvj420p") << QSize(321, 241) << false;
        QTest::newRow("mjpeg 4:2:0 1920x1080") << c("-c:v mjpeg -q:v 2 -pix_fmt yuvj420p") << QSize(1920, 1080)
                                               << false;
        QTest::newRow("mjpeg 4:2:2 323x243") << c("-c:v mjpeg -q:v 2 -pix_fmt yuvj422p") << QSize(323, 243) << false;
        QTest::newRow("mpeg4 648x486") << c("-c:v mpeg4 -q:v 2") << QSize(648, 486) << false;
        QTest::newRow("libx264 640x480") << c("-c:v libx264 -preset ultrafast -bf 2") << QSize(640, 480) << false;
        QTest::newRow("libx264 4:2:0 studio 1282x722")
            << c("-c:v libx264 -preset ultrafast -qp 10 -pix_fmt yuv420p") << QSize(1282, 722) << false;
        QTest::newRow("ffv1 4:2:0 studio 322x242") << c("-c:v ffv1 -pix_fmt yuv420p") << QSize(322, 242) << false;
        QTest::newRow("ffv1 4:2:0 studio 321x241") << c("-c:v ffv1 -pix_fmt yuv420p") << QSize(321, 241) << true;
        QTest::newRow("ffv1 4:4:4 studio 321x241") << c("-c:v ffv1 -pix_fmt yuv444p") << QSize(321, 241) << false;
        QTest::newRow("rawvideo bgr 321x241") << c("-c:v rawvideo -pix_fmt bgr24") << QSize(321, 241) << true;
    }

    void extractAllJpegs()
    {
        QFETCH(QStringList, codec);
        QFETCH(QSize, size);
        QFETCH(bool, sameAsPicture);
        const int frames = 3;
        const QString tag = QString::fromLatin1(QTest::currentDataTag())
                                .replace(QLatin1Char(' '), QLatin1Char('_'))
                                .replace(QLatin1Char(':'), QLatin1Char('-'));
        const QString movie = path(QStringLiteral("jpegs-%1.avi").arg(tag));
        QVERIFY(makeMovie(movie, codec, frames, size.width(), size.height()));
        const QByteArray ref = ffmpegFrames(movie);
        const qsizetype frameBytes = qsizetype(size.width()) * size.height() * 3;
        QCOMPARE(ref.size(), frameBytes * frames);
        const QString folder = path(QStringLiteral("jpg-%1").arg(tag));
        QDir().mkpath(folder);
        // A Motion JPEG frame is itself a JPEG: the picture it holds is what a
        // JPEG decoder makes of it. (ffmpeg's RGB of pictures of odd width
        // places the chroma samples elsewhere.)
        const bool mjpeg = codec.contains(QStringLiteral("mjpeg"));
        if (mjpeg)
            QVERIFY(runFfmpeg({QStringLiteral("-i"), movie, QStringLiteral("-map"), QStringLiteral("0:v:0"),
                               QStringLiteral("-c:v"), QStringLiteral("copy"), QStringLiteral("-f"),
                               QStringLiteral("image2"), folder + QStringLiteral("/held-%d.jpg")}));
        FrameExtractor x;
        QSignalSpy done(&x, &FrameExtractor::finished);
        QSignalSpy failed(&x, &FrameExtractor::jpegFailed);
        QSignalSpy progress(&x, &FrameExtractor::progress);
        QVERIFY(x.extractAll(movie, folder + QStringLiteral("/Pic.JPG"), 90));
        QCOMPARE(finish(x, done), ExtractOutcome::Done);
        QVERIFY(failed.isEmpty());
        QCOMPARE(progress.size(), frames);
        for (int i = 0; i < frames; ++i)
            QCOMPARE(progress.at(i).at(0).toLongLong(), i);
        MovieReader reader;
        QVERIFY(reader.open(movie));
        for (int i = 0; i < frames; ++i) {
            int w = 0, h = 0;
            const QByteArray refFrame =
                mjpeg ? toRgb(djpegRgb(folder + QStringLiteral("/held-%1.jpg").arg(i + 1), &w, &h))
                      : ref.mid(frameBytes * i, frameBytes);
            QCOMPARE(refFrame.size(), frameBytes);
            const QString file = folder + QStringLiteral("/Pic_Frame_%1.jpg").arg(i);
            const QByteArray ours = djpegRgb(file, &w, &h);
            QCOMPARE(QSize(w, h), size);
            // The other encoder's JPEG of ffmpeg's frame, as PPM through cjpeg.
            const QString ppm = folder + QStringLiteral("/ref-%1.ppm").arg(i);
            {
                QFile f(ppm);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(QStringLiteral("P6\n%1 %2\n255\n").arg(size.width()).arg(size.height()).toLatin1());
                f.write(toRgb(refFrame));
            }
            const QString theirs = folder + QStringLiteral("/ref-%1.jpg").arg(i);
            QVERIFY(QProcess::execute(QStringLiteral("cjpeg"),
                                      {QStringLiteral("-quality"), QStringLiteral("90"), QStringLiteral("-outfile"),
                                       theirs, ppm}) == 0);
            const QByteArray theirPixels = djpegRgb(theirs, &w, &h);
            const QByteArray refRgb = toRgb(refFrame);
            const double oursDb = psnr(ours, refRgb);
            const double theirsDb = psnr(theirPixels, refRgb);
            const QString viaPicture = folder + QStringLiteral("/via-%1.jpg").arg(i);
            QVERIFY(SaveJPEGFile(imageFromPackedDib(reader.frame(i)), viaPicture, 90));
            const double viaDb = psnr(djpegRgb(viaPicture, &w, &h), refRgb);
            const QString figures = QStringLiteral("frame %1: %2 dB, via the bitmap %3 dB, cjpeg %4 dB")
                                        .arg(i)
                                        .arg(oursDb)
                                        .arg(viaDb)
                                        .arg(theirsDb);
            QVERIFY2(oursDb >= theirsDb - 1, qPrintable(figures));
            if (sameAsPicture) {
                QCOMPARE(readAll(file), readAll(viaPicture));
                continue;
            }
            QCOMPARE(tablesAndFrame(readAll(file)), tablesAndFrame(readAll(viaPicture)));
            QVERIFY2(oursDb >= viaDb - 0.25, qPrintable(figures));
        }
    }

    void otherTypeWalksAndWritesNothing()
    {
        const QString movie = path(QStringLiteral("walk.avi"));
        QVERIFY(makeMovie(movie, {QStringLiteral("-c:v"), QStringLiteral("mjpeg")}, 9, 64, 48));
        QDir().mkpath(path(QStringLiteral("walk")));
        FrameExtractor x;
        QSignalSpy progress(&x, &FrameExtractor::progress);
        QSignalSpy done(&x, &FrameExtractor::finished);
        QVERIFY(x.extractAll(movie, path(QStringLiteral("walk/shot.png")), 90));
        QCOMPARE(finish(x, done), ExtractOutcome::Done);
        QCOMPARE(progress.size(), 9);
        QVERIFY(QDir(path(QStringLiteral("walk"))).entryList(QDir::Files).isEmpty());
    }

    void cancelKeepsWrittenFiles()
    {
        const QString movie = path(QStringLiteral("long.avi"));
        QVERIFY(makeMovie(movie, {QStringLiteral("-c:v"), QStringLiteral("mjpeg")}, 400, 320, 240));
        QDir().mkpath(path(QStringLiteral("cancel")));
        FrameExtractor x;
        QSignalSpy done(&x, &FrameExtractor::finished);
        connect(&x, &FrameExtractor::progress, &x, [&x](qint64 i) {
            if (i == 2)
                x.cancel();
        });
        QVERIFY(x.extractAll(movie, path(QStringLiteral("cancel/c.bmp")), 90));
        QCOMPARE(finish(x, done), ExtractOutcome::Cancelled);
        const int written = int(QDir(path(QStringLiteral("cancel"))).entryList(QDir::Files).size());
        QVERIFY2(written >= 3 && written < 400, qPrintable(QString::number(written)));
        for (int i = 0; i < written; ++i)
            QVERIFY(!magickBgr(path(QStringLiteral("cancel/c_Frame_%1.bmp").arg(i))).isEmpty());
        // The extractor takes the next job.
        QSignalSpy again(&x, &FrameExtractor::finished);
        QVERIFY(x.extractOne(movie, 399));
        QCOMPARE(finish(x, again), ExtractOutcome::Done);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("outcome");
        QTest::newRow("not an avi") << QStringLiteral("text") << int(ExtractOutcome::Error);
        QTest::newRow("sound only") << QStringLiteral("sound") << int(ExtractOutcome::Error);
        QTest::newRow("codec missing") << QStringLiteral("codec") << int(ExtractOutcome::Quiet);
        QTest::newRow("unwritable folder") << QStringLiteral("folder") << int(ExtractOutcome::Error);
        QTest::newRow("zero frames") << QStringLiteral("zero") << int(ExtractOutcome::Done);
    }

    void failures()
    {
        QFETCH(QString, kind);
        QFETCH(int, outcome);
        const QString movie = path(QStringLiteral("fail-%1.avi").arg(kind));
        QString target = path(QStringLiteral("fail-%1/x.bmp").arg(kind));
        QDir().mkpath(path(QStringLiteral("fail-%1").arg(kind)));
        if (kind == QLatin1String("text")) {
            QFile f(movie);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("RIFF but not really");
        } else if (kind == QLatin1String("sound")) {
            QVERIFY(runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                               QStringLiteral("sine=duration=1"), QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"),
                               movie}));
        } else if (kind == QLatin1String("codec")) {
            QVERIFY(makeMovie(movie, {QStringLiteral("-c:v"), QStringLiteral("mjpeg")}, 3, 64, 48));
            QByteArray b = readAll(movie);
            const qsizetype strh = b.indexOf("strh");
            const qsizetype strf = b.indexOf("strf", strh);
            b.replace(strh + 12, 4, "ZQZQ");
            b.replace(strf + 8 + 16, 4, "ZQZQ");
            QFile f(movie);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(b);
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(makeMovie(movie, {QStringLiteral("-c:v"), QStringLiteral("mjpeg")}, 3, 64, 48));
            // A file stands where the folder should be.
            QFile f(path(QStringLiteral("fail-folder/blocked")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            target = path(QStringLiteral("fail-folder/blocked/x.bmp"));
        } else if (kind == QLatin1String("zero")) {
            QVERIFY(makeMovie(movie, {QStringLiteral("-c:v"), QStringLiteral("mjpeg")}, 0, 64, 48));
        }
        FrameExtractor x;
        QSignalSpy done(&x, &FrameExtractor::finished);
        QVERIFY(x.extractAll(movie, target, 90));
        QCOMPARE(int(finish(x, done)), outcome);
        QVERIFY(!QFile::exists(path(QStringLiteral("home/temp.bmp"))));

        QSignalSpy one(&x, &FrameExtractor::finished);
        QSignalSpy frame(&x, &FrameExtractor::frameExtracted);
        QVERIFY(x.extractOne(movie, 0));
        const ExtractOutcome o = finish(x, one);
        QCOMPARE(frame.isEmpty(), o != ExtractOutcome::Done);
    }

    // A JPEG that cannot be written is reported and the walk goes on.
    void jpegFailuresGoOn()
    {
        const QString movie = path(QStringLiteral("jpegfail.avi"));
        QVERIFY(makeMovie(movie, {QStringLiteral("-c:v"), QStringLiteral("mjpeg")}, 4, 64, 48));
        QFile blocker(path(QStringLiteral("jpegfail-blocked")));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
        FrameExtractor x;
        QSignalSpy done(&x, &FrameExtractor::finished);
        QSignalSpy failed(&x, &FrameExtractor::jpegFailed);
        QSignalSpy progress(&x, &FrameExtractor::progress);
        QVERIFY(x.extractAll(movie, path(QStringLiteral("jpegfail-blocked/x.jpg")), 90));
        QCOMPARE(finish(x, done), ExtractOutcome::Done);
        QCOMPARE(failed.size(), 4);
        QCOMPARE(failed.first().first().toString(), path(QStringLiteral("jpegfail-blocked/x_Frame_0.jpg")));
        QCOMPARE(progress.size(), 4);
    }

    // The single frame is the frame of that number, out of range is quiet.
    void extractOne()
    {
        const QString movie = path(QStringLiteral("one.avi"));
        QVERIFY(makeMovie(movie, {QStringLiteral("-c:v"), QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"),
                                  QStringLiteral("bgr24")},
                          10, 33, 17));
        const QByteArray ref = ffmpegFrames(movie);
        FrameExtractor x;
        for (int n : {7, 0, 9}) {
            QSignalSpy done(&x, &FrameExtractor::finished);
            QSignalSpy frame(&x, &FrameExtractor::frameExtracted);
            QVERIFY(x.extractOne(movie, n));
            QCOMPARE(finish(x, done), ExtractOutcome::Done);
            QCOMPARE(frame.size(), 1);
            QCOMPARE(frame.first().at(1).toLongLong(), n);
            const QByteArray dib = frame.first().at(0).toByteArray();
            QCOMPARE(psnrOfDib(dib, ref.constData() + 33 * 17 * 3 * n, 33, 17), 999.0);
            const QImage img = imageFromPackedDib(dib);
            QCOMPARE(img.size(), QSize(33, 17));
            const auto* top = reinterpret_cast<const uint8_t*>(ref.constData() + 33 * 17 * 3 * n);
            QCOMPARE(img.pixel(0, 0), qRgb(top[2], top[1], top[0]));
        }
        QSignalSpy done(&x, &FrameExtractor::finished);
        QVERIFY(x.extractOne(movie, 10));
        QCOMPARE(finish(x, done), ExtractOutcome::Quiet);
    }
};

QTEST_GUILESS_MAIN(FrameExtractorTest)
#include "frameextractor_test.moc"
