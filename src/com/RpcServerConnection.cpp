#include "com/RpcServerConnection.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "com/StubAssembler.h"
#include "platform/Trace.h"

namespace com {
namespace {

using namespace rpc;

constexpr size_t kMaxContexts = 64;
// A hold looks at the stop flag at least this often, should no shutdown wake it.
constexpr int kStopCheckMs = 100;

std::string PeerOf(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return "?";
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(a.sin_port));
}

// The transfer syntax a client offers to negotiate optional features at bind time:
// 6CB71C2C-9812-4540-xxxx-000000000000, the features as a bit mask where the x's are.
bool IsFeatureNegotiation(const SyntaxId& s) {
    return s.uuid.Data1 == 0x6CB71C2C && s.uuid.Data2 == 0x9812 && s.uuid.Data3 == 0x4540;
}

// Stub bytes a request holds of the server's common allowance for requests still arriving.
class Charge {
public:
    Charge() = default;
    Charge(Charge&& o) noexcept : m_pool(o.m_pool), m_bytes(std::exchange(o.m_bytes, 0)) {}
    Charge& operator=(Charge&&) = delete;
    ~Charge() { Release(); }
    void Bind(std::atomic<size_t>* pool) { m_pool = pool; }
    bool Take(size_t n, size_t limit) {
        if (m_pool->fetch_add(n) + n > limit) {
            m_pool->fetch_sub(n);
            return false;
        }
        m_bytes += n;
        return true;
    }
    void Release() {
        if (m_bytes) m_pool->fetch_sub(std::exchange(m_bytes, 0));
    }

private:
    std::atomic<size_t>* m_pool = nullptr;
    size_t m_bytes = 0;
};

// A call whose fragments are arriving.
struct Pending {
    uint32_t callId = 0;
    uint16_t contextId = 0;
    uint16_t opnum = 0;
    bool hasObject = false;
    GUID object;
    uint32_t drep = 0;
    std::chrono::steady_clock::time_point began;
    size_t fragments = 0;
    std::optional<SyntaxId> interface;  // none: the context is not bound
    std::unique_ptr<StubAssembler> assembler;
    Charge charge;
};

class Session {
public:
    Session(TcpStream& stream, IRpcHandler* handler, const RpcServerOptions& options, ServerShared& shared,
            ConnectionQuiet& quiet)
        : m_stream(stream), m_handler(handler), m_options(options), m_shared(shared), m_nextGroup(shared.nextGroup),
          m_stopping(shared.stopping), m_quiet(quiet),
          m_peer(PeerOf(stream.Fd())), m_recvLimit(options.maxFragment), m_sendLimit(options.maxFragment) {}

    // One PDU; false when the connection is to end.
    bool Step(const std::atomic<bool>& stopping) {
        // Unbound, a connection may only bind, and soon; a request's fragments have one time
        // for them all, so a stream of empty fragments cannot hold a call open.
        Deadline deadline = DeadlineIn(m_bound ? m_options.idleTimeoutMs : m_options.bindTimeoutMs);
        if (m_pending) deadline = m_pending->began + std::chrono::milliseconds(m_options.requestTimeoutMs);
        // Between calls the place may be given to a new connection; never once something arrived.
        if (!m_pending && !m_quiet.Quiet()) return false;
        const uint8_t* p = nullptr;
        const StreamStatus s = m_stream.Peek(kHeaderSize, deadline, p);
        if (!m_quiet.Busy()) return false;
        if (s != StreamStatus::Ok) {
            if (s == StreamStatus::Timeout)
                Refuse(m_pending ? "a request not complete within " + std::to_string(m_options.requestTimeoutMs) + " ms"
                       : !m_bound ? "no bind within " + std::to_string(m_options.bindTimeoutMs) + " ms"
                                  : "idle for " + std::to_string(m_options.idleTimeoutMs) + " ms");
            return false;
        }
        if (stopping) return false;
        PduHeader h;
        if (PduError e = DecodeHeader(p, kHeaderSize, h); e != PduError::None) {
            if (e == PduError::BadVersion && !m_bound) SendNak(0, kNakProtocolVersionNotSupported);
            if (e == PduError::UnsupportedDataRep) {
                if (!m_bound && h.type == PduType::Bind) SendNak(h.callId, kNakUserDataNotReadable);
                return Refuse(std::string("the client's ") + PduErrorText(e));
            }
            return Refuse(std::string("malformed PDU: ") + PduErrorText(e));
        }
        if (h.fragLength > m_recvLimit)
            return Refuse("a fragment of " + std::to_string(h.fragLength) + " bytes, longer than the " +
                          std::to_string(m_recvLimit) + " negotiated");
        // The PDU has begun: the rest must follow promptly.
        if (m_stream.Peek(h.fragLength, DeadlineIn(m_options.handshakeTimeoutMs), p) != StreamStatus::Ok) return false;
        bool keep;
        switch (h.type) {
        case PduType::Bind:
        case PduType::AlterContext: keep = Negotiate(h, p); break;
        case PduType::Request: keep = Request(h, p); break;
        case PduType::CoCancel: keep = true; break;  // calls here are not cancelled midway
        case PduType::Orphaned:
            m_pending.reset();
            keep = true;
            break;
        default: keep = Refuse("unexpected PDU type " + std::to_string(int(h.type))); break;
        }
        m_stream.Consume(h.fragLength);
        return keep;
    }

private:
    bool Refuse(const std::string& why) {
        platform::TraceF("rpc server: %s: %s; closing the connection\n", m_peer.c_str(), why.c_str());
        return false;
    }

    // What the hook asks before a reply goes out; false when the connection ended meanwhile.
    bool Hold(RpcServerEvent event) {
        if (!m_options.hook) return true;
        const uint32_t ms = m_options.hook(event);
        return ms == 0 || HoldConnection(m_stream.Fd(), ms, m_stopping);
    }

    bool Send(const std::vector<uint8_t>& pdu, RpcServerEvent event) {
        if (!Hold(event)) return false;
        return m_stream.Write(pdu.data(), pdu.size(), DeadlineIn(m_options.handshakeTimeoutMs)) == StreamStatus::Ok;
    }

    void SendNak(uint32_t callId, uint16_t reason) {
        std::vector<uint8_t> pdu;
        EncodeBindNak(callId, BindNakBody{reason, {{5, 0}, {5, 1}}}, pdu);
        Send(pdu, RpcServerEvent::BindNak);
    }

    // `didNotExecute`: nothing of the call ran, so the client may safely send it again.
    bool SendFault(uint32_t callId, uint16_t contextId, uint32_t status, bool didNotExecute = false) {
        std::vector<uint8_t> pdu;
        EncodeFault(callId, contextId, status, didNotExecute, pdu);
        return Send(pdu, RpcServerEvent::Fault);
    }

    const SyntaxId* FindContext(uint16_t id) const {
        for (const auto& [cid, syntax] : m_contexts)
            if (cid == id) return &syntax;
        return nullptr;
    }

    bool Negotiate(const PduHeader& h, const uint8_t* p) {
        const bool isBind = h.type == PduType::Bind;
        if (isBind == m_bound) return Refuse(isBind ? "a second bind" : "alter_context before bind");
        if (h.authLength != 0) {
            if (isBind) SendNak(h.callId, kNakAuthenticationTypeNotRecognized);
            return Refuse("an authenticated bind (only unauthenticated calls are served)");
        }
        BindBody b;
        if (PduError e = DecodeBind(p, h, b); e != PduError::None) {
            if (isBind) SendNak(h.callId, kNakNotSpecified);
            return Refuse(std::string("malformed bind: ") + PduErrorText(e));
        }
        if (isBind) {
            if (b.maxXmitFrag < kMustRecvFragment || b.maxRecvFrag < kMustRecvFragment) {
                SendNak(h.callId, kNakNotSpecified);
                return Refuse("fragment sizes below the minimum");
            }
            m_recvLimit = std::min(b.maxXmitFrag, m_options.maxFragment);
            m_sendLimit = std::min(b.maxRecvFrag, m_options.maxFragment);
            m_group = b.assocGroup ? b.assocGroup : m_nextGroup.fetch_add(1);
        }
        BindAckBody ack;
        ack.maxXmitFrag = m_sendLimit;
        ack.maxRecvFrag = m_recvLimit;
        ack.assocGroup = m_group;
        if (isBind) ack.secondaryAddress = std::to_string(m_stream.LocalPort());
        for (const ContextElement& e : b.contexts) {
            ContextResult r;
            r.result = kResultProviderRejection;
            const SyntaxId* existing = FindContext(e.contextId);
            const bool ndr = std::find(e.transferSyntaxes.begin(), e.transferSyntaxes.end(), kNdrSyntax) !=
                             e.transferSyntaxes.end();
            const bool features = std::any_of(e.transferSyntaxes.begin(), e.transferSyntaxes.end(), IsFeatureNegotiation);
            if (features && !ndr) {
                // Bind-time feature negotiation: acknowledged, with none of the optional features
                // (security context multiplexing, keeping orphaned calls) offered.
                r.result = kResultNegotiateAck;
                r.reason = 0;
            } else if (existing && !(*existing == e.abstractSyntax)) {
                r.reason = kReasonNotSpecified;  // a context id keeps its interface
            } else if (!m_handler->Serves(e.abstractSyntax)) {
                r.reason = kReasonAbstractSyntaxNotSupported;
            } else if (!ndr) {
                r.reason = kReasonTransferSyntaxesNotSupported;
            } else if (!existing && m_contexts.size() >= kMaxContexts) {
                r.reason = kReasonLocalLimitExceeded;
            } else {
                r.result = kResultAcceptance;
                r.transferSyntax = kNdrSyntax;
                if (!existing) m_contexts.emplace_back(e.contextId, e.abstractSyntax);
            }
            ack.results.push_back(r);
        }
        std::vector<uint8_t> pdu;
        EncodeBindAck(isBind ? PduType::BindAck : PduType::AlterContextResp, h.callId, ack, pdu);
        m_bound = true;
        return Send(pdu, isBind ? RpcServerEvent::BindAck : RpcServerEvent::AlterContextResp);
    }

    bool Request(const PduHeader& h, const uint8_t* p) {
        if (!m_bound) return Refuse("a request before bind");
        RequestBody rb;
        if (PduError e = DecodeRequest(p, h, rb); e != PduError::None)
            return Refuse(std::string("malformed request: ") + PduErrorText(e));
        if (h.flags & PFC_FIRST_FRAG) {
            if (m_pending) return Refuse("a new call before the last one was complete");
            m_pending.emplace();
            Pending& c = *m_pending;
            c.callId = h.callId;
            c.contextId = rb.contextId;
            c.opnum = rb.opnum;
            c.hasObject = rb.hasObject;
            c.object = rb.object;
            c.drep = h.drep;
            if (const SyntaxId* s = FindContext(rb.contextId)) c.interface = *s;
            c.charge.Bind(&m_shared.pendingBytes);
            c.assembler = std::make_unique<StubAssembler>(m_options.maxRequest, h.drep, nullptr, nullptr);
            c.began = std::chrono::steady_clock::now();
        } else if (!m_pending || m_pending->callId != h.callId || m_pending->drep != h.drep) {
            return Refuse("a fragment of a call that was not begun");
        }
        Pending& c = *m_pending;
        // Fragments as small as a peer may make them fill the largest request; more are a flood.
        const size_t maxFragments = m_options.maxRequest / 8 + 1;
        if (++c.fragments > maxFragments) {
            SendFault(c.callId, c.contextId, nca_s_fault_remote_no_memory, true);
            return Refuse("a request of more than " + std::to_string(maxFragments) + " fragments");
        }
        if (!c.charge.Take(rb.stubLength, m_options.maxPendingBytes)) {
            SendFault(c.callId, c.contextId, nca_s_fault_remote_no_memory, true);
            return Refuse("requests still arriving would hold more than " + std::to_string(m_options.maxPendingBytes) +
                          " bytes together");
        }
        if (c.assembler->Append(p + rb.stubOffset, rb.stubLength) != StubAssembler::Status::Ok) {
            SendFault(c.callId, c.contextId, nca_s_fault_remote_no_memory, true);
            return Refuse("a request larger than " + std::to_string(m_options.maxRequest) + " bytes");
        }
        if (!(h.flags & PFC_LAST_FRAG)) return true;

        Pending call = std::move(*m_pending);
        m_pending.reset();
        if (!call.interface) return SendFault(call.callId, call.contextId, nca_s_fault_context_mismatch, true);
        RpcCall rc;
        rc.interface = *call.interface;
        rc.opnum = call.opnum;
        rc.hasObject = call.hasObject;
        rc.object = call.object;
        rc.drep = call.drep;
        rc.stub = call.assembler->Data();
        rc.stubLength = call.assembler->Size();
        rc.peer = m_peer;
        RpcServerReply reply;
        m_handler->Handle(rc, reply);
        call.assembler.reset();
        call.charge.Release();
        if (reply.fault)
            return SendFault(call.callId, call.contextId, reply.faultStatus, reply.faultStatus == nca_s_op_rng_error);
        if (reply.drep != kDrepLittleEndian) return SendFault(call.callId, call.contextId, nca_s_fault_ndr);
        return SendResponse(call.callId, call.contextId, reply.Data(), reply.Size());
    }

    bool SendResponse(uint32_t callId, uint16_t contextId, const uint8_t* data, size_t size) {
        if (!Hold(RpcServerEvent::Response)) return false;
        const size_t capacity = FragmentStubCapacity(m_sendLimit, kResponseHeaderSize);
        const size_t fragments = size == 0 ? 1 : (size + capacity - 1) / capacity;
        constexpr size_t kBatch = 32;
        uint8_t headers[kBatch][kResponseHeaderSize];
        iovec pieces[2 * kBatch];
        size_t offset = 0;
        const Deadline deadline = DeadlineIn(std::max<uint32_t>(m_options.handshakeTimeoutMs, 120000));
        for (size_t first = 0; first < fragments; first += kBatch) {
            const size_t n = std::min(kBatch, fragments - first);
            for (size_t i = 0; i < n; ++i) {
                const size_t index = first + i;
                const size_t length = std::min(capacity, size - offset);
                uint8_t flags = 0;
                if (index == 0) flags |= PFC_FIRST_FRAG;
                if (index + 1 == fragments) flags |= PFC_LAST_FRAG;
                EncodeResponseHeader(headers[i], flags, uint16_t(kResponseHeaderSize + length), callId,
                                     uint32_t(size - offset), contextId);
                pieces[2 * i] = {headers[i], kResponseHeaderSize};
                pieces[2 * i + 1] = {const_cast<uint8_t*>(data + offset), length};
                offset += length;
            }
            if (m_stream.Write(pieces, int(2 * n), deadline) != StreamStatus::Ok) return false;
        }
        return true;
    }

    TcpStream& m_stream;
    IRpcHandler* m_handler;
    const RpcServerOptions& m_options;
    ServerShared& m_shared;
    std::atomic<uint32_t>& m_nextGroup;
    const std::atomic<bool>& m_stopping;
    ConnectionQuiet& m_quiet;
    std::string m_peer;
    bool m_bound = false;
    uint16_t m_recvLimit;
    uint16_t m_sendLimit;
    uint32_t m_group = 0;
    std::vector<std::pair<uint16_t, SyntaxId>> m_contexts;
    std::optional<Pending> m_pending;
};

}  // namespace

bool HoldConnection(int fd, uint32_t ms, const std::atomic<bool>& stopping) {
    const Deadline end = DeadlineIn(ms);
    for (;;) {
        if (stopping) return false;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - SteadyClock::now()).count();
        if (left <= 0) return true;
        // No events asked for: poll reports only a hang-up or an error, as a shutdown causes.
        pollfd p{fd, 0, 0};
        if (poll(&p, 1, int(std::min<long long>(left, kStopCheckMs))) > 0) return false;
    }
}

void ServeConnection(TcpStream& stream, IRpcHandler* handler, const RpcServerOptions& options, ServerShared& shared,
                     ConnectionQuiet& quiet) {
    Session session(stream, handler, options, shared, quiet);
    while (!shared.stopping && session.Step(shared.stopping)) {
    }
}

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now().time_since_epoch()).count();
}

}  // namespace

bool ConnectionQuiet::Quiet() {
    int64_t v = m_since.load();
    do {
        if (v == kEvicted) return false;
        if (v >= 0) return true;  // quiet already, since then
    } while (!m_since.compare_exchange_weak(v, NowMs()));
    return true;
}

bool ConnectionQuiet::Busy() {
    int64_t v = m_since.load();
    do {
        if (v == kEvicted) return false;
    } while (!m_since.compare_exchange_weak(v, kBusy));
    return true;
}

int64_t ConnectionQuiet::QuietFor() const {
    const int64_t v = m_since.load();
    return v < 0 ? -1 : NowMs() - v;
}

bool ConnectionQuiet::Evict(int64_t ms) {
    int64_t v = m_since.load();
    return v >= 0 && NowMs() - v >= ms && m_since.compare_exchange_strong(v, kEvicted);
}

}  // namespace com
