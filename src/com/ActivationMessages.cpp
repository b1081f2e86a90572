#include "com/ActivationMessages.h"

#include "com/DcomArrays.h"

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
    WriteProtseqs(w, q.protseqs);
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
    return ReadProtseqs(r, q.protseqs);
}

void WriteActivationReply(NdrWriter& w, const ActivationReply& a) {
    WriteOrpcThat(w, a.orpc);
    w.Hyper(a.oxid);
    WriteDualStringArrayPointer(w, a.hasBindings, a.bindings);
    w.Guid(a.remUnknown);
    w.ULong(a.authnHint);
    w.Short(int16_t(a.version.major));
    w.Short(int16_t(a.version.minor));
    w.Long(a.hr);
    WriteInterfacePointers(w, a.interfaces, NDR_FIRST_REFERENT_ID + 4);
    WriteHResults(w, a.results);
    w.ULong(a.status);
}

bool ReadActivationReply(NdrReader& r, ActivationReply& a, size_t expected) {
    if (!ReadOrpcThat(r, a.orpc) || !r.Hyper(a.oxid) || !ReadDualStringArrayPointer(r, a.hasBindings, a.bindings))
        return false;
    int16_t major = 0, minor = 0;
    if (!r.Guid(a.remUnknown) || !r.ULong(a.authnHint) || !r.Short(major) || !r.Short(minor) || !r.Long(a.hr))
        return false;
    a.version = {uint16_t(major), uint16_t(minor)};
    if (!ReadInterfacePointers(r, expected, a.interfaces) || !ReadHResults(r, expected, a.results)) return false;
    return r.ULong(a.status);
}

}  // namespace com
