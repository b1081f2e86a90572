#include "com/ExporterClient.h"

#include <cstdlib>

#include "com/NdrBuild.h"
#include "com/Orpc.h"
#include "com/Pinger.h"
#include "com/RpcError.h"
#include "platform/Trace.h"

namespace com {

ExporterClient::ExporterClient(std::string resolverHost, uint16_t resolverPort, OXID oxid, IPID remUnknown,
                               std::vector<std::pair<std::string, uint16_t>> candidates)
    : m_resolverHost(std::move(resolverHost)),
      m_resolverPort(resolverPort),
      m_oxid(oxid),
      m_remUnknown(remUnknown),
      m_candidates(std::move(candidates)) {}

ExporterClient::~ExporterClient() {
    SendReleases();
    for (const Held& h : m_held)
        if (h.ping) PingerRemove(m_resolverHost, m_resolverPort, h.oid);
}

std::string ExporterClient::Endpoint() const {
    if (m_candidates.empty()) return m_resolverHost;
    const auto& c = m_candidates[m_chosen < m_candidates.size() ? m_chosen : 0];
    return c.first + " port " + std::to_string(c.second);
}

HRESULT ExporterClient::Call(const RpcRequest& request, RpcReply& reply) {
    std::lock_guard lock(m_mutex);
    if (m_candidates.empty()) {
        SetLastRpcErrorText(m_resolverHost + ": the server named no address to reach its objects at");
        return RPC_S_SERVER_UNAVAILABLE;
    }
    for (;;) {
        if (!m_association) {
            const auto& [host, port] = m_candidates[m_chosen];
            m_association = std::make_unique<Association>(host, port);
        }
        HRESULT hr = m_association->Call(request, reply);
        // A binding that does not connect was sent nothing: the next one may be tried. Once one
        // has connected, it is the exporter's address from then on.
        if (hr == RPC_S_SERVER_UNAVAILABLE && !m_settled && m_chosen + 1 < m_candidates.size()) {
            ++m_chosen;
            m_association.reset();
            continue;
        }
        if (hr != RPC_S_SERVER_UNAVAILABLE) m_settled = true;
        return hr;
    }
}

void ExporterClient::AddReference(const IPID& ipid, OID oid, uint32_t publicRefs, bool ping) {
    std::lock_guard lock(m_mutex);
    m_held.push_back({ipid, oid, publicRefs, ping});
    if (ping) PingerAdd(m_resolverHost, m_resolverPort, oid);
}

void ExporterClient::SendReleases() {
    RemRefsRequest q;
    q.orpc.cid = NewCausalityId();
    for (const Held& h : m_held)
        if (h.publicRefs > 0) q.refs.push_back({h.ipid, h.publicRefs, 0});
    if (q.refs.empty()) return;
    const std::vector<uint8_t> stub = BuildNdr([&](NdrWriter& w) { WriteRemRefsRequest(w, q); });
    RpcRequest request;
    request.interface = InterfaceSyntax(IID_IRemUnknown);
    request.opnum = kOpRemRelease;
    request.object = &m_remUnknown;
    request.stub = stub.data();
    request.stubLength = stub.size();
    RpcReply reply;
    const std::string saved = LastRpcErrorText();  // a failed release must not hide the real failure
    HRESULT hr = Call(request, reply);
    std::unique_ptr<uint8_t, decltype(&std::free)> guard(reply.data, std::free);
    if (FAILED(hr) || reply.fault) {
        platform::TraceF("RemRelease to %s failed, hr = 0x%x\n", Endpoint().c_str(),
                         unsigned(FAILED(hr) ? hr : FaultStatusToHResult(reply.faultStatus)));
    }
    SetLastRpcErrorText(saved);
}

}  // namespace com
