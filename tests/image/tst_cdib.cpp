#include "base/scripteddialogs.h"
#include "image/cdib.h"
#include "image/cdibsection.h"
#include "imagetesttools.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace lv;

namespace {

// A packed bitmap: 40-byte header then `pixelBytes` bytes of a counting pattern.
QByteArray packedDib(int width, int height, int bitCount, quint32 sizeImage, int pixelBytes)
{
    BitmapInfoHeader h;
    h.biSize = kInfoHeaderSize;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<quint16>(bitCount);
    h.biSizeImage = sizeImage;
    QByteArray out(kInfoHeaderSize, '\0');
    writeInfoHeader(h, reinterpret_cast<unsigned char*>(out.data()));
    for (int i = 0; i < pixelBytes; ++i)
        out.append(static_cast<char>(i * 7 + 1));
    return out;
}

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

// A valid 24-bit 4 × 3 bitmap file made by our writer, as the base of damaged variants.
QByteArray goodBitmapFile(const QString& dir)
{
    cDib dib;
    const QByteArray packed = packedDib(4, 3, 24, 36, 36);
    dib.CreateFromPackedDIBPointer(packed.constData(), std::size_t(packed.size()));
    const QString path = dir + QStringLiteral("/good.bmp");
    return dib.WriteToFile(path) ? readAll(path) : QByteArray();
}

void putU32(QByteArray& b, int offset, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[offset + i] = static_cast<char>(v >> (8 * i));
}

} // namespace

class TestCDib : public QObject {
    Q_OBJECT

private slots:
    void packedTakesOrRefuses_data();
    void packedTakesOrRefuses();
    void refusedPackedKeepsEarlierPixels();
    void writtenFileHasExactLayout();
    void writtenFileIsReadByImageMagick();
    void writeTruncatesLongerFileAndReportsFailure();
    void readsBackWhatItWrote();
    void readsImageMagickBitmaps_data();
    void readsImageMagickBitmaps();
    void colourTableGoesIntoBitmapInfo();
    void sizeImageZeroTakesRowsFromHeader();
    void refusesBadFiles_data();
    void refusesBadFiles();
    void dibSectionRowsArePadded_data();
    void dibSectionRowsArePadded();
    void dibSectionBlitsWithNegativeMeaningFull();
    void dibSectionClearUpOnEmptyIsHarmless();
    void dibSectionResampleKeepsCornersAndUniformAreas();
};

void TestCDib::packedTakesOrRefuses_data()
{
    QTest::addColumn<int>("bitCount");
    QTest::addColumn<quint32>("sizeImage");
    QTest::addColumn<int>("bufferPixelBytes");
    QTest::addColumn<bool>("taken");

    QTest::newRow("1 bit refused") << 1 << 8u << 8 << false;
    QTest::newRow("4 bits refused") << 4 << 8u << 8 << false;
    QTest::newRow("8 bits refused") << 8 << 12u << 12 << false;
    QTest::newRow("16 bits taken") << 16 << 24u << 24 << true;
    QTest::newRow("24 bits taken") << 24 << 36u << 36 << true;
    QTest::newRow("32 bits taken") << 32 << 48u << 48 << true;
    QTest::newRow("24 bits without size refused") << 24 << 0u << 36 << false;
    QTest::newRow("size past the buffer refused") << 24 << 37u << 36 << false;
    QTest::newRow("absurd size refused") << 24 << 0xfffffff0u << 36 << false;
    QTest::newRow("buffer longer than size taken") << 24 << 36u << 100 << true;
}

void TestCDib::packedTakesOrRefuses()
{
    QFETCH(int, bitCount);
    QFETCH(quint32, sizeImage);
    QFETCH(int, bufferPixelBytes);
    QFETCH(bool, taken);

    const QByteArray packed = packedDib(4, 3, bitCount, sizeImage, bufferPixelBytes);
    cDib dib;
    QCOMPARE(dib.CreateFromPackedDIBPointer(packed.constData(), std::size_t(packed.size())), taken);
    // The header is copied whatever follows.
    QCOMPARE(dib.BitCount(), bitCount);
    QCOMPARE(dib.Width(), 4);
    if (taken) {
        QCOMPARE(dib.SizeBitmapInfo(), 40);
        QCOMPARE(dib.SizeImage(), int(sizeImage));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(dib.PointerToBits()), int(sizeImage)),
                 packed.mid(40, int(sizeImage)));
        QCOMPARE(dib.FileType(), 0x4D42);
        QCOMPARE(dib.BitOffset(), 54);
        QCOMPARE(dib.SizeFileHeader(), int(sizeImage) + 54);
    } else {
        QCOMPARE(dib.SizeBitmapInfo(), 0);
        QVERIFY(dib.PointerToBits() == nullptr);
    }
}

void TestCDib::refusedPackedKeepsEarlierPixels()
{
    cDib dib;
    const QByteArray good = packedDib(4, 3, 24, 36, 36);
    QVERIFY(dib.CreateFromPackedDIBPointer(good.constData(), std::size_t(good.size())));
    const QByteArray bad = packedDib(9, 9, 8, 81, 81);
    QVERIFY(!dib.CreateFromPackedDIBPointer(bad.constData(), std::size_t(bad.size())));
    QCOMPARE(dib.Width(), 9); // the header was copied
    QCOMPARE(dib.SizeBitmapInfo(), 40);
    QCOMPARE(dib.SizeFileHeader(), 36 + 54);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(dib.PointerToBits()), 36), good.mid(40));
    // Shorter than a header: nothing at all is read.
    QVERIFY(!dib.CreateFromPackedDIBPointer(good.constData(), 39));
    QVERIFY(!dib.CreateFromPackedDIBPointer(nullptr, 1000));
    QCOMPARE(dib.Width(), 9);
}

void TestCDib::writtenFileHasExactLayout()
{
    QTemporaryDir dir;
    const QByteArray packed = packedDib(5, 2, 24, 32, 32);
    cDib dib;
    QVERIFY(dib.CreateFromPackedDIBPointer(packed.constData(), std::size_t(packed.size())));
    const QString path = dir.filePath(QStringLiteral("frame.bmp"));
    QVERIFY(dib.WriteToFile(path));
    const QByteArray file = readAll(path);
    QCOMPARE(file.size(), 54 + 32);
    const BitmapFileHeader fh = readFileHeader(reinterpret_cast<const unsigned char*>(file.constData()));
    QCOMPARE(fh.bfType, quint16(0x4D42));
    QCOMPARE(fh.bfSize, quint32(file.size()));
    QCOMPARE(fh.bfOffBits, 54u);
    QCOMPARE(fh.bfReserved1, quint16(0));
    QCOMPARE(fh.bfReserved2, quint16(0));
    QCOMPARE(file.mid(14, 40), packed.left(40));
    QCOMPARE(file.mid(54), packed.mid(40));
}

void TestCDib::writtenFileIsReadByImageMagick()
{
    QTemporaryDir dir;
    // A 24-bit 3 × 2 bottom-up picture with known pixels: rows padded to 12 bytes.
    cDIBSection section;
    QVERIFY(section.Create(3, 2));
    QImage src(3, 2, QImage::Format_RGB32);
    const QRgb colours[6] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255),
                             qRgb(10, 20, 30), qRgb(200, 100, 50), qRgb(1, 2, 3)};
    for (int i = 0; i < 6; ++i)
        src.setPixel(i % 3, i / 3, colours[i]);
    section.LoadPictureBlt(src, 0, 0, -1, -1);
    QByteArray packed(kInfoHeaderSize, '\0');
    writeInfoHeader(section.InfoHeader(), reinterpret_cast<unsigned char*>(packed.data()));
    packed.append(reinterpret_cast<const char*>(section.DIBSectionBitsPtr()), int(section.InfoHeader().biSizeImage));

    cDib dib;
    QVERIFY(dib.CreateFromPackedDIBPointer(packed.constData(), std::size_t(packed.size())));
    const QString path = dir.filePath(QStringLiteral("peer.bmp"));
    QVERIFY(dib.WriteToFile(path));

    const auto info = lvtest::runTool(QStringLiteral("identify"), {QStringLiteral("-format"), QStringLiteral("%m %w %h %z %r"), path});
    QCOMPARE(info.exitCode, 0);
    QCOMPARE(QString::fromLatin1(info.out).trimmed(), QStringLiteral("BMP3 3 2 8 DirectClass sRGB"));
    const auto ppm = lvtest::runTool(QStringLiteral("convert"), {path, QStringLiteral("ppm:-")});
    QCOMPARE(ppm.exitCode, 0);
    const QImage back = lvtest::imageFromPpm(ppm.out);
    QCOMPARE(back.size(), QSize(3, 2));
    for (int i = 0; i < 6; ++i)
        QCOMPARE(back.pixel(i % 3, i / 3), colours[i]);
}

void TestCDib::writeTruncatesLongerFileAndReportsFailure()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.bmp"));
    QVERIFY(writeAll(path, QByteArray(5000, 'x')));
    const QByteArray packed = packedDib(4, 3, 24, 36, 36);
    cDib dib;
    QVERIFY(dib.CreateFromPackedDIBPointer(packed.constData(), std::size_t(packed.size())));
    QVERIFY(dib.WriteToFile(path));
    QCOMPARE(QFileInfo(path).size(), 90);

    // A file standing where the folder should be: a failure with the
    // system's reason and no message of its own, the file untouched.
    ScopedScriptedDialogs scripted;
    const QString blocker = dir.filePath(QStringLiteral("blocker"));
    QVERIFY(writeAll(blocker, "keep"));
    const FileResult failed = dib.WriteToFile(blocker + QStringLiteral("/frame.bmp"));
    QVERIFY(!failed.ok());
    QVERIFY(failed.message().isEmpty());
    QVERIFY(!failed.reason().isEmpty());
    QVERIFY(scripted.d.requests.isEmpty());
    QCOMPARE(readAll(blocker), QByteArray("keep"));
}

void TestCDib::readsBackWhatItWrote()
{
    QTemporaryDir dir;
    const QByteArray packed = packedDib(4, 3, 24, 36, 36);
    cDib a;
    QVERIFY(a.CreateFromPackedDIBPointer(packed.constData(), std::size_t(packed.size())));
    const QString path = dir.filePath(QStringLiteral("a.bmp"));
    QVERIFY(a.WriteToFile(path));

    ScopedScriptedDialogs scripted;
    cDib b;
    QVERIFY(b.CreateFromFile(path));
    QVERIFY(scripted.d.requests.isEmpty());
    QCOMPARE(b.Width(), 4);
    QCOMPARE(b.Height(), 3);
    QCOMPARE(b.BitCount(), 24);
    QCOMPARE(b.SizeImage(), 36);
    QCOMPARE(b.SizeBitmapInfo(), b.BitOffset() - 14);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(b.PointerToBits()), 36), packed.mid(40));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(b.PointerToBitmapInfo()), 40), packed.left(40));
}

void TestCDib::readsImageMagickBitmaps_data()
{
    QTest::addColumn<QStringList>("convertArgs");
    QTest::addColumn<int>("bitCount");
    QTest::addColumn<bool>("topDown");

    QTest::newRow("24 bits bottom-up") << QStringList{QStringLiteral("-type"), QStringLiteral("truecolor"),
                                                       QStringLiteral("-define"), QStringLiteral("bmp:format=bmp3")}
                                       << 24 << false;
    QTest::newRow("32 bits bottom-up") << QStringList{QStringLiteral("-alpha"), QStringLiteral("set"),
                                                       QStringLiteral("-define"), QStringLiteral("bmp:format=bmp4")}
                                       << 32 << false;
    QTest::newRow("24 bits top-down") << QStringList{QStringLiteral("-type"), QStringLiteral("truecolor"),
                                                      QStringLiteral("-define"), QStringLiteral("bmp:format=bmp3")}
                                      << 24 << true;
    QTest::newRow("32 bits top-down") << QStringList{QStringLiteral("-alpha"), QStringLiteral("set"),
                                                      QStringLiteral("-define"), QStringLiteral("bmp:format=bmp4")}
                                      << 32 << true;
}

void TestCDib::readsImageMagickBitmaps()
{
    QFETCH(QStringList, convertArgs);
    QFETCH(int, bitCount);
    QFETCH(bool, topDown);

    QTemporaryDir dir;
    const int w = 7, h = 5;
    const QImage pattern = lvtest::patternImage(w, h);
    const QString ppm = dir.filePath(QStringLiteral("in.ppm"));
    QVERIFY(pattern.save(ppm, "PPM"));
    QString bmp = dir.filePath(QStringLiteral("im.bmp"));
    QCOMPARE(lvtest::runTool(QStringLiteral("convert"), QStringList{ppm} + convertArgs + QStringList{bmp}).exitCode, 0);

    if (topDown) {
        // ImageMagick 6 writes bottom-up only: turn its file into the top-down
        // form (negative height, rows reversed) and let ImageMagick confirm it
        // still reads the same picture.
        QByteArray bytes = readAll(bmp);
        const auto fh = readFileHeader(reinterpret_cast<const unsigned char*>(bytes.constData()));
        const auto ih = readInfoHeader(reinterpret_cast<const unsigned char*>(bytes.constData()) + 14);
        const int stride = ((w * ih.biBitCount + 31) / 32) * 4;
        QByteArray rows = bytes.mid(int(fh.bfOffBits), stride * h);
        for (int y = 0; y < h; ++y)
            bytes.replace(int(fh.bfOffBits) + y * stride, stride, rows.mid((h - 1 - y) * stride, stride));
        putU32(bytes, 22, quint32(-h));
        bmp = dir.filePath(QStringLiteral("topdown.bmp"));
        QVERIFY(writeAll(bmp, bytes));
        const auto check = lvtest::runTool(QStringLiteral("convert"), {bmp, QStringLiteral("ppm:-")});
        QCOMPARE(check.exitCode, 0);
        QCOMPARE(lvtest::imageFromPpm(check.out), pattern);
    }

    ScopedScriptedDialogs scripted;
    cDib dib;
    QVERIFY(dib.CreateFromFile(bmp));
    QVERIFY(scripted.d.requests.isEmpty());
    QCOMPARE(dib.Width(), w);
    QCOMPARE(dib.Height(), topDown ? -h : h);
    QCOMPARE(dib.BitCount(), bitCount);
    QCOMPARE(dib.SizeBitmapInfo(), dib.BitOffset() - 14);
    const int bpp = bitCount / 8;
    const int stride = ((w * bitCount + 31) / 32) * 4;
    QVERIFY(dib.SizeBits() >= stride * h);
    for (int y = 0; y < h; ++y) {
        const unsigned char* line = dib.PointerToBits() + (topDown ? y : h - 1 - y) * stride;
        for (int x = 0; x < w; ++x) {
            const QRgb want = pattern.pixel(x, y);
            const unsigned char* p = line + x * bpp;
            QCOMPARE(qRgb(p[2], p[1], p[0]), want);
        }
    }
}

void TestCDib::colourTableGoesIntoBitmapInfo()
{
    QTemporaryDir dir;
    const QString bmp = dir.filePath(QStringLiteral("palette.bmp"));
    QCOMPARE(lvtest::runTool(QStringLiteral("convert"),
                             {QStringLiteral("-size"), QStringLiteral("6x4"), QStringLiteral("gradient:black-white"),
                              QStringLiteral("-type"), QStringLiteral("palette"), QStringLiteral("-define"),
                              QStringLiteral("bmp:format=bmp3"), bmp})
                 .exitCode,
             0);
    ScopedScriptedDialogs scripted;
    cDib dib;
    QVERIFY(dib.CreateFromFile(bmp)); // any bit count is read
    QVERIFY(dib.BitCount() <= 8);
    QVERIFY(dib.BitOffset() > 54);
    QCOMPARE(dib.SizeBitmapInfo(), dib.BitOffset() - 14);
    // Written back unchanged, byte for byte.
    const QString copy = dir.filePath(QStringLiteral("copy.bmp"));
    QVERIFY(dib.WriteToFile(copy));
    QCOMPARE(readAll(copy), readAll(bmp));
}

void TestCDib::sizeImageZeroTakesRowsFromHeader()
{
    QTemporaryDir dir;
    QByteArray file = goodBitmapFile(dir.path());
    putU32(file, 34, 0); // biSizeImage 0, as uncompressed bitmaps may have it
    const QString path = dir.filePath(QStringLiteral("zero.bmp"));
    QVERIFY(writeAll(path, file));
    ScopedScriptedDialogs scripted;
    cDib dib;
    QVERIFY(dib.CreateFromFile(path));
    QCOMPARE(dib.SizeImage(), 0);
    QCOMPARE(dib.SizeBits(), 36);
    const QString copy = dir.filePath(QStringLiteral("copy.bmp"));
    QVERIFY(dib.WriteToFile(copy));
    QCOMPARE(readAll(copy), file);
}

void TestCDib::refusesBadFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("textStart");
    QTest::addColumn<int>("icon");

    const int info = int(Dialogs::Icon::Information), error = int(Dialogs::Icon::Error);
    QTest::newRow("missing") << "missing" << "File does not exist:\r\n" << error;
    QTest::newRow("not a picture") << "text" << "File is not a supported bitmap format:\r\n" << info;
    QTest::newRow("png") << "png" << "File is not a supported bitmap format:\r\n" << info;
    QTest::newRow("empty") << "empty" << "File is not a supported bitmap format:\r\n" << info;
    QTest::newRow("only the mark") << "mark" << "File is not a supported bitmap format:\r\n" << info;
    QTest::newRow("cut in the headers") << "cutheaders" << "File is not a supported bitmap format:\r\n" << info;
    QTest::newRow("cut in the pixels") << "cutpixels" << "File is not a supported bitmap format:\r\n" << info;
    QTest::newRow("size image past the end") << "sizepast" << "File is not a supported bitmap format:\r\n" << info;
    QTest::newRow("size image absurd") << "sizeabsurd" << "File is not a supported bitmap format:\r\n" << info;
    QTest::newRow("offset past the end") << "offpast" << "File is not a supported bitmap format:\r\n" << info;
    QTest::newRow("offset absurd") << "offabsurd" << "File is not a supported bitmap format:\r\n" << info;
    QTest::newRow("offset inside the headers") << "offsmall" << "File is not a supported bitmap format:\r\n" << info;
    QTest::newRow("rows absurd with size 0") << "rowsabsurd" << "File is not a supported bitmap format:\r\n" << info;
    QTest::newRow("a folder") << "folder" << "" << info;
    QTest::newRow("a file where a folder should be") << "underfile" << "File does not exist:\r\n" << error;
}

void TestCDib::refusesBadFiles()
{
    QFETCH(QString, kind);
    QFETCH(QString, textStart);
    QFETCH(int, icon);

    QTemporaryDir dir;
    const QByteArray good = goodBitmapFile(dir.path());
    QString path = dir.filePath(QStringLiteral("bad.bmp"));
    QByteArray bytes;
    if (kind == QLatin1String("text")) bytes = "hello, this is not a picture at all\n";
    else if (kind == QLatin1String("png")) {
        QBuffer buf(&bytes);
        buf.open(QIODevice::WriteOnly);
        lvtest::patternImage(4, 4).save(&buf, "PNG");
    } else if (kind == QLatin1String("mark")) bytes = "BM";
    else if (kind == QLatin1String("cutheaders")) bytes = good.left(30);
    else if (kind == QLatin1String("cutpixels")) bytes = good.left(60);
    else if (kind == QLatin1String("sizepast")) { bytes = good; putU32(bytes, 34, 37); }
    else if (kind == QLatin1String("sizeabsurd")) { bytes = good; putU32(bytes, 34, 0xfffffff0u); }
    else if (kind == QLatin1String("offpast")) { bytes = good; putU32(bytes, 10, 91); }
    else if (kind == QLatin1String("offabsurd")) { bytes = good; putU32(bytes, 10, 0xffffff00u); }
    else if (kind == QLatin1String("offsmall")) { bytes = good; putU32(bytes, 10, 20); }
    else if (kind == QLatin1String("rowsabsurd")) {
        bytes = good;
        putU32(bytes, 34, 0);
        putU32(bytes, 18, 0x7fffffff);
        putU32(bytes, 22, 0x7fffffff);
    }
    if (kind == QLatin1String("folder")) {
        path = dir.filePath(QStringLiteral("folder.bmp"));
        QVERIFY(QDir().mkdir(path));
    } else if (kind == QLatin1String("underfile")) {
        QVERIFY(writeAll(dir.filePath(QStringLiteral("plain")), good));
        path = dir.filePath(QStringLiteral("plain/bad.bmp"));
    } else if (kind != QLatin1String("missing")) {
        QVERIFY(writeAll(path, bytes));
    }

    // An object that held a picture keeps it.
    const QByteArray packed = packedDib(4, 3, 24, 36, 36);
    cDib dib;
    QVERIFY(dib.CreateFromPackedDIBPointer(packed.constData(), std::size_t(packed.size())));

    // The layer only says why; the window that asked shows it.
    ScopedScriptedDialogs scripted;
    const FileResult read = dib.CreateFromFile(path);
    QVERIFY(!read.ok());
    QVERIFY(scripted.d.requests.isEmpty());
    QCOMPARE(int(read.icon()), icon);
    if (textStart.isEmpty()) {
        QVERIFY(!read.message().isEmpty());
    } else {
        QCOMPARE(read.message(), textStart + path);
    }
    // Shown, it is one message of that text and icon.
    showFailure(read);
    QCOMPARE(scripted.d.messages(), QStringList{read.message()});
    QCOMPARE(int(scripted.d.requests.first().icon), icon);
    QCOMPARE(dib.Width(), 4);
    QCOMPARE(dib.SizeImage(), 36);
    QCOMPARE(dib.SizeBitmapInfo(), 40);
    if (kind != QLatin1String("missing") && kind != QLatin1String("folder") && kind != QLatin1String("underfile"))
        QCOMPARE(readAll(path), bytes);
}

void TestCDib::dibSectionRowsArePadded_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("rowBytes");
    QTest::newRow("1 wide") << 1 << 4;
    QTest::newRow("4 wide") << 4 << 12;
    QTest::newRow("5 wide") << 5 << 16;
    QTest::newRow("321 wide") << 321 << 964;
}

void TestCDib::dibSectionRowsArePadded()
{
    QFETCH(int, width);
    QFETCH(int, rowBytes);
    cDIBSection s;
    QVERIFY(s.Create(width, 3));
    QCOMPARE(s.BytesPerScanLine(), rowBytes);
    QCOMPARE(int(s.InfoHeader().biSizeImage), 3 * rowBytes);
    QCOMPARE(s.InfoHeader().biBitCount, quint16(24));
    QCOMPARE(s.InfoHeader().biPlanes, quint16(1));
    QCOMPARE(s.InfoHeader().biSize, 40u);
}

void TestCDib::dibSectionBlitsWithNegativeMeaningFull()
{
    const QImage src = lvtest::patternImage(9, 6);
    cDIBSection s;
    QVERIFY(s.CreateFromPicture(src));
    QCOMPARE(s.toImage(), src);
    // Bottom-up BGR: the first stored row is the picture's last.
    const unsigned char* first = s.DIBSectionBitsPtr();
    QCOMPARE(qRgb(first[2], first[1], first[0]), src.pixel(0, 5));

    cDIBSection part;
    QVERIFY(part.Create(4, 3));
    part.LoadPictureBlt(src, 2, 1, -1, -1);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            QCOMPARE(part.pixel(x, y), src.pixel(x + 2, y + 1));

    QImage target(6, 6, QImage::Format_RGB32);
    target.fill(Qt::black);
    part.PaintPicture(target, 3, 4, -1, -1); // clipped at the target's edge
    QCOMPARE(target.pixel(3, 4), src.pixel(2, 1));
    QCOMPARE(target.pixel(5, 5), src.pixel(4, 2));
    QCOMPARE(target.pixel(2, 4), qRgb(0, 0, 0));

    QVERIFY(!s.Create(0, 5));
    QVERIFY(!s.IsReady());
    QVERIFY(!s.Create(100000, 100000)); // refused, not allocated
}

void TestCDib::dibSectionClearUpOnEmptyIsHarmless()
{
    cDIBSection s;
    s.ClearUp();
    QVERIFY(s.DIBSectionBitsPtr() == nullptr);
    QCOMPARE(s.Width(), 0);
    QVERIFY(s.Create(2, 2));
    s.ClearUp();
    s.ClearUp();
    QVERIFY(s.DIBSectionBitsPtr() == nullptr);
    ScopedScriptedDialogs scripted;
    const FileResult asDib = s.CopyToClipboard(true);
    QVERIFY(!asDib.ok());
    QCOMPARE(asDib.message(), QStringLiteral("I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!"));
    QCOMPARE(asDib.icon(), MessageIcon::Information);
    QVERIFY(scripted.d.requests.isEmpty());
}

void TestCDib::dibSectionResampleKeepsCornersAndUniformAreas()
{
    QImage flat(10, 8, QImage::Format_RGB32);
    flat.fill(qRgb(30, 60, 90));
    cDIBSection s;
    QVERIFY(s.CreateFromPicture(flat));
    auto r = s.Resample(5, 20);
    QCOMPARE(r->Width(), 20);
    QCOMPARE(r->Height(), 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 20; ++x)
            QCOMPARE(r->pixel(x, y), qRgb(30, 60, 90));
    auto same = s.Resample(8, 10);
    QCOMPARE(same->toImage(), s.toImage());
    s.RandomiseBits(true);
    const QRgb p = s.pixel(3, 3);
    QVERIFY(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p));
}

QTEST_GUILESS_MAIN(TestCDib)
#include "tst_cdib.moc"
