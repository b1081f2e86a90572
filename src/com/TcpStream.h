// One TCP connection with a receive buffer and deadlines: every wait ends at a deadline, every
// failure is a text. Large reads bypass the buffer and land directly where the caller wants them.
#pragma once

#include <sys/uio.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace com {

using SteadyClock = std::chrono::steady_clock;
using Deadline = SteadyClock::time_point;

inline Deadline DeadlineIn(uint32_t ms) { return SteadyClock::now() + std::chrono::milliseconds(ms); }
// No deadline: waits until the peer or a shutdown ends it.
constexpr Deadline kNoDeadline = Deadline::max();

enum class StreamStatus : uint8_t { Ok, Timeout, Closed, Failed };

// A host (dotted IPv4 or a name) and a port.
using HostPort = std::pair<std::string, uint16_t>;

// Told of every socket a connect opens and closes, so another thread can shut them down while
// they connect.
class SocketWatch {
public:
    // False: the connect is to be given up (the socket is closed at once).
    virtual bool Opened(int fd) = 0;
    virtual void Closing(int fd) = 0;

protected:
    ~SocketWatch() = default;
};

// How long a connect waits for an endpoint's answer before it starts on the next one as well.
constexpr uint32_t kConnectStaggerMs = 250;

class TcpStream {
public:
    explicit TcpStream(int fd);  // adopts a connected socket
    ~TcpStream();
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;

    // Connects to host (dotted IPv4 or a name) and port within timeoutMs. Null with a text.
    static std::unique_ptr<TcpStream> Connect(const std::string& host, uint16_t port, uint32_t timeoutMs,
                                              std::string& error);
    // Connects to one of the endpoints before the deadline: they are started in order, each
    // when the ones before failed or kept silent for kConnectStaggerMs, and all started ones are
    // waited on at once; the first to accept wins (*chosen: its index). So earlier endpoints are
    // preferred, and unreachable ones share one budget instead of taking one each. Null with a
    // text naming every endpoint and what it did.
    static std::unique_ptr<TcpStream> ConnectFirst(const std::vector<HostPort>& endpoints, Deadline deadline,
                                                   std::string& error, size_t* chosen = nullptr,
                                                   SocketWatch* watch = nullptr);

    // Exactly n bytes into dst.
    StreamStatus Read(uint8_t* dst, size_t n, Deadline deadline);
    // Makes at least n bytes available in the buffer without consuming them (n <= kBufferSize).
    StreamStatus Peek(size_t n, Deadline deadline, const uint8_t*& data);
    void Consume(size_t n);
    size_t Buffered() const { return m_end - m_begin; }
    // Every byte of every piece, in order.
    StreamStatus Write(const iovec* pieces, int count, Deadline deadline);
    StreamStatus Write(const void* data, size_t n, Deadline deadline);

    // True when the peer has closed or reset the connection (checked without blocking).
    bool PeerClosed();
    // Unblocks a reader or writer on another thread; the stream fails from then on.
    void Shutdown();

    // The text of the last failure ("connection closed by the peer", "timed out", an errno text).
    const std::string& Error() const { return m_error; }
    int Fd() const { return m_fd; }
    uint16_t LocalPort() const;

    static constexpr size_t kBufferSize = 128 * 1024;

private:
    // Reads what is there (at least one byte, at most `most`) into the buffer.
    StreamStatus Fill(Deadline deadline, size_t most);
    StreamStatus WaitFor(short events, Deadline deadline);
    StreamStatus Fail(StreamStatus s, const std::string& text);
    // One receive into the pieces, waiting until the deadline; the bytes, or -1 with `status`.
    ssize_t Receive(iovec* pieces, int count, Deadline deadline, StreamStatus& status);
    // Sets the socket's timeout `option` for a wait until the deadline; false when it has passed.
    bool Arm(int option, uint32_t& armedMs, Deadline deadline);

    int m_fd;
    std::unique_ptr<uint8_t[]> m_buffer;
    size_t m_begin = 0;
    size_t m_end = 0;
    bool m_blocking = true;  // waits happen in the kernel's receive and send, not in poll
    uint32_t m_recvArmedMs = 0;  // the socket's timeouts now (0: none)
    uint32_t m_sendArmedMs = 0;
    Deadline m_used{};     // the last byte read or written
    std::string m_error;
};

const char* StreamStatusText(StreamStatus s);

}  // namespace com
