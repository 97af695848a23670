#include "modes/seriesnaming.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

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

int32_t highestSeriesNumber(const QString& currentFileName, int type)
{
    const auto t = static_cast<SeriesType>(type);
    if (t != SeriesType::NumberedBitmap && t != SeriesType::NumberedJpeg)
        return 0;
    // The name of number 0 shows where the number goes: base, digits, extension.
    const QFileInfo zero(seriesFileName(currentFileName, type, 0));
    const QString extension = t == SeriesType::NumberedBitmap ? QStringLiteral(".bmp") : QStringLiteral(".jpg");
    const QString prefix = zero.fileName().chopped(extension.size() + 5);
    const QRegularExpression pattern(QLatin1Char('^') + QRegularExpression::escape(prefix) + QStringLiteral("(\\d{5,})")
                                     + QRegularExpression::escape(extension) + QLatin1Char('$'));
    constexpr qint64 ceiling = kHighestSeriesNumber;
    qint64 highest = 0;
    const QStringList names = zero.dir().entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const QRegularExpressionMatch m = pattern.match(name);
        if (!m.hasMatch())
            continue;
        const QString digits = m.captured(1);
        const qint64 n = digits.size() > 10 ? ceiling : std::min(ceiling, digits.toLongLong());
        highest = std::max(highest, n);
    }
    return static_cast<int32_t>(highest);
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
