#include "schedule/countdown.h"

namespace lv::schedule {

bool countdownTick(Countdown& c)
{
    bool fired = false;
    if (c.hours == 0 && c.minutes == 0 && c.seconds < 4) {
        if (c.seconds > 0)
            --c.seconds;
        else
            fired = true;
    } else if (c.seconds == 0) {
        c.seconds = 59;
        if (c.hours > 0 && c.minutes == 0) {
            c.minutes = 59;
            --c.hours;
        } else {
            --c.minutes;
        }
    } else {
        --c.seconds;
    }
    if (!fired && c.isZero())
        fired = true;
    return fired;
}

void processDate(const QDate& today, DateChoice& choice)
{
    if (choice.year != today.year())
        return;
    const int month = choice.month;
    if (choice.month > 0 && choice.month < today.month())
        choice.month = today.month();
    if (choice.day > 0 && month == today.month() && choice.day < today.day())
        choice.day = today.day();
}

void processTime(const QDateTime& now, const DateChoice& choice, int& hour, int& minute, int& second)
{
    const QDate d = now.date();
    if (choice.year != d.year() || choice.month != d.month() || choice.day != d.day())
        return;
    const QTime t = now.time();
    if (hour < t.hour())
        hour = t.hour();
    if (hour == t.hour()) {
        if (minute < t.minute())
            minute = t.minute();
        if (minute == t.minute() && second < t.second())
            second = t.second();
    }
}

DateTimeWait::DateTimeWait(const DateChoice& date, int hour, int minute, int second)
{
    const QDate d(date.year, date.month, date.day);
    const QTime t(hour, minute, second);
    if (d.isValid() && t.isValid())
        m_target = QDateTime(d, t);
}

bool DateTimeWait::tick(const QDateTime& now)
{
    if (m_fired || !m_target.isValid())
        return false;
    const qint64 late = m_target.secsTo(now);
    if (late >= 0 && late <= kLateSeconds) {
        m_fired = true;
        return true;
    }
    return false;
}

} // namespace lv::schedule
