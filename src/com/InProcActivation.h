// Activation of an in-process "remote" server: for a server object and a list of interfaces,
// one connected proxy per interface, each on its own in-process channel and stub.
#pragma once

#include <cstdint>

#include "com/Unknown.h"

namespace com {

// One requested interface and its outcome, as the platform's MULTI_QI.
struct MULTI_QI {
    const IID* pIID = nullptr;
    IUnknown* pItf = nullptr;  // the proxy (one reference) when hr succeeded
    HRESULT hr = E_NOINTERFACE;
};

// *ppv gets a proxy for interface iid of server, connected through the in-process channel.
HRESULT InProcConnect(IUnknown* server, REFIID iid, void** ppv);

// S_OK when every interface came back, CO_S_NOTALLINTERFACES when some did, E_NOINTERFACE when
// none did; each result's hr says how its interface went.
HRESULT InProcActivate(IUnknown* server, MULTI_QI* results, uint32_t count);

}  // namespace com
