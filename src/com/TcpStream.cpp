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

bool SetNonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

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
    SetNonBlocking(m_fd);
    int one = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // calls are small request/response pairs
}

TcpStream::~TcpStream() {
    if (m_fd >= 0) close(m_fd);
}

std::unique_ptr<TcpStream> TcpStream::Connect(const std::string& host, uint16_t port, uint32_t timeoutMs,
                                              std::string& error) {
    const Deadline deadline = DeadlineIn(timeoutMs);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    if (rc != 0) {
        error = "cannot resolve " + host + ": " + gai_strerror(rc);
        return nullptr;
    }
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> guard(list, freeaddrinfo);
    error = "cannot connect to " + host + " port " + service;
    for (addrinfo* a = list; a; a = a->ai_next) {
        int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            error = ErrnoText("socket", errno);
            continue;
        }
        SetNonBlocking(fd);
        rc = connect(fd, a->ai_addr, a->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int n;
            do n = poll(&p, 1, PollTimeout(deadline));
            while (n < 0 && errno == EINTR);
            if (n == 0) {
                close(fd);
                error = "connecting to " + host + " port " + service + " timed out";
                continue;
            }
            int soError = 0;
            socklen_t len = sizeof soError;
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
            rc = soError == 0 ? 0 : -1;
            errno = soError;
        }
        if (rc != 0) {
            error = "cannot connect to " + host + " port " + service + ": " + std::strerror(errno);
            close(fd);
            continue;
        }
        auto stream = std::unique_ptr<TcpStream>(new (std::nothrow) TcpStream(fd));
        if (!stream || !stream->m_buffer) {
            error = "out of memory";
            return nullptr;
        }
        return stream;
    }
    return nullptr;
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

StreamStatus TcpStream::Fill(Deadline deadline, size_t most) {
    if (!m_buffer) return Fail(StreamStatus::Failed, "out of memory");
    if (m_begin == m_end) m_begin = m_end = 0;
    if (m_end == kBufferSize) {
        std::memmove(m_buffer.get(), m_buffer.get() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    // Right after a write the answer is not there yet: wait first rather than try and fail.
    if (m_wrote && Buffered() == 0)
        if (StreamStatus s = WaitFor(POLLIN, deadline); s != StreamStatus::Ok) return s;
    for (;;) {
        ssize_t n = recv(m_fd, m_buffer.get() + m_end, std::min(most, kBufferSize - m_end), 0);
        if (n > 0) {
            m_end += size_t(n);
            m_wrote = false;
            return StreamStatus::Ok;
        }
        if (n == 0) return Fail(StreamStatus::Closed, "connection closed by the peer");
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return Fail(StreamStatus::Failed, ErrnoText("receive", errno));
        if (StreamStatus s = WaitFor(POLLIN, deadline); s != StreamStatus::Ok) return s;
    }
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
            ssize_t r = readv(m_fd, pieces, pieces[1].iov_len ? 2 : 1);
            if (r > 0) {
                const size_t direct = std::min(size_t(r), want);
                m_wrote = false;
                got += direct;
                m_end += size_t(r) - direct;
                continue;
            }
            if (r == 0) return Fail(StreamStatus::Closed, "connection closed by the peer");
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return Fail(StreamStatus::Failed, ErrnoText("receive", errno));
            if (StreamStatus s = WaitFor(POLLIN, deadline); s != StreamStatus::Ok) return s;
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
            ssize_t n = sendmsg(m_fd, &m, MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK) {
                    if (StreamStatus s = WaitFor(POLLOUT, deadline); s != StreamStatus::Ok) return s;
                    continue;
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
    m_wrote = true;
    return StreamStatus::Ok;
}

StreamStatus TcpStream::Write(const void* data, size_t n, Deadline deadline) {
    iovec v{const_cast<void*>(data), n};
    return Write(&v, 1, deadline);
}

bool TcpStream::PeerClosed() {
    if (m_fd < 0) return true;
    if (Buffered()) return true;  // nothing may arrive between calls
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
