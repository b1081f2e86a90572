// The client end of one DCE/RPC association over TCP: the connection, its negotiated fragment
// sizes, the presentation contexts bound on it, and one call at a time with fragmentation and
// reassembly. Connecting and binding share one budget (QOB_CONNECT_TIMEOUT_MS); a call's reply
// has the call timeout. A broken connection is re-established before the next call; a call that
// breaks fails and is never repeated. An association on a link stops at the link's first
// transport failure: every later call fails at once.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "com/HResult.h"
#include "com/Link.h"
#include "com/RpcMessage.h"
#include "com/RpcPdu.h"
#include "com/StubAssembler.h"
#include "com/TcpStream.h"

namespace com {

struct RpcRequest {
    rpc::SyntaxId interface;
    uint16_t opnum = 0;
    const GUID* object = nullptr;  // the IPID of an ORPC call
    const uint8_t* stub = nullptr;
    size_t stubLength = 0;
    // For a reply: its prefix (the ORPC header) and where one out array may land.
    PrefixLengthFn replyPrefix = nullptr;
    ReplyPlacement* placement = nullptr;
};

struct RpcReply {
    uint8_t* data = nullptr;  // malloc'ed stub data (placed elements left out); free() it
    size_t size = 0;
    size_t prefix = 0;        // length of the reply's prefix, when one was asked for and placement decided it
    uint32_t drep = 0;
    bool fault = false;
    uint32_t faultStatus = 0;
};

// Reply bytes this process received straight into callers' buffers (diagnostics and tests).
uint64_t BytesPlacedDirectly();

class Association final : private SocketWatch {
public:
    // host and port of the endpoint; nothing is connected until the first call.
    Association(std::string host, uint16_t port, LinkPtr link = nullptr);
    // Several endpoints of one server: the first connection goes to the first that accepts
    // (TcpStream::ConnectFirst), which is the association's endpoint from then on.
    Association(std::vector<HostPort> endpoints, LinkPtr link);
    ~Association();
    Association(const Association&) = delete;
    Association& operator=(const Association&) = delete;

    // One call. S_OK with the reply (which may be a fault); any other result is a transport
    // failure, with the thread's RPC error text set.
    HRESULT Call(const RpcRequest& request, RpcReply& reply);

    // Closes the connection (the next call reconnects).
    void Close();
    // From any thread: shuts down the connection and any connect in progress, so a call waiting
    // on it fails at once. Without a link the next call connects again.
    void Abort();

    // Whether the last call failed because the server refused the bind with a bind_nak for a
    // reason other than being busy.
    bool BindRefused() const { return m_refused; }

    // "host port N" of the endpoint in use (the first one until a connection was made).
    std::string Endpoint() const;
    // The fragment sizes negotiated on the current connection (0 before the first bind).
    uint16_t SendFragment() const { return m_sendFrag; }
    uint16_t ReceiveFragment() const { return m_recvFrag; }

private:
    HRESULT CallOnce(const RpcRequest& request, RpcReply& reply);
    HRESULT EnsureConnected(Deadline deadline);
    HRESULT EnsureContext(const rpc::SyntaxId& interface, uint16_t& contextId, Deadline deadline);
    HRESULT SendRequest(uint32_t callId, uint16_t contextId, const RpcRequest& request, Deadline deadline);
    HRESULT ReceiveReply(uint32_t callId, const RpcRequest& request, RpcReply& reply, Deadline deadline);
    // `silence`: what a timeout says ("no answer within ... ms").
    HRESULT ReadPdu(rpc::PduHeader& h, size_t peekLength, const uint8_t*& data, Deadline deadline,
                    const std::string& silence);
    HRESULT Broken(HRESULT hr, const std::string& what);  // closes, sets the error text
    bool Opened(int fd) override;
    void Closing(int fd) override;

    std::vector<HostPort> m_endpoints;  // one once a connection was made
    std::string m_host;                 // the endpoint in use
    uint16_t m_port;
    const LinkPtr m_link;
    std::mutex m_mutex;                 // one call at a time
    mutable std::mutex m_streamMutex;   // m_stream, m_connecting, m_aborts and the endpoint, for Abort
    std::unique_ptr<TcpStream> m_stream;
    std::vector<int> m_connecting;      // sockets of a connect in progress
    uint64_t m_aborts = 0;              // Abort calls so far
    uint32_t m_nextCallId = 1;
    bool m_busy = false;  // the last bind was refused by a server at its limit
    bool m_refused = false;  // the last bind was refused otherwise
    uint32_t m_assocGroup = 0;
    uint16_t m_sendFrag = 0;
    uint16_t m_recvFrag = 0;
    struct Context {
        rpc::SyntaxId interface;
        uint16_t id;
    };
    std::vector<Context> m_contexts;
};

}  // namespace com
