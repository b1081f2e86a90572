// Sites served in this process: tests (and the demo) reach a site's server object through the
// real proxies, stubs and the in-process channel, as a client reaches a remote server.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "com/Activation.h"
#include "sim/Site.h"

namespace sim {

// Activates a new server object of the site for the requested interfaces, answering each as the
// site's faults say: absent interfaces fail with E_NOINTERFACE, empty ones succeed with a null
// reference, the others come back as connected proxies. The overall result is S_OK,
// CO_S_NOTALLINTERFACES or E_NOINTERFACE, as the platform's activation gives it.
com::HRESULT ActivateSite(const std::shared_ptr<Site>& site, com::MULTI_QI* results, uint32_t count);

// From now on CoCreateInstanceEx of the server class on `machine` activates a new server object
// of the site, answering as ActivateSite does.
void HostSite(const std::string& machine, std::shared_ptr<Site> site);
void UnhostSite(const std::string& machine);

}  // namespace sim
