#include "com/ActivationProperties.h"

#include <utility>

#include "com/DcomArrays.h"
#include "com/NdrBuild.h"
#include "com/ObjRef.h"

namespace com {
namespace {

constexpr size_t kSerialHeaderSize = 16;  // common header (8) and private header (8)
constexpr uint8_t kSerialLittleEndian = 0x10;
constexpr uint32_t kClsctxRemoteServer = 0x10;
constexpr uint32_t kMshctxDifferentMachine = 2;
constexpr uint32_t kMaxMachineName = 1024;

using Bytes = std::vector<uint8_t>;

struct Property {
    CLSID clsid;
    const uint8_t* data;
    size_t size;
};

// One type serialization: the headers, then the body padded to a multiple of 8 (the padding
// belongs to the object buffer, as the platform counts it).
template <class Write>
Bytes Serialize(Write&& write) {
    Bytes body = BuildNdr(write);
    if (body.empty()) return {};
    body.resize((body.size() + 7) & ~size_t(7), 0);
    const uint32_t n = uint32_t(body.size());
    Bytes out = {1, kSerialLittleEndian, 8, 0, 0xCC, 0xCC, 0xCC, 0xCC,
                 uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24), 0, 0, 0, 0};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// Opens the type serialization at [p, p + n) and reads its body with read(NdrReader&); `used` is
// the bytes the headers and the object buffer take. False when the headers are not version 1's
// or the object buffer does not fit.
template <class Read>
bool ReadSerialized(const uint8_t* p, size_t n, Read&& read, size_t* used = nullptr) {
    if (n < kSerialHeaderSize || p[0] != 1 || (p[1] != kSerialLittleEndian && p[1] != 0)) return false;
    const bool little = p[1] == kSerialLittleEndian;
    const uint16_t headerLength = little ? uint16_t(p[2] | p[3] << 8) : uint16_t(p[2] << 8 | p[3]);
    const uint32_t length = little ? uint32_t(p[8] | p[9] << 8 | p[10] << 16 | uint32_t(p[11]) << 24)
                                   : uint32_t(uint32_t(p[8]) << 24 | p[9] << 16 | p[10] << 8 | p[11]);
    if (headerLength != 8 || length > n - kSerialHeaderSize) return false;
    NdrReader r(p + kSerialHeaderSize, length, p[1]);
    if (!read(r) || !r.Ok()) return false;
    if (used) *used = kSerialHeaderSize + length;
    return true;
}

// The referent of a unique pointer to MInterfacePointer embedded in a property: checked, skipped.
bool SkipInterfacePointer(NdrReader& r) {
    uint32_t max = 0, count = 0;
    const uint8_t* data;
    if (!r.ULong(max) || !r.ULong(count)) return false;
    if (max != count || count > kMaxObjRefSize) return r.Fail(NdrError::BadCount);
    return r.View(data, count);
}

// OBJREF_CUSTOM of the activation properties object `clsid`: the blob inside it.
bool OpenCustomObjRef(const uint8_t* objref, size_t length, const CLSID& clsid, const uint8_t*& blob,
                      size_t& blobLength) {
    NdrReader r(objref, length, rpc::kDrepLittleEndian);
    uint32_t signature = 0, flags = 0, extension = 0, reserved = 0;
    IID iid;
    CLSID got;
    if (!r.ULong(signature) || !r.ULong(flags) || !r.Guid(iid) || !r.Guid(got) || !r.ULong(extension) ||
        !r.ULong(reserved))
        return false;
    if (signature != OBJREF_SIGNATURE || flags != OBJREF_CUSTOM || !(got == clsid) || extension != 0) return false;
    blobLength = r.Remaining();
    if (blobLength > kMaxActivationBlob) return false;
    return r.View(blob, blobLength);
}

Bytes CustomObjRef(const IID& iid, const CLSID& clsid, const Bytes& blob) {
    return BuildNdr([&](NdrWriter& w) {
        w.ULong(OBJREF_SIGNATURE);
        w.ULong(OBJREF_CUSTOM);
        w.Guid(iid);
        w.Guid(clsid);
        w.ULong(0);  // cbExtension
        w.ULong(uint32_t(blob.size()));  // reserved: ignored by a receiver
        w.Raw(blob.data(), blob.size());
    });
}

// The activation blob: dwSize, dwReserved, the custom header, the properties in its order.
// Consistent only when dwSize is what follows it, totalSize equals dwSize, and the header and the
// properties' sizes add up to it exactly.
bool SplitBlob(const uint8_t* blob, size_t length, std::vector<Property>& props) {
    NdrReader outer(blob, length, rpc::kDrepLittleEndian);
    uint32_t dwSize = 0, dwReserved = 0;
    if (!outer.ULong(dwSize) || !outer.ULong(dwReserved) || dwSize != outer.Remaining()) return false;
    const uint8_t* data = blob + 8;
    uint32_t totalSize = 0, headerSize = 0;
    std::vector<CLSID> clsids;
    std::vector<uint32_t> sizes;
    size_t used = 0;
    const bool header = ReadSerialized(
        data, dwSize,
        [&](NdrReader& r) {
            uint32_t reserved = 0, destCtx = 0, count = 0, clsidRef = 0, sizesRef = 0, reservedRef = 0, max = 0;
            CLSID classInfo;
            if (!r.ULong(totalSize) || !r.ULong(headerSize) || !r.ULong(reserved) || !r.ULong(destCtx) ||
                !r.ULong(count) || !r.Guid(classInfo) || !r.ULong(clsidRef) || !r.ULong(sizesRef) ||
                !r.ULong(reservedRef))
                return false;
            if (count < 1 || count > kMaxActivationProperties || !clsidRef || !sizesRef)
                return r.Fail(NdrError::BadCount);
            if (!r.ULong(max)) return false;
            if (max != count) return r.Fail(NdrError::BadCount);
            clsids.resize(count);
            for (CLSID& c : clsids)
                if (!r.Guid(c)) return false;
            if (!r.ULong(max)) return false;
            if (max != count) return r.Fail(NdrError::BadCount);
            sizes.resize(count);
            for (uint32_t& s : sizes)
                if (!r.ULong(s)) return false;
            uint32_t ignored = 0;
            return !reservedRef || r.ULong(ignored);
        },
        &used);
    if (!header || totalSize != dwSize || headerSize < used || headerSize > dwSize) return false;
    size_t offset = headerSize;
    props.clear();
    for (size_t i = 0; i < clsids.size(); ++i) {
        if (sizes[i] > dwSize - offset) return false;
        for (const Property& p : props)
            if (p.clsid == clsids[i]) return false;  // each property once
        props.push_back({clsids[i], data + offset, sizes[i]});
        offset += sizes[i];
    }
    return offset == dwSize;
}

// The blob of `props`, in their order, with the custom header that names them.
Bytes JoinBlob(const CLSID& classInfo, const std::vector<std::pair<CLSID, Bytes>>& props) {
    uint32_t headerSize = 0, totalSize = 0;
    const auto header = [&](NdrWriter& w) {
        const uint32_t n = uint32_t(props.size());
        w.ULong(totalSize);
        w.ULong(headerSize);
        w.ULong(0);  // dwReserved
        w.ULong(kMshctxDifferentMachine);
        w.ULong(n);
        w.Guid(classInfo);
        w.ULong(NDR_FIRST_REFERENT_ID);
        w.ULong(NDR_FIRST_REFERENT_ID + 4);
        w.ULong(0);  // pdwReserved
        w.ULong(n);
        for (const auto& p : props) w.Guid(p.first);
        w.ULong(n);
        for (const auto& p : props) w.ULong(uint32_t(p.second.size()));
    };
    headerSize = uint32_t(Serialize(header).size());  // the same whatever the sizes say
    totalSize = headerSize;
    for (const auto& p : props) {
        if (p.second.empty()) return {};
        totalSize += uint32_t(p.second.size());
    }
    Bytes blob = {uint8_t(totalSize), uint8_t(totalSize >> 8), uint8_t(totalSize >> 16), uint8_t(totalSize >> 24),
                  0, 0, 0, 0};
    const Bytes h = Serialize(header);
    if (h.size() != headerSize) return {};
    blob.insert(blob.end(), h.begin(), h.end());
    for (const auto& p : props) blob.insert(blob.end(), p.second.begin(), p.second.end());
    return blob;
}

// thisSize is not checked: peers that leave it 0 are answered by the platform all the same.
bool ReadInstantiationInfo(NdrReader& r, ActivationRequest& q) {
    uint32_t classCtx = 0, actvflags = 0, count = 0, instFlag = 0, iidsRef = 0, thisSize = 0, max = 0;
    int32_t surrogate = 0;
    int16_t major = 0, minor = 0;
    if (!r.Guid(q.clsid) || !r.ULong(classCtx) || !r.ULong(actvflags) || !r.Long(surrogate) || !r.ULong(count) ||
        !r.ULong(instFlag) || !r.ULong(iidsRef) || !r.ULong(thisSize) || !r.Short(major) || !r.Short(minor))
        return false;
    if (count < 1 || count > kMaxActivationInterfaces || !iidsRef)
        return r.Fail(NdrError::BadCount);
    if (!r.ULong(max)) return false;
    if (max != count) return r.Fail(NdrError::BadCount);
    q.iids.assign(count, IID{});
    for (IID& iid : q.iids)
        if (!r.Guid(iid)) return false;
    return true;
}

bool ReadScmRequestInfo(NdrReader& r, ActivationRequest& q) {
    uint32_t reservedRef = 0, requestRef = 0, ignored = 0;
    if (!r.ULong(reservedRef) || !r.ULong(requestRef)) return false;
    if (reservedRef && !r.ULong(ignored)) return false;
    q.protseqs.clear();
    if (!requestRef) return true;
    int16_t count = 0;
    uint32_t protseqsRef = 0, max = 0;
    if (!r.ULong(q.impLevel) || !r.Short(count) || !r.ULong(protseqsRef)) return false;
    if (uint16_t(count) > kMaxProtseqs || (!protseqsRef && count != 0)) return r.Fail(NdrError::BadCount);
    if (!protseqsRef) return true;
    if (!r.ULong(max)) return false;
    if (max != uint16_t(count)) return r.Fail(NdrError::BadCount);
    q.protseqs.resize(max);
    for (uint16_t& p : q.protseqs) {
        int16_t v = 0;
        if (!r.Short(v)) return false;
        p = uint16_t(v);
    }
    return true;
}

// Client and prototype contexts: this runtime has no contexts, so they are checked and dropped.
bool ReadActivationContextInfo(NdrReader& r) {
    int32_t clientOk = 0, reserved1 = 0;
    uint32_t reserved2 = 0, reserved3 = 0, clientRef = 0, prototypeRef = 0;
    if (!r.Long(clientOk) || !r.Long(reserved1) || !r.ULong(reserved2) || !r.ULong(reserved3) || !r.ULong(clientRef) ||
        !r.ULong(prototypeRef))
        return false;
    return (!clientRef || SkipInterfacePointer(r)) && (!prototypeRef || SkipInterfacePointer(r));
}

bool ReadLocationInfo(NdrReader& r) {
    uint32_t nameRef = 0, process = 0, apartment = 0, context = 0;
    if (!r.ULong(nameRef) || !r.ULong(process) || !r.ULong(apartment) || !r.ULong(context)) return false;
    std::u16string name;
    return !nameRef || r.WString(name, kMaxMachineName);
}

// COSERVERINFO may name the machine; credentials (COAUTHINFO) are refused: this side is
// unauthenticated and the platform requires them null here.
bool ReadSecurityInfo(NdrReader& r) {
    uint32_t flags = 0, serverRef = 0, reservedRef = 0;
    if (!r.ULong(flags) || !r.ULong(serverRef) || !r.ULong(reservedRef)) return false;
    if (serverRef) {
        uint32_t reserved1 = 0, nameRef = 0, authRef = 0, reserved2 = 0;
        if (!r.ULong(reserved1) || !r.ULong(nameRef) || !r.ULong(authRef) || !r.ULong(reserved2)) return false;
        if (authRef) return r.Fail(NdrError::BadCount);
        std::u16string name;
        if (nameRef && !r.WString(name, kMaxMachineName)) return false;
    }
    uint32_t ignored = 0;
    return !reservedRef || r.ULong(ignored);
}

void WriteInstantiationInfo(NdrWriter& w, const ActivationRequest& q, uint32_t thisSize) {
    const uint32_t n = uint32_t(q.iids.size());
    w.Guid(q.clsid);
    w.ULong(kClsctxRemoteServer);
    w.ULong(0);  // actvflags
    w.Long(0);   // fIsSurrogate
    w.ULong(n);
    w.ULong(0);  // instFlag
    w.ULong(NDR_FIRST_REFERENT_ID);
    w.ULong(thisSize);
    w.Short(int16_t(kComVersion.major));
    w.Short(int16_t(kComVersion.minor));
    w.ULong(n);
    for (const IID& iid : q.iids) w.Guid(iid);
}

bool ReadPropsOutInfo(NdrReader& r, const std::vector<IID>& iids, ActivationReply& a) {
    uint32_t count = 0, iidsRef = 0, resultsRef = 0, interfacesRef = 0;
    if (!r.ULong(count) || !r.ULong(iidsRef) || !r.ULong(resultsRef) || !r.ULong(interfacesRef)) return false;
    if (count != iids.size() || !resultsRef || !interfacesRef) return r.Fail(NdrError::BadCount);
    if (iidsRef) {
        uint32_t max = 0;
        if (!r.ULong(max)) return false;
        if (max != count) return r.Fail(NdrError::BadCount);
        for (const IID& asked : iids) {
            IID iid;
            if (!r.Guid(iid)) return false;
            if (!(iid == asked)) return r.Fail(NdrError::BadCount);
        }
    }
    return ReadHResults(r, count, a.results) && ReadInterfacePointers(r, count, a.interfaces);
}

bool ReadScmReplyInfo(NdrReader& r, ActivationReply& a) {
    uint32_t reserved = 0, replyRef = 0, bindingsRef = 0;
    int16_t major = 0, minor = 0;
    if (!r.ULong(reserved) || !r.ULong(replyRef)) return false;
    if (!replyRef) return r.Fail(NdrError::BadCount);
    if (!r.Hyper(a.oxid) || !r.ULong(bindingsRef) || !r.Guid(a.remUnknown) || !r.ULong(a.authnHint) ||
        !r.Short(major) || !r.Short(minor))
        return false;
    a.version = {uint16_t(major), uint16_t(minor)};
    a.hasBindings = bindingsRef != 0;
    return !a.hasBindings || ReadDualStringArray(r, a.bindings);
}

}  // namespace

HRESULT DecodeActivationPropertiesIn(const uint8_t* objref, size_t length, ActivationRequest& q) {
    const uint8_t* blob;
    size_t blobLength = 0;
    std::vector<Property> props;
    if (!objref || !OpenCustomObjRef(objref, length, CLSID_ActivationPropertiesIn, blob, blobLength) ||
        !SplitBlob(blob, blobLength, props))
        return E_INVALIDARG;
    bool instantiation = false, stored = false;
    q.iids.clear();
    q.protseqs.clear();
    q.hasObjectName = q.hasObjectStorage = false;
    for (const Property& p : props) {
        bool ok = true;
        if (p.clsid == CLSID_InstantiationInfo) {
            instantiation = true;
            ok = ReadSerialized(p.data, p.size, [&](NdrReader& r) { return ReadInstantiationInfo(r, q); });
        } else if (p.clsid == CLSID_ScmRequestInfo) {
            ok = ReadSerialized(p.data, p.size, [&](NdrReader& r) { return ReadScmRequestInfo(r, q); });
        } else if (p.clsid == CLSID_ActivationContextInfo) {
            ok = ReadSerialized(p.data, p.size, ReadActivationContextInfo);
        } else if (p.clsid == CLSID_ServerLocationInfo) {
            ok = ReadSerialized(p.data, p.size, ReadLocationInfo);
        } else if (p.clsid == CLSID_SecurityInfo) {
            ok = ReadSerialized(p.data, p.size, ReadSecurityInfo);
        } else if (p.clsid == CLSID_InstanceInfo) {
            stored = true;  // a file name or storage to initialise from: not served
        }  // others (SpecialSystemProperties and the like) say nothing this side acts on
        if (!ok) return E_INVALIDARG;
    }
    if (!instantiation) return E_INVALIDARG;
    if (stored) {
        q.hasObjectName = true;
        return E_NOTIMPL;
    }
    return S_OK;
}

std::vector<uint8_t> EncodeActivationPropertiesIn(const ActivationRequest& q,
                                                  const std::vector<std::pair<CLSID, std::vector<uint8_t>>>& extra) {
    uint32_t thisSize = 0;
    const auto instantiation = [&](NdrWriter& w) { WriteInstantiationInfo(w, q, thisSize); };
    thisSize = uint32_t(Serialize(instantiation).size());
    std::vector<std::pair<CLSID, Bytes>> props;
    props.emplace_back(CLSID_InstantiationInfo, Serialize(instantiation));
    props.emplace_back(CLSID_ActivationContextInfo, Serialize([](NdrWriter& w) {
                           for (int i = 0; i < 6; ++i) w.ULong(0);  // no contexts
                       }));
    props.emplace_back(CLSID_ServerLocationInfo, Serialize([](NdrWriter& w) {
                           for (int i = 0; i < 4; ++i) w.ULong(0);  // this machine, no process or apartment
                       }));
    props.emplace_back(CLSID_ScmRequestInfo, Serialize([&](NdrWriter& w) {
                           w.ULong(0);  // pdwReserved
                           w.ULong(NDR_FIRST_REFERENT_ID);
                           w.ULong(q.impLevel);
                           w.Short(int16_t(q.protseqs.size()));
                           w.ULong(NDR_FIRST_REFERENT_ID + 4);
                           w.ULong(uint32_t(q.protseqs.size()));
                           for (uint16_t p : q.protseqs) w.Short(int16_t(p));
                       }));
    props.insert(props.end(), extra.begin(), extra.end());
    const Bytes blob = JoinBlob(CLSID_ActivationPropertiesIn, props);
    return blob.empty() ? Bytes{} : CustomObjRef(IID_IActivationPropertiesIn, CLSID_ActivationPropertiesIn, blob);
}

std::vector<uint8_t> EncodeActivationPropertiesOut(const ActivationReply& a, const std::vector<IID>& iids) {
    if (a.results.size() != iids.size() || a.interfaces.size() != iids.size()) return {};
    std::vector<std::pair<CLSID, Bytes>> props;
    props.emplace_back(CLSID_PropsOutInfo, Serialize([&](NdrWriter& w) {
                           const uint32_t n = uint32_t(iids.size());
                           w.ULong(n);
                           w.ULong(NDR_FIRST_REFERENT_ID);
                           w.ULong(NDR_FIRST_REFERENT_ID + 4);
                           w.ULong(NDR_FIRST_REFERENT_ID + 8);
                           w.ULong(n);
                           for (const IID& iid : iids) w.Guid(iid);
                           WriteHResults(w, a.results);
                           WriteInterfacePointers(w, a.interfaces, NDR_FIRST_REFERENT_ID + 12);
                       }));
    props.emplace_back(CLSID_ScmReplyInfo, Serialize([&](NdrWriter& w) {
                           w.ULong(0);  // pdwReserved
                           w.ULong(NDR_FIRST_REFERENT_ID);
                           w.Hyper(a.oxid);
                           w.ULong(a.hasBindings ? NDR_FIRST_REFERENT_ID + 4 : 0);
                           w.Guid(a.remUnknown);
                           w.ULong(a.authnHint);
                           w.Short(int16_t(a.version.major));
                           w.Short(int16_t(a.version.minor));
                           if (a.hasBindings) WriteDualStringArray(w, a.bindings);
                       }));
    const Bytes blob = JoinBlob(CLSID_ActivationPropertiesOut, props);
    return blob.empty() ? Bytes{} : CustomObjRef(IID_IActivationPropertiesOut, CLSID_ActivationPropertiesOut, blob);
}

bool DecodeActivationPropertiesOut(const uint8_t* objref, size_t length, const std::vector<IID>& iids,
                                   ActivationReply& a) {
    const uint8_t* blob;
    size_t blobLength = 0;
    std::vector<Property> props;
    if (!objref || !OpenCustomObjRef(objref, length, CLSID_ActivationPropertiesOut, blob, blobLength) ||
        !SplitBlob(blob, blobLength, props))
        return false;
    bool out = false, scm = false;
    for (const Property& p : props) {
        if (p.clsid == CLSID_PropsOutInfo) {
            out = ReadSerialized(p.data, p.size, [&](NdrReader& r) { return ReadPropsOutInfo(r, iids, a); });
            if (!out) return false;
        } else if (p.clsid == CLSID_ScmReplyInfo) {
            scm = ReadSerialized(p.data, p.size, [&](NdrReader& r) { return ReadScmReplyInfo(r, a); });
            if (!scm) return false;
        }
    }
    return out && scm;
}

void WriteScmActivationRequest(NdrWriter& w, const ScmActivationRequest& q, bool createInstance) {
    WriteOrpcThis(w, q.orpc);
    if (createInstance) w.ULong(0);  // pUnkOuter: this side never aggregates
    w.InterfacePointer(q.properties.empty() ? nullptr : q.properties.data(), uint32_t(q.properties.size()));
}

bool ReadScmActivationRequest(NdrReader& r, ScmActivationRequest& q, bool createInstance) {
    if (!ReadOrpcThis(r, q.orpc)) return false;
    const uint8_t* data = nullptr;
    uint32_t length = 0;
    if (createInstance) {
        if (!r.InterfacePointer(data, length, kMaxObjRefSize)) return false;
        q.hasOuter = data != nullptr;
    }
    if (!r.InterfacePointer(data, length, kMaxObjRefSize)) return false;
    q.properties.assign(data, data + length);
    return true;
}

void WriteScmActivationReply(NdrWriter& w, const ScmActivationReply& a) {
    WriteOrpcThat(w, a.orpc);
    w.InterfacePointer(a.properties.empty() ? nullptr : a.properties.data(), uint32_t(a.properties.size()));
    w.Long(a.hr);
}

bool ReadScmActivationReply(NdrReader& r, ScmActivationReply& a) {
    if (!ReadOrpcThat(r, a.orpc)) return false;
    const uint8_t* data = nullptr;
    uint32_t length = 0;
    if (!r.InterfacePointer(data, length, kMaxObjRefSize)) return false;
    a.properties.assign(data, data + length);
    return r.Long(a.hr);
}

}  // namespace com
