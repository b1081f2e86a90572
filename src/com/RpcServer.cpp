#include "com/RpcServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "com/RpcServerConnection.h"
#include "com/TcpStream.h"
#include "platform/Trace.h"

namespace com {

RpcServer::RpcServer(RpcServerOptions options) : m_options(options) {
    if (pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) m_wake[0] = m_wake[1] = -1;
}

RpcServer::~RpcServer() {
    Stop();
    Reap(true);
    for (const Listener& l : m_listeners)
        if (l.fd >= 0) close(l.fd);
    if (m_wake[0] >= 0) close(m_wake[0]);
    if (m_wake[1] >= 0) close(m_wake[1]);
}

bool RpcServer::Listen(const std::string& address, uint16_t port, IRpcHandler* handler, uint16_t& bound,
                       std::string& error) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1) {
        error = "\"" + address + "\" is not an IPv4 address";
        return false;
    }
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 64) != 0) {
        error = "cannot listen on " + address + " port " + std::to_string(port) + ": " + std::strerror(errno);
        close(fd);
        return false;
    }
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    bound = ntohs(a.sin_port);
    m_listeners.push_back({fd, bound, handler});
    return true;
}

void RpcServer::Stop() {
    m_shared.stopping = true;
    if (m_wake[1] >= 0) {
        const char c = 1;
        ssize_t ignored = write(m_wake[1], &c, 1);
        (void)ignored;
    }
}

void RpcServer::Reap(bool all) {
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            if (all) {
                const int fd = (*it)->fd.load();
                if (fd >= 0) shutdown(fd, SHUT_RDWR);
            }
            if (all || (*it)->done) {
                finished.push_back(std::move(*it));
                it = m_connections.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& c : finished)
        if (c->thread.joinable()) c->thread.join();
}

// Closes the connection that has had nothing under way for the longest, if long enough: peers
// that connect and then sit (never binding, or bound and idle) must not lock others out.
bool RpcServer::MakeRoom() {
    std::lock_guard lock(m_mutex);
    Connection* quietest = nullptr;
    int64_t longest = -1;
    for (const auto& c : m_connections) {
        if (c->done || c->quiet.Evicted()) continue;
        const int64_t since = c->quiet.QuietFor();
        if (since >= int64_t(m_options.quietYieldMs) && since > longest) {
            longest = since;
            quietest = c.get();
        }
    }
    if (!quietest || !quietest->quiet.Evict(int64_t(m_options.quietYieldMs))) return false;
    ++m_yielding;
    ++m_yielded;
    const int fd = quietest->fd.load();
    if (fd >= 0) shutdown(fd, SHUT_RDWR);
    platform::TraceF("rpc server: a connection with nothing under way for %lld ms closed to make room\n",
                     static_cast<long long>(longest));
    return true;
}

void RpcServer::Accept(const Listener& l) {
    for (;;) {
        int fd = accept4(l.fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;  // nothing more waiting (or a transient error)
        Reap(false);
        if (m_active.load() - m_yielding.load() >= m_options.maxConnections && !m_shared.stopping) MakeRoom();
        if (m_active.load() - m_yielding.load() >= m_options.maxConnections || m_shared.stopping) {
            // Refused at once rather than left waiting, with a word: a bind_nak saying the server
            // is busy, so the client may try again. Sent without waiting for the peer's bind.
            ++m_refused;
            if (!m_shared.stopping) {
                std::vector<uint8_t> nak;
                rpc::EncodeBindNak(0, rpc::BindNakBody{rpc::kNakTemporaryCongestion, {{5, 0}, {5, 1}}}, nak);
                (void)!send(fd, nak.data(), nak.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            }
            close(fd);
            continue;
        }
        auto c = std::make_unique<Connection>();
        Connection* raw = c.get();
        raw->fd = fd;
        ++m_active;
        IRpcHandler* handler = l.handler;
        {
            std::lock_guard lock(m_mutex);
            m_connections.push_back(std::move(c));
        }
        raw->thread = std::thread([this, raw, fd, handler] {
            {
                TcpStream stream(fd);
                // A hold at the start stands for the time a distant peer's connection takes.
                const uint32_t ms = m_options.hook ? m_options.hook(RpcServerEvent::Accepted) : 0;
                if (ms == 0 || HoldConnection(fd, ms, m_shared.stopping))
                    ServeConnection(stream, handler, m_options, m_shared, raw->quiet);
                std::lock_guard lock(m_mutex);
                raw->fd = -1;  // the stream closes it now; a shutdown must not reach a reused number
            }
            if (raw->quiet.Evicted()) --m_yielding;
            --m_active;
            raw->done = true;
        });
    }
}

void RpcServer::Run() {
    std::vector<pollfd> fds;
    for (const Listener& l : m_listeners) fds.push_back({l.fd, POLLIN, 0});
    fds.push_back({m_wake[0], POLLIN, 0});
    while (!m_shared.stopping) {
        for (pollfd& p : fds) p.revents = 0;
        int n = poll(fds.data(), fds.size(), 1000);
        if (n < 0 && errno != EINTR) {
            platform::TraceF("rpc server: poll: %s\n", std::strerror(errno));
            break;
        }
        if (m_shared.stopping) break;
        for (size_t i = 0; i < m_listeners.size(); ++i)
            if (fds[i].revents & POLLIN) Accept(m_listeners[i]);
        Reap(false);
    }
    // Nobody is accepted from here on: a client trying now is refused, not left waiting.
    for (Listener& l : m_listeners)
        if (l.fd >= 0) {
            close(l.fd);
            l.fd = -1;
        }
    Reap(true);
}

}  // namespace com
