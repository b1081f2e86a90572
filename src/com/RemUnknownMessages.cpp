#include "com/RemUnknownMessages.h"

#include "com/DcomArrays.h"

namespace com {
namespace {

constexpr uint32_t kMaxIids = 64;

void WriteIids(NdrWriter& w, const std::vector<IID>& iids) {
    w.ULong(uint32_t(iids.size()));
    for (const IID& iid : iids) w.Guid(iid);
}

bool ReadIids(NdrReader& r, uint16_t count, std::vector<IID>& out) {
    uint32_t max = 0;
    if (!r.ULong(max)) return false;
    if (max != count || max > kMaxIids) return r.Fail(NdrError::BadCount);
    out.resize(max);
    for (IID& iid : out)
        if (!r.Guid(iid)) return false;
    return true;
}

void WriteStdObjRef(NdrWriter& w, const STDOBJREF& s) {
    w.Align(8);
    w.ULong(s.flags);
    w.ULong(s.cPublicRefs);
    w.Hyper(s.oxid);
    w.Hyper(s.oid);
    w.Guid(s.ipid);
}

bool ReadStdObjRef(NdrReader& r, STDOBJREF& s) {
    return r.Align(8) && r.ULong(s.flags) && r.ULong(s.cPublicRefs) && r.Hyper(s.oxid) && r.Hyper(s.oid) &&
           r.Guid(s.ipid);
}

}  // namespace

void WriteRemQueryInterfaceRequest(NdrWriter& w, const RemQueryInterfaceRequest& q) {
    WriteOrpcThis(w, q.orpc);
    w.Guid(q.ipid);
    w.ULong(q.refs);
    w.Short(int16_t(q.iids.size()));
    WriteIids(w, q.iids);
}

bool ReadRemQueryInterfaceRequest(NdrReader& r, RemQueryInterfaceRequest& q) {
    int16_t n = 0;
    return ReadOrpcThis(r, q.orpc) && r.Guid(q.ipid) && r.ULong(q.refs) && r.Short(n) && ReadIids(r, uint16_t(n), q.iids);
}

void WriteRemQueryInterfaceReply(NdrWriter& w, const RemQueryInterfaceReply& a) {
    WriteOrpcThat(w, a.orpc);
    if (a.results.empty()) {
        w.ULong(0);
    } else {
        w.ULong(NDR_FIRST_REFERENT_ID);
        w.ULong(uint32_t(a.results.size()));
        for (const REMQIRESULT& q : a.results) {
            w.Align(8);
            w.Long(q.hResult);
            WriteStdObjRef(w, q.std);
        }
    }
    w.ULong(a.status);
}

bool ReadRemQueryInterfaceReply(NdrReader& r, RemQueryInterfaceReply& a, size_t expected) {
    uint32_t ref = 0;
    if (!ReadOrpcThat(r, a.orpc) || !r.ULong(ref)) return false;
    a.results.clear();
    if (ref) {
        uint32_t n = 0;
        if (!r.ULong(n)) return false;
        if (n != expected) return r.Fail(NdrError::BadCount);
        a.results.resize(n);
        for (REMQIRESULT& q : a.results)
            if (!r.Align(8) || !r.Long(q.hResult) || !ReadStdObjRef(r, q.std)) return false;
    }
    return r.ULong(a.status);
}

void WriteRemRefsRequest(NdrWriter& w, const RemRefsRequest& q) {
    WriteOrpcThis(w, q.orpc);
    w.Short(int16_t(q.refs.size()));
    w.ULong(uint32_t(q.refs.size()));
    for (const REMINTERFACEREF& ref : q.refs) {
        w.Guid(ref.ipid);
        w.ULong(ref.cPublicRefs);
        w.ULong(ref.cPrivateRefs);
    }
}

bool ReadRemRefsRequest(NdrReader& r, RemRefsRequest& q) {
    int16_t n = 0;
    uint32_t max = 0;
    if (!ReadOrpcThis(r, q.orpc) || !r.Short(n) || !r.ULong(max)) return false;
    if (max != uint16_t(n) || max > kMaxInterfaceRefs) return r.Fail(NdrError::BadCount);
    q.refs.resize(max);
    for (REMINTERFACEREF& ref : q.refs)
        if (!r.Guid(ref.ipid) || !r.ULong(ref.cPublicRefs) || !r.ULong(ref.cPrivateRefs)) return false;
    return true;
}

void WriteRemAddRefReply(NdrWriter& w, const RemAddRefReply& a) {
    WriteOrpcThat(w, a.orpc);
    WriteHResults(w, a.results);
    w.ULong(a.status);
}

bool ReadRemAddRefReply(NdrReader& r, RemAddRefReply& a, size_t expected) {
    return ReadOrpcThat(r, a.orpc) && ReadHResults(r, expected, a.results) && r.ULong(a.status);
}

void WriteRemReleaseReply(NdrWriter& w, const RemReleaseReply& a) {
    WriteOrpcThat(w, a.orpc);
    w.ULong(a.status);
}

bool ReadRemReleaseReply(NdrReader& r, RemReleaseReply& a) { return ReadOrpcThat(r, a.orpc) && r.ULong(a.status); }

void WriteRemQueryInterface2Request(NdrWriter& w, const RemQueryInterface2Request& q) {
    WriteOrpcThis(w, q.orpc);
    w.Guid(q.ipid);
    w.Short(int16_t(q.iids.size()));
    WriteIids(w, q.iids);
}

bool ReadRemQueryInterface2Request(NdrReader& r, RemQueryInterface2Request& q) {
    int16_t n = 0;
    return ReadOrpcThis(r, q.orpc) && r.Guid(q.ipid) && r.Short(n) && ReadIids(r, uint16_t(n), q.iids);
}

void WriteRemQueryInterface2Reply(NdrWriter& w, const RemQueryInterface2Reply& a) {
    WriteOrpcThat(w, a.orpc);
    WriteHResults(w, a.results);
    WriteInterfacePointers(w, a.interfaces, NDR_FIRST_REFERENT_ID);
    w.ULong(a.status);
}

bool ReadRemQueryInterface2Reply(NdrReader& r, RemQueryInterface2Reply& a, size_t expected) {
    return ReadOrpcThat(r, a.orpc) && ReadHResults(r, expected, a.results) &&
           ReadInterfacePointers(r, expected, a.interfaces) && r.ULong(a.status);
}

}  // namespace com
