#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace lv::cli {

// SIGINT and SIGTERM as an ordinary event: while one of these lives, the
// signal handler only writes the signal's number into a pipe, and the read
// end's notifier calls `handle` on the main thread, in the event loop. The
// first signal is handled so; the next one ends the program as usual, so a
// stop that hangs can still be cut short. The old handlers come back when it goes.
class Interruption {
public:
    explicit Interruption(std::function<void(int signal)> handle);
    ~Interruption();
    Interruption(const Interruption&) = delete;
    Interruption& operator=(const Interruption&) = delete;

    // The signal that came, 0 before any.
    int signal() const { return m_signal; }
    // The exit status a shell gives a program ended by that signal (128 + its number).
    int exitStatus() const { return 128 + m_signal; }

private:
    std::function<void(int)> m_handle;
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_signal = 0;
};

} // namespace lv::cli
