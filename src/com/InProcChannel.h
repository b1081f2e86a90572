// The in-process channel: a proxy's request bytes go to a stub in the same process and the reply
// bytes come back, fully marshaled both ways, as a network transport would carry them.
#pragma once

#include "com/RpcInterfaces.h"

namespace com {

// A client-side channel bound to stub (which it holds a reference on) for interface iid, on the
// link of the activation in progress on this thread (CurrentActivationLink): once that link is
// lost or aborted, calls fail without reaching the stub. The result holds one reference.
IRpcChannelBuffer* CreateInProcChannel(IRpcStubBuffer* stub, REFIID iid);

}  // namespace com
