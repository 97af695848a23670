#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>

namespace lv {

// The arithmetic of the scheduled start, without a window.
namespace schedule {

struct Countdown {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    bool isZero() const { return hours == 0 && minutes == 0 && seconds == 0; }
};

// One second off the countdown; true on the tick that reaches (or starts at)
// 0:00:00, which is when the capture starts. Fires once per reaching zero.
bool countdownTick(Countdown& c);

// The date choice of the window: year, month 1-12 (0: none chosen) and day
// 1-31 (0: none chosen). process_date moves a month or day of the current
// year that lies before today up to today's; like the window it reads the
// month once, so a moved month lets the day follow one tick later.
struct DateChoice {
    int year = 0;
    int month = 0;
    int day = 0;
};
void processDate(const QDate& today, DateChoice& choice);

// process_time: with today chosen, an hour, minute or second before now is
// raised to now's.
void processTime(const QDateTime& now, const DateChoice& choice, int& hour, int& minute, int& second);

// The date and time wait. It fires on the first tick at or after the target,
// as long as the target passed no more than kLateSeconds ago, so a tick that
// lands a second late still starts the capture, and only once.
class DateTimeWait {
public:
    static constexpr int kLateSeconds = 60;
    DateTimeWait() = default;
    DateTimeWait(const DateChoice& date, int hour, int minute, int second);
    bool isValid() const { return m_target.isValid(); }
    QDateTime target() const { return m_target; }
    bool fired() const { return m_fired; }
    bool tick(const QDateTime& now);

private:
    QDateTime m_target;
    bool m_fired = false;
};

} // namespace schedule
} // namespace lv
