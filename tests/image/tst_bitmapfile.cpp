// The picture loader every window and the command-line program open
// pictures with, on bitmap files ImageMagick wrote and on damaged copies of
// them; ImageMagick's own reading of each file is the reference.

#include "../bmpbytes.h"
#include "image/bitmapfile.h"
#include "imagetesttools.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace lv;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Few enough colours for a colour table, more than 16 so ImageMagick keeps 8 bits.
QImage tableImage(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb((x * 37) & 0xff, (y * 53) & 0xff, ((x + y) * 11) & 0xff));
    return img;
}

struct Kind {
    QImage picture;
    QStringList convertArgs;
    int bitCount;
    std::uint32_t compression;
};

Kind kindNamed(const QString& name)
{
    const auto args = [](std::initializer_list<const char*> list) {
        QStringList out;
        for (const char* a : list)
            out << QLatin1String(a);
        return out;
    };
    if (name == QLatin1String("24"))
        return {lvtest::patternImage(7, 5), args({"-type", "truecolor", "-define", "bmp:format=bmp3"}), 24, 0};
    if (name == QLatin1String("32"))
        return {lvtest::patternImage(7, 5), args({"-alpha", "set", "-define", "bmp:format=bmp4"}), 32, 3};
    if (name == QLatin1String("8"))
        return {tableImage(9, 7), args({"-type", "palette", "-compress", "none", "-define", "bmp:format=bmp3"}), 8, 0};
    // ImageMagick's usual form of a picture of few colours.
    return {tableImage(9, 7), args({"-type", "palette", "-compress", "rle", "-define", "bmp:format=bmp3"}), 8, 1};
}

// The kind's picture written by ImageMagick; empty when it could not be made.
QByteArray imageMagickBitmap(const QTemporaryDir& dir, const Kind& kind)
{
    const QString ppm = dir.filePath(QStringLiteral("source.ppm"));
    const QString bmp = dir.filePath(QStringLiteral("source.bmp"));
    if (!kind.picture.save(ppm, "PPM")
        || lvtest::runTool(QStringLiteral("convert"), QStringList{ppm} + kind.convertArgs + QStringList{bmp}).exitCode != 0)
        return {};
    return readAll(bmp);
}

qint64 pixelOffset(const QByteArray& bmp) { return lvtest::bmpField(bmp, 10, 4); }

// ImageMagick's reading of a file: null when it refuses it.
QImage imageMagickReads(const QString& path)
{
    const auto r = lvtest::runTool(QStringLiteral("convert"), {path, QStringLiteral("ppm:-")});
    return r.exitCode == 0 ? lvtest::imageFromPpm(r.out) : QImage();
}

} // namespace

class TestBitmapFile : public QObject {
    Q_OBJECT

private slots:
    void readsTopDownBitmaps_data();
    void readsTopDownBitmaps();
    void refusesCutBitmaps_data();
    void refusesCutBitmaps();
};

void TestBitmapFile::readsTopDownBitmaps_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("24 bits") << "24";
    QTest::newRow("32 bits with masks") << "32";
    QTest::newRow("8 bits with a colour table") << "8";
}

void TestBitmapFile::readsTopDownBitmaps()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const Kind k = kindNamed(kind);
    const QByteArray bottomUp = imageMagickBitmap(dir, k);
    QVERIFY(!bottomUp.isEmpty());
    QCOMPARE(int(lvtest::bmpField(bottomUp, 28, 2)), k.bitCount);
    QCOMPARE(lvtest::bmpField(bottomUp, 30, 4), k.compression);
    const QString path = dir.filePath(QStringLiteral("topdown.bmp"));
    QVERIFY(writeAll(path, lvtest::topDownBitmap(bottomUp)));
    // ImageMagick reads the turned file as the picture it was made from.
    QCOMPARE(imageMagickReads(path), k.picture);

    const PictureLoad load = LoadPictureChecked(path);
    QVERIFY2(!load.image.isNull(), qPrintable(load.error));
    QCOMPARE(load.image, k.picture);
    // And the bottom-up original still reads the same.
    QCOMPARE(LoadPicture(dir.filePath(QStringLiteral("source.bmp"))), k.picture);
}

void TestBitmapFile::refusesCutBitmaps_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("turned");
    QTest::addColumn<QString>("cut");

    const std::initializer_list<std::pair<const char*, const char*>> kinds = {
        {"24 bits", "24"}, {"32 bits", "32"}, {"8 bits", "8"}, {"8 bits run-length", "rle"}};
    for (const auto& [label, kind] : kinds) {
        for (const char* cut : {"in the file header", "in the information header", "header and 6 bytes",
                                "at half the pixels", "one byte short"})
            QTest::addRow("%s, %s", label, cut) << kind << false << cut;
    }
    QTest::newRow("8 bits, in the colour table") << "8" << false << "in the colour table";
    QTest::newRow("top-down 24 bits, at half the pixels") << "24" << true << "at half the pixels";
    QTest::newRow("top-down 24 bits, one byte short") << "24" << true << "one byte short";
}

void TestBitmapFile::refusesCutBitmaps()
{
    QFETCH(QString, kind);
    QFETCH(bool, turned);
    QFETCH(QString, cut);
    QTemporaryDir dir;
    QByteArray whole = imageMagickBitmap(dir, kindNamed(kind));
    QVERIFY(!whole.isEmpty());
    if (turned)
        whole = lvtest::topDownBitmap(whole);
    const qint64 off = pixelOffset(whole);
    qsizetype keep = 0;
    if (cut == QLatin1String("in the file header"))
        keep = 10;
    else if (cut == QLatin1String("in the information header"))
        keep = 30;
    else if (cut == QLatin1String("header and 6 bytes"))
        keep = qsizetype(off) + 6;
    else if (cut == QLatin1String("in the colour table"))
        keep = 54 + 4 * 20;
    else if (cut == QLatin1String("at half the pixels"))
        keep = qsizetype(off + (whole.size() - off) / 2);
    else
        keep = whole.size() - 1;
    QVERIFY(keep < whole.size() && (cut != QLatin1String("in the colour table") || keep < off));
    const QString path = dir.filePath(QStringLiteral("cut.bmp"));
    QVERIFY(writeAll(path, whole.left(keep)));
    QVERIFY2(imageMagickReads(path).isNull(), "ImageMagick takes the cut file");

    const PictureLoad load = LoadPictureChecked(path);
    QVERIFY(load.image.isNull());
    QVERIFY(!load.tooLarge);
    QVERIFY2(load.error.contains(QLatin1String("cut short")), qPrintable(load.error));
    QVERIFY(LoadPicture(path).isNull());
}

QTEST_GUILESS_MAIN(TestBitmapFile)
#include "tst_bitmapfile.moc"
