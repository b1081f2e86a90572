#include "com/ResolverMessages.h"

#include "com/DcomArrays.h"

namespace com {
namespace {

void WriteOidArray(NdrWriter& w, const std::vector<OID>& oids, uint32_t referent) {
    if (oids.empty()) {
        w.ULong(0);
        return;
    }
    w.ULong(referent);
    w.ULong(uint32_t(oids.size()));
    for (OID o : oids) w.Hyper(o);
}

bool ReadOidArray(NdrReader& r, uint16_t count, std::vector<OID>& out) {
    uint32_t ref = 0;
    if (!r.ULong(ref)) return false;
    out.clear();
    if (!ref) return count == 0 || r.Fail(NdrError::BadCount);
    uint32_t max = 0;
    if (!r.ULong(max)) return false;
    if (max != count || max > kMaxPingOids) return r.Fail(NdrError::BadCount);
    if (uint64_t(max) * 8 > r.Remaining()) return r.Fail(NdrError::Truncated);
    out.resize(max);
    for (OID& o : out)
        if (!r.Hyper(o)) return false;
    return true;
}

}  // namespace

void WriteResolveOxidRequest(NdrWriter& w, const ResolveOxidRequest& q) {
    w.Hyper(q.oxid);
    WriteProtseqs(w, q.protseqs);
}

bool ReadResolveOxidRequest(NdrReader& r, ResolveOxidRequest& q) {
    return r.Hyper(q.oxid) && ReadProtseqs(r, q.protseqs);
}

void WriteResolveOxidReply(NdrWriter& w, const ResolveOxidReply& a, bool withVersion) {
    WriteDualStringArrayPointer(w, a.hasBindings, a.bindings);
    w.Guid(a.remUnknown);
    w.ULong(a.authnHint);
    if (withVersion) {
        w.Short(int16_t(a.version.major));
        w.Short(int16_t(a.version.minor));
    }
    w.ULong(a.status);
}

bool ReadResolveOxidReply(NdrReader& r, ResolveOxidReply& a, bool withVersion) {
    if (!ReadDualStringArrayPointer(r, a.hasBindings, a.bindings)) return false;
    if (!r.Guid(a.remUnknown) || !r.ULong(a.authnHint)) return false;
    if (withVersion) {
        int16_t major = 0, minor = 0;
        if (!r.Short(major) || !r.Short(minor)) return false;
        a.version = {uint16_t(major), uint16_t(minor)};
    }
    return r.ULong(a.status);
}

void WriteSimplePingRequest(NdrWriter& w, SETID setId) { w.Hyper(setId); }
bool ReadSimplePingRequest(NdrReader& r, SETID& setId) { return r.Hyper(setId); }

void WriteComplexPingRequest(NdrWriter& w, const ComplexPingRequest& q) {
    w.Hyper(q.setId);
    w.Short(int16_t(q.sequence));
    w.Short(int16_t(q.add.size()));
    w.Short(int16_t(q.del.size()));
    WriteOidArray(w, q.add, NDR_FIRST_REFERENT_ID);
    WriteOidArray(w, q.del, NDR_FIRST_REFERENT_ID + 4);
}

bool ReadComplexPingRequest(NdrReader& r, ComplexPingRequest& q) {
    int16_t sequence = 0, add = 0, del = 0;
    if (!r.Hyper(q.setId) || !r.Short(sequence) || !r.Short(add) || !r.Short(del)) return false;
    q.sequence = uint16_t(sequence);
    return ReadOidArray(r, uint16_t(add), q.add) && ReadOidArray(r, uint16_t(del), q.del);
}

void WriteComplexPingReply(NdrWriter& w, const ComplexPingReply& a) {
    w.Hyper(a.setId);
    w.Short(int16_t(a.backoffFactor));
    w.ULong(a.status);
}

bool ReadComplexPingReply(NdrReader& r, ComplexPingReply& a) {
    int16_t backoff = 0;
    if (!r.Hyper(a.setId) || !r.Short(backoff)) return false;
    a.backoffFactor = uint16_t(backoff);
    return r.ULong(a.status);
}

void WriteServerAlive2Reply(NdrWriter& w, const ServerAlive2Reply& a) {
    w.Short(int16_t(a.version.major));
    w.Short(int16_t(a.version.minor));
    WriteDualStringArrayPointer(w, true, a.bindings);
    w.ULong(0);  // pReserved
    w.ULong(a.status);
}

bool ReadServerAlive2Reply(NdrReader& r, ServerAlive2Reply& a) {
    int16_t major = 0, minor = 0;
    uint32_t reserved = 0;
    bool present = false;
    if (!r.Short(major) || !r.Short(minor) || !ReadDualStringArrayPointer(r, present, a.bindings)) return false;
    a.version = {uint16_t(major), uint16_t(minor)};
    return r.ULong(reserved) && r.ULong(a.status);
}

void WriteStatusReply(NdrWriter& w, uint32_t status) { w.ULong(status); }
bool ReadStatusReply(NdrReader& r, uint32_t& status) { return r.ULong(status); }

}  // namespace com
