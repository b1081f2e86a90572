#include "sim/SimHost.h"

#include <vector>

#include "com/InProcActivation.h"
#include "proxy/Interfaces.h"
#include "sim/SimServer.h"

namespace sim {

com::HRESULT ActivateSite(const std::shared_ptr<Site>& site, com::MULTI_QI* results, uint32_t count) {
    if (!results || count == 0) return com::E_INVALIDARG;
    com::ComPtr<CSimServer> server(CSimServer::Create(site));
    if (!server) return com::E_OUTOFMEMORY;
    uint32_t got = 0;
    for (uint32_t i = 0; i < count; ++i) {
        com::MULTI_QI& r = results[i];
        r.pItf = nullptr;
        if (!r.pIID) {
            r.hr = com::E_POINTER;
            continue;
        }
        switch (server->ActivationAnswer(*r.pIID)) {
        case InterfaceAnswer::Absent: r.hr = com::E_NOINTERFACE; break;
        case InterfaceAnswer::Empty: r.hr = com::S_OK; break;  // success with no reference
        case InterfaceAnswer::Present: {
            void* itf = nullptr;
            r.hr = com::InProcConnect(static_cast<IZentGetI*>(server.Get()), *r.pIID, &itf);
            r.pItf = static_cast<com::IUnknown*>(itf);
            break;
        }
        }
        if (com::SUCCEEDED(r.hr)) ++got;
    }
    return got == count ? com::S_OK : got ? com::CO_S_NOTALLINTERFACES : com::E_NOINTERFACE;
}

void HostSite(const std::string& machine, std::shared_ptr<Site> site) {
    com::RegisterInProcActivator(
        machine, [site](com::REFCLSID clsid, com::MULTI_QI* results, uint32_t count) -> com::HRESULT {
            if (!(clsid == CLSID_ZentServer)) return com::REGDB_E_CLASSNOTREG;
            return ActivateSite(site, results, count);
        });
}

void UnhostSite(const std::string& machine) { com::UnregisterInProcMachine(machine); }

}  // namespace sim
