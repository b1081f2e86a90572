// The generic client-side routine: one call of any method, driven by its shape descriptor.
#pragma once

#include <cstdint>

#include "com/RpcInterfaces.h"
#include "proxy/Shapes.h"

namespace zent {

// Marshals the call, sends it on channel and unmarshals the reply into the caller's arguments.
// args[i] points at the i-th C++ argument (its value for in scalars, the pointer otherwise).
// Returns the reply's HRESULT, or an error HRESULT with the out arguments cleared.
com::HRESULT ProxyInvoke(com::IRpcChannelBuffer* channel, const com::IID& iid, uint32_t method,
                         const ShapeDesc& shape, const void* const* args);

}  // namespace zent
