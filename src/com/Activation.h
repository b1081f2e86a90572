// Activation of an object of a class on a named machine, with several interfaces in one request,
// as the platform's CoCreateInstanceEx. A machine name may be served in this process (a simulated
// site in tests and the demo); every other name is reached over the network.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "com/InProcActivation.h"
#include "com/Link.h"

namespace com {

// Makes the server object of class clsid for an in-process machine (one reference in *server).
using InProcServerFactory = std::function<HRESULT(REFCLSID clsid, IUnknown** server)>;

// Answers a whole activation request for an in-process machine, as CoCreateInstanceEx does: one
// result per interface (a simulated server may answer some with success and a null reference).
using InProcActivator = std::function<HRESULT(REFCLSID clsid, MULTI_QI* results, uint32_t count)>;

// From now on, activation requests for `machine` are served in this process by the factory
// (its object's interfaces reached through InProcActivate), or by the activator.
void RegisterInProcMachine(const std::string& machine, InProcServerFactory factory);
void RegisterInProcActivator(const std::string& machine, InProcActivator activator);
void UnregisterInProcMachine(const std::string& machine);

// Creates the object on `machine` and asks for every interface of `results` in the same request.
// S_OK when all came back, CO_S_NOTALLINTERFACES when some did; a failure when the object could not
// be made or none of the interfaces came back.
HRESULT CoCreateInstanceEx(REFCLSID clsid, const std::string& machine, MULTI_QI* results, uint32_t count);
// The same, with every call of the activation and of the references it returns going over
// `link` (in process too: its channels refuse calls once the link is lost or aborted). Once
// the link is lost the activation fails at once.
HRESULT CoCreateInstanceEx(REFCLSID clsid, const std::string& machine, MULTI_QI* results, uint32_t count,
                           const LinkPtr& link);

}  // namespace com
