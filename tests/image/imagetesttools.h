#pragma once

#include <QByteArray>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace lvtest {

struct ToolResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a real peer program (ImageMagick, djpeg, pdfimages) and waits for it.
inline ToolResult runTool(const QString& program, const QStringList& args)
{
    ToolResult r;
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return r;
    QProcess p;
    p.start(path, args);
    if (!p.waitForFinished(60000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// Parses a binary PPM (P6, maxval 255) as the peers print it.
inline QImage imageFromPpm(const QByteArray& ppm)
{
    QImage img;
    img.loadFromData(ppm, "PPM");
    return img.convertToFormat(QImage::Format_RGB32);
}

// A picture whose every pixel differs from its neighbours, so a shifted row shows.
inline QImage patternImage(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb((x * 7 + y * 3) & 0xff, (x * 13) & 0xff, (y * 29 + x) & 0xff));
    return img;
}

// A picture of wide flat blocks: JPEG keeps it close enough to compare pixels.
inline QImage blockImage(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int bx = x / 32, by = y / 16;
            img.setPixel(x, y, qRgb((bx * 40) & 0xff, (by * 60 + 20) & 0xff, ((bx + by) % 2) * 200 + 20));
        }
    return img;
}

inline double meanAbsDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return 1e9;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

} // namespace lvtest
