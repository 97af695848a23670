#include "../scopedtmpfs.h"
#include "ffprobe.h"
#include "moviefiles.h"
#include "movie/aviwriter.h"
#include "movie/recompressor.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <sys/stat.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

using namespace lv;
using moviefiles::makeMovie;
using moviefiles::runFfmpeg;

namespace {

QStringList codec(const char* name, const char* pixfmt)
{
    return {QStringLiteral("-c:v"), QLatin1String(name), QStringLiteral("-pix_fmt"), QLatin1String(pixfmt)};
}

QByteArray md5(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash h(QCryptographicHash::Md5);
    h.addData(&f);
    return h.result();
}

// ffmpeg's decode of the first sound stream as raw bytes in its own sample format.
QByteArray ffmpegSound(const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-nostdin"),
                                       QStringLiteral("-i"), file, QStringLiteral("-map"), QStringLiteral("0:a:0"),
                                       QStringLiteral("-c:a"), QStringLiteral("copy"), QStringLiteral("-f"),
                                       QStringLiteral("data"), QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
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
    if (sum == 0)
        return 999;
    return 10 * std::log10(255.0 * 255.0 / (sum / double(a.size())));
}

// Files in a folder, hidden ones too (partial outputs are hidden).
QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

RecompressResult recompress(const QString& source, const QString& output, const RecompressOptions& options,
                            QList<int>* progress = nullptr)
{
    std::atomic_bool cancel{false};
    return recompressMovie(source, output, options, cancel, [progress](int p) {
        if (progress)
            progress->append(p);
    });
}

RecompressOptions withEncoder(const char* encoder, int quality = 75)
{
    RecompressOptions o;
    o.encoder = QLatin1String(encoder);
    o.quality = quality;
    return o;
}

} // namespace

class TestRecompressor : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<lv::RecompressResult>(); }

    // Sources made by ffmpeg, recompressed with each kind of encoder; the
    // output read back by ffprobe and decoded by ffmpeg next to the source.
    void codecs_data()
    {
        QTest::addColumn<QStringList>("sourceCodec");
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<int>("quality");
        QTest::addColumn<QString>("probedCodec");
        QTest::addColumn<double>("minPsnr"); // 999 = every frame exact
        QTest::newRow("raw to ffv1 exact") << codec("rawvideo", "bgr24") << "320x240" << "25" << "ffv1" << 75
                                           << "ffv1" << 999.0;
        QTest::newRow("raw to huffyuv exact") << codec("rawvideo", "bgr24") << "320x240" << "25" << "huffyuv" << 75
                                              << "huffyuv" << 999.0;
        QTest::newRow("mjpeg to raw") << codec("mjpeg", "yuvj420p") << "320x240" << "25" << "rawvideo" << 75
                                      << "rawvideo" << 45.0;
        QTest::newRow("raw to raw exact, odd size") << codec("rawvideo", "bgr24") << "321x241" << "25" << "rawvideo"
                                                    << 75 << "rawvideo" << 999.0;
        QTest::newRow("yuv420p to ffv1 exact, odd size") << codec("mpeg4", "yuv420p") << "321x241" << "25" << "ffv1"
                                                         << 75 << "ffv1" << 999.0;
        QTest::newRow("mjpeg to mpeg4 high quality") << codec("mjpeg", "yuvj420p") << "320x240" << "25" << "mpeg4"
                                                     << 100 << "mpeg4" << 40.0;
        QTest::newRow("mjpeg to mjpeg high quality, ntsc rate") << codec("mjpeg", "yuvj420p") << "320x240"
                                                                << "30000/1001" << "mjpeg" << 100 << "mjpeg" << 40.0;
        QTest::newRow("mpeg4 to mjpeg, odd size") << codec("mpeg4", "yuv420p") << "321x241" << "15" << "mjpeg" << 100
                                                  << "mjpeg" << 38.0;
        QTest::newRow("mjpeg to h264") << codec("mjpeg", "yuvj420p") << "320x240" << "25" << "libx264" << 100
                                       << "h264" << 40.0;
    }
    void codecs()
    {
        QFETCH(QStringList, sourceCodec);
        QFETCH(QString, size);
        QFETCH(QString, rate);
        QFETCH(QString, encoder);
        QFETCH(int, quality);
        QFETCH(QString, probedCodec);
        QFETCH(double, minPsnr);
        if (!avcodec_find_encoder_by_name(encoder.toLatin1().constData()))
            QSKIP("encoder not in this FFmpeg");
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("clip.avi"));
        const QString output = dir.filePath(QStringLiteral("new.avi"));
        QVERIFY(runFfmpeg(QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                      QStringLiteral("testsrc=size=%1:rate=%2").arg(size, rate),
                                      QStringLiteral("-frames:v"), QStringLiteral("40")}
                          + sourceCodec + QStringList{source}));
        const QByteArray sourceSum = md5(source);

        QList<int> progress;
        RecompressOptions o = withEncoder(encoder.toLatin1().constData(), quality);
        const RecompressResult r = recompress(source, output, o, &progress);
        QCOMPARE(int(r.status), int(RecompressResult::Status::Recompressed));
        QCOMPARE(r.output, output);
        QVERIFY(r.soundFile.isEmpty());
        QCOMPARE(md5(source), sourceSum);
        QCOMPARE(filesIn(dir.path()), (QStringList{QStringLiteral("clip.avi"), QStringLiteral("new.avi")}));

        QCOMPARE(progress.first(), 0);
        QCOMPARE(progress.last(), 100);
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
        QCOMPARE(QSet<int>(progress.begin(), progress.end()).size(), progress.size());

        const QJsonObject in = probeStream(ffprobe(source), QStringLiteral("video"));
        const QJsonObject out = probeStream(ffprobe(output), QStringLiteral("video"));
        QCOMPARE(out.value(QStringLiteral("codec_name")).toString(), probedCodec);
        QCOMPARE(probeInt(out, "nb_read_packets"), 40);
        QCOMPARE(probeInt(out, "nb_read_packets"), probeInt(in, "nb_read_packets"));
        QCOMPARE(out.value(QStringLiteral("r_frame_rate")).toString(), in.value(QStringLiteral("r_frame_rate")).toString());
        QCOMPARE(probeInt(out, "width"), probeInt(in, "width"));
        QCOMPARE(probeInt(out, "height"), probeInt(in, "height"));
        QVERIFY(decodesCleanly(output));

        const QByteArray a = moviefiles::ffmpegFrames(source);
        const QByteArray b = moviefiles::ffmpegFrames(output);
        QCOMPARE(b.size(), a.size());
        const double p = psnr(a, b);
        if (minPsnr >= 999)
            QVERIFY2(a == b, qPrintable(QStringLiteral("PSNR %1").arg(p)));
        else
            QVERIFY2(p >= minPsnr, qPrintable(QStringLiteral("PSNR %1").arg(p)));
    }

    // Video and sound: the sound goes unchanged into <output>.wav.
    void soundBeside_data()
    {
        QTest::addColumn<QString>("sampleFormat"); // ffmpeg's name of the source's PCM
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::newRow("16-bit mono 22050") << "pcm_s16le" << 22050 << 1;
        QTest::newRow("8-bit stereo 11025") << "pcm_u8" << 11025 << 2;
        QTest::newRow("16-bit stereo 44100") << "pcm_s16le" << 44100 << 2;
    }
    void soundBeside()
    {
        QFETCH(QString, sampleFormat);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("clip.avi"));
        QVERIFY(runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("testsrc=size=160x120:rate=10"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                           QStringLiteral("-i"), QStringLiteral("sine=frequency=440:sample_rate=%1").arg(rate),
                           QStringLiteral("-frames:v"), QStringLiteral("30"), QStringLiteral("-t"), QStringLiteral("3"),
                           QStringLiteral("-c:v"), QStringLiteral("mjpeg"), QStringLiteral("-c:a"), sampleFormat,
                           QStringLiteral("-ac"), QString::number(channels), source}));
        const QString output = dir.filePath(QStringLiteral("new.avi"));
        const RecompressResult r = recompress(source, output, withEncoder("mpeg4"));
        QCOMPARE(int(r.status), int(RecompressResult::Status::Recompressed));
        const QString wav = dir.filePath(QStringLiteral("new.wav"));
        QCOMPARE(r.soundFile, wav);
        QCOMPARE(filesIn(dir.path()),
                 (QStringList{QStringLiteral("clip.avi"), QStringLiteral("new.avi"), QStringLiteral("new.wav")}));
        // The new movie holds video only.
        QVERIFY(probeStream(ffprobe(output), QStringLiteral("audio")).isEmpty());

        const QJsonObject in = probeStream(ffprobe(source), QStringLiteral("audio"));
        const QJsonObject probe = ffprobe(wav);
        QCOMPARE(probe.value(QStringLiteral("format")).toObject().value(QStringLiteral("format_name")).toString(),
                 QStringLiteral("wav"));
        const QJsonObject out = probeStream(probe, QStringLiteral("audio"));
        QCOMPARE(out.value(QStringLiteral("codec_name")).toString(), sampleFormat);
        QCOMPARE(out.value(QStringLiteral("sample_fmt")).toString(), in.value(QStringLiteral("sample_fmt")).toString());
        QCOMPARE(probeInt(out, "sample_rate"), rate);
        QCOMPARE(probeInt(out, "channels"), channels);
        const QByteArray pcm = ffmpegSound(source);
        QVERIFY(pcm.size() >= rate * channels * 3 - rate);
        const int bytesPerSample = sampleFormat == QLatin1String("pcm_u8") ? 1 : 2;
        QVERIFY(std::abs(probeDouble(out, "duration") - double(pcm.size()) / (rate * channels * bytesPerSample)) < 0.001);
        QCOMPARE(ffmpegSound(wav), pcm);
    }

    // The movie and its sound are made as every other file of the program
    // is: with the mode the user's umask leaves of 0666.
    void outputsFollowTheUmask_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("mode");
        QTest::newRow("umask 022") << 022 << 0644;
        QTest::newRow("umask 002") << 002 << 0664;
        QTest::newRow("umask 077") << 077 << 0600;
    }
    void outputsFollowTheUmask()
    {
        QFETCH(int, mask);
        QFETCH(int, mode);
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("clip.avi"));
        QVERIFY(runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("testsrc=size=160x120:rate=10"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                           QStringLiteral("-i"), QStringLiteral("sine=frequency=440:sample_rate=8000"),
                           QStringLiteral("-frames:v"), QStringLiteral("10"), QStringLiteral("-t"), QStringLiteral("1"),
                           QStringLiteral("-c:v"), QStringLiteral("mjpeg"), QStringLiteral("-c:a"),
                           QStringLiteral("pcm_u8"), source}));
        const QString output = dir.filePath(QStringLiteral("new.avi"));
        const mode_t before = ::umask(mode_t(mask));
        const RecompressResult r = recompress(source, output, withEncoder("mpeg4"));
        ::umask(before);
        QCOMPARE(int(r.status), int(RecompressResult::Status::Recompressed));
        for (const QString& file : {output, r.soundFile}) {
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(file).constData(), &st), 0);
            QCOMPARE(QString::number(st.st_mode & 07777, 8), QString::number(mode, 8));
        }
    }

    // Movies of our own recorder, with frames it skipped (empty chunks that
    // repeat the picture before them), with and without sound, even and odd sizes.
    void recorderMovieWithSkippedFrames_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("sound");
        QTest::addColumn<QString>("encoder");
        QTest::newRow("QCIF with sound to ffv1") << QSize(176, 144) << true << "ffv1";
        QTest::newRow("odd size without sound to ffv1") << QSize(177, 143) << false << "ffv1";
        QTest::newRow("odd size with sound to mpeg4") << QSize(177, 143) << true << "mpeg4";
    }
    void recorderMovieWithSkippedFrames()
    {
        QFETCH(QSize, size);
        QFETCH(bool, sound);
        QFETCH(QString, encoder);
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("capture.avi"));
        {
            AviWriter w;
            AviWriter::Setup s;
            s.fileName = source;
            s.frameSize = size;
            s.rateNum = 15;
            s.encoder = QStringLiteral("mjpeg");
            s.quality = 90;
            s.audioChannels = sound ? 1 : 0;
            s.audioSampleRate = 11025;
            s.audioBits = 8;
            QVERIFY(w.open(s));
            for (int i : {0, 1, 2, 6, 7, 8, 9, 14}) {
                QImage img(size, QImage::Format_RGB888);
                img.fill(QColor::fromHsv(i * 20, 200, 200));
                QPainter(&img).drawText(20, 60, QString::number(i));
                QVERIFY(w.writeVideo(img, {}, i));
            }
            if (sound)
                QVERIFY(w.writeAudio(QByteArray(11025, char(0x80))));
            QVERIFY(w.close());
        }
        const QJsonObject in = probeStream(ffprobe(source), QStringLiteral("video"));
        QCOMPARE(probeInt(in, "nb_read_packets"), 8);
        QCOMPARE(probeInt(in, "nb_frames"), 15); // empty chunks fill the gaps

        const QString output = dir.filePath(QStringLiteral("again.avi"));
        const RecompressResult r = recompress(source, output, withEncoder(encoder.toLatin1().constData(), 100));
        QCOMPARE(int(r.status), int(RecompressResult::Status::Recompressed));
        const QJsonObject out = probeStream(ffprobe(output), QStringLiteral("video"));
        QCOMPARE(out.value(QStringLiteral("codec_name")).toString(), encoder);
        QCOMPARE(probeInt(out, "width"), size.width());
        QCOMPARE(probeInt(out, "height"), size.height());
        QCOMPARE(probeInt(out, "nb_read_packets"), 15);
        QCOMPARE(out.value(QStringLiteral("r_frame_rate")).toString(), QStringLiteral("15/1"));
        // Every frame, the repeated ones included, as the source shows it: the
        // source's 8 pictures stand at frames 0, 1, 2, 6, 7, 8, 9 and 14.
        const QByteArray a = moviefiles::ffmpegFrames(source);
        const QByteArray b = moviefiles::ffmpegFrames(output);
        const int frameBytes = size.width() * size.height() * 3;
        QCOMPARE(a.size(), 8 * frameBytes);
        QCOMPARE(b.size(), 15 * frameBytes);
        const int shownFrom[15] = {0, 1, 2, 2, 2, 2, 3, 4, 5, 6, 6, 6, 6, 6, 7};
        for (int i = 0; i < 15; ++i) {
            const double p = psnr(a.mid(shownFrom[i] * frameBytes, frameBytes), b.mid(i * frameBytes, frameBytes));
            QVERIFY2(p > 38, qPrintable(QStringLiteral("frame %1: PSNR %2").arg(i).arg(p)));
        }
        if (!sound) {
            QVERIFY(r.soundFile.isEmpty());
            QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("again.wav"))));
            return;
        }
        const QJsonObject wav = probeStream(ffprobe(r.soundFile), QStringLiteral("audio"));
        QCOMPARE(wav.value(QStringLiteral("codec_name")).toString(), QStringLiteral("pcm_u8"));
        QCOMPARE(probeInt(wav, "sample_rate"), 11025);
    }

    void options_data()
    {
        QTest::addColumn<int>("keyFrameEvery");
        QTest::addColumn<int>("dataRate");
        QTest::addColumn<int>("expectedKeys");
        QTest::newRow("key frame every 10") << 10 << 0 << 6;
        QTest::newRow("default: one a second") << 0 << 0 << 3;
        QTest::newRow("data rate") << 25 << 24 << 3;
    }
    void options()
    {
        QFETCH(int, keyFrameEvery);
        QFETCH(int, dataRate);
        QFETCH(int, expectedKeys);
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("clip.avi"));
        QVERIFY(makeMovie(source, codec("mjpeg", "yuvj420p"), 60, 320, 240));
        RecompressOptions o = ::withEncoder("mpeg4", 100);
        o.keyFrameEvery = keyFrameEvery;
        o.dataRate = dataRate;
        const QString output = dir.filePath(QStringLiteral("new.avi"));
        QCOMPARE(int(recompress(source, output, o).status), int(RecompressResult::Status::Recompressed));
        QProcess p;
        p.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                                            QStringLiteral("v"), QStringLiteral("-show_entries"),
                                            QStringLiteral("packet=flags"), QStringLiteral("-of"), QStringLiteral("csv"),
                                            output});
        QVERIFY(p.waitForFinished(30000));
        const QString flags = QString::fromLatin1(p.readAllStandardOutput());
        QCOMPARE(int(flags.count(QStringLiteral("K"))), expectedKeys);
        if (dataRate > 0) {
            // 60 frames at 25 per second: 2.4 s at 24 KB/s, with room for the rate control.
            const qint64 size = QFileInfo(output).size();
            QVERIFY2(size < 2.4 * 24 * 1024 * 1.5, qPrintable(QString::number(size)));
            RecompressOptions free = o;
            free.dataRate = 0;
            const QString unlimited = dir.filePath(QStringLiteral("free.avi"));
            QCOMPARE(int(recompress(source, unlimited, free).status), int(RecompressResult::Status::Recompressed));
            QVERIFY2(QFileInfo(unlimited).size() > size * 1.4,
                     qPrintable(QStringLiteral("%1 %2").arg(QFileInfo(unlimited).size()).arg(size)));
        }
    }

    // Refusals and failures: a clear reason, the source untouched, nothing left behind.
    void refused_data()
    {
        QTest::addColumn<QString>("sourceKind");
        QTest::addColumn<QString>("outputName"); // relative to the folder
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<QString>("reason");
        QTest::newRow("output is the source") << "mjpeg" << "clip.avi" << "mpeg4" << "replace the movie itself";
        QTest::newRow("output is the source, spelt otherwise") << "mjpeg" << "sub/../clip.avi" << "mpeg4"
                                                               << "replace the movie itself";
        QTest::newRow("output is a link to the source") << "mjpeg" << "link.avi" << "mpeg4" << "replace the movie itself";
        QTest::newRow("sound would replace the source") << "sound-wav-source" << "clip.avi" << "mpeg4"
                                                        << "would replace the movie";
        QTest::newRow("sound would replace the output") << "sound" << "new.wav" << "mpeg4" << "would replace the movie";
        QTest::newRow("no such encoder") << "mjpeg" << "new.avi" << "nosuchcodec" << "No video encoder named nosuchcodec";
        QTest::newRow("not an AVI") << "text" << "new.avi" << "mpeg4" << "Cannot open the movie";
        QTest::newRow("AVI header without streams") << "riff" << "new.avi" << "mpeg4" << "no video stream";
        QTest::newRow("no source") << "none" << "new.avi" << "mpeg4" << "Cannot open the movie";
        QTest::newRow("sound only") << "soundonly" << "new.avi" << "mpeg4" << "no video stream";
        QTest::newRow("folder missing") << "mjpeg" << "gone/new.avi" << "mpeg4" << "Cannot write in the folder";
        QTest::newRow("no output name") << "mjpeg" << "" << "mpeg4" << "No output name";
    }
    void refused()
    {
        QFETCH(QString, sourceKind);
        QFETCH(QString, outputName);
        QFETCH(QString, encoder);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QDir(dir.path()).mkdir(QStringLiteral("sub"));
        QString source = dir.filePath(QStringLiteral("clip.avi"));
        if (sourceKind == QLatin1String("mjpeg")) {
            QVERIFY(makeMovie(source, codec("mjpeg", "yuvj420p"), 10, 64, 48));
            QFile::link(source, dir.filePath(QStringLiteral("link.avi")));
        } else if (sourceKind.startsWith(QLatin1String("sound"))) {
            if (sourceKind == QLatin1String("sound-wav-source"))
                source = dir.filePath(QStringLiteral("clip.wav"));
            QStringList args{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                             QStringLiteral("sine=sample_rate=8000"), QStringLiteral("-t"), QStringLiteral("1")};
            if (sourceKind != QLatin1String("soundonly"))
                args = QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                   QStringLiteral("testsrc=size=64x48:rate=10"), QStringLiteral("-f"),
                                   QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine=sample_rate=8000"),
                                   QStringLiteral("-t"), QStringLiteral("1"), QStringLiteral("-c:v"),
                                   QStringLiteral("mjpeg")};
            QVERIFY(runFfmpeg(args + QStringList{QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"),
                                                  QStringLiteral("-f"), QStringLiteral("avi"), source}));
        } else if (sourceKind == QLatin1String("text") || sourceKind == QLatin1String("riff")) {
            QFile f(source);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(sourceKind == QLatin1String("riff") ? "RIFF....AVI LIST but nothing more\n" : "just some text\n");
        }
        const QStringList before = filesIn(dir.path());
        const QByteArray sum = md5(source);
        const QString output = outputName.isEmpty() ? QString() : dir.filePath(outputName);
        const RecompressResult r = recompress(source, output, withEncoder(encoder.toLatin1().constData()));
        QCOMPARE(int(r.status), int(RecompressResult::Status::Failed));
        QVERIFY2(r.error.contains(reason), qPrintable(r.error));
        QCOMPARE(filesIn(dir.path()), before);
        QCOMPARE(md5(source), sum);
    }

    // A cancelled run leaves nothing, and an older file of the output's name stays.
    void cancelled()
    {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("clip.avi"));
        QVERIFY(makeMovie(source, codec("mjpeg", "yuvj420p"), 100, 320, 240, true));
        const QString output = dir.filePath(QStringLiteral("new.avi"));
        for (const QString& name : {output, dir.filePath(QStringLiteral("new.wav"))}) {
            QFile old(name);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("an older file");
        }
        std::atomic_bool cancel{false};
        int last = -1;
        const RecompressResult r = recompressMovie(source, output, ::withEncoder("ffv1"), cancel, [&](int p) {
            last = p;
            if (p >= 30)
                cancel = true;
        });
        QCOMPARE(int(r.status), int(RecompressResult::Status::Cancelled));
        QVERIFY(last >= 30 && last < 100);
        QCOMPARE(filesIn(dir.path()),
                 (QStringList{QStringLiteral("clip.avi"), QStringLiteral("new.avi"), QStringLiteral("new.wav")}));
        for (const QString& name : {output, dir.filePath(QStringLiteral("new.wav"))}) {
            QFile old(name);
            QVERIFY(old.open(QIODevice::ReadOnly));
            QCOMPARE(old.readAll(), QByteArray("an older file"));
        }
    }

    // Disk full half way: the reason is given, no partial file stays, the
    // source plays as before.
    void diskFull()
    {
        ScopedTmpfs small;
        if (!small.mounted())
            QSKIP("cannot mount a tmpfs here (not root?)");
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("clip.avi"));
        QVERIFY(makeMovie(source, codec("mjpeg", "yuvj420p"), 50, 320, 240, true));
        const QByteArray sum = md5(source);
        const RecompressResult r = recompress(source, small.path(QStringLiteral("new.avi")), withEncoder("rawvideo"));
        QCOMPARE(int(r.status), int(RecompressResult::Status::Failed));
        QVERIFY2(r.error.contains(QLatin1String("disk is full")), qPrintable(r.error));
        QCOMPARE(filesIn(small.path()), QStringList{});
        QCOMPARE(md5(source), sum);
        QVERIFY(decodesCleanly(source));
    }

    // Damaged movies end as recompressed or failed, never in a crash or a
    // hang, and leave no partial file.
    void damagedSources()
    {
        QTemporaryDir dir;
        const QString good = dir.filePath(QStringLiteral("good.avi"));
        QVERIFY(makeMovie(good, codec("mjpeg", "yuvj420p"), 30, 96, 64, true));
        QFile in(good);
        QVERIFY(in.open(QIODevice::ReadOnly));
        const QByteArray original = in.readAll();
        QRandomGenerator random(20261210);
        for (int round = 0; round < 24; ++round) {
            QByteArray bytes = original;
            const int hits = 1 + int(random.bounded(12));
            for (int i = 0; i < hits; ++i) {
                // Early rounds hit the headers, later ones anywhere.
                const qsizetype at = random.bounded(round < 12 ? qsizetype(400) : bytes.size());
                bytes[at] = char(random.bounded(256));
            }
            const QString source = dir.filePath(QStringLiteral("bad.avi"));
            QFile out(source);
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(bytes);
            out.close();
            const RecompressResult r = recompress(source, dir.filePath(QStringLiteral("out.avi")), withEncoder("mpeg4"));
            QVERIFY(r.status != RecompressResult::Status::Cancelled);
            if (r.status == RecompressResult::Status::Failed)
                QVERIFY(!r.error.isEmpty());
            QFile::remove(dir.filePath(QStringLiteral("out.avi")));
            QFile::remove(dir.filePath(QStringLiteral("out.wav")));
            QCOMPARE(filesIn(dir.path()), (QStringList{QStringLiteral("bad.avi"), QStringLiteral("good.avi")}));
        }
    }

    // A movie cut short is recompressed as far as it goes.
    void truncatedSource()
    {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("clip.avi"));
        QVERIFY(makeMovie(source, codec("mjpeg", "yuvj420p"), 50, 160, 120));
        QFile f(source);
        QVERIFY(f.resize(f.size() / 2));
        const QString output = dir.filePath(QStringLiteral("new.avi"));
        const RecompressResult r = recompress(source, output, withEncoder("ffv1"));
        QCOMPARE(int(r.status), int(RecompressResult::Status::Recompressed));
        const int frames = probeInt(probeStream(ffprobe(output), QStringLiteral("video")), "nb_read_packets");
        QVERIFY2(frames > 15 && frames < 50, qPrintable(QString::number(frames)));
        QVERIFY(decodesCleanly(output));
    }

    // An OpenDML movie past 1 GiB (raw 720p frames) is read to its last frame.
    void openDmlSource()
    {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("big.avi"));
        QVERIFY(runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("testsrc=size=1280x720:rate=25"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                           QStringLiteral("-i"), QStringLiteral("sine=sample_rate=8000"), QStringLiteral("-frames:v"),
                           QStringLiteral("400"), QStringLiteral("-t"), QStringLiteral("16"), QStringLiteral("-c:v"),
                           QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"), QStringLiteral("bgr24"),
                           QStringLiteral("-c:a"), QStringLiteral("pcm_u8"), source}));
        QVERIFY(QFileInfo(source).size() > (qint64(1) << 30));
        const QString output = dir.filePath(QStringLiteral("small.avi"));
        const RecompressResult r = recompress(source, output, withEncoder("mjpeg", 60));
        QCOMPARE(int(r.status), int(RecompressResult::Status::Recompressed));
        QFile::remove(source); // 1 GiB less to keep while the output is checked
        const QJsonObject out = probeStream(ffprobe(output), QStringLiteral("video"));
        QCOMPARE(probeInt(out, "nb_read_packets"), 400);
        QCOMPARE(out.value(QStringLiteral("codec_name")).toString(), QStringLiteral("mjpeg"));
        const QJsonObject wav = probeStream(ffprobe(r.soundFile), QStringLiteral("audio"));
        QCOMPARE(probeInt(wav, "sample_rate"), 8000);
        QVERIFY(std::abs(probeDouble(wav, "duration") - 16.0) < 0.01);
    }

    void soundName_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("wav");
        QTest::newRow("avi") << "/m/new.avi" << "/m/new.wav";
        QTest::newRow("capitals") << "/m/NEW.AVI" << "/m/NEW.wav";
        QTest::newRow("two dots") << "/m/a.b.avi" << "/m/a.b.wav";
        QTest::newRow("no extension") << "/m.d/new" << "/m.d/new.wav";
        QTest::newRow("hidden name") << "/m/.new" << "/m/.new.wav";
        QTest::newRow("long extension") << "/m/new.movie" << "/m/new.wav";
    }
    void soundName()
    {
        QFETCH(QString, output);
        QFETCH(QString, wav);
        QCOMPARE(recompressedSoundName(output), wav);
    }

    // On its worker thread: progress and the end arrive on this thread, in order.
    void workerThread()
    {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("clip.avi"));
        QVERIFY(makeMovie(source, codec("mjpeg", "yuvj420p"), 50, 160, 120, true));
        Recompression job;
        QList<int> seen;
        bool onThisThread = true;
        connect(&job, &Recompression::progress, this, [&](int p) {
            seen << p;
            onThisThread = onThisThread && QThread::currentThread() == thread();
        });
        QSignalSpy done(&job, &Recompression::finished);
        QVERIFY(job.start(source, dir.filePath(QStringLiteral("new.avi")), withEncoder("mpeg4")));
        QVERIFY(job.isRunning());
        QVERIFY(!job.start(source, dir.filePath(QStringLiteral("other.avi")), withEncoder("mpeg4")));
        QVERIFY(done.wait(60000));
        QVERIFY(!job.isRunning());
        QVERIFY(onThisThread);
        QCOMPARE(seen.first(), 0);
        QCOMPARE(seen.last(), 100);
        const auto r = done.first().first().value<RecompressResult>();
        QCOMPARE(int(r.status), int(RecompressResult::Status::Recompressed));
        QCOMPARE(r.soundFile, dir.filePath(QStringLiteral("new.wav")));

        // Cancelled from this thread while it runs.
        QSignalSpy again(&job, &Recompression::finished);
        QVERIFY(job.start(source, dir.filePath(QStringLiteral("third.avi")), withEncoder("ffv1")));
        job.cancel();
        QVERIFY(again.wait(60000));
        QCOMPARE(int(again.first().first().value<RecompressResult>().status),
                 int(RecompressResult::Status::Cancelled));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("third.avi"))));
    }
};

QTEST_MAIN(TestRecompressor)
#include "tst_recompressor.moc"
