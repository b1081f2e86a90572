// The server end of DCE/RPC over TCP: listening endpoints, one thread per connection up to a
// bound, binds and alter_contexts, request reassembly, dispatch to the endpoint's handler, and
// replies in fragments of the negotiated size. A peer that breaks the protocol is disconnected;
// nothing it sends is allocated before it arrives, and no call's data may exceed a limit.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "com/RpcPdu.h"
#include "com/RpcServerShared.h"
#include "platform/LargeBuffer.h"

namespace com {

struct RpcCall {
    rpc::SyntaxId interface;
    uint16_t opnum = 0;
    bool hasObject = false;
    GUID object;
    uint32_t drep = rpc::kDrepLittleEndian;
    const uint8_t* stub = nullptr;
    size_t stubLength = 0;
    std::string peer;  // "address:port" of the client
};

struct RpcServerReply {
    bool fault = false;
    uint32_t faultStatus = 0;
    uint32_t drep = rpc::kDrepLittleEndian;
    std::vector<uint8_t> bytes;  // the reply's stub data, or
    uint8_t* raw = nullptr;      // a block of platform::TakeBlock, given back by the server
    size_t rawSize = 0;
    size_t rawBlock = 0;         // the size it was taken with

    ~RpcServerReply() { platform::GiveBackBlock(raw, rawBlock); }
    const uint8_t* Data() const { return raw ? raw : bytes.data(); }
    size_t Size() const { return raw ? rawSize : bytes.size(); }
    void Fault(uint32_t status) {
        fault = true;
        faultStatus = status;
    }
};

// What one endpoint serves. Handle runs on the connection's thread; several connections may
// call it at once.
class IRpcHandler {
public:
    virtual bool Serves(const rpc::SyntaxId& interface) = 0;
    virtual void Handle(const RpcCall& call, RpcServerReply& reply) = 0;

protected:
    ~IRpcHandler() = default;
};

// What a connection of the server is about to do: begin serving a connection just accepted, or
// send one reply (all fragments of a response go together).
enum class RpcServerEvent : uint8_t { Accepted, BindAck, BindNak, AlterContextResp, Response, Fault };

// Called on the connection's thread before each event; the answer is how many milliseconds to
// hold the event back (0: none). A hold never delays another connection and ends early when the
// server stops. Several connections may call the hook at once.
using RpcServerHook = std::function<uint32_t(RpcServerEvent)>;

struct RpcServerOptions {
    size_t maxConnections = 16;          // more at once are refused
    uint16_t maxFragment = 65535;        // the largest fragment this side sends or receives
    size_t maxRequest = 16u << 20;       // the largest request stub data accepted
    size_t maxPendingBytes = 64u << 20;  // stub data of all requests still arriving, together
    uint32_t bindTimeoutMs = 5000;        // a new connection that has not bound by then is closed
    uint32_t handshakeTimeoutMs = 30000;  // for a bind's answer's rest, and for a PDU once begun
    uint32_t requestTimeoutMs = 60000;    // for all fragments of one request together
    uint32_t idleTimeoutMs = 600000;      // a bound connection with no call for this long is closed
    // At the limit, the connection with nothing under way for the longest, if that is at least this
    // long, is closed to make room for a new one (a client reconnects on its next call).
    uint32_t quietYieldMs = 2000;
    RpcServerHook hook;                   // none: nothing is held back
};

class RpcServer {
public:
    explicit RpcServer(RpcServerOptions options = {});
    ~RpcServer();
    RpcServer(const RpcServer&) = delete;
    RpcServer& operator=(const RpcServer&) = delete;

    // Listens on address:port (port 0: any free one) for handler; bound gets the port.
    bool Listen(const std::string& address, uint16_t port, IRpcHandler* handler, uint16_t& bound, std::string& error);
    // Accepts and serves until Stop; then ends every connection and returns.
    void Run();
    // From any thread, also from a signal handler.
    void Stop();

    size_t ActiveConnections() const { return m_active.load(); }
    uint64_t RefusedConnections() const { return m_refused.load(); }
    uint64_t YieldedConnections() const { return m_yielded.load(); }
    size_t PendingRequestBytes() const { return m_shared.pendingBytes.load(); }

private:
    struct Listener {
        int fd;
        uint16_t port;
        IRpcHandler* handler;
    };
    struct Connection {
        std::thread thread;
        std::atomic<bool> done{false};
        std::atomic<int> fd{-1};
        ConnectionQuiet quiet;
    };

    void Accept(const Listener& l);
    bool MakeRoom();
    void Reap(bool all);

    RpcServerOptions m_options;
    std::vector<Listener> m_listeners;
    int m_wake[2] = {-1, -1};
    ServerShared m_shared;
    std::mutex m_mutex;
    std::list<std::unique_ptr<Connection>> m_connections;
    std::atomic<size_t> m_active{0};
    std::atomic<uint64_t> m_refused{0};
    std::atomic<size_t> m_yielding{0};  // closed to make room, their threads not yet ended
    std::atomic<uint64_t> m_yielded{0};
};

}  // namespace com
