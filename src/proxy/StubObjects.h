// The stub buffer: one generic class for all sixteen interfaces, dispatching by method number.
#pragma once

#include "com/RpcInterfaces.h"

namespace zent {

// A new stub for table entry index, connected to server when it is not null.
com::HRESULT CreateStubObject(int index, com::IUnknown* server, com::IRpcStubBuffer** ppStub);

}  // namespace zent
