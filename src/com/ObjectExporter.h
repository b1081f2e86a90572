// The server side of DCOM for one process: its object exporter (OXID), the objects it has handed
// out (an OID per object, an IPID per interface, each with its stub and public references), the
// ping sets clients keep them alive with, IRemUnknown/IRemUnknown2, and the dispatch of ORPC
// calls to the stubs. Objects nobody pinged for kPingsMissed ping periods are released.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "com/DcomIds.h"
#include "com/ObjRef.h"
#include "com/ResolverMessages.h"
#include "com/RpcInterfaces.h"
#include "com/RpcServer.h"
#include "com/StringBindings.h"

namespace com {

class ObjectExporter final : public IRpcHandler {
public:
    using Clock = std::chrono::steady_clock;

    ObjectExporter();
    ~ObjectExporter();
    ObjectExporter(const ObjectExporter&) = delete;
    ObjectExporter& operator=(const ObjectExporter&) = delete;

    OXID Oxid() const { return m_oxid; }
    const IPID& RemUnknownIpid() const { return m_remUnknown; }
    void SetBindings(DualStringArray bindings);
    // The OXID resolver's own address, which the OBJREFs this exporter hands out name (the
    // object's port is what the resolver answers for the OXID); none set: the bindings above.
    void SetResolverBindings(DualStringArray bindings);
    DualStringArray Bindings() const;

    // Hands out interface iid of object with refs public references: a stub for it (one per
    // object and interface), and the reference's STDOBJREF.
    HRESULT Export(IUnknown* object, const IID& iid, uint32_t refs, STDOBJREF& out);

    // The resolver's ping calls; the result is the call's error_status_t.
    uint32_t SimplePing(SETID setId);
    // A peer (its address, without the port) keeps at most kMaxSetsPerPeer sets, all peers
    // kMaxSets: a new set beyond either is refused with E_OUTOFMEMORY.
    uint32_t ComplexPing(const ComplexPingRequest& q, ComplexPingReply& a, const std::string& peer = {});
    static constexpr size_t kMaxSetsPerPeer = 64;
    static constexpr size_t kMaxSets = 4096;

    // Releases what nobody pinged within kPingsMissed periods; the number of objects released.
    size_t CollectGarbage(Clock::time_point now);

    size_t ObjectCount() const;     // OIDs held
    size_t InterfaceCount() const;  // IPIDs held
    uint64_t ObjectsCollected() const;

    // IRpcHandler: ORPC calls on the exporter's endpoint.
    bool Serves(const rpc::SyntaxId& interface) override;
    void Handle(const RpcCall& call, RpcServerReply& reply) override;

private:
    struct GuidLess {
        bool operator()(const GUID& a, const GUID& b) const { return GuidCompare(a, b) < 0; }
    };
    struct IpidEntry {
        IID iid;
        OID oid;
        IRpcStubBuffer* stub;  // one reference
        uint32_t publicRefs;
    };
    struct OidEntry {
        IUnknown* identity;  // one reference
        std::vector<IPID> ipids;
        Clock::time_point lastAlive;
    };
    struct PingSetEntry {
        std::string peer;
        std::set<OID> oids;
        uint16_t sequence = 0;
        Clock::time_point lastPing;
    };

    void RemUnknownCall(const RpcCall& call, RpcServerReply& reply);  // reads the ORPCTHIS itself
    // The object behind an IPID (one reference), or none.
    ComPtr<IUnknown> IdentityOf(const IPID& ipid);
    void ObjectCall(const RpcCall& call, RpcServerReply& reply, size_t prefix);
    void RemoveIpid(std::map<GUID, IpidEntry, GuidLess>::iterator it);  // with m_mutex held
    void ReleaseOid(OID oid);                                          // with m_mutex held

    const OXID m_oxid;
    const IPID m_remUnknown;
    mutable std::mutex m_mutex;
    DualStringArray m_bindings;
    DualStringArray m_resolverBindings;
    std::map<GUID, IpidEntry, GuidLess> m_ipids;
    std::map<OID, OidEntry> m_oids;
    std::map<IUnknown*, OID> m_byIdentity;
    std::map<SETID, PingSetEntry> m_sets;
    uint64_t m_collected = 0;
};

}  // namespace com
