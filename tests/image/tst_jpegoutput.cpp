#include "base/scripteddialogs.h"
#include "image/cdibsection.h"
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

// A read-only tmpfs for the duration of a test; empty path when mounting is not allowed.
struct ReadOnlyMount {
    QString path;
    explicit ReadOnlyMount(const QString& dir, const QByteArray& existingName, const QByteArray& existing)
    {
        if (::mount("tmpfs", dir.toLocal8Bit().constData(), "tmpfs", 0, "size=1m") != 0)
            return;
        QFile f(dir + QLatin1Char('/') + QString::fromLatin1(existingName));
        if (f.open(QIODevice::WriteOnly))
            f.write(existing);
        f.close();
        if (::mount("tmpfs", dir.toLocal8Bit().constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=1m") != 0) {
            ::umount(dir.toLocal8Bit().constData());
            return;
        }
        path = dir;
    }
    ~ReadOnlyMount()
    {
        if (!path.isEmpty())
            ::umount(path.toLocal8Bit().constData());
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
    QTest::newRow("file where the folder should be") << QStringLiteral("blocker");
    QTest::newRow("read-only mount") << QStringLiteral("readonly");
    QTest::newRow("missing folder") << QStringLiteral("missing");
}

void TestJpegOutput::unwritableTargetReportsAndHarmsNothing()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString target;
    QString keptPath;
    const QByteArray kept = "an earlier picture";
    std::unique_ptr<ReadOnlyMount> mount;
    if (kind == QLatin1String("blocker")) {
        keptPath = dir.filePath(QStringLiteral("pics"));
        QFile f(keptPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kept);
        f.close();
        target = keptPath + QStringLiteral("/cam00001.jpg");
    } else if (kind == QLatin1String("readonly")) {
        const QString mp = dir.filePath(QStringLiteral("ro"));
        QVERIFY(QDir().mkdir(mp));
        mount = std::make_unique<ReadOnlyMount>(mp, "cam.jpg", kept);
        if (mount->path.isEmpty())
            QSKIP("mounting a tmpfs is not allowed here");
        keptPath = mp + QStringLiteral("/cam.jpg");
        target = keptPath;
    } else {
        target = dir.filePath(QStringLiteral("nowhere/cam.jpg"));
    }

    ScopedScriptedDialogs scripted;
    QStringList status;
    QVERIFY(!SaveJPEGFile(lvtest::blockImage(40, 30), target, 90, [&](const QString& s) { status << s; }));
    QCOMPARE(scripted.d.messages(), QStringList{QStringLiteral("Failed to save to JPG")});
    QCOMPARE(scripted.d.requests.first().icon, Dialogs::Icon::Warning);
    QCOMPARE(status, QStringList{QStringLiteral("Error writing ") + target + QStringLiteral("JPEG File.")});
    if (!keptPath.isEmpty())
        QCOMPARE(readAll(keptPath), kept);
    QVERIFY(!QFileInfo::exists(target) || readAll(target) == kept);
}

QTEST_MAIN(TestJpegOutput)
#include "tst_jpegoutput.moc"
