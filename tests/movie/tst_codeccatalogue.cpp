#include "base/scripteddialogs.h"
#include "movie/codeccatalogue.h"
#include "movie/compressorlist.h"
#include "movie/whatcodec.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace lv;

namespace {

QString shippedCatalogue()
{
    return qEnvironmentVariable("LUMIVARK_TEST_SOURCE_DIR") + QStringLiteral("/data/codec.lv");
}

QByteArray scrambled(const QString& plain) { return ScrambleLine(plain).toLatin1(); }

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

class TestCodecCatalogue : public QObject {
    Q_OBJECT

private slots:
    void scrambling_data()
    {
        QTest::addColumn<QString>("plain");
        QTest::addColumn<QString>("stored");
        QTest::newRow("header") << QStringLiteral("ORNEXA CODEC INFO 9091") << QStringLiteral("PSOFYB!DPEFD!JOGP!:1:2");
        QTest::newRow("entry") << QStringLiteral("MJPG Motion JPEG") << QStringLiteral("NKQH!Npujpo!KQFH");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("top of Latin-1") << QStringLiteral("\u00fe") << QStringLiteral("\u00ff");
    }
    void scrambling()
    {
        QFETCH(QString, plain);
        QFETCH(QString, stored);
        QCOMPARE(ScrambleLine(plain), stored);
        QCOMPARE(UnscrambleLine(stored), plain);
        QCOMPARE(UnscrambleLine(stored).size(), stored.size());
    }

    // The catalogue shipped in data/ names what FFmpeg writes into AVI files.
    void shippedCatalogue_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("status");
        const int found = int(CodecLookup::Status::Found);
        const int unknown = int(CodecLookup::Status::Unknown);
        QTest::newRow("capitals") << QStringLiteral("MJPG") << QStringLiteral("Motion JPEG") << found;
        QTest::newRow("small letters found") << QStringLiteral("mjpg") << QStringLiteral("Motion JPEG") << found;
        QTest::newRow("mixed") << QStringLiteral("fFv1") << QStringLiteral("FFmpeg video codec #1") << found;
        QTest::newRow("mpeg-4") << QStringLiteral("FMP4") << QStringLiteral("MPEG-4 part 2") << found;
        QTest::newRow("xvid") << QStringLiteral("xvid") << QStringLiteral("MPEG-4 part 2") << found;
        QTest::newRow("huffyuv") << QStringLiteral("HFYU") << QStringLiteral("HuffYUV") << found;
        QTest::newRow("name with comma and plus") << QStringLiteral("H263")
                                                  << QStringLiteral("H.263 / H.263-1996, H.263+ / H.263-1998 / H.263 version 2")
                                                  << found;
        QTest::newRow("unknown small letters") << QStringLiteral("zq9x") << QStringLiteral("Unknown CODEC (ZQ9X)")
                                               << unknown;
        QTest::newRow("header is not an entry") << QStringLiteral("ORNE") << QStringLiteral("Unknown CODEC (ORNE)")
                                                << unknown;
        QTest::newRow("empty code") << QString() << QStringLiteral("Unknown CODEC ()") << unknown;
    }
    void shippedCatalogue()
    {
        QFETCH(QString, code);
        QFETCH(QString, name);
        QFETCH(int, status);
        const CodecLookup r = lookUpCodec(::shippedCatalogue(), code);
        QCOMPARE(r.text, name);
        QCOMPARE(int(r.status), status);
    }

    // Hand-made catalogues: broken ones give "Error" or nothing, never a crash.
    void madeCatalogues_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("status");
        const QByteArray header = scrambled(QStringLiteral("ORNEXA CODEC INFO 9091"));
        const int found = int(CodecLookup::Status::Found);
        const int bad = int(CodecLookup::Status::BadHeader);
        QTest::newRow("comma separated") << header + "," + scrambled(QStringLiteral("ABCD First")) << "abcd"
                                         << "First" << found;
        QTest::newRow("crlf lines") << header + "\r\n" + scrambled(QStringLiteral("AAAA a")) + "\r\n"
                                           + scrambled(QStringLiteral("BBBB b")) + "\r\n"
                                    << "bbbb" << "b" << found;
        QTest::newRow("first entry wins") << header + "\n" + scrambled(QStringLiteral("DUPE one")) + "\n"
                                                 + scrambled(QStringLiteral("dupe two"))
                                          << "Dupe" << "one" << found;
        QTest::newRow("quoted item keeps its comma")
            << header + "\n\"" + scrambled(QStringLiteral("QUOT a+b")) + "\"\n" << "quot" << "a+b" << found;
        QTest::newRow("short entry") << header + "\n" + scrambled(QStringLiteral("SHRT")) << "SHRT" << "" << found;
        QTest::newRow("wrong first item") << scrambled(QStringLiteral("ORNEXA CODEC INFO 9092")) + "\n"
                                                 + scrambled(QStringLiteral("MJPG Motion JPEG"))
                                          << "MJPG" << "Error" << bad;
        QTest::newRow("first item not scrambled") << QByteArray("ORNEXA CODEC INFO 9091\nMJPG Motion JPEG")
                                                  << "MJPG" << "Error" << bad;
        QTest::newRow("empty file") << QByteArray() << "MJPG" << "Error" << bad;
        QTest::newRow("only line ends") << QByteArray("\r\n\n,,\n") << "MJPG" << "Error" << bad;
        QTest::newRow("binary garbage") << QByteArray("\x00\xff\x7f\"\x01\x02,\xfe\r\x80", 10) << "MJPG" << "Error"
                                        << bad;
        QTest::newRow("unclosed quote runs to the end")
            << header + "\n\"" + scrambled(QStringLiteral("MJPG never closed")) << "MJPG" << "never closed" << found;
    }
    void madeCatalogues()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, code);
        QFETCH(QString, text);
        QFETCH(int, status);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("codec.lv"));
        QVERIFY(writeFile(path, bytes));
        const CodecLookup r = lookUpCodec(path, code);
        QCOMPARE(r.text, text);
        QCOMPARE(int(r.status), status);
    }

    void missingCatalogue()
    {
        QTemporaryDir dir;
        for (const QString& path : {dir.filePath(QStringLiteral("codec.lv")), dir.path(), QString()}) {
            const CodecLookup r = lookUpCodec(path, QStringLiteral("MJPG"));
            QCOMPARE(int(r.status), int(CodecLookup::Status::NoFile));
            QVERIFY(r.text.isEmpty());
        }
    }

    // A huge catalogue is read in bounded pieces: an entry after 40 MB of
    // others, and one after an 8 MB item without any delimiter, are found.
    void hugeCatalogue()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("codec.lv"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(scrambled(QStringLiteral("ORNEXA CODEC INFO 9091")) + "\n");
            const QByteArray line = scrambled(QStringLiteral("XXXX a filler entry of some length.....")) + "\n";
            QByteArray block;
            for (int i = 0; i < 10000; ++i)
                block += line;
            for (qint64 written = 0; written < 40LL * 1024 * 1024; written += block.size())
                QVERIFY(f.write(block) == block.size());
            f.write(QByteArray(8 * 1024 * 1024, 'q'));
            f.write("\n" + scrambled(QStringLiteral("LAST the last one")) + "\n");
        }
        const CodecLookup last = lookUpCodec(path, QStringLiteral("last"));
        QCOMPARE(last.text, QStringLiteral("the last one"));
        QCOMPARE(lookUpCodec(path, QStringLiteral("none")).text, QStringLiteral("Unknown CODEC (NONE)"));
    }

    // The commands' lookup shows the two messages; lower layers only report.
    void lookUpMessages_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // empty: no file at all
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing file C100") << QByteArray() << QString()
                                           << QStringLiteral("ERROR C100: Can't find CODEC Information file.");
        QTest::newRow("wrong first item C101") << QByteArray("PSOFYB") << QStringLiteral("Error")
                                               << QStringLiteral("ERROR C101: Error in Script Alpha.");
        QTest::newRow("good file, no message")
            << scrambled(QStringLiteral("ORNEXA CODEC INFO 9091")) + "\n" + scrambled(QStringLiteral("MJPG Motion JPEG"))
            << QStringLiteral("Motion JPEG") << QString();
    }
    void lookUpMessages()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, result);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("codec.lv"));
        if (!bytes.isEmpty())
            QVERIFY(writeFile(path, bytes));
        ScopedScriptedDialogs scripted;
        QCOMPARE(LookUpCodecName(QStringLiteral("mjpg"), path), result);
        if (message.isEmpty()) {
            QVERIFY(scripted.d.requests.isEmpty());
        } else {
            QCOMPARE(scripted.d.messages(), QStringList{message});
            const auto& r = scripted.d.requests.first();
            QCOMPARE(int(r.icon), int(Dialogs::Icon::Error));
            QCOMPARE(r.caption, QStringLiteral("Video Lumivark 2000"));
        }
    }

    void tree_data()
    {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QStringList>("expected"); // "name|detail|detail..." per top node
        QTest::newRow("codec line before any section header")
            << QStringList{QStringLiteral("VIDC.MJPG=first.so")}
            << QStringList{QStringLiteral("<MJPG>|Bits:  bits|Signature: MJPG|File: first.so")};
        QTest::newRow("sections in capitals or not")
            << QStringList{QStringLiteral("[drivers]"), QStringLiteral("vidc.AAAA=a16.drv"),
                           QStringLiteral("[Drivers32]"), QStringLiteral("VIDC.BBBB=b32.dll"),
                           QStringLiteral("msacm.x=y"), QStringLiteral("[other]"), QStringLiteral("VIDC.CCCC=c.dll")}
            << QStringList{QStringLiteral("<AAAA>|Bits: 16 bits|Signature: AAAA|File: a16.drv"),
                           QStringLiteral("<BBBB>|Bits: 32 bits|Signature: BBBB|File: b32.dll"),
                           QStringLiteral("<CCCC>|Bits: 32 bits|Signature: CCCC|File: c.dll")};
        QTest::newRow("duplicate code keeps its first node")
            << QStringList{QStringLiteral("[drivers32]"), QStringLiteral("VIDC.FMP4=one (mpeg4)"),
                           QStringLiteral("VIDC.MJPG=two (mjpeg)"), QStringLiteral("VIDC.FMP4=three (libxvid)")}
            << QStringList{QStringLiteral("<FMP4>|Bits: 32 bits|Signature: FMP4|File: one (mpeg4)|Bits: 32 bits|"
                                          "Signature: FMP4|File: three (libxvid)"),
                           QStringLiteral("<MJPG>|Bits: 32 bits|Signature: MJPG|File: two (mjpeg)")};
        QTest::newRow("short codec line") << QStringList{QStringLiteral("VIDC")}
                                          << QStringList{QStringLiteral("<>|Bits:  bits|Signature: |File: ")};
        QTest::newRow("nothing") << QStringList{} << QStringList{};
    }
    void tree()
    {
        QFETCH(QStringList, items);
        QFETCH(QStringList, expected);
        int lookups = 0;
        const auto nodes = compressorTree(items, [&](const QString& code) {
            ++lookups;
            return QLatin1Char('<') + code + QLatin1Char('>');
        });
        QStringList got;
        for (const CompressorNode& n : nodes)
            got << (QStringList{n.name} + n.details).join(QLatin1Char('|'));
        QCOMPARE(got, expected);
        // One lookup per codec line, duplicates included.
        QCOMPARE(lookups, int(items.filter(QRegularExpression(QStringLiteral("^vidc"),
                                                              QRegularExpression::CaseInsensitiveOption))
                                  .size()));
    }

    // Every code the installed FFmpeg's encoders use is named by the shipped
    // catalogue (it was made from the same tag table).
    void driverListNamedByCatalogue()
    {
        const QStringList list = ffmpegDriverList();
        QCOMPARE(list.value(0), QStringLiteral("[drivers32]"));
        QVERIFY(list.contains(QRegularExpression(QStringLiteral("^VIDC\\.MJPG=libavcodec\\.so.* \\(mjpeg\\)$"))));
        QVERIFY(list.contains(QRegularExpression(QStringLiteral("^VIDC\\.FFV1=.* \\(ffv1\\)$"))));
        QVERIFY(!list.contains(QRegularExpression(QStringLiteral("\\(rawvideo\\)"))));
        for (const QString& line : list.mid(1)) {
            QVERIFY2(line.startsWith(QLatin1String("VIDC.")) && line.at(9) == QLatin1Char('='), qPrintable(line));
            const CodecLookup r = lookUpCodec(::shippedCatalogue(), line.mid(5, 4));
            QVERIFY2(r.status == CodecLookup::Status::Found, qPrintable(line));
        }
    }
};

QTEST_GUILESS_MAIN(TestCodecCatalogue)
#include "tst_codeccatalogue.moc"
