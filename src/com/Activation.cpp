#include "com/Activation.h"

#include <map>
#include <mutex>

namespace com {
namespace {

constexpr HRESULT RPC_S_SERVER_UNAVAILABLE = MakeHr(0x800706BA);

struct Machines {
    std::mutex mutex;
    std::map<std::string, InProcServerFactory> factories;
};

Machines& machines() {
    static Machines m;
    return m;
}

}  // namespace

void RegisterInProcMachine(const std::string& machine, InProcServerFactory factory) {
    Machines& m = machines();
    std::lock_guard lock(m.mutex);
    m.factories[machine] = std::move(factory);
}

void UnregisterInProcMachine(const std::string& machine) {
    Machines& m = machines();
    std::lock_guard lock(m.mutex);
    m.factories.erase(machine);
}

HRESULT CoCreateInstanceEx(REFCLSID clsid, const std::string& machine, MULTI_QI* results, uint32_t count) {
    if (!results || count == 0) return E_INVALIDARG;
    for (uint32_t i = 0; i < count; ++i) {
        results[i].pItf = nullptr;
        results[i].hr = E_NOINTERFACE;
    }
    InProcServerFactory factory;
    {
        Machines& m = machines();
        std::lock_guard lock(m.mutex);
        auto it = m.factories.find(machine);
        if (it != m.factories.end()) factory = it->second;
    }
    // The network transport is not part of this build: no other machine can be reached.
    if (!factory) return RPC_S_SERVER_UNAVAILABLE;
    IUnknown* server = nullptr;
    HRESULT hr = factory(clsid, &server);
    if (FAILED(hr)) return hr;
    if (!server) return E_UNEXPECTED;
    hr = InProcActivate(server, results, count);
    server->Release();
    return hr;
}

}  // namespace com
