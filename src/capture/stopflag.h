#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace lv {

// Lets a paced worker thread sleep until its next deadline and wakes it at
// once when it is asked to stop. Any thread may call request() and reset().
class StopFlag {
public:
    // Sleeps until deadline; true when a stop was requested meanwhile (or before).
    template <typename TimePoint>
    bool waitUntil(const TimePoint& deadline)
    {
        std::unique_lock l(m_mutex);
        return m_cv.wait_until(l, deadline, [this] { return m_stopping; });
    }
    void request()
    {
        {
            std::lock_guard l(m_mutex);
            m_stopping = true;
        }
        m_cv.notify_all();
    }
    void reset()
    {
        std::lock_guard l(m_mutex);
        m_stopping = false;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_stopping = false;
};

} // namespace lv
