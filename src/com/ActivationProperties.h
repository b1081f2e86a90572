// IRemoteSCMActivator, the activation interface of DCOM 5.2 and later peers: the request and the
// reply carry activation properties, an OBJREF_CUSTOM around an activation blob (a custom header
// naming each property by CLSID with its size, then the properties, each an NDR type
// serialization of version 1). Both directions of RemoteCreateInstance and RemoteGetClassObject,
// mapped to and from the same request and reply IRemoteActivation carries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "com/ActivationMessages.h"

namespace com {

constexpr IID IID_IActivationPropertiesIn = MakeGuid(0x000001A2, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
constexpr IID IID_IActivationPropertiesOut = MakeGuid(0x000001A3, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
constexpr CLSID CLSID_ActivationPropertiesIn = MakeGuid(0x00000338, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
constexpr CLSID CLSID_ActivationPropertiesOut = MakeGuid(0x00000339, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
constexpr CLSID CLSID_ServerLocationInfo = MakeGuid(0x000001A4, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
constexpr CLSID CLSID_ActivationContextInfo = MakeGuid(0x000001A5, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
constexpr CLSID CLSID_SecurityInfo = MakeGuid(0x000001A6, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
constexpr CLSID CLSID_ScmRequestInfo = MakeGuid(0x000001AA, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
constexpr CLSID CLSID_InstantiationInfo = MakeGuid(0x000001AB, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
constexpr CLSID CLSID_InstanceInfo = MakeGuid(0x000001AD, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
constexpr CLSID CLSID_ScmReplyInfo = MakeGuid(0x000001B6, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
constexpr CLSID CLSID_SpecialSystemProperties = MakeGuid(0x000001B9, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
// The out blob's first property has the CLSID of the out object itself.
constexpr CLSID CLSID_PropsOutInfo = CLSID_ActivationPropertiesOut;

constexpr uint32_t OBJREF_CUSTOM = 0x4;
// Properties in one blob, as the platform bounds them (MIN_ACTPROP_LIMIT..MAX_ACTPROP_LIMIT).
constexpr uint32_t kMaxActivationProperties = 10;
// The largest activation blob accepted: far above what a request with every interface needs.
constexpr uint32_t kMaxActivationBlob = 64 * 1024;

// Activation properties in: S_OK with q filled (clsid, iids, impLevel, protseqs; the ORPC header
// is not part of the blob), E_NOTIMPL for an activation from a stored object (InstanceInfo), and
// E_INVALIDARG for anything malformed or inconsistent.
HRESULT DecodeActivationPropertiesIn(const uint8_t* objref, size_t length, ActivationRequest& q);
// `extra`: further properties, each already serialized, after the usual ones.
std::vector<uint8_t> EncodeActivationPropertiesIn(
    const ActivationRequest& q, const std::vector<std::pair<CLSID, std::vector<uint8_t>>>& extra = {});

// Activation properties out: the interfaces' results and OBJREFs (PropsOutInfo), the exporter's
// OXID, bindings, IRemUnknown IPID, authentication hint and version (ScmReplyInfo). a.hr, the
// status and the ORPC header travel outside the blob.
std::vector<uint8_t> EncodeActivationPropertiesOut(const ActivationReply& a, const std::vector<IID>& iids);
// False unless the blob answers exactly `iids`, in order, and is well-formed.
bool DecodeActivationPropertiesOut(const uint8_t* objref, size_t length, const std::vector<IID>& iids,
                                   ActivationReply& a);

// The calls. RemoteCreateInstance carries pUnkOuter (always null from this side; a non-null one
// is reported so a server can refuse aggregation), RemoteGetClassObject does not.
struct ScmActivationRequest {
    OrpcThis orpc;
    bool hasOuter = false;
    std::vector<uint8_t> properties;  // the OBJREF; empty: the null pointer
};
struct ScmActivationReply {
    OrpcThat orpc;
    std::vector<uint8_t> properties;  // empty: none (a failed activation)
    HRESULT hr = S_OK;
};
void WriteScmActivationRequest(NdrWriter& w, const ScmActivationRequest& q, bool createInstance);
bool ReadScmActivationRequest(NdrReader& r, ScmActivationRequest& q, bool createInstance);
void WriteScmActivationReply(NdrWriter& w, const ScmActivationReply& a);
bool ReadScmActivationReply(NdrReader& r, ScmActivationReply& a);

}  // namespace com
