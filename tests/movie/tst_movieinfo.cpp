#include "../scopedtmpfs.h"
#include "ffprobe.h"
#include "movie/movieinfo.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace lv;

namespace {

uint32_t u32At(const QString& file, qint64 offset)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(offset))
        return 0;
    const QByteArray b = f.read(4);
    return b.size() == 4 ? qFromLittleEndian<quint32>(b.constData()) : 0;
}

// Makes a movie with ffmpeg's own test source.
bool makeMovie(const QString& file, const QString& size, int frames, const QString& codec = QStringLiteral("mjpeg"))
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
             QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("testsrc=size=%1:rate=25").arg(size),
             QStringLiteral("-frames:v"), QString::number(frames), QStringLiteral("-c:v"), codec,
             QStringLiteral("-pix_fmt"), codec == QLatin1String("rawvideo") ? QStringLiteral("bgr24") : QStringLiteral("yuvj420p"),
             file});
    return p.waitForFinished(120000) && p.exitCode() == 0;
}

// The texts exiftool finds in a file's RIFF information chunk.
QJsonObject exiftool(const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("exiftool"), {QStringLiteral("-j"), QStringLiteral("-RIFF:all"), file});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(p.readAllStandardOutput()).array().first().toObject();
}

struct Texts {
    QString copyright, artist, subject, product, source, comments;
};

} // namespace

class TestMovieInfo : public QObject {
    Q_OBJECT

private slots:
    void chunkLayout_data()
    {
        QTest::addColumn<QString>("copyright");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<int>("length");
        QTest::addColumn<QByteArray>("start");
        // Every sub-chunk of odd size carries the RIFF pad byte after its text.
        QTest::newRow("all empty") << "" << "" << 8 + 4 + 6 * 10 + 24
                                   << QByteArray("LIST\x58\0\0\0INFOICOP\x01\0\0\0\0\0IART\x01\0\0\0\0\0", 32);
        QTest::newRow("two characters: size 3, padded") << "AB" << "" << 8 + 4 + 12 + 5 * 10 + 24
                                                         << QByteArray("LIST\x5a\0\0\0INFOICOP\x03\0\0\0AB\0\0IART", 28);
        QTest::newRow("three characters: size 4, no pad") << "ABC" << "x" << 8 + 4 + 12 + 10 + 4 * 10 + 24
                                                           << QByteArray("LIST\x5a\0\0\0INFOICOP\x04\0\0\0ABC\0IART\x02\0\0\0x\0", 34);
    }
    void chunkLayout()
    {
        QFETCH(QString, copyright);
        QFETCH(QString, artist);
        QFETCH(int, length);
        QFETCH(QByteArray, start);
        const QByteArray chunk = movieInfoChunk(copyright, artist, {}, {}, {}, {});
        QCOMPARE(chunk.size(), length);
        QCOMPARE(chunk.left(start.size()), start);
        QCOMPARE(qFromLittleEndian<quint32>(chunk.constData() + 4), quint32(length - 8));
        QVERIFY(chunk.contains(QByteArray("INAM\x0f\0\0\0Video Lumivark\0\0", 24)));
    }

    void readersFindAllTexts_data()
    {
        QTest::addColumn<QString>("size");
        QTest::addColumn<int>("frames");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<bool>("overSixteenMiB");
        QTest::newRow("small MJPEG") << "160x120" << 10 << "mjpeg" << false;
        QTest::newRow("over 16 MiB raw") << "320x240" << 80 << "rawvideo" << true;
    }
    void readersFindAllTexts()
    {
        QFETCH(QString, size);
        QFETCH(int, frames);
        QFETCH(QString, codec);
        QFETCH(bool, overSixteenMiB);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("m.avi"));
        QVERIFY(makeMovie(file, size, frames, codec));
        const qint64 before = QFileInfo(file).size();
        QCOMPARE(before > 16 * 1024 * 1024, overSixteenMiB);
        QCOMPARE(int64_t(u32At(file, 4)), before - 8);

        // Even-length copyright: its sub-chunk has an odd size and needs the pad.
        const Texts t{QStringLiteral("AB"), QStringLiteral("Artist One"), QStringLiteral("Subject"),
                      QStringLiteral("Prod"), QStringLiteral("Src"), QStringLiteral("Comments here")};
        const MovieInfoResult r = WriteMovieInfo(file, t.copyright, t.artist, t.subject, t.product, t.source, t.comments);
        QVERIFY2(r.written, qPrintable(r.error));
        const qint64 after = QFileInfo(file).size();
        QCOMPARE(after - before, r.chunkBytes);
        QCOMPARE(int64_t(u32At(file, 4)), after - 8); // exact, no 32-bit slip past 16 MiB

        const QJsonObject tags = ffprobe(file).value(QStringLiteral("format")).toObject().value(QStringLiteral("tags")).toObject();
        QCOMPARE(tags.value(QStringLiteral("copyright")).toString(), t.copyright);
        QCOMPARE(tags.value(QStringLiteral("artist")).toString(), t.artist);
        QCOMPARE(tags.value(QStringLiteral("comment")).toString(), t.comments);
        QCOMPARE(tags.value(QStringLiteral("title")).toString(), QStringLiteral("Video Lumivark"));
        QCOMPARE(tags.value(QStringLiteral("subject")).toString(), t.subject);
        QCOMPARE(probeInt(probeStream(ffprobe(file), QStringLiteral("video")), "nb_read_packets"), frames);

        const QJsonObject ex = exiftool(file);
        QCOMPARE(ex.value(QStringLiteral("Copyright")).toString(), t.copyright);
        QCOMPARE(ex.value(QStringLiteral("Artist")).toString(), t.artist);
        QCOMPARE(ex.value(QStringLiteral("Comment")).toString(), t.comments);
        QCOMPARE(ex.value(QStringLiteral("Title")).toString(), QStringLiteral("Video Lumivark"));
        QCOMPARE(ex.value(QStringLiteral("Product")).toString(), t.product);
        QCOMPARE(ex.value(QStringLiteral("Subject")).toString(), t.subject);
        QCOMPARE(ex.value(QStringLiteral("Source")).toString(), t.source);
    }

    void allEmptyTexts()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("e.avi"));
        QVERIFY(makeMovie(file, QStringLiteral("160x120"), 3));
        const uint32_t riff = u32At(file, 4);
        const MovieInfoResult r = WriteMovieInfo(file, {}, {}, {}, {}, {}, {});
        QVERIFY(r.written);
        QCOMPARE(r.chunkBytes, 96);
        QCOMPARE(u32At(file, 4), riff + 96);
        QCOMPARE(exiftool(file).value(QStringLiteral("Title")).toString(), QStringLiteral("Video Lumivark"));
        QVERIFY(decodesCleanly(file));
    }

    void openDmlFileStaysValid()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("big.avi"));
        // Past 1 GiB the muxer starts a second RIFF chunk ("AVIX").
        QVERIFY(makeMovie(file, QStringLiteral("1920x1080"), 180, QStringLiteral("rawvideo")));
        const qint64 before = QFileInfo(file).size();
        const uint32_t firstSize = u32At(file, 4);
        const qint64 second = 8 + qint64(firstSize) + (firstSize & 1);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly) && f.seek(second));
        QCOMPARE(f.read(4), QByteArray("RIFF"));
        f.close();
        const uint32_t secondSize = u32At(file, second + 4);

        const MovieInfoResult r = WriteMovieInfo(file, QStringLiteral("AB"), QStringLiteral("Artist"), QStringLiteral("S"),
                                                 QStringLiteral("P"), QStringLiteral("Src"), QStringLiteral("C"));
        QVERIFY2(r.written, qPrintable(r.error));
        QCOMPARE(u32At(file, 4), firstSize); // the first chunk is untouched
        QCOMPARE(u32At(file, second + 4), secondSize + uint32_t(r.chunkBytes));
        QCOMPARE(second + 8 + qint64(u32At(file, second + 4)), before + r.chunkBytes);
        QCOMPARE(probeInt(probeStream(ffprobe(file), QStringLiteral("video")), "nb_read_packets"), 180);
        // exiftool walks every top-level RIFF chunk and finds the texts in the last one.
        const QJsonObject ex = exiftool(file);
        QCOMPARE(ex.value(QStringLiteral("Title")).toString(), QStringLiteral("Video Lumivark"));
        QCOMPARE(ex.value(QStringLiteral("Source")).toString(), QStringLiteral("Src"));
        QFile::remove(file);
    }

    void filesLeftAsTheyWere_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("sparseSize");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QByteArray() << qint64(0) << "Cannot write movie information";
        QTest::newRow("not RIFF") << QByteArray("plain text, no movie") << qint64(0) << "not a RIFF file";
        QTest::newRow("would pass 4 GiB")
            << QByteArray("RIFF\xc0\xff\xff\xff" "AVI ", 12) << qint64(0xFFFFFFC8LL) << "4 GB";
    }
    void filesLeftAsTheyWere()
    {
        QFETCH(QByteArray, content);
        QFETCH(qint64, sparseSize);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("x.avi"));
        if (!content.isEmpty()) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
            if (sparseSize)
                QVERIFY(f.resize(sparseSize));
        }
        const qint64 size = QFileInfo(file).size();
        const MovieInfoResult r = WriteMovieInfo(file, QStringLiteral("c"), {}, {}, {}, {}, {});
        QVERIFY(!r.written);
        QVERIFY2(r.error.contains(reason), qPrintable(r.error));
        QCOMPARE(QFileInfo(file).size(), size);
        if (!content.isEmpty()) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.read(content.size()), content);
        }
    }

    // MKV and MP4 get the texts as their own tags, copied into a file beside
    // and renamed over: ffprobe and exiftool read them, every frame is still
    // there, and no copy is left. On a disk without room for the copy the
    // file stays as it was.
    void tagsIntoModernContainers_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("fullDisk");
        QTest::newRow("MKV") << "tags.mkv" << false;
        QTest::newRow("MP4") << "tags.mp4" << false;
        QTest::newRow("MP4 on a full disk") << "full.mp4" << true;
    }
    void tagsIntoModernContainers()
    {
        QFETCH(QString, name);
        QFETCH(bool, fullDisk);
        QTemporaryDir dir;
        std::unique_ptr<ScopedTmpfs> disk;
        QString file = dir.filePath(name);
        QVERIFY(makeMovie(file, QStringLiteral("320x240"), 20));
        if (fullDisk) {
            // The movie fits on the disk, its copy does not.
            disk = std::make_unique<ScopedTmpfs>(true, QStringLiteral("size=1m"));
            if (!disk->mounted())
                QSKIP("cannot mount a tmpfs here (mounting needs root)");
            QVERIFY(disk->leave(QFileInfo(file).size() + 8192));
            const QString onDisk = disk->path(name);
            QVERIFY(QFile::copy(file, onDisk));
            file = onDisk;
        }
        const QByteArray before = [&] {
            QFile f(file);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        const auto tags = movieInfoTags(QStringLiteral("(c) Me"), QStringLiteral("Ana"), QStringLiteral("Birds"),
                                        QStringLiteral("Garden"), QStringLiteral("Cam 2"), QStringLiteral("Morning"));
        const MovieInfoResult r = WriteMovieTags(file, tags);
        const QDir folder = QFileInfo(file).dir();
        QCOMPARE(folder.entryList({QLatin1Char('.') + name + QLatin1Char('*')}, QDir::Files | QDir::Hidden), QStringList());
        if (fullDisk) {
            QVERIFY(!r.written);
            QVERIFY2(r.error.contains(QStringLiteral("disk is full")), qPrintable(r.error));
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), before);
            return;
        }
        QVERIFY2(r.written, qPrintable(r.error));
        QJsonObject lower;
        const QJsonObject t = ffprobe(file).value(QStringLiteral("format")).toObject().value(QStringLiteral("tags")).toObject();
        for (auto it = t.begin(); it != t.end(); ++it)
            lower.insert(it.key().toLower(), it.value());
        QCOMPARE(lower.value(QStringLiteral("title")).toString(), QStringLiteral("Birds"));
        QCOMPARE(lower.value(QStringLiteral("artist")).toString(), QStringLiteral("Ana"));
        QCOMPARE(lower.value(QStringLiteral("copyright")).toString(), QStringLiteral("(c) Me"));
        QCOMPARE(lower.value(QStringLiteral("comment")).toString(), QStringLiteral("Morning"));
        QCOMPARE(lower.value(QStringLiteral("album")).toString(), QStringLiteral("Garden"));
        QCOMPARE(lower.value(QStringLiteral("description")).toString(), QStringLiteral("Cam 2"));
        QProcess p;
        p.start(QStringLiteral("exiftool"), {QStringLiteral("-j"), QStringLiteral("-Artist"), QStringLiteral("-Title"), file});
        QVERIFY(p.waitForFinished(60000));
        const QJsonObject ex = QJsonDocument::fromJson(p.readAllStandardOutput()).array().first().toObject();
        QCOMPARE(ex.value(QStringLiteral("Artist")).toString(), QStringLiteral("Ana"));
        QCOMPARE(ex.value(QStringLiteral("Title")).toString(), QStringLiteral("Birds"));
        QCOMPARE(countFrames(file), 20);
        QVERIFY(decodesCleanly(file));
    }
};

QTEST_GUILESS_MAIN(TestMovieInfo)
#include "tst_movieinfo.moc"
