// IObjectExporter, the object resolver's native RPC interface on a machine's resolver port:
// OXID resolution, pinging and aliveness tests, in both directions.
#pragma once

#include <cstdint>
#include <vector>

#include "com/DcomIds.h"
#include "com/Orpc.h"
#include "com/StringBindings.h"

namespace com {

struct ResolveOxidRequest {
    OXID oxid = 0;
    std::vector<uint16_t> protseqs;
};
struct ResolveOxidReply {
    bool hasBindings = false;
    DualStringArray bindings;
    IPID remUnknown;
    uint32_t authnHint = kAuthnLevelNone;
    COMVERSION version = kComVersion;  // ResolveOxid2 only
    uint32_t status = 0;
};

struct ComplexPingRequest {
    SETID setId = 0;
    uint16_t sequence = 0;
    std::vector<OID> add;
    std::vector<OID> del;
};
struct ComplexPingReply {
    SETID setId = 0;
    uint16_t backoffFactor = 0;
    uint32_t status = 0;
};

struct ServerAlive2Reply {
    COMVERSION version = kComVersion;
    DualStringArray bindings;
    uint32_t status = 0;
};

void WriteResolveOxidRequest(NdrWriter& w, const ResolveOxidRequest& q);
bool ReadResolveOxidRequest(NdrReader& r, ResolveOxidRequest& q);
void WriteResolveOxidReply(NdrWriter& w, const ResolveOxidReply& a, bool withVersion);
bool ReadResolveOxidReply(NdrReader& r, ResolveOxidReply& a, bool withVersion);

void WriteSimplePingRequest(NdrWriter& w, SETID setId);
bool ReadSimplePingRequest(NdrReader& r, SETID& setId);

void WriteComplexPingRequest(NdrWriter& w, const ComplexPingRequest& q);
bool ReadComplexPingRequest(NdrReader& r, ComplexPingRequest& q);
void WriteComplexPingReply(NdrWriter& w, const ComplexPingReply& a);
bool ReadComplexPingReply(NdrReader& r, ComplexPingReply& a);

void WriteServerAlive2Reply(NdrWriter& w, const ServerAlive2Reply& a);
bool ReadServerAlive2Reply(NdrReader& r, ServerAlive2Reply& a);

// A reply that is only an error_status_t (SimplePing, ServerAlive).
void WriteStatusReply(NdrWriter& w, uint32_t status);
bool ReadStatusReply(NdrReader& r, uint32_t& status);

}  // namespace com
