#include "modes/motionmeasure.h"
#include "modes/seriesnaming.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lv::motion {

Grid gridFor(int height)
{
    Grid g;
    // std::nearbyint rounds halves to even in the default rounding mode.
    g.rowStep = std::max(1, static_cast<int>(std::nearbyint(height / 10.0)));
    g.columnStep = std::max(1.0, height / 10.0);
    return g;
}

namespace {

inline uint32_t packedAt(const uchar* line, int x, QImage::Format format)
{
    switch (format) {
    case QImage::Format_RGB888: {
        const uchar* p = line + 3 * x;
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
    }
    case QImage::Format_BGR888: {
        const uchar* p = line + 3 * x;
        return uint32_t(p[2]) | (uint32_t(p[1]) << 8) | (uint32_t(p[0]) << 16);
    }
    default: {
        const QRgb c = reinterpret_cast<const QRgb*>(line)[x];
        return uint32_t(qRed(c)) | (uint32_t(qGreen(c)) << 8) | (uint32_t(qBlue(c)) << 16);
    }
    }
}

} // namespace

double sampleAverage(const QImage& frame)
{
    if (frame.isNull() || frame.width() < 1 || frame.height() < 1)
        return 0.0;
    QImage converted;
    const QImage* img = &frame;
    const QImage::Format f = frame.format();
    if (f != QImage::Format_RGB888 && f != QImage::Format_BGR888 && f != QImage::Format_RGB32
        && f != QImage::Format_ARGB32 && f != QImage::Format_ARGB32_Premultiplied) {
        converted = frame.convertToFormat(QImage::Format_RGB32);
        img = &converted;
    }
    const int w = img->width();
    const int h = img->height();
    const Grid g = gridFor(h);
    double sum = 0.0;
    long count = 0;
    for (int y = 1; y <= h; y += g.rowStep) {
        const uchar* line = img->constScanLine(y - 1);
        for (int k = 0;; ++k) {
            const double x = 1.0 + k * g.columnStep;
            if (x > w)
                break;
            sum += packedAt(line, static_cast<int>(x) - 1, img->format());
            ++count;
        }
    }
    return count > 0 ? sum / count : 0.0;
}

QString changedText(int ratio)
{
    return signedNumberText(std::abs(100 - ratio)) + QStringLiteral("% Image changed");
}

Step Detector::step(double level, int sensitivity)
{
    Step s;
    if (m_reference == 0.0)
        m_reference = level;
    if (level == 0.0)
        return s;
    const double r = std::floor(level * 100.0 / m_reference);
    constexpr double top = std::numeric_limits<int16_t>::max();
    s.ratio = r > top ? static_cast<int>(top) : static_cast<int>(r);
    m_reference = level;
    s.measured = true;
    s.status = changedText(s.ratio);
    s.motion = s.ratio < 100 - sensitivity || s.ratio > 100 + sensitivity;
    return s;
}

} // namespace lv::motion
