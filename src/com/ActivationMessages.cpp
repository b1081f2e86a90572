#include "com/ActivationMessages.h"

namespace com {

void WriteActivationRequest(NdrWriter& w, const ActivationRequest& q) {
    WriteOrpcThis(w, q.orpc);
    w.Guid(q.clsid);
    w.ULong(0);  // pwszObjectName
    w.ULong(0);  // pObjectStorage
    w.ULong(q.impLevel);
    w.ULong(q.mode);
    w.ULong(uint32_t(q.iids.size()));
    w.ULong(NDR_FIRST_REFERENT_ID);  // pIIDs
    w.ULong(uint32_t(q.iids.size()));
    for (const IID& iid : q.iids) w.Guid(iid);
    w.Short(int16_t(q.protseqs.size()));
    w.ULong(uint32_t(q.protseqs.size()));
    for (uint16_t p : q.protseqs) w.Short(int16_t(p));
}

bool ReadActivationRequest(NdrReader& r, ActivationRequest& q) {
    if (!ReadOrpcThis(r, q.orpc) || !r.Guid(q.clsid)) return false;
    uint32_t ref = 0;
    if (!r.ULong(ref)) return false;
    q.hasObjectName = ref != 0;
    if (q.hasObjectName) {
        std::u16string name;
        if (!r.WString(name, 4096)) return false;
    }
    if (!r.ULong(ref)) return false;
    q.hasObjectStorage = ref != 0;
    if (q.hasObjectStorage) {
        uint32_t max = 0, count = 0;
        const uint8_t* data;
        if (!r.ULong(max) || !r.ULong(count)) return false;
        if (max != count || count > kMaxObjRefSize) return r.Fail(NdrError::BadCount);
        if (!r.View(data, count)) return false;
    }
    uint32_t interfaces = 0;
    if (!r.ULong(q.impLevel) || !r.ULong(q.mode) || !r.ULong(interfaces) || !r.ULong(ref)) return false;
    if (interfaces < 1 || interfaces > kMaxActivationInterfaces) return r.Fail(NdrError::BadCount);
    q.iids.clear();
    if (ref) {
        uint32_t max = 0;
        if (!r.ULong(max)) return false;
        if (max != interfaces) return r.Fail(NdrError::BadCount);
        q.iids.resize(interfaces);
        for (IID& iid : q.iids)
            if (!r.Guid(iid)) return false;
    }
    int16_t protseqs = 0;
    uint32_t max = 0;
    if (!r.Short(protseqs) || !r.ULong(max)) return false;
    if (uint16_t(protseqs) > kMaxProtseqs || max != uint16_t(protseqs)) return r.Fail(NdrError::BadCount);
    q.protseqs.resize(max);
    for (uint16_t& p : q.protseqs) {
        int16_t v;
        if (!r.Short(v)) return false;
        p = uint16_t(v);
    }
    return true;
}

void WriteActivationReply(NdrWriter& w, const ActivationReply& a) {
    WriteOrpcThat(w, a.orpc);
    w.Hyper(a.oxid);
    if (a.hasBindings) {
        w.ULong(NDR_FIRST_REFERENT_ID);
        WriteDualStringArray(w, a.bindings);
    } else {
        w.ULong(0);
    }
    w.Guid(a.remUnknown);
    w.ULong(a.authnHint);
    w.Short(int16_t(a.version.major));
    w.Short(int16_t(a.version.minor));
    w.Long(a.hr);
    const uint32_t n = uint32_t(a.interfaces.size());
    w.ULong(n);
    uint32_t referent = NDR_FIRST_REFERENT_ID + 4;
    for (const auto& objref : a.interfaces) {
        w.ULong(objref.empty() ? 0 : referent);
        if (!objref.empty()) referent += 4;
    }
    for (const auto& objref : a.interfaces) {
        if (objref.empty()) continue;
        w.ULong(uint32_t(objref.size()));
        w.ULong(uint32_t(objref.size()));
        w.Raw(objref.data(), objref.size());
    }
    w.ULong(uint32_t(a.results.size()));
    for (HRESULT hr : a.results) w.Long(hr);
    w.ULong(a.status);
}

bool ReadActivationReply(NdrReader& r, ActivationReply& a, size_t expected) {
    uint32_t ref = 0;
    if (!ReadOrpcThat(r, a.orpc) || !r.Hyper(a.oxid) || !r.ULong(ref)) return false;
    a.hasBindings = ref != 0;
    if (a.hasBindings && !ReadDualStringArray(r, a.bindings)) return false;
    int16_t major = 0, minor = 0;
    if (!r.Guid(a.remUnknown) || !r.ULong(a.authnHint) || !r.Short(major) || !r.Short(minor) || !r.Long(a.hr))
        return false;
    a.version = {uint16_t(major), uint16_t(minor)};
    uint32_t n = 0;
    if (!r.ULong(n)) return false;
    if (n != expected) return r.Fail(NdrError::BadCount);
    std::vector<bool> present(n);
    for (uint32_t i = 0; i < n; ++i) {
        if (!r.ULong(ref)) return false;
        present[i] = ref != 0;
    }
    a.interfaces.assign(n, {});
    for (uint32_t i = 0; i < n; ++i) {
        if (!present[i]) continue;
        uint32_t max = 0, count = 0;
        const uint8_t* data;
        if (!r.ULong(max) || !r.ULong(count)) return false;
        if (max != count || count == 0 || count > kMaxObjRefSize) return r.Fail(NdrError::BadCount);
        if (!r.View(data, count)) return false;
        a.interfaces[i].assign(data, data + count);
    }
    if (!r.ULong(n)) return false;
    if (n != expected) return r.Fail(NdrError::BadCount);
    a.results.assign(n, S_OK);
    for (HRESULT& hr : a.results)
        if (!r.Long(hr)) return false;
    return r.ULong(a.status);
}

}  // namespace com
