#pragma once

// Movie files made by the ffmpeg command-line program, and ffmpeg's own decode
// of them, for the movie reading, playing and extraction tests.

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cmath>
#include <cstdint>

namespace moviefiles {

inline bool runFfmpeg(const QStringList& args, int timeoutMs = 120000)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-v"), QStringLiteral("error"),
                                                  QStringLiteral("-nostdin"), QStringLiteral("-y")}
                                          + args);
    return p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A moving test picture of `frames` frames at 25 per second, encoded with
// `codecArgs`, with a sine tone as 16-bit PCM when `sound` is set.
inline bool makeMovie(const QString& file, const QStringList& codecArgs, int frames, int width = 321,
                      int height = 241, bool sound = false)
{
    QStringList args{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("testsrc=size=%1x%2:rate=25").arg(width).arg(height)};
    if (sound)
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
             << QStringLiteral("sine=frequency=440:sample_rate=22050");
    args << QStringLiteral("-frames:v") << QString::number(frames) << codecArgs;
    if (sound)
        args << QStringLiteral("-c:a") << QStringLiteral("pcm_s16le") << QStringLiteral("-t")
             << QString::number(frames / 25.0 + 0.04, 'f', 2);
    args << file;
    return runFfmpeg(args);
}

// ffmpeg's decode of every video frame, in stream order, as packed top-down BGR rows.
inline QByteArray ffmpegFrames(const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-nostdin"), QStringLiteral("-i"), file,
             QStringLiteral("-map"), QStringLiteral("0:v:0"), QStringLiteral("-vsync"), QStringLiteral("passthrough"),
             QStringLiteral("-f"), QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"), QStringLiteral("bgr24"),
             QStringLiteral("-")});
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

// PSNR of a packed bottom-up 24-bit bitmap (40-byte header first) against one
// top-down BGR frame of the same size; 999 for identical pictures, -1 when the
// sizes do not fit.
inline double psnrOfDib(const QByteArray& dib, const char* ref, int width, int height)
{
    const int row = (width * 3 + 3) & ~3;
    if (dib.size() != 40 + row * height)
        return -1;
    double sum = 0;
    for (int y = 0; y < height; ++y) {
        const auto* a = reinterpret_cast<const uint8_t*>(dib.constData() + 40 + int64_t(height - 1 - y) * row);
        const auto* b = reinterpret_cast<const uint8_t*>(ref + int64_t(y) * width * 3);
        for (int x = 0; x < width * 3; ++x) {
            const int d = int(a[x]) - int(b[x]);
            sum += d * d;
        }
    }
    if (sum == 0)
        return 999;
    const double mse = sum / (double(width) * height * 3);
    return 10 * std::log10(255.0 * 255.0 / mse);
}

// PSNR of a picture against one top-down BGR frame of its size, as psnrOfDib.
inline double psnrOfImage(const QImage& image, const char* ref)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const int width = rgb.width(), height = rgb.height();
    if (rgb.isNull())
        return -1;
    double sum = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* a = rgb.constScanLine(y);
        const auto* b = reinterpret_cast<const uint8_t*>(ref + int64_t(y) * width * 3);
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                const int d = int(a[x * 3 + c]) - int(b[x * 3 + 2 - c]);
                sum += d * d;
            }
    }
    if (sum == 0)
        return 999;
    return 10 * std::log10(255.0 * 255.0 / (sum / (double(width) * height * 3)));
}

} // namespace moviefiles
