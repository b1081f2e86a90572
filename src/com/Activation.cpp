#include "com/Activation.h"

#include "com/RemoteActivation.h"
#include "com/RpcError.h"

#include <map>
#include <mutex>

namespace com {
namespace {

struct Machines {
    std::mutex mutex;
    std::map<std::string, InProcActivator> activators;
};

Machines& machines() {
    static Machines m;
    return m;
}

}  // namespace

void RegisterInProcMachine(const std::string& machine, InProcServerFactory factory) {
    RegisterInProcActivator(machine, [factory = std::move(factory)](REFCLSID clsid, MULTI_QI* results,
                                                                    uint32_t count) -> HRESULT {
        IUnknown* server = nullptr;
        HRESULT hr = factory(clsid, &server);
        if (FAILED(hr)) return hr;
        if (!server) return E_UNEXPECTED;
        hr = InProcActivate(server, results, count);
        server->Release();
        return hr;
    });
}

void RegisterInProcActivator(const std::string& machine, InProcActivator activator) {
    Machines& m = machines();
    std::lock_guard lock(m.mutex);
    m.activators[machine] = std::move(activator);
}

void UnregisterInProcMachine(const std::string& machine) {
    Machines& m = machines();
    std::lock_guard lock(m.mutex);
    m.activators.erase(machine);
}

HRESULT CoCreateInstanceEx(REFCLSID clsid, const std::string& machine, MULTI_QI* results, uint32_t count) {
    return CoCreateInstanceEx(clsid, machine, results, count, nullptr);
}

HRESULT CoCreateInstanceEx(REFCLSID clsid, const std::string& machine, MULTI_QI* results, uint32_t count,
                           const LinkPtr& link) {
    if (!results || count == 0) return E_INVALIDARG;
    for (uint32_t i = 0; i < count; ++i) {
        results[i].pItf = nullptr;
        results[i].hr = E_NOINTERFACE;
    }
    InProcActivator activator;
    {
        Machines& m = machines();
        std::lock_guard lock(m.mutex);
        auto it = m.activators.find(machine);
        if (it != m.activators.end()) activator = it->second;
    }
    ClearLastRpcErrorText();
    if (!activator) return RemoteActivate(clsid, machine, results, count, link);
    if (link)
        if (HRESULT hr = link->Refuse(machine); FAILED(hr)) return hr;
    ActivationLinkScope scope(link);
    return activator(clsid, results, count);
}

}  // namespace com
