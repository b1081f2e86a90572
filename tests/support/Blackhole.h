// An address that never answers a connect, as a host behind a dropping firewall: a listener on
// loopback whose accept queue is full, so the kernel drops every further SYN and the connecting
// side waits until it gives up. Port 0 picks a free port.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "support/Listener.h"

class Blackhole {
public:
    Blackhole(const std::string& address, uint16_t port = 0) : m_address(address) {
        sockaddr_in a{};
        m_listener = ListenOn(address, port, 0, &a);
        if (m_listener < 0) return;
        m_port = ntohs(a.sin_port);
        // Connections nobody accepts, until one is left waiting: from then on the queue is full.
        for (int i = 0; i < 16; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
                m_fillers.push_back(fd);
                continue;
            }
            pollfd p{fd, POLLOUT, 0};
            if (errno == EINPROGRESS && poll(&p, 1, 200) == 0) {
                close(fd);
                m_full = true;
                return;
            }
            m_fillers.push_back(fd);
        }
    }
    ~Blackhole() {
        for (int fd : m_fillers) close(fd);
        if (m_listener >= 0) close(m_listener);
    }
    Blackhole(const Blackhole&) = delete;
    Blackhole& operator=(const Blackhole&) = delete;

    // True once connects to it hang.
    bool Ready() const { return m_full; }
    uint16_t Port() const { return m_port; }
    // "address[port]", as a string binding names it.
    std::string Binding() const { return m_address + "[" + std::to_string(m_port) + "]"; }

private:
    std::string m_address;
    int m_listener = -1;
    uint16_t m_port = 0;
    bool m_full = false;
    std::vector<int> m_fillers;
};
