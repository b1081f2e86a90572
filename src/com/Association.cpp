#include "com/Association.h"

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "com/RpcError.h"
#include "com/RpcSettings.h"

namespace com {

namespace {

using namespace rpc;

std::string EndpointText(const std::string& host, uint16_t port) { return host + " port " + std::to_string(port); }

std::atomic<uint64_t> g_placed{0};

}  // namespace

uint64_t BytesPlacedDirectly() { return g_placed.load(); }

Association::Association(std::string host, uint16_t port, LinkPtr link)
    : Association(std::vector<HostPort>{{std::move(host), port}}, std::move(link)) {}

Association::Association(std::vector<HostPort> endpoints, LinkPtr link)
    : m_endpoints(std::move(endpoints)), m_port(0), m_link(std::move(link)) {
    if (!m_endpoints.empty()) {
        m_host = m_endpoints.front().first;
        m_port = m_endpoints.front().second;
    }
    if (m_link) m_link->Attach(this);
}

Association::~Association() {
    if (m_link) m_link->Detach(this);
    Close();
}

std::string Association::Endpoint() const {
    std::lock_guard lock(m_streamMutex);
    return EndpointText(m_host, m_port);
}

void Association::Close() {
    std::lock_guard lock(m_streamMutex);
    m_stream.reset();
    m_contexts.clear();
    m_sendFrag = m_recvFrag = 0;
}

void Association::Abort() {
    std::lock_guard lock(m_streamMutex);
    ++m_aborts;
    if (m_stream) m_stream->Shutdown();
    for (int fd : m_connecting) shutdown(fd, SHUT_RDWR);
}

bool Association::Opened(int fd) {
    std::lock_guard lock(m_streamMutex);
    if (m_link && m_link->Aborted()) return false;
    m_connecting.push_back(fd);
    return true;
}

void Association::Closing(int fd) {
    std::lock_guard lock(m_streamMutex);
    m_connecting.erase(std::remove(m_connecting.begin(), m_connecting.end(), fd), m_connecting.end());
}

HRESULT Association::Broken(HRESULT hr, const std::string& what) {
    SetLastRpcErrorText(EndpointText(m_host, m_port) + ": " + what);
    Close();
    return hr;
}

HRESULT Association::EnsureConnected(Deadline deadline) {
    if (m_stream && !m_stream->PeerClosed()) return S_OK;
    Close();
    uint64_t aborts;
    {
        std::lock_guard lock(m_streamMutex);
        aborts = m_aborts;
    }
    std::string error;
    size_t chosen = 0;
    std::unique_ptr<TcpStream> stream = TcpStream::ConnectFirst(m_endpoints, deadline, error, &chosen, this);
    if (!stream) {
        SetLastRpcErrorText(error);
        return RPC_S_SERVER_UNAVAILABLE;
    }
    std::lock_guard lock(m_streamMutex);
    // An Abort between the connect and here found no socket to shut down: it holds all the same.
    if (m_aborts != aborts || (m_link && m_link->Aborted())) {
        SetLastRpcErrorText(EndpointText(m_endpoints[chosen].first, m_endpoints[chosen].second) +
                            ": the connection was abandoned");
        return RPC_S_CALL_FAILED;
    }
    m_stream = std::move(stream);
    if (m_endpoints.size() > 1) m_endpoints = {m_endpoints[chosen]};
    m_host = m_endpoints.front().first;
    m_port = m_endpoints.front().second;
    return S_OK;
}

HRESULT Association::ReadPdu(PduHeader& h, size_t peekLength, const uint8_t*& data, Deadline deadline,
                             const std::string& silence) {
    const uint8_t* p = nullptr;
    StreamStatus s = m_stream->Peek(kHeaderSize, deadline, p);
    if (s == StreamStatus::Timeout && m_stream->Buffered() > 0)
        return Broken(RPC_S_CALL_FAILED, "a PDU was cut short: " + std::to_string(m_stream->Buffered()) + " of its " +
                                             std::to_string(kHeaderSize) + " header bytes arrived, then nothing (" +
                                             silence + ")");
    if (s != StreamStatus::Ok) return Broken(RPC_S_CALL_FAILED, s == StreamStatus::Timeout ? silence : m_stream->Error());
    if (PduError e = DecodeHeader(p, kHeaderSize, h); e != PduError::None)
        return Broken(RPC_S_PROTOCOL_ERROR, std::string(e == PduError::UnsupportedDataRep ? "the server's " : "malformed PDU from the server: ") +
                                                PduErrorText(e));
    const uint16_t limit = m_recvFrag ? m_recvFrag : MaxFragment();
    if (h.fragLength > limit)
        return Broken(RPC_S_PROTOCOL_ERROR, "the server sent a fragment of " + std::to_string(h.fragLength) +
                                                " bytes, longer than the " + std::to_string(limit) + " negotiated");
    s = m_stream->Peek(std::min<size_t>(peekLength, h.fragLength), deadline, data);
    if (s == StreamStatus::Timeout)
        return Broken(RPC_S_CALL_FAILED, "a PDU of " + std::to_string(h.fragLength) + " bytes was cut short: " +
                                             std::to_string(m_stream->Buffered()) + " arrived, then nothing (" + silence + ")");
    if (s != StreamStatus::Ok) return Broken(RPC_S_CALL_FAILED, m_stream->Error());
    return S_OK;
}

HRESULT Association::EnsureContext(const SyntaxId& interface, uint16_t& contextId, Deadline deadline) {
    for (const Context& c : m_contexts)
        if (c.interface == interface) {
            contextId = c.id;
            return S_OK;
        }
    const bool first = m_sendFrag == 0;
    const uint16_t id = uint16_t(m_contexts.size());
    BindBody bind;
    bind.maxXmitFrag = bind.maxRecvFrag = MaxFragment();
    bind.assocGroup = m_assocGroup;
    bind.contexts.push_back({id, interface, {kNdrSyntax}});
    const uint32_t callId = m_nextCallId++;
    std::vector<uint8_t> pdu;
    EncodeBind(first ? PduType::Bind : PduType::AlterContext, callId, bind, pdu);
    if (m_stream->Write(pdu.data(), pdu.size(), deadline) != StreamStatus::Ok)
        return Broken(RPC_S_CALL_FAILED, m_stream->Error());

    PduHeader h;
    const uint8_t* data;
    const std::string silence = "no answer to the bind within " + std::to_string(std::min(ConnectTimeoutMs(), CallTimeoutMs())) + " ms";
    if (HRESULT hr = ReadPdu(h, 65535, data, deadline, silence); FAILED(hr)) return hr;
    // A server at its limit refuses before it has read the bind, so its bind_nak names no call.
    if (h.type == PduType::BindNak) {
        BindNakBody nak;
        DecodeBindNak(data, h, nak);
        m_busy = nak.reason == kNakTemporaryCongestion;
        m_refused = !m_busy;
        return Broken(m_busy ? RPC_S_SERVER_TOO_BUSY : RPC_S_PROTOCOL_ERROR,
                      std::string("the server refused the bind: ") + BindNakReasonText(nak.reason) + " (reason " +
                          std::to_string(nak.reason) + ")");
    }
    if (h.callId != callId) return Broken(RPC_S_PROTOCOL_ERROR, "the server answered the bind with another call id");
    const PduType expected = first ? PduType::BindAck : PduType::AlterContextResp;
    if (h.type == PduType::Fault) {
        FaultBody fault;
        const PduError e = DecodeFault(data, h, fault);
        return Broken(e == PduError::None ? FaultStatusToHResult(fault.status) : RPC_S_PROTOCOL_ERROR,
                      "the server refused the presentation context");
    }
    if (h.type != expected) return Broken(RPC_S_PROTOCOL_ERROR, "unexpected PDU type " + std::to_string(int(h.type)) + " in answer to a bind");
    BindAckBody ack;
    if (PduError e = DecodeBindAck(data, h, ack); e != PduError::None)
        return Broken(RPC_S_PROTOCOL_ERROR, std::string("malformed bind answer: ") + PduErrorText(e));
    m_stream->Consume(h.fragLength);
    if (ack.results.size() != 1) return Broken(RPC_S_PROTOCOL_ERROR, "the bind answer holds no single result");
    if (first) {
        if (ack.maxXmitFrag < kMustRecvFragment || ack.maxRecvFrag < kMustRecvFragment ||
            ack.maxXmitFrag > bind.maxRecvFrag)
            return Broken(RPC_S_PROTOCOL_ERROR, "the server proposed fragment sizes " + std::to_string(ack.maxXmitFrag) +
                                                    "/" + std::to_string(ack.maxRecvFrag) + " outside the allowed range");
        m_sendFrag = std::min(ack.maxRecvFrag, bind.maxXmitFrag);
        m_recvFrag = ack.maxXmitFrag;
        m_assocGroup = ack.assocGroup;
    }
    const ContextResult& r = ack.results[0];
    if (r.result != kResultAcceptance || !(r.transferSyntax == kNdrSyntax)) {
        // The connection stays usable for the contexts it has; this interface is not served.
        SetLastRpcErrorText(EndpointText(m_host, m_port) + ": the server does not serve interface " +
                            GuidToString(interface.uuid));
        return RPC_S_UNKNOWN_IF;
    }
    m_contexts.push_back({interface, id});
    contextId = id;
    return S_OK;
}

HRESULT Association::SendRequest(uint32_t callId, uint16_t contextId, const RpcRequest& request, Deadline deadline) {
    const size_t headerSize = request.object ? kRequestObjectHeaderSize : kRequestHeaderSize;
    const size_t capacity = FragmentStubCapacity(m_sendFrag, headerSize);
    const size_t total = request.stubLength;
    const size_t fragments = total == 0 ? 1 : (total + capacity - 1) / capacity;
    // Headers and stub pieces go out together, a batch of fragments per system call.
    constexpr size_t kBatch = 32;
    uint8_t headers[kBatch][kRequestObjectHeaderSize];
    iovec pieces[2 * kBatch];
    size_t offset = 0;
    for (size_t first = 0; first < fragments; first += kBatch) {
        const size_t n = std::min(kBatch, fragments - first);
        for (size_t i = 0; i < n; ++i) {
            const size_t index = first + i;
            const size_t length = std::min(capacity, total - offset);
            uint8_t flags = 0;
            if (index == 0) flags |= PFC_FIRST_FRAG;
            if (index + 1 == fragments) flags |= PFC_LAST_FRAG;
            EncodeRequestHeader(headers[i], flags, uint16_t(headerSize + length), callId, uint32_t(total - offset),
                                contextId, request.opnum, request.object);
            pieces[2 * i] = {headers[i], headerSize};
            pieces[2 * i + 1] = {const_cast<uint8_t*>(request.stub + offset), length};
            offset += length;
        }
        if (m_stream->Write(pieces, int(2 * n), deadline) != StreamStatus::Ok)
            return Broken(RPC_S_CALL_FAILED, m_stream->Error());
    }
    return S_OK;
}

HRESULT Association::ReceiveReply(uint32_t callId, const RpcRequest& request, RpcReply& reply, Deadline deadline) {
    std::unique_ptr<StubAssembler> assembler;
    const std::string silence = "no answer within " + std::to_string(CallTimeoutMs()) + " ms";
    for (bool first = true;; first = false) {
        PduHeader h;
        const uint8_t* data;
        // After the first fragment the reply is under way: a peer that keeps it coming without
        // end runs out of time with part of it here.
        const std::string late = first ? silence
                                       : "the reply did not end within " + std::to_string(CallTimeoutMs()) + " ms: " +
                                             std::to_string(assembler->Size()) + " bytes of it arrived";
        if (HRESULT hr = ReadPdu(h, kFaultSize, data, deadline, late); FAILED(hr)) return hr;
        if (h.callId != callId)
            return Broken(RPC_S_PROTOCOL_ERROR, "the server answered call " + std::to_string(h.callId) +
                                                    " while call " + std::to_string(callId) + " was waiting");
        if (h.type == PduType::Fault) {
            if (h.fragLength < kFaultSize) return Broken(RPC_S_PROTOCOL_ERROR, "a fault PDU too short to read");
            FaultBody fault;
            DecodeFault(data, h, fault);
            const uint8_t* whole;
            if (HRESULT hr = ReadPdu(h, h.fragLength, whole, deadline, silence); FAILED(hr)) return hr;
            m_stream->Consume(h.fragLength);
            reply.fault = true;
            reply.faultStatus = fault.status;
            return S_OK;
        }
        if (h.type != PduType::Response)
            return Broken(RPC_S_PROTOCOL_ERROR, "unexpected PDU type " + std::to_string(int(h.type)) + " in a reply");
        if (h.fragLength < kResponseHeaderSize) return Broken(RPC_S_PROTOCOL_ERROR, "a response PDU too short to read");
        if (h.authLength != 0) return Broken(RPC_S_PROTOCOL_ERROR, "an authenticated response on an unauthenticated call");
        if (first != ((h.flags & PFC_FIRST_FRAG) != 0))
            return Broken(RPC_S_PROTOCOL_ERROR, "the reply's fragments are out of order");
        if (first) {
            reply.drep = h.drep;
            assembler = std::make_unique<StubAssembler>(kMaxStubData, h.drep, request.replyPrefix, request.placement);
        } else if (h.drep != reply.drep) {
            return Broken(RPC_S_PROTOCOL_ERROR, "the reply's fragments change their data representation");
        }
        m_stream->Consume(kResponseHeaderSize);
        size_t left = h.fragLength - kResponseHeaderSize;
        while (left > 0) {
            uint8_t* span;
            size_t length;
            StubAssembler::Status s = assembler->NextSpan(left, span, length);
            if (s != StubAssembler::Status::Ok) return Broken(RPC_S_PROTOCOL_ERROR, StubAssemblerStatusText(s));
            if (const StreamStatus rs = m_stream->Read(span, length, deadline); rs != StreamStatus::Ok)
                return Broken(RPC_S_CALL_FAILED, rs == StreamStatus::Timeout
                                                     ? "the reply was cut short: its data stopped arriving within " +
                                                           std::to_string(CallTimeoutMs()) + " ms"
                                                     : m_stream->Error());
            assembler->Commit(length);
            left -= length;
        }
        if (h.flags & PFC_LAST_FRAG) break;
    }
    if (request.placement) {
        request.placement->placed = assembler->Placed();
        request.placement->count = assembler->PlacedCount();
        if (assembler->Placed()) g_placed += assembler->PlacedCount();
    }
    reply.size = assembler->Size();
    reply.data = assembler->Release();
    return S_OK;
}

HRESULT Association::Call(const RpcRequest& request, RpcReply& reply) {
    std::lock_guard lock(m_mutex);
    reply = RpcReply{};
    if (request.placement) request.placement->placed = false;
    ClearLastRpcErrorText();
    if (m_link)
        if (HRESULT hr = m_link->Refuse(EndpointText(m_host, m_port)); FAILED(hr)) return hr;
    const HRESULT hr = CallOnce(request, reply);
    // A refused bind is the server's answer (an interface it does not serve), not a lost server.
    if (FAILED(hr) && m_link && IsTransportFailure(hr) && !m_refused) {
        if (m_link->Aborted()) SetLastRpcErrorText(EndpointText(m_host, m_port) + ": the call was abandoned");
        m_link->MarkLost(LastRpcErrorText());
    }
    return hr;
}

namespace {
constexpr int kBusyAttempts = 4;
constexpr int kBusyFirstWaitMs = 100;
}  // namespace

HRESULT Association::CallOnce(const RpcRequest& request, RpcReply& reply) {
    if (request.stubLength > kMaxStubData) {
        SetLastRpcErrorText(EndpointText(m_host, m_port) + ": the request is larger than the largest call accepted");
        return RPC_S_OUT_OF_RESOURCES;
    }
    const Deadline deadline = DeadlineIn(CallTimeoutMs());
    // Connecting and binding (or adding a context) are bounded by the connect budget: a server
    // that accepts the connection but never answers is given up as soon as one that refuses it.
    const Deadline connectDeadline = std::min(deadline, DeadlineIn(ConnectTimeoutMs()));
    uint16_t contextId = 0;
    // A busy server is tried again a few times, each wait twice the last, within the budget.
    for (int attempt = 0;; ++attempt) {
        m_busy = m_refused = false;
        HRESULT hr = EnsureConnected(connectDeadline);
        if (SUCCEEDED(hr)) hr = EnsureContext(request.interface, contextId, connectDeadline);
        if (SUCCEEDED(hr)) break;
        const auto wait = std::chrono::milliseconds(kBusyFirstWaitMs << attempt);
        if (!m_busy || attempt + 1 >= kBusyAttempts || SteadyClock::now() + wait >= connectDeadline) {
            if (m_busy)
                SetLastRpcErrorText(EndpointText(m_host, m_port) + ": the server is busy (temporary congestion); tried " +
                                    std::to_string(attempt + 1) + " times: try again later");
            return hr;
        }
        std::this_thread::sleep_for(wait);
    }
    const uint32_t callId = m_nextCallId++;
    if (HRESULT hr = SendRequest(callId, contextId, request, deadline); FAILED(hr)) return hr;
    return ReceiveReply(callId, request, reply, deadline);
}

}  // namespace com
