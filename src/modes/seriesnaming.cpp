#include "modes/seriesnaming.h"

#include <algorithm>

namespace lv {

QString signedNumberText(qint64 n)
{
    return n >= 0 ? QLatin1Char(' ') + QString::number(n) : QString::number(n);
}

QString imageNumberText(int32_t n)
{
    if (n < 0)
        return QLatin1Char('-') + QStringLiteral("%1").arg(-static_cast<qint64>(n), 5, 10, QLatin1Char('0'));
    return QStringLiteral("%1").arg(n, 5, 10, QLatin1Char('0'));
}

QString imageNumberStatus(int32_t n) { return QStringLiteral("Image no.") + signedNumberText(n); }

QString seriesBaseName(const QString& name)
{
    const qsizetype slash = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (name.size() >= 4 && dot == name.size() - 4 && dot > slash)
        return name.left(name.size() - 4);
    if (dot > slash + 1)
        return name.left(dot);
    return name;
}

QString seriesFileName(const QString& currentFileName, int type, int32_t imageCount)
{
    const QString base = seriesBaseName(currentFileName);
    switch (static_cast<SeriesType>(type)) {
    case SeriesType::NumberedBitmap: return base + imageNumberText(imageCount) + QStringLiteral(".bmp");
    case SeriesType::NumberedJpeg: return base + imageNumberText(imageCount) + QStringLiteral(".jpg");
    case SeriesType::RefreshBitmap: return base + QStringLiteral(".bmp");
    case SeriesType::RefreshJpeg: return base + QStringLiteral(".jpg");
    default: return {};
    }
}

int32_t seriesInterval(int hours, int minutes, int seconds)
{
    return std::max<int32_t>(0, hours * 3600) + std::max<int32_t>(0, minutes * 60) + seconds;
}

SeriesCountdown::Tick SeriesCountdown::tick()
{
    Tick t;
    ++m_ticks;
    if (m_ticks < m_interval) {
        t.status = signedNumberText(m_interval - m_ticks) + QStringLiteral(" seconds to capture another frame");
    } else {
        m_ticks = 0;
        t.shoot = true;
        t.status = QStringLiteral("Capturing");
    }
    return t;
}

} // namespace lv
