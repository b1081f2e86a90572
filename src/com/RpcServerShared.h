// What the accepting thread of an RPC server and its connections' threads share.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace com {

// What every connection of one server shares.
struct ServerShared {
    std::atomic<uint32_t> nextGroup{0x1000};
    std::atomic<bool> stopping{false};
    std::atomic<size_t> pendingBytes{0};  // stub bytes of all requests still arriving
};

// Whether a connection has anything under way, so that the accepting thread may give the place
// of one that has long had nothing to a new connection.
class ConnectionQuiet {
public:
    static constexpr int64_t kBusy = -1, kEvicted = -2;

    ConnectionQuiet() { Quiet(); }
    // Nothing under way from now on; false once the place was given away.
    bool Quiet();
    // Something arrived; false once the place was given away (it is then not handled).
    bool Busy();
    // Milliseconds with nothing under way; -1 when something is.
    int64_t QuietFor() const;
    // The accepting thread: gives the place away if the connection is still quiet for at least `ms`.
    bool Evict(int64_t ms);
    bool Evicted() const { return m_since.load() == kEvicted; }

private:
    std::atomic<int64_t> m_since{kBusy};  // steady-clock milliseconds, or kBusy / kEvicted
};

}  // namespace com
