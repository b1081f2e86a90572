// Activation of a class on a machine reached over the network: IRemoteSCMActivator on the
// machine's resolver port, or IRemoteActivation where only that is served (remembered per
// resolver), asking for every interface in one request; each interface that comes back is a
// proxy on a channel to the object's exporter.
#pragma once

#include <cstdint>
#include <string>

#include "com/InProcActivation.h"
#include "com/Link.h"

namespace com {

// As CoCreateInstanceEx: S_OK, CO_S_NOTALLINTERFACES or a failure; each result's hr says how
// its interface went (success with a null reference when the server gave none). The resolver's
// association and the exporter's calls go over `link` (none: a link of their own).
HRESULT RemoteActivate(REFCLSID clsid, const std::string& machine, MULTI_QI* results, uint32_t count,
                       const LinkPtr& link = nullptr);

}  // namespace com
