#include "base/scripteddialogs.h"
#include "movie/moviecodeccheck.h"
#include "movie/whatcodec.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace lv;

namespace {

// A short movie made by the ffmpeg program; extra arguments go before the name.
bool ffmpegMovie(const QString& file, const QStringList& codecArgs, bool sound = false)
{
    QStringList args{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
                     QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("testsrc=size=96x64:rate=10")};
    if (sound)
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
             << QStringLiteral("sine=frequency=440:sample_rate=22050") << QStringLiteral("-c:a")
             << QStringLiteral("pcm_s16le") << QStringLiteral("-shortest");
    args << QStringLiteral("-frames:v") << QStringLiteral("5") << codecArgs << file;
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QStringList codecArgs(const char* codec, const char* pixfmt, const char* tag = nullptr)
{
    QStringList a{QStringLiteral("-c:v"), QLatin1String(codec), QStringLiteral("-pix_fmt"), QLatin1String(pixfmt)};
    if (tag)
        a << QStringLiteral("-vtag") << QLatin1String(tag);
    return a;
}

} // namespace

class TestMovieCodecCheck : public QObject {
    Q_OBJECT

private slots:
    // Movies made by ffmpeg: the handler code of the first stream, named by
    // the shipped catalogue, or no codec at all for raw frames.
    void ffmpegMovies_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("sound");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("name");
        const int compressed = int(MovieCodecCheck::Result::Compressed);
        const int raw = int(MovieCodecCheck::Result::Uncompressed);
        QTest::newRow("mjpeg") << codecArgs("mjpeg", "yuvj420p") << false << compressed << "MJPG" << "Motion JPEG";
        QTest::newRow("mpeg4") << codecArgs("mpeg4", "yuv420p") << false << compressed << "FMP4" << "MPEG-4 part 2";
        QTest::newRow("mpeg4 tagged xvid") << codecArgs("mpeg4", "yuv420p", "xvid") << false << compressed << "xvid"
                                           << "MPEG-4 part 2";
        QTest::newRow("ffv1") << codecArgs("ffv1", "yuv420p") << false << compressed << "FFV1"
                              << "FFmpeg video codec #1";
        QTest::newRow("huffyuv") << codecArgs("huffyuv", "yuv422p") << false << compressed << "HFYU" << "HuffYUV";
        QTest::newRow("msmpeg4v2") << codecArgs("msmpeg4v2", "yuv420p") << false << compressed << "MP42"
                                   << "MPEG-4 part 2 Microsoft variant version 2";
        QTest::newRow("mjpeg with sound") << codecArgs("mjpeg", "yuvj420p") << true << compressed << "MJPG"
                                          << "Motion JPEG";
        QTest::newRow("raw bgr24") << codecArgs("rawvideo", "bgr24") << false << raw << "" << "";
        QTest::newRow("raw with sound") << codecArgs("rawvideo", "bgr24") << true << raw << "" << "";
    }
    void ffmpegMovies()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, sound);
        QFETCH(int, result);
        QFETCH(QString, code);
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("clip.avi"));
        QVERIFY(ffmpegMovie(file, args, sound));
        const MovieCodecCheck c = checkMovieFile(file);
        QCOMPARE(int(c.result), result);
        QCOMPARE(c.code, code);

        // The whole command: dialog, lookup in capitals, message.
        ScopedScriptedDialogs scripted;
        scripted.d.fileAnswers.enqueue(file);
        whatCodec(nullptr);
        QCOMPARE(scripted.d.requests.first().text, QStringLiteral("Open AVI"));
        QCOMPARE(scripted.d.requests.first().caption, QStringLiteral("Movie Files (*.avi;*.mkv;*.mp4)|*.avi;*.mkv;*.mp4|All Files (*.*)|*.*|"));
        const QStringList messages = scripted.d.messages();
        QCOMPARE(messages.size(), 1);
        if (result == int(MovieCodecCheck::Result::Uncompressed))
            QCOMPARE(messages.first(), QStringLiteral("Filename: clip.avi\r\nIs not compressed. Codec not required."));
        else
            QCOMPARE(messages.first(), QStringLiteral("Filename: ") + file + QStringLiteral("\r\nCompressed with:\r\n") + name);
    }

    // Files whose header is not where the check looks get a message, not silence.
    void notAMovie_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // written over a real movie's start when "truncate:N"
        QTest::addColumn<int>("result");
        const int none = int(MovieCodecCheck::Result::NoHeader);
        QTest::newRow("empty file") << QByteArray() << none;
        QTest::newRow("text file") << QByteArray("just some text, not a movie\n") << none;
        QTest::newRow("truncated before the handler") << QByteArray("truncate:114") << none;
        QTest::newRow("truncated right after the handler") << QByteArray("truncate:116") << int(MovieCodecCheck::Result::Compressed);
        QTest::newRow("png picture") << QByteArray("png") << none;
        // Not AVI, but a movie: FFmpeg names its codec and container.
        QTest::newRow("matroska movie") << QByteArray("mkv") << int(MovieCodecCheck::Result::Named);
        QTest::newRow("stream list moved") << QByteArray("shift") << none;
    }
    void notAMovie()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, result);
        QTemporaryDir dir;
        QString file = dir.filePath(QStringLiteral("thing.avi"));
        if (bytes.startsWith("truncate:") || bytes == "shift") {
            QVERIFY(ffmpegMovie(file, codecArgs("mjpeg", "yuvj420p")));
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite));
            if (bytes == "shift") {
                // A JUNK chunk before the stream list, as some writers put there.
                QByteArray all = f.readAll();
                all.insert(88, QByteArray("JUNK\x04\x00\x00\x00\x00\x00\x00\x00", 12));
                f.seek(0);
                f.write(all);
            } else {
                QVERIFY(f.resize(bytes.mid(9).toInt()));
            }
        } else if (bytes == "png" || bytes == "mkv") {
            file = dir.filePath(QStringLiteral("thing.") + QString::fromLatin1(bytes));
            QProcess p;
            p.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                                               QStringLiteral("lavfi"), QStringLiteral("-i"),
                                               QStringLiteral("testsrc=size=96x64:rate=10"), QStringLiteral("-frames:v"),
                                               bytes == "png" ? QStringLiteral("1") : QStringLiteral("5"), file});
            QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
        } else {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        QCOMPARE(int(checkMovieFile(file).result), result);
        if (result == int(MovieCodecCheck::Result::Named)) {
            ScopedScriptedDialogs scripted;
            scripted.d.fileAnswers.enqueue(file);
            whatCodec(nullptr);
            const QStringList messages = scripted.d.messages();
            QCOMPARE(messages.size(), 1);
            QVERIFY2(messages.first().contains(QLatin1String("Compressed with:"))
                         && messages.first().contains(QLatin1String("Container: Matroska")),
                     qPrintable(messages.first()));
            QCOMPARE(int(scripted.d.requests.last().icon), int(Dialogs::Icon::Information));
            return;
        }
        if (result != int(MovieCodecCheck::Result::NoHeader))
            return;
        ScopedScriptedDialogs scripted;
        scripted.d.fileAnswers.enqueue(file);
        whatCodec(nullptr);
        const QStringList messages = scripted.d.messages();
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages.first().startsWith(QStringLiteral("Filename: ") + QFileInfo(file).fileName() + QStringLiteral("\r\n")));
        QVERIFY(messages.first().contains(QLatin1String("stream header could not be read")));
        QCOMPARE(int(scripted.d.requests.last().icon), int(Dialogs::Icon::Warning));
    }

    void unreadableOrCancelled()
    {
        QTemporaryDir dir;
        QCOMPARE(int(checkMovieFile(dir.filePath(QStringLiteral("missing.avi"))).result),
                 int(MovieCodecCheck::Result::NotOpened));
        QCOMPARE(int(checkMovieFile(dir.path()).result), int(MovieCodecCheck::Result::NotOpened));
        {
            ScopedScriptedDialogs scripted;
            scripted.d.fileAnswers.enqueue(dir.filePath(QStringLiteral("missing.avi")));
            whatCodec(nullptr);
            QCOMPARE(scripted.d.messages().size(), 1);
            QVERIFY(scripted.d.messages().first().contains(QLatin1String("could not be opened")));
        }
        ScopedScriptedDialogs scripted; // no answer: the dialog is cancelled
        whatCodec(nullptr);
        QCOMPARE(scripted.d.requests.size(), 1);
        QVERIFY(scripted.d.messages().isEmpty());
    }

    // The header in small letters still counts; only bytes 96 to 115 matter.
    void headerBytes_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("code");
        auto make = [](const QByteArray& list, const QByteArray& handler, int size) {
            QByteArray h(size, 'x');
            h.replace(96, 8, list);
            h.replace(112, 4, handler);
            return h;
        };
        QTest::newRow("capitals") << make("STRLSTRH", "abcd", 200) << int(MovieCodecCheck::Result::Compressed) << "abcd";
        QTest::newRow("mixed case") << make("sTrLsTrH", "MJPG", 200) << int(MovieCodecCheck::Result::Compressed) << "MJPG";
        QTest::newRow("zero handler") << make("strlstrh", QByteArray(4, '\0'), 116)
                                      << int(MovieCodecCheck::Result::Uncompressed) << "";
        QTest::newRow("one zero byte in the code") << make("strlstrh", QByteArray("DIB\0", 4), 200)
                                                   << int(MovieCodecCheck::Result::Compressed) << QStringLiteral("DIB") + QChar(0);
        QTest::newRow("wrong list") << make("strlstrf", "MJPG", 200) << int(MovieCodecCheck::Result::NoHeader) << "";
    }
    void headerBytes()
    {
        QFETCH(QByteArray, head);
        QFETCH(int, result);
        QFETCH(QString, code);
        const MovieCodecCheck c = checkMovieHeader(head);
        QCOMPARE(int(c.result), result);
        QCOMPARE(c.code, code);
    }
};

QTEST_GUILESS_MAIN(TestMovieCodecCheck)
#include "tst_moviecodeccheck.moc"
