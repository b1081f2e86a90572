#include "com/ExporterClient.h"

#include <cstdlib>

#include "com/NdrBuild.h"
#include "com/Orpc.h"
#include "com/Pinger.h"
#include "com/RpcError.h"
#include "platform/Trace.h"

namespace com {

ExporterClient::ExporterClient(std::string resolverHost, uint16_t resolverPort, OXID oxid, IPID remUnknown,
                               std::vector<HostPort> candidates, LinkPtr link)
    : m_resolverHost(std::move(resolverHost)),
      m_resolverPort(resolverPort),
      m_oxid(oxid),
      m_remUnknown(remUnknown),
      m_link(link ? std::move(link) : std::make_shared<Link>()),
      m_hasCandidates(!candidates.empty()),
      m_association(std::move(candidates), m_link) {}

ExporterClient::~ExporterClient() {
    // A lost server is not waited on again: what it holds for us it frees when the pings stop.
    const bool lost = m_link->Lost();
    if (!lost) SendReleases();
    for (const Held& h : m_held) {
        if (!h.ping) continue;
        if (lost) PingerForget(m_resolverHost, m_resolverPort, h.oid);
        else PingerRemove(m_resolverHost, m_resolverPort, h.oid);
    }
}

std::string ExporterClient::Endpoint() const {
    return m_hasCandidates ? m_association.Endpoint() : m_resolverHost;
}

HRESULT ExporterClient::Call(const RpcRequest& request, RpcReply& reply) {
    if (!m_hasCandidates) {
        SetLastRpcErrorText(m_resolverHost + ": the server named no address to reach its objects at");
        return RPC_S_SERVER_UNAVAILABLE;
    }
    return m_association.Call(request, reply);
}

void ExporterClient::AddReference(const IPID& ipid, OID oid, uint32_t publicRefs, bool ping) {
    std::lock_guard lock(m_mutex);
    m_held.push_back({ipid, oid, publicRefs, ping});
    if (ping) PingerAdd(m_resolverHost, m_resolverPort, oid);
}

void ExporterClient::SendReleases() {
    RemRefsRequest q;
    q.orpc.cid = NewCausalityId();
    {
        std::lock_guard lock(m_mutex);
        for (const Held& h : m_held)
            if (h.publicRefs > 0) q.refs.push_back({h.ipid, h.publicRefs, 0});
    }
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
