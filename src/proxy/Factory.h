// The proxy/stub factory of the library: creates a proxy or a stub for any of the sixteen
// interfaces. One static instance; its outside references count as live objects.
#pragma once

#include "com/RpcInterfaces.h"

namespace zent {

com::IPSFactoryBuffer* TheFactory();  // no reference added

// DllGetClassObject's work: the factory for clsid CLSID_ZentProxyFactory.
com::HRESULT GetFactoryObject(com::REFCLSID clsid, com::REFIID iid, void** ppv);

}  // namespace zent
