#include "com/ObjectExporter.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "com/NdrBuild.h"
#include "com/NetworkMarshal.h"
#include "com/Orpc.h"
#include "com/ProxyLoader.h"
#include "com/RandomId.h"
#include "com/RemUnknownMessages.h"
#include "com/RpcError.h"
#include "com/RpcSettings.h"
#include "platform/LargeBuffer.h"
#include "platform/Trace.h"

namespace com {
namespace {

// The channel a stub writes its reply through: room for the ORPCTHAT in front of it.
class ReplyChannel final : public SingleInterfaceObject<IRpcChannelBuffer, IID_IRpcChannelBuffer> {
public:
    // A kept block (no fresh mapping and page faults per reply), zeroed as every reply buffer
    // must be: what a server leaves unwritten of a large array must not carry an earlier reply,
    // perhaps another peer's, onto the wire.
    HRESULT GetBuffer(RPCOLEMESSAGE* msg, REFIID) override {
        if (!msg) return E_POINTER;
        platform::GiveBackBlock(m_base, m_block);
        m_block = kOrpcThatSize + size_t(msg->cbBuffer);
        m_base = static_cast<uint8_t*>(platform::TakeBlock(m_block));
        if (!m_base) return E_OUTOFMEMORY;
        std::memset(m_base, 0, m_block);
        m_msg = msg;
        msg->Buffer = m_base + kOrpcThatSize;
        msg->streamOrigin = kOrpcThatSize;
        msg->dataRepresentation = NDR_LOCAL_DATA_REPRESENTATION;
        return S_OK;
    }
    HRESULT SendReceive(RPCOLEMESSAGE*, ULONG*) override { return E_UNEXPECTED; }
    HRESULT FreeBuffer(RPCOLEMESSAGE* msg) override {
        if (msg) msg->Buffer = nullptr;
        return S_OK;
    }
    HRESULT IsConnected() override { return S_OK; }
    IMarshalService* GetMarshalService() override { return NetworkMarshalService(); }

    // The reply (ORPCTHAT written in front) handed over, as long as the stub says it is.
    uint8_t* Take(size_t& size, size_t& block) {
        OrpcThat that;
        NdrWriter w(m_base, kOrpcThatSize);
        WriteOrpcThat(w, that);
        uint8_t* p = m_base;
        size = kOrpcThatSize + size_t(m_msg->cbBuffer);
        block = m_block;
        m_base = nullptr;
        return p;
    }
    bool HasReply() const { return m_base != nullptr; }

private:
    ~ReplyChannel() override { platform::GiveBackBlock(m_base, m_block); }
    uint8_t* m_base = nullptr;
    size_t m_block = 0;
    const RPCOLEMESSAGE* m_msg = nullptr;
};

template <class Write>
void Reply(RpcServerReply& reply, Write&& write) {
    reply.bytes = BuildNdr(write);
    if (reply.bytes.empty()) reply.Fault(rpc::nca_s_fault_ndr);
}

}  // namespace

ObjectExporter::ObjectExporter() : m_oxid(RandomU64()), m_remUnknown(RandomGuid()) {}

ObjectExporter::~ObjectExporter() {
    std::lock_guard lock(m_mutex);
    for (auto& [ipid, e] : m_ipids)
        if (e.stub) e.stub->Release();
    for (auto& [oid, e] : m_oids) e.identity->Release();
}

void ObjectExporter::SetBindings(DualStringArray bindings) {
    std::lock_guard lock(m_mutex);
    m_bindings = std::move(bindings);
}

void ObjectExporter::SetResolverBindings(DualStringArray bindings) {
    std::lock_guard lock(m_mutex);
    m_resolverBindings = std::move(bindings);
}

DualStringArray ObjectExporter::Bindings() const {
    std::lock_guard lock(m_mutex);
    return m_bindings;
}

HRESULT ObjectExporter::Export(IUnknown* object, const IID& iid, uint32_t refs, STDOBJREF& out) {
    if (!object) return E_POINTER;
    // IUnknown is exported without a stub: its methods travel as IRemUnknown's, never on its IPID.
    const bool unknown = iid == IID_IUnknown;
    ComPtr<IPSFactoryBuffer> factory;
    HRESULT hr = unknown ? S_OK : GetProxyStubFactory(iid, factory.Put());
    if (FAILED(hr)) return hr;
    IUnknown* identity = nullptr;
    hr = object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    if (FAILED(hr) || !identity) return FAILED(hr) ? hr : E_NOINTERFACE;

    std::lock_guard lock(m_mutex);
    OID oid;
    bool created = false;
    if (auto it = m_byIdentity.find(identity); it != m_byIdentity.end()) {
        oid = it->second;
        identity->Release();  // the table holds one already
    } else {
        do oid = RandomU64();
        while (m_oids.count(oid));
        m_oids[oid] = OidEntry{identity, {}, Clock::now()};
        m_byIdentity[identity] = oid;
        created = true;
    }
    OidEntry& o = m_oids[oid];
    for (const IPID& ipid : o.ipids) {
        IpidEntry& e = m_ipids[ipid];
        if (e.iid == iid) {
            e.publicRefs += refs;
            out = STDOBJREF{0, refs, m_oxid, oid, ipid};
            return S_OK;
        }
    }
    IRpcStubBuffer* stub = nullptr;
    if (!unknown) hr = factory->CreateStub(iid, object, &stub);
    if (!unknown && (FAILED(hr) || !stub)) {
        if (created) ReleaseOid(oid);
        return FAILED(hr) ? hr : E_NOINTERFACE;
    }
    IPID ipid;
    do ipid = RandomGuid();
    while (m_ipids.count(ipid) || ipid == m_remUnknown);
    m_ipids[ipid] = IpidEntry{iid, oid, stub, refs};
    o.ipids.push_back(ipid);
    o.lastAlive = Clock::now();
    out = STDOBJREF{0, refs, m_oxid, oid, ipid};
    return S_OK;
}

void ObjectExporter::RemoveIpid(std::map<GUID, IpidEntry, GuidLess>::iterator it) {
    const OID oid = it->second.oid;
    const IPID ipid = it->first;
    it->second.stub->Release();  // a call still running holds its own reference
    m_ipids.erase(it);
    auto o = m_oids.find(oid);
    if (o == m_oids.end()) return;
    std::erase(o->second.ipids, ipid);
    if (o->second.ipids.empty()) ReleaseOid(oid);
}

void ObjectExporter::ReleaseOid(OID oid) {
    auto o = m_oids.find(oid);
    if (o == m_oids.end()) return;
    for (const IPID& ipid : o->second.ipids) {
        auto it = m_ipids.find(ipid);
        if (it != m_ipids.end()) {
            if (it->second.stub) it->second.stub->Release();
            m_ipids.erase(it);
        }
    }
    m_byIdentity.erase(o->second.identity);
    o->second.identity->Release();
    m_oids.erase(o);
    for (auto& [id, set] : m_sets) set.oids.erase(oid);
}

uint32_t ObjectExporter::SimplePing(SETID setId) {
    std::lock_guard lock(m_mutex);
    auto it = m_sets.find(setId);
    if (it == m_sets.end()) return OR_INVALID_SET;
    const Clock::time_point now = Clock::now();
    it->second.lastPing = now;
    for (OID oid : it->second.oids)
        if (auto o = m_oids.find(oid); o != m_oids.end()) o->second.lastAlive = now;
    return 0;
}

uint32_t ObjectExporter::ComplexPing(const ComplexPingRequest& q, ComplexPingReply& a, const std::string& peer) {
    std::lock_guard lock(m_mutex);
    SETID id = q.setId;
    if (id == 0) {
        // Sets live for minutes after their last ping: a peer making new ones without end would
        // hold the server's memory.
        size_t ofPeer = 0;
        for (const auto& [setId, set] : m_sets) ofPeer += set.peer == peer;
        if (ofPeer >= kMaxSetsPerPeer || m_sets.size() >= kMaxSets) return uint32_t(E_OUTOFMEMORY);
        do id = RandomU64();
        while (m_sets.count(id));
        m_sets[id] = PingSetEntry{};
        m_sets[id].peer = peer;
    }
    auto it = m_sets.find(id);
    if (it == m_sets.end()) return OR_INVALID_SET;
    PingSetEntry& set = it->second;
    set.sequence = q.sequence;
    for (OID oid : q.del) set.oids.erase(oid);
    for (OID oid : q.add)
        if (m_oids.count(oid)) set.oids.insert(oid);  // OIDs this exporter never handed out are ignored
    const Clock::time_point now = Clock::now();
    set.lastPing = now;
    for (OID oid : set.oids) m_oids[oid].lastAlive = now;
    a.setId = id;
    a.backoffFactor = 0;
    return 0;
}

size_t ObjectExporter::CollectGarbage(Clock::time_point now) {
    const auto timeout = std::chrono::milliseconds(uint64_t(PingPeriodMs()) * kPingsMissed);
    std::lock_guard lock(m_mutex);
    for (auto it = m_sets.begin(); it != m_sets.end();)
        it = now - it->second.lastPing > timeout ? m_sets.erase(it) : std::next(it);
    std::vector<OID> expired;
    for (const auto& [oid, o] : m_oids)
        if (now - o.lastAlive > timeout) expired.push_back(oid);
    for (OID oid : expired) {
        platform::TraceF("object exporter: object %016llx was not pinged for %u periods; released\n",
                         static_cast<unsigned long long>(oid), unsigned(kPingsMissed));
        ReleaseOid(oid);
    }
    m_collected += expired.size();
    return expired.size();
}

size_t ObjectExporter::ObjectCount() const {
    std::lock_guard lock(m_mutex);
    return m_oids.size();
}

size_t ObjectExporter::InterfaceCount() const {
    std::lock_guard lock(m_mutex);
    return m_ipids.size();
}

uint64_t ObjectExporter::ObjectsCollected() const {
    std::lock_guard lock(m_mutex);
    return m_collected;
}

bool ObjectExporter::Serves(const rpc::SyntaxId& s) {
    if (s.major != 0 || s.minor != 0) return false;
    if (s.uuid == IID_IRemUnknown || s.uuid == IID_IRemUnknown2) return true;
    ComPtr<IPSFactoryBuffer> factory;
    return SUCCEEDED(GetProxyStubFactory(s.uuid, factory.Put()));
}

void ObjectExporter::Handle(const RpcCall& call, RpcServerReply& reply) {
    if (!call.hasObject) return reply.Fault(rpc::nca_s_unk_if);
    NdrReader r(call.stub, call.stubLength, call.drep);
    OrpcThis orpc;
    if (!ReadOrpcThis(r, orpc)) return reply.Fault(rpc::nca_s_fault_ndr);
    if (orpc.version.major != kComVersion.major || orpc.version.minor > kComVersion.minor)
        return reply.Fault(uint32_t(RPC_E_VERSION_MISMATCH));
    if (call.object == m_remUnknown) return RemUnknownCall(call, reply);
    ObjectCall(call, reply, r.Position());
}

void ObjectExporter::ObjectCall(const RpcCall& call, RpcServerReply& reply, size_t prefix) {
    IRpcStubBuffer* stub = nullptr;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_ipids.find(call.object);
        if (it == m_ipids.end()) return reply.Fault(uint32_t(RPC_E_DISCONNECTED));
        if (!(it->second.iid == call.interface.uuid) || !it->second.stub) return reply.Fault(rpc::nca_s_unk_if);
        stub = it->second.stub;
        stub->AddRef();
    }
    ComPtr<IRpcStubBuffer> hold(stub);
    ComPtr<ReplyChannel> channel(new (std::nothrow) ReplyChannel);
    if (!channel) return reply.Fault(rpc::nca_s_fault_remote_no_memory);
    RPCOLEMESSAGE msg;
    msg.Buffer = const_cast<uint8_t*>(call.stub + prefix);
    msg.cbBuffer = uint32_t(call.stubLength - prefix);
    msg.iMethod = call.opnum;
    msg.dataRepresentation = call.drep;
    msg.streamOrigin = uint32_t(prefix);
    const HRESULT hr = stub->Invoke(&msg, channel.Get());
    if (FAILED(hr) || !channel->HasReply()) return reply.Fault(HResultToFaultStatus(FAILED(hr) ? hr : RPC_X_BAD_STUB_DATA));
    reply.drep = msg.dataRepresentation;  // as the stub labelled what it wrote
    reply.raw = channel->Take(reply.rawSize, reply.rawBlock);
}

ComPtr<IUnknown> ObjectExporter::IdentityOf(const IPID& ipid) {
    std::lock_guard lock(m_mutex);
    auto it = m_ipids.find(ipid);
    if (it == m_ipids.end()) return ComPtr<IUnknown>();
    IUnknown* identity = m_oids[it->second.oid].identity;
    identity->AddRef();
    return ComPtr<IUnknown>(identity);
}

void ObjectExporter::RemUnknownCall(const RpcCall& call, RpcServerReply& reply) {
    const bool v2 = call.interface.uuid == IID_IRemUnknown2;
    if (!v2 && !(call.interface.uuid == IID_IRemUnknown)) return reply.Fault(rpc::nca_s_unk_if);
    NdrReader r(call.stub, call.stubLength, call.drep);
    switch (call.opnum) {
    case kOpRemQueryInterface: {
        RemQueryInterfaceRequest q;
        if (!ReadRemQueryInterfaceRequest(r, q)) return reply.Fault(rpc::nca_s_fault_ndr);
        RemQueryInterfaceReply a;
        ComPtr<IUnknown> identity = IdentityOf(q.ipid);
        for (const IID& iid : q.iids) {
            REMQIRESULT res;
            void* itf = nullptr;
            res.hResult = identity ? identity->QueryInterface(iid, &itf) : E_NOINTERFACE;
            if (SUCCEEDED(res.hResult)) {
                ComPtr<IUnknown> p(static_cast<IUnknown*>(itf));
                res.hResult = Export(p.Get(), iid, q.refs ? q.refs : 1, res.std);
            }
            a.results.push_back(res);
        }
        return Reply(reply, [&](NdrWriter& w) { WriteRemQueryInterfaceReply(w, a); });
    }
    case kOpRemAddRef:
    case kOpRemRelease: {
        RemRefsRequest q;
        if (!ReadRemRefsRequest(r, q)) return reply.Fault(rpc::nca_s_fault_ndr);
        std::vector<HRESULT> results;
        {
            std::lock_guard lock(m_mutex);
            for (const REMINTERFACEREF& ref : q.refs) {
                auto it = m_ipids.find(ref.ipid);
                if (it == m_ipids.end()) {
                    results.push_back(E_INVALIDARG);
                    continue;
                }
                results.push_back(S_OK);
                if (call.opnum == kOpRemAddRef) {
                    it->second.publicRefs += ref.cPublicRefs;
                    continue;
                }
                const uint32_t drop = std::min(ref.cPublicRefs, it->second.publicRefs);
                it->second.publicRefs -= drop;
                if (it->second.publicRefs == 0) RemoveIpid(it);
            }
        }
        if (call.opnum == kOpRemAddRef) {
            RemAddRefReply a;
            a.results = std::move(results);
            return Reply(reply, [&](NdrWriter& w) { WriteRemAddRefReply(w, a); });
        }
        RemReleaseReply a;
        return Reply(reply, [&](NdrWriter& w) { WriteRemReleaseReply(w, a); });
    }
    case kOpRemQueryInterface2: {
        if (!v2) return reply.Fault(rpc::nca_s_op_rng_error);
        RemQueryInterface2Request q;
        if (!ReadRemQueryInterface2Request(r, q)) return reply.Fault(rpc::nca_s_fault_ndr);
        RemQueryInterface2Reply a;
        ComPtr<IUnknown> identity = IdentityOf(q.ipid);
        DualStringArray bindings;
        {
            std::lock_guard lock(m_mutex);
            bindings = m_resolverBindings.strings.empty() ? m_bindings : m_resolverBindings;
        }
        for (const IID& iid : q.iids) {
            void* itf = nullptr;
            HRESULT hr = identity ? identity->QueryInterface(iid, &itf) : E_NOINTERFACE;
            std::vector<uint8_t> objref;
            if (SUCCEEDED(hr)) {
                ComPtr<IUnknown> p(static_cast<IUnknown*>(itf));
                STDOBJREF std;
                hr = Export(p.Get(), iid, 1, std);
                if (SUCCEEDED(hr)) {
                    ObjRefStandard ref = MakeObjRefStandard(iid, std);
                    uint16_t offset = 0;
                    ref.bindings = EncodeBindingUnits(bindings, offset);
                    ref.securityOffset = offset;
                    EncodeObjRef(ref, objref);
                }
            }
            a.results.push_back(hr);
            a.interfaces.push_back(std::move(objref));
        }
        return Reply(reply, [&](NdrWriter& w) { WriteRemQueryInterface2Reply(w, a); });
    }
    default: return reply.Fault(rpc::nca_s_op_rng_error);
    }
}

}  // namespace com
