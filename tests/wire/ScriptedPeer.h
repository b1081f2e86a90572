// A TCP server on a loopback address that plays a script on each connection it accepts: a peer
// that says exactly what a test wants, including what no correct peer would.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "com/RpcPdu.h"
#include "support/Listener.h"

namespace wiretest {

class ScriptedPeer {
public:
    ScriptedPeer(const std::string& address, uint16_t port, std::function<void(int fd)> script)
        : m_script(std::move(script)) {
        m_fd = ListenOn(address, port, 8);
        m_ok = m_fd >= 0;
        m_thread = std::thread([this] { Loop(); });
    }
    ~ScriptedPeer() {
        m_stop = true;
        shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        close(m_fd);
    }
    bool Listening() const { return m_ok; }
    int Accepted() const { return m_accepted.load(); }

    // Reads one whole PDU; empty when the connection ends first.
    static std::vector<uint8_t> ReadPdu(int fd) {
        std::vector<uint8_t> pdu(com::rpc::kHeaderSize);
        if (!ReadAll(fd, pdu.data(), pdu.size())) return {};
        const size_t length = size_t(pdu[8]) | size_t(pdu[9]) << 8;
        if (length < com::rpc::kHeaderSize) return {};
        pdu.resize(length);
        if (!ReadAll(fd, pdu.data() + com::rpc::kHeaderSize, length - com::rpc::kHeaderSize)) return {};
        return pdu;
    }
    static bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += size_t(n);
        }
        return true;
    }
    static uint32_t CallId(const std::vector<uint8_t>& pdu) {
        return uint32_t(pdu[12]) | uint32_t(pdu[13]) << 8 | uint32_t(pdu[14]) << 16 | uint32_t(pdu[15]) << 24;
    }

private:
    static bool ReadAll(int fd, uint8_t* p, size_t n) {
        while (n > 0) {
            ssize_t r = recv(fd, p, n, 0);
            if (r <= 0) return false;
            p += r;
            n -= size_t(r);
        }
        return true;
    }
    void Loop() {
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            int fd = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            ++m_accepted;
            m_script(fd);
            close(fd);
        }
    }

    int m_fd = -1;
    bool m_ok = false;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
    std::function<void(int)> m_script;
    std::thread m_thread;
};

}  // namespace wiretest
