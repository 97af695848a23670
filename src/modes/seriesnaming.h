#pragma once

#include <QString>
#include <cstdint>
#include <limits>

namespace lv {

// A number as text with a blank before it when it is not negative (" 7", "-3").
QString signedNumberText(qint64 n);

// The image number of a series file: at least five digits, zero-padded
// (1 → "00001", 123456 → "123456").
QString imageNumberText(int32_t n);

// "Image no. 7"
QString imageNumberStatus(int32_t n);

// The file types of a series, as the type list orders them.
enum class SeriesType {
    Movie = 0,
    NumberedBitmap = 1,
    NumberedJpeg = 2,
    RefreshBitmap = 3,
    RefreshJpeg = 4,
    Clipboard = 5,
};

// The capture file name without its extension: the last four characters
// (dot and three letters) go. A name whose last dot is elsewhere loses
// what follows that dot instead, and a name without an extension stays
// whole, so a short name never loses letters of its own.
QString seriesBaseName(const QString& currentFileName);

// Where a shot of the series is stored; empty for the movie and clipboard types.
QString seriesFileName(const QString& currentFileName, int type, int32_t imageCount);

// The highest number among the files of a numbered series (types 1 and 2)
// already in the folder under this name and type, 0 when there are none. A
// new series numbers on after it, so an earlier series is never overwritten.
int32_t highestSeriesNumber(const QString& currentFileName, int type);
// The largest number highestSeriesNumber gives, leaving room for the numbers of a new series.
inline constexpr int32_t kHighestSeriesNumber = std::numeric_limits<int32_t>::max() / 2;

// The series interval in seconds; negative hours or minutes count as 0.
int32_t seriesInterval(int hours, int minutes, int seconds);

// The one-second countdown of a timer-triggered series.
class SeriesCountdown {
public:
    explicit SeriesCountdown(int32_t interval = 0) : m_interval(interval) {}
    void restart(int32_t interval) { m_interval = interval; m_ticks = 0; }
    int32_t interval() const { return m_interval; }
    int32_t ticks() const { return m_ticks; }

    struct Tick {
        bool shoot = false;
        QString status; // " 4 seconds to capture another frame" or "Capturing"
    };
    Tick tick();

private:
    int32_t m_interval = 0;
    int32_t m_ticks = 0;
};

} // namespace lv
