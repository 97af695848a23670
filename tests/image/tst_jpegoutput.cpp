#include "base/scripteddialogs.h"
#include "image/cdibsection.h"
#include "image/bitmapfile.h"
#include "image/jpegoutput.h"
#include "imagetesttools.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/mount.h>

using namespace lv;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Start-of-frame markers in the file: 0xC0 for baseline.
QList<int> frameMarkers(const QByteArray& jpeg)
{
    QList<int> out;
    for (int i = 2; i + 1 < jpeg.size(); ++i) {
        if (uchar(jpeg[i]) != 0xFF)
            continue;
        const int m = uchar(jpeg[i + 1]);
        if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC)
            out << m;
        if (m == 0xDA)
            break; // entropy-coded data follows
        if (m >= 0xC0 && i + 3 < jpeg.size())
            i += 1 + ((uchar(jpeg[i + 2]) << 8) | uchar(jpeg[i + 3]));
    }
    return out;
}

// A small tmpfs for the duration of a test, holding one earlier file, then
// made read-only or filled to the last byte; empty path when mounting is not allowed.
struct SmallMount {
    enum class Kind { ReadOnly, Full };
    QString path;
    SmallMount(const QString& dir, const QByteArray& existingName, const QByteArray& existing, Kind kind)
    {
        const QByteArray mp = dir.toLocal8Bit();
        if (::mount("tmpfs", mp.constData(), "tmpfs", 0, "size=256k") != 0)
            return;
        path = dir;
        QFile f(dir + QLatin1Char('/') + QString::fromLatin1(existingName));
        if (f.open(QIODevice::WriteOnly))
            f.write(existing);
        f.close();
        if (kind == Kind::ReadOnly) {
            if (::mount("tmpfs", mp.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=256k") != 0)
                unmount();
            return;
        }
        QFile filler(dir + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            unmount();
            return;
        }
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) {
        }
        while (filler.write("x", 1) == 1) {
        }
    }
    ~SmallMount() { unmount(); }
    void unmount()
    {
        if (!path.isEmpty())
            ::umount(path.toLocal8Bit().constData());
        path.clear();
    }
};

} // namespace

class TestJpegOutput : public QObject {
    Q_OBJECT

private slots:
    void peersReadSizeDepthAndQuality_data();
    void peersReadSizeDepthAndQuality();
    void paddedRowsDoNotShear();
    void unwritableTargetReportsAndHarmsNothing_data();
    void unwritableTargetReportsAndHarmsNothing();
};

void TestJpegOutput::peersReadSizeDepthAndQuality_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("quality");
    QTest::addColumn<int>("expectedQuality");

    QTest::newRow("320x240 q90") << 320 << 240 << 90 << 90;
    QTest::newRow("64x48 q75") << 64 << 48 << 75 << 75;
    QTest::newRow("17x9 q50 odd sizes") << 17 << 9 << 50 << 50;
    QTest::newRow("q0 becomes 1") << 32 << 32 << 0 << 1;
    QTest::newRow("q150 becomes 100") << 32 << 32 << 150 << 100;
}

void TestJpegOutput::peersReadSizeDepthAndQuality()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, quality);
    QFETCH(int, expectedQuality);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("shot.jpg"));
    ScopedScriptedDialogs scripted;
    QStringList status;
    QVERIFY(SaveJPEGFile(lvtest::blockImage(width, height), path, quality, [&](const QString& s) { status << s; }));
    QVERIFY(scripted.d.requests.isEmpty());
    QVERIFY(status.isEmpty());

    const auto id = lvtest::runTool(QStringLiteral("identify"),
                                    {QStringLiteral("-format"), QStringLiteral("%m %w %h %z %Q %[interlace]"), path});
    QCOMPARE(id.exitCode, 0);
    QCOMPARE(QString::fromLatin1(id.out).trimmed(),
             QStringLiteral("JPEG %1 %2 8 %3 None").arg(width).arg(height).arg(expectedQuality));
    QCOMPARE(frameMarkers(readAll(path)), QList<int>{0xC0}); // baseline, one frame

    const auto dj = lvtest::runTool(QStringLiteral("djpeg"), {QStringLiteral("-ppm"), path});
    QCOMPARE(dj.exitCode, 0);
    const QImage decoded = lvtest::imageFromPpm(dj.out);
    QCOMPARE(decoded.size(), QSize(width, height));
}

void TestJpegOutput::paddedRowsDoNotShear()
{
    // 321 × 3 bytes = 963: each row carries one byte of padding. A reader that
    // forgot it would slide every row one byte further than the last.
    cDIBSection probe;
    QVERIFY(probe.Create(321, 1));
    QCOMPARE(probe.BytesPerScanLine() - 3 * 321, 1);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wide.jpg"));
    const QImage src = lvtest::blockImage(321, 200);
    QVERIFY(SaveJPEGFile(src, path, 95));
    const auto dj = lvtest::runTool(QStringLiteral("djpeg"), {QStringLiteral("-ppm"), path});
    QCOMPARE(dj.exitCode, 0);
    const QImage decoded = lvtest::imageFromPpm(dj.out);
    QCOMPARE(decoded.size(), src.size());
    QVERIFY2(lvtest::meanAbsDifference(decoded, src) < 6.0,
             qPrintable(QString::number(lvtest::meanAbsDifference(decoded, src))));

    // The same picture through cjpeg (top-down PPM, no padding) at the same
    // quality decodes to nearly the same pixels; a shear would not.
    const QString ppm = dir.filePath(QStringLiteral("wide.ppm"));
    const QString reference = dir.filePath(QStringLiteral("reference.jpg"));
    QVERIFY(src.save(ppm, "PPM"));
    QCOMPARE(lvtest::runTool(QStringLiteral("cjpeg"), {QStringLiteral("-quality"), QStringLiteral("95"),
                                                        QStringLiteral("-outfile"), reference, ppm}).exitCode, 0);
    const QImage ref = lvtest::imageFromPpm(lvtest::runTool(QStringLiteral("djpeg"), {QStringLiteral("-ppm"), reference}).out);
    QVERIFY2(lvtest::meanAbsDifference(decoded, ref) < 0.5,
             qPrintable(QString::number(lvtest::meanAbsDifference(decoded, ref))));
    QImage sheared = src;
    for (int y = 1; y < sheared.height(); ++y)
        std::rotate(reinterpret_cast<QRgb*>(sheared.scanLine(y)), reinterpret_cast<QRgb*>(sheared.scanLine(y)) + (y % 321),
                    reinterpret_cast<QRgb*>(sheared.scanLine(y)) + 321);
    QVERIFY(lvtest::meanAbsDifference(decoded, sheared) > 10 * lvtest::meanAbsDifference(decoded, ref) + 5);
    // Top rows stay on top (the section is stored bottom-up), and the last row
    // is as close as the first.
    QImage firstRow = src.copy(0, 0, 321, 8), lastRow = src.copy(0, 192, 321, 8);
    QVERIFY(lvtest::meanAbsDifference(decoded.copy(0, 0, 321, 8), firstRow) < 4.0);
    QVERIFY(lvtest::meanAbsDifference(decoded.copy(0, 192, 321, 8), lastRow) < 4.0);
}

void TestJpegOutput::unwritableTargetReportsAndHarmsNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("format");
    for (const char* format : {"jpg", "bmp"}) {
        const QString f = QString::fromLatin1(format);
        QTest::addRow("%s: file where the folder should be", format) << QStringLiteral("blocker") << f;
        QTest::addRow("%s: read-only mount", format) << QStringLiteral("readonly") << f;
        QTest::addRow("%s: full disk", format) << QStringLiteral("full") << f;
        QTest::addRow("%s: missing folder", format) << QStringLiteral("missing") << f;
    }
}

void TestJpegOutput::unwritableTargetReportsAndHarmsNothing()
{
    QFETCH(QString, kind);
    QFETCH(QString, format);
    QTemporaryDir dir;
    QString target;
    QString keptPath;
    const QByteArray kept = "an earlier picture";
    std::unique_ptr<SmallMount> mount;
    if (kind == QLatin1String("blocker")) {
        keptPath = dir.filePath(QStringLiteral("pics"));
        QFile f(keptPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kept);
        f.close();
        target = keptPath + QStringLiteral("/cam00001.") + format;
    } else if (kind == QLatin1String("readonly") || kind == QLatin1String("full")) {
        const QString mp = dir.filePath(QStringLiteral("small"));
        QVERIFY(QDir().mkdir(mp));
        const QByteArray name = "cam." + format.toLatin1();
        mount = std::make_unique<SmallMount>(
            mp, name, kept, kind == QLatin1String("full") ? SmallMount::Kind::Full : SmallMount::Kind::ReadOnly);
        if (mount->path.isEmpty())
            QSKIP("mounting a tmpfs is not allowed here");
        keptPath = mp + QLatin1Char('/') + QString::fromLatin1(name);
        target = keptPath;
    } else {
        target = dir.filePath(QStringLiteral("nowhere/cam.") + format);
    }

    // The layer reports; it raises no dialog of its own.
    ScopedScriptedDialogs scripted;
    const QImage picture = lvtest::blockImage(400, 300);
    if (format == QLatin1String("jpg")) {
        QStringList status;
        const FileResult saved = SaveJPEGFile(picture, target, 90, [&](const QString& s) { status << s; });
        QVERIFY(!saved.ok());
        QCOMPARE(saved.message(), QStringLiteral("Failed to save to JPG"));
        QCOMPARE(saved.icon(), MessageIcon::Warning);
        QCOMPARE(status, QStringList{QStringLiteral("Error writing ") + target + QStringLiteral("JPEG File.")});
    } else {
        const FileResult saved = SavePictureAsBitmap(picture, target);
        QVERIFY(!saved.ok());
        const QString why = saved.reason();
        if (kind == QLatin1String("full"))
            QVERIFY2(why.contains(QStringLiteral("No space left on device")), qPrintable(why));
        else
            QVERIFY(!why.isEmpty());
    }
    QVERIFY(scripted.d.requests.isEmpty());
    if (!keptPath.isEmpty())
        QCOMPARE(readAll(keptPath), kept);
    QVERIFY(!QFileInfo::exists(target) || readAll(target) == kept);
    QVERIFY(!QFileInfo::exists(target + QStringLiteral(".part")));
}

QTEST_GUILESS_MAIN(TestJpegOutput)
#include "tst_jpegoutput.moc"
