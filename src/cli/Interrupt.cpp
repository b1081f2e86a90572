#include "cli/Interrupt.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace {

// The pipe's ends; the handler only writes (async-signal-safe), the watcher only reads.
int g_pipe[2] = {-1, -1};
struct sigaction g_previous {};

void OnSigint(int) {
    const int saved = errno;
    const char byte = 'i';
    [[maybe_unused]] ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

CInterruptWatcher::CInterruptWatcher(std::function<void()> onInterrupt) : m_fnInterrupt(std::move(onInterrupt)) {
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction sa {};
    sa.sa_handler = OnSigint;
    sigemptyset(&sa.sa_mask);
    // The first Ctrl+C comes here once; the default action is back for the second.
    sa.sa_flags = SA_RESETHAND | SA_RESTART;
    if (::sigaction(SIGINT, &sa, &g_previous) != 0) {
        ::close(g_pipe[0]);
        ::close(g_pipe[1]);
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    m_bInstalled = true;
    m_thread = std::jthread([this](std::stop_token stop) {
        // Woken every so often to see whether the program is ending.
        while (!stop.stop_requested()) {
            pollfd p{g_pipe[0], POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char buffer[16];
            if (::read(g_pipe[0], buffer, sizeof buffer) > 0 && m_fnInterrupt) m_fnInterrupt();
        }
    });
}

CInterruptWatcher::~CInterruptWatcher() {
    if (!m_bInstalled) return;
    ::sigaction(SIGINT, &g_previous, nullptr);
    m_thread.request_stop();
    m_thread.join();
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}
