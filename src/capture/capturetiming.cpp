#include "capture/capturetiming.h"

#include <algorithm>
#include <cmath>

namespace lv::capturetiming {

uint32_t MicroSecondsPerFrame(int rate)
{
    if (rate == 0)
        return 0;
    return static_cast<uint32_t>(std::lround(1000000.0 / rate));
}

uint32_t MicroSecondsPerFrame(double rate)
{
    // The rate is a fixed-point number with four decimals (29.97 stays 29.97).
    const double fixed = std::nearbyint(rate * 10000.0) / 10000.0;
    if (fixed == 0.0)
        return 0;
    return static_cast<uint32_t>(std::lround(1000000.0 / fixed));
}

int HoursOf(int64_t seconds) { return static_cast<int>(seconds / 3600); }

int MinutesOf(int64_t seconds)
{
    const double h = static_cast<double>(seconds) / 3600.0;
    return static_cast<int>((h - std::trunc(h)) * 60.0 + 1e-9);
}

int SecondsOf(int64_t seconds)
{
    const double m = static_cast<double>(seconds) / 60.0;
    return static_cast<int>(std::lround((m - std::trunc(m)) * 60.0));
}

int64_t TotalSeconds(int64_t hours, int64_t minutes, int64_t seconds)
{
    return std::max<int64_t>(0, hours) * 3600 + std::max<int64_t>(0, minutes) * 60 + seconds;
}

int PreviewIntervalMs(int rate)
{
    if (rate < 1)
        return 0;
    return static_cast<int>(std::lround(1000.0 / rate));
}

} // namespace lv::capturetiming
