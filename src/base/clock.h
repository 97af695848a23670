#pragma once

#include <QDateTime>

namespace lv {

// The one source of the current date and time, so stamping and the scheduled
// start can be tested with a fixed time. UI thread only.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// A clock that shows what the test sets; advance() moves it forward.
class FixedClock final : public Clock {
public:
    explicit FixedClock(QDateTime t = QDateTime(QDate(2026, 12, 10), QTime(12, 0, 0))) : m_now(std::move(t)) {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime& t) { m_now = t; }
    void advance(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now;
};

// The clock the program uses; the application installs the system clock,
// tests may install a FixedClock. Never null.
Clock& clock();
void setClock(Clock* c); // nullptr restores the system clock

} // namespace lv
