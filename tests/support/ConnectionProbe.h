// A listening socket that only counts the connections made to it and closes each at once: for
// checking that code reaches no server on that address and port (it answers nothing, so it
// stands in for no protocol).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "support/Listener.h"

class ConnectionProbe {
public:
    ConnectionProbe(const std::string& address, uint16_t port) {
        m_fd = ListenOn(address, port, 16);
        if (m_fd < 0) return;
        m_thread = std::thread([this] {
            while (!m_stop) {
                pollfd p{m_fd, POLLIN, 0};
                if (poll(&p, 1, 50) <= 0) continue;
                const int c = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (c < 0) continue;
                ++m_count;
                close(c);
            }
        });
    }
    ~ConnectionProbe() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        if (m_fd >= 0) close(m_fd);
    }
    ConnectionProbe(const ConnectionProbe&) = delete;
    ConnectionProbe& operator=(const ConnectionProbe&) = delete;

    bool Listening() const { return m_fd >= 0; }
    int Connections() const { return m_count; }

private:
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_count{0};
    std::thread m_thread;
};
