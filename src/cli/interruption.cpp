#include "cli/interruption.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace lv::cli {

namespace {

int g_pipe[2] = {-1, -1};
struct sigaction g_oldInt {};
struct sigaction g_oldTerm {};

// Async-signal-safe: one write, errno kept.
void onSignal(int signal)
{
    const int saved = errno;
    const char b = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &b, 1);
    errno = saved;
}

} // namespace

Interruption::Interruption(std::function<void(int)> handle) : m_handle(std::move(handle))
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // no pipe: the signals keep their usual effect
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] {
        char b = 0;
        while (::read(g_pipe[0], &b, 1) == 1) {
            if (m_signal != 0)
                continue;
            m_signal = b;
            // A second one ends the program.
            ::sigaction(SIGINT, &g_oldInt, nullptr);
            ::sigaction(SIGTERM, &g_oldTerm, nullptr);
            if (m_handle)
                m_handle(m_signal);
        }
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, &g_oldInt);
    ::sigaction(SIGTERM, &sa, &g_oldTerm);
}

Interruption::~Interruption()
{
    if (!m_notifier)
        return;
    if (m_signal == 0) {
        ::sigaction(SIGINT, &g_oldInt, nullptr);
        ::sigaction(SIGTERM, &g_oldTerm, nullptr);
    }
    m_notifier.reset();
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

} // namespace lv::cli
