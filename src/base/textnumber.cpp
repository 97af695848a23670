#include "base/textnumber.h"

#include <cmath>
#include <limits>

namespace lv {

double leadingNumber(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    double value = 0.0;
    bool any = false;
    while (i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9')) {
        value = value * 10.0 + (text[i].unicode() - u'0');
        any = true;
        ++i;
    }
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        double scale = 0.1;
        while (i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9')) {
            value += (text[i].unicode() - u'0') * scale;
            scale /= 10.0;
            any = true;
            ++i;
        }
    }
    if (!any || !std::isfinite(value))
        return any ? (negative ? -std::numeric_limits<double>::max() : std::numeric_limits<double>::max()) : 0.0;
    return negative ? -value : value;
}

namespace {
template <typename T>
T roundClamp(double v)
{
    if (std::isnan(v))
        return 0;
    const double r = std::nearbyint(v);
    if (r <= static_cast<double>(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    if (r >= static_cast<double>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return static_cast<T>(r);
}
} // namespace

int16_t toInt16(double v) { return roundClamp<int16_t>(v); }
int32_t toInt32(double v) { return roundClamp<int32_t>(v); }
uint32_t toUInt32(double v) { return roundClamp<uint32_t>(v); }

} // namespace lv
