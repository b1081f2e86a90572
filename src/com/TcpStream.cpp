#include "com/TcpStream.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>

namespace com {

namespace {

// Below this size a read goes through the buffer; at or above it straight into the caller's memory.
constexpr size_t kDirectRead = 16 * 1024;
// What a direct read takes into the buffer behind the caller's bytes, and the most a Peek reads
// beyond what it needs.
constexpr size_t kReadAhead = 1024;
constexpr size_t kPeekRead = kDirectRead + 1024;

int PollTimeout(Deadline deadline) {
    if (deadline == kNoDeadline) return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    if (left <= 0) return 0;
    return left > INT_MAX ? INT_MAX : int(left);
}

bool SetBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

// The largest power of two of milliseconds not above ms (at least 1).
uint32_t WholeStepMs(long long ms) {
    uint32_t step = 1;
    while (step <= uint64_t(ms) / 2 && step < (1u << 30)) step <<= 1;
    return step;
}

// A connection used this recently has not been closed for being idle by any server.
constexpr auto kRecentlyUsed = std::chrono::milliseconds(50);

std::string ErrnoText(const char* what, int err) { return std::string(what) + ": " + std::strerror(err); }

}  // namespace

const char* StreamStatusText(StreamStatus s) {
    switch (s) {
    case StreamStatus::Ok: return "ok";
    case StreamStatus::Timeout: return "timed out";
    case StreamStatus::Closed: return "connection closed by the peer";
    case StreamStatus::Failed: return "connection failed";
    }
    return "unknown";
}

TcpStream::TcpStream(int fd) : m_fd(fd), m_buffer(new (std::nothrow) uint8_t[kBufferSize]) {
    // Reads and writes block in the kernel until the data or the socket's timeout: one system
    // call where a poll and a read would be two. A shutdown from another thread wakes them.
    if (!SetBlocking(m_fd)) m_blocking = false;
    int one = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // calls are small request/response pairs
}

TcpStream::~TcpStream() {
    if (m_fd >= 0) close(m_fd);
}

std::unique_ptr<TcpStream> TcpStream::Connect(const std::string& host, uint16_t port, uint32_t timeoutMs,
                                              std::string& error) {
    return ConnectFirst({{host, port}}, DeadlineIn(timeoutMs), error);
}

std::unique_ptr<TcpStream> TcpStream::ConnectFirst(const std::vector<HostPort>& endpoints, Deadline deadline,
                                                   std::string& error, size_t* chosen, SocketWatch* watch) {
    struct Attempt {
        int fd;
        size_t endpoint;
    };
    std::vector<Attempt> pending;
    std::vector<std::string> failures(endpoints.size());
    int winner = -1;
    size_t winnerEndpoint = 0;
    bool givenUp = false;
    auto where = [&](size_t i) { return endpoints[i].first + " port " + std::to_string(endpoints[i].second); };
    auto drop = [&](int fd) {
        if (watch) watch->Closing(fd);
        close(fd);
    };

    // One attempt per address the endpoint resolves to; true when one connected at once.
    auto start = [&](size_t i) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* list = nullptr;
        const std::string service = std::to_string(endpoints[i].second);
        if (int rc = getaddrinfo(endpoints[i].first.c_str(), service.c_str(), &hints, &list); rc != 0) {
            failures[i] = "cannot resolve " + endpoints[i].first + ": " + gai_strerror(rc);
            return false;
        }
        std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> guard(list, freeaddrinfo);
        for (addrinfo* a = list; a; a = a->ai_next) {
            const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
            if (fd < 0) {
                failures[i] = ErrnoText("socket", errno);
                continue;
            }
            if (watch && !watch->Opened(fd)) {
                close(fd);
                failures[i] = "connecting to " + where(i) + " was given up";
                givenUp = true;
                return false;
            }
            if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
                winner = fd;
                winnerEndpoint = i;
                return true;
            }
            if (errno == EINPROGRESS) {
                pending.push_back({fd, i});
                continue;
            }
            failures[i] = "cannot connect to " + where(i) + ": " + std::strerror(errno);
            drop(fd);
        }
        return false;
    };

    // Every endpoint gets started well inside the budget, however many there are.
    const auto budget = std::max(deadline - SteadyClock::now(), SteadyClock::duration::zero());
    const auto stagger = std::min<SteadyClock::duration>(std::chrono::milliseconds(kConnectStaggerMs),
                                                        budget / (2 * std::max<size_t>(endpoints.size(), 1)));
    size_t next = 0;
    Deadline nextStart = SteadyClock::now();
    std::vector<pollfd> fds;
    while (winner < 0 && !givenUp) {
        const Deadline now = SteadyClock::now();
        if (next < endpoints.size() && (pending.empty() || now >= nextStart)) {
            if (start(next++)) break;
            nextStart = SteadyClock::now() + stagger;
            continue;
        }
        if (pending.empty() || now >= deadline) break;
        const Deadline wake = next < endpoints.size() ? std::min(deadline, nextStart) : deadline;
        fds.clear();
        for (const Attempt& a : pending) fds.push_back({a.fd, POLLOUT, 0});
        const int n = poll(fds.data(), fds.size(), PollTimeout(wake));
        if (n < 0 && errno != EINTR) {
            for (const Attempt& a : pending) failures[a.endpoint] = ErrnoText("poll", errno);
            break;
        }
        if (n <= 0) continue;
        // In start order, so of two answering at once the earlier endpoint wins.
        size_t kept = 0;
        for (size_t k = 0; k < pending.size(); ++k) {
            const Attempt a = pending[k];
            if (!fds[k].revents || winner >= 0) {
                pending[kept++] = a;
                continue;
            }
            int soError = 0;
            socklen_t len = sizeof soError;
            getsockopt(a.fd, SOL_SOCKET, SO_ERROR, &soError, &len);
            if (soError == 0 && !(fds[k].revents & (POLLHUP | POLLERR))) {
                winner = a.fd;
                winnerEndpoint = a.endpoint;
                continue;
            }
            failures[a.endpoint] = "cannot connect to " + where(a.endpoint) + ": " +
                                   std::strerror(soError ? soError : ECONNABORTED);
            drop(a.fd);
        }
        pending.resize(kept);
    }
    for (const Attempt& a : pending) {
        if (winner < 0 && failures[a.endpoint].empty() && !givenUp)
            failures[a.endpoint] = "connecting to " + where(a.endpoint) + " timed out";
        drop(a.fd);
    }
    if (winner < 0) {
        error.clear();
        for (const std::string& f : failures) {
            if (f.empty()) continue;
            if (!error.empty()) error += "; ";
            error += f;
        }
        if (error.empty()) error = endpoints.empty() ? "no address to connect to" : "connecting to " + where(0) + " timed out";
        return nullptr;
    }
    if (watch) watch->Closing(winner);  // the caller's from here on
    auto stream = std::unique_ptr<TcpStream>(new (std::nothrow) TcpStream(winner));
    if (!stream) {
        close(winner);
        error = "out of memory";
        return nullptr;
    }
    if (!stream->m_buffer) {
        error = "out of memory";
        return nullptr;
    }
    if (chosen) *chosen = winnerEndpoint;
    return stream;
}

StreamStatus TcpStream::Fail(StreamStatus s, const std::string& text) {
    m_error = text;
    return s;
}

StreamStatus TcpStream::WaitFor(short events, Deadline deadline) {
    if (m_fd < 0) return Fail(StreamStatus::Failed, "connection shut down");
    pollfd p{m_fd, events, 0};
    for (;;) {
        int n = poll(&p, 1, PollTimeout(deadline));
        if (n > 0) return StreamStatus::Ok;
        if (n == 0) return Fail(StreamStatus::Timeout, "timed out");
        if (errno != EINTR) return Fail(StreamStatus::Failed, ErrnoText("poll", errno));
    }
}

bool TcpStream::Arm(int option, uint32_t& armedMs, Deadline deadline) {
    // The socket's timeout never passes the deadline, and is set again only when it would or when
    // it is far shorter than the wait: a call's timeout stays armed for all the calls after it.
    uint32_t wanted = 0;  // none
    if (deadline != kNoDeadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
        if (left <= 0) return false;
        if (armedMs != 0 && armedMs <= left && armedMs >= left / 4) return true;
        wanted = WholeStepMs(left);
    } else if (armedMs == 0) {
        return true;
    }
    timeval tv{time_t(wanted / 1000), suseconds_t(wanted % 1000) * 1000};
    if (setsockopt(m_fd, SOL_SOCKET, option, &tv, sizeof tv) == 0) armedMs = wanted;
    return true;
}

ssize_t TcpStream::Receive(iovec* pieces, int count, Deadline deadline, StreamStatus& status) {
    for (;;) {
        if (m_fd < 0) {
            status = Fail(StreamStatus::Failed, "connection shut down");
            return -1;
        }
        int flags = 0;
        if (!m_blocking) {
            if (StreamStatus s = WaitFor(POLLIN, deadline); s != StreamStatus::Ok) {
                status = s;
                return -1;
            }
            flags = MSG_DONTWAIT;
        } else if (!Arm(SO_RCVTIMEO, m_recvArmedMs, deadline)) {
            status = Fail(StreamStatus::Timeout, "timed out");
            return -1;
        }
        msghdr m{};
        m.msg_iov = pieces;
        m.msg_iovlen = size_t(count);
        const ssize_t n = recvmsg(m_fd, &m, flags);
        if (n > 0) {
            m_used = SteadyClock::now();
            return n;
        }
        if (n == 0) {
            status = Fail(StreamStatus::Closed, "connection closed by the peer");
            return -1;
        }
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;  // the deadline decides
        status = Fail(StreamStatus::Failed, ErrnoText("receive", errno));
        return -1;
    }
}

StreamStatus TcpStream::Fill(Deadline deadline, size_t most) {
    if (!m_buffer) return Fail(StreamStatus::Failed, "out of memory");
    if (m_begin == m_end) m_begin = m_end = 0;
    if (m_end == kBufferSize) {
        std::memmove(m_buffer.get(), m_buffer.get() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    iovec piece{m_buffer.get() + m_end, std::min(most, kBufferSize - m_end)};
    StreamStatus status = StreamStatus::Ok;
    const ssize_t n = Receive(&piece, 1, deadline, status);
    if (n < 0) return status;
    m_end += size_t(n);
    return StreamStatus::Ok;
}

StreamStatus TcpStream::Read(uint8_t* dst, size_t n, Deadline deadline) {
    size_t got = std::min(n, Buffered());
    if (got) {
        std::memcpy(dst, m_buffer.get() + m_begin, got);
        m_begin += got;
    }
    while (got < n) {
        const size_t want = n - got;
        if (want >= kDirectRead) {
            // Straight into dst; what follows (the next PDU's header, most likely) comes in the
            // same call into the buffer, so the next Peek needs no call of its own.
            if (m_begin == m_end) m_begin = m_end = 0;
            iovec pieces[2] = {{dst + got, want}, {m_buffer.get() + m_end, std::min(kReadAhead, kBufferSize - m_end)}};
            StreamStatus status = StreamStatus::Ok;
            const ssize_t r = Receive(pieces, pieces[1].iov_len ? 2 : 1, deadline, status);
            if (r < 0) return status;
            const size_t direct = std::min(size_t(r), want);
            got += direct;
            m_end += size_t(r) - direct;
            continue;
        }
        if (StreamStatus s = Fill(deadline, kBufferSize); s != StreamStatus::Ok) return s;
        size_t take = std::min(want, Buffered());
        std::memcpy(dst + got, m_buffer.get() + m_begin, take);
        m_begin += take;
        got += take;
    }
    return StreamStatus::Ok;
}

StreamStatus TcpStream::Peek(size_t n, Deadline deadline, const uint8_t*& data) {
    if (n > kBufferSize) return Fail(StreamStatus::Failed, "read larger than the buffer");
    if (m_begin + n > kBufferSize) {
        std::memmove(m_buffer.get(), m_buffer.get() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    // Reads little more than asked for: a large body behind the header is better read straight
    // to where it goes (Read) than through the buffer.
    while (Buffered() < n)
        if (StreamStatus s = Fill(deadline, std::max(n - Buffered(), kPeekRead)); s != StreamStatus::Ok) return s;
    data = m_buffer.get() + m_begin;
    return StreamStatus::Ok;
}

void TcpStream::Consume(size_t n) { m_begin += std::min(n, Buffered()); }

StreamStatus TcpStream::Write(const iovec* pieces, int count, Deadline deadline) {
    // A local copy of the list, advanced as the kernel takes bytes.
    constexpr int kMax = 64;
    iovec local[kMax];
    while (count > 0) {
        int k = std::min(count, kMax);
        std::memcpy(local, pieces, sizeof(iovec) * size_t(k));
        int first = 0;
        while (first < k) {
            msghdr m{};
            m.msg_iov = local + first;
            m.msg_iovlen = size_t(k - first);
            int flags = MSG_NOSIGNAL;
            if (!m_blocking) flags |= MSG_DONTWAIT;
            else if (!Arm(SO_SNDTIMEO, m_sendArmedMs, deadline)) return Fail(StreamStatus::Timeout, "timed out");
            ssize_t n = sendmsg(m_fd, &m, flags);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK) {
                    if (!m_blocking)
                        if (StreamStatus s = WaitFor(POLLOUT, deadline); s != StreamStatus::Ok) return s;
                    continue;  // blocking: the socket's timeout ran out, the deadline decides
                }
                if (errno == EPIPE || errno == ECONNRESET) return Fail(StreamStatus::Closed, "connection closed by the peer");
                return Fail(StreamStatus::Failed, ErrnoText("send", errno));
            }
            size_t sent = size_t(n);
            while (first < k && sent >= local[first].iov_len) sent -= local[first++].iov_len;
            if (first < k) {
                local[first].iov_base = static_cast<uint8_t*>(local[first].iov_base) + sent;
                local[first].iov_len -= sent;
            }
        }
        pieces += k;
        count -= k;
    }
    m_used = SteadyClock::now();
    return StreamStatus::Ok;
}

StreamStatus TcpStream::Write(const void* data, size_t n, Deadline deadline) {
    iovec v{const_cast<void*>(data), n};
    return Write(&v, 1, deadline);
}

bool TcpStream::PeerClosed() {
    if (m_fd < 0) return true;
    if (Buffered()) return true;  // nothing may arrive between calls
    if (SteadyClock::now() - m_used < kRecentlyUsed) return false;
    pollfd p{m_fd, short(POLLIN | POLLRDHUP), 0};
    int n = poll(&p, 1, 0);
    if (n <= 0) return n < 0;
    return true;  // readable between calls: closed, reset, or a PDU nobody asked for
}

void TcpStream::Shutdown() {
    if (m_fd >= 0) shutdown(m_fd, SHUT_RDWR);
}

uint16_t TcpStream::LocalPort() const {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    return ntohs(a.sin_port);
}

}  // namespace com
