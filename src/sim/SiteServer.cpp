#include "sim/SiteServer.h"

#include "proxy/Interfaces.h"
#include "sim/SimServer.h"

namespace sim {

com::HRESULT ActivateSiteObject(const std::shared_ptr<Site>& site, const com::CLSID& clsid,
                                const std::vector<com::IID>& iids, std::vector<com::ActivationAnswer>& answers) {
    if (!(clsid == CLSID_ZentServer)) return com::REGDB_E_CLASSNOTREG;
    com::ComPtr<CSimServer> server(CSimServer::Create(site));
    if (!server) return com::E_OUTOFMEMORY;
    answers.assign(iids.size(), {});
    for (size_t i = 0; i < iids.size(); ++i) {
        com::ActivationAnswer& a = answers[i];
        switch (server->ActivationAnswer(iids[i])) {
        case InterfaceAnswer::Absent: a.hr = com::E_NOINTERFACE; break;
        case InterfaceAnswer::Empty: a.hr = com::S_OK; break;
        case InterfaceAnswer::Present: {
            void* itf = nullptr;
            a.hr = server->QueryInterface(iids[i], &itf);
            if (com::SUCCEEDED(a.hr)) a.itf = com::ComPtr<com::IUnknown>(static_cast<com::IUnknown*>(itf));
            break;
        }
        }
    }
    return com::S_OK;
}

com::RpcServerHook ServeHook(std::shared_ptr<Latency> latency, std::shared_ptr<RequestCounts> counts) {
    if (latency && latency->None()) latency.reset();
    if (!latency && !counts) return {};
    return [latency, counts](com::RpcServerEvent event) -> uint32_t {
        if (counts) counts->Count(event);
        return latency ? latency->Next() : 0;
    };
}

SiteServer::SiteServer(std::shared_ptr<Site> site, std::string address, com::RpcServerOptions options)
    : m_site(site),
      m_server(std::move(address),
               [site](const com::CLSID& clsid, const std::vector<com::IID>& iids,
                      std::vector<com::ActivationAnswer>& answers) { return ActivateSiteObject(site, clsid, iids, answers); },
               options) {}

SiteServer::~SiteServer() {
    Stop();
    if (m_thread.joinable()) m_thread.join();
}

bool SiteServer::Start(uint16_t resolverPort, std::string& error) { return m_server.Start(resolverPort, error); }

void SiteServer::Run() { m_server.Run(); }

void SiteServer::RunInBackground() {
    m_thread = std::thread([this] { m_server.Run(); });
}

void SiteServer::Stop() { m_server.Stop(); }

}  // namespace sim
