// IRemoteActivation::RemoteActivation, the activation request every client sends to a machine's
// resolver port, in both directions.
#pragma once

#include <cstdint>
#include <vector>

#include "com/DcomIds.h"
#include "com/HResult.h"
#include "com/Orpc.h"
#include "com/StringBindings.h"

namespace com {

struct ActivationRequest {
    OrpcThis orpc;
    CLSID clsid;
    bool hasObjectName = false;     // persistent activation: not served here
    bool hasObjectStorage = false;
    uint32_t impLevel = kImpLevelAnonymous;
    uint32_t mode = 0;
    std::vector<IID> iids;
    std::vector<uint16_t> protseqs;
};

struct ActivationReply {
    OrpcThat orpc;
    OXID oxid = 0;
    bool hasBindings = false;
    DualStringArray bindings;       // the exporter's string bindings, with endpoints
    IPID remUnknown;
    uint32_t authnHint = kAuthnLevelNone;
    COMVERSION version = kComVersion;
    HRESULT hr = S_OK;
    std::vector<std::vector<uint8_t>> interfaces;  // one OBJREF each; empty = no reference
    std::vector<HRESULT> results;
    uint32_t status = 0;  // error_status_t
};

void WriteActivationRequest(NdrWriter& w, const ActivationRequest& q);
bool ReadActivationRequest(NdrReader& r, ActivationRequest& q);
void WriteActivationReply(NdrWriter& w, const ActivationReply& a);
// expected: the number of interfaces asked for; the reply must answer each.
bool ReadActivationReply(NdrReader& r, ActivationReply& a, size_t expected);

}  // namespace com
