// Finds the proxy/stub factory of an interface the way the platform's runtime does: the
// registry names the factory class of the interface and the library serving that class; the
// library is loaded and asked for its factory. Libraries stay loaded; factories are cached.
#pragma once

#include "com/RpcInterfaces.h"

namespace com {

// *factory gets a reference. REGDB_E_IIDNOTREG, REGDB_E_CLASSNOTREG, CO_E_DLLNOTFOUND,
// CO_E_ERRORINDLL or the library's own result on failure.
HRESULT GetProxyStubFactory(REFIID iid, IPSFactoryBuffer** factory);

// A new proxy for interface iid from factory, connected to channel; *ppv holds one reference.
HRESULT ConnectProxy(IPSFactoryBuffer* factory, REFIID iid, IRpcChannelBuffer* channel, void** ppv);

// Forgets the cached factories (the libraries stay loaded); for tests that re-register.
void ResetProxyStubCache();

}  // namespace com
