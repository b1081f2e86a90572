// A site served over the network as a telephony server is: activation on the resolver port of
// its address, its objects on a port of their own, one new server object per activation.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "com/DcomServer.h"
#include "sim/Latency.h"
#include "sim/RequestCounts.h"
#include "sim/Site.h"

namespace sim {

class SiteServer {
public:
    SiteServer(std::shared_ptr<Site> site, std::string address, com::RpcServerOptions options = {});
    ~SiteServer();

    bool Start(uint16_t resolverPort, std::string& error);
    void Run();               // serves until Stop
    void RunInBackground();   // the same on a thread of its own; Stop and the destructor end it
    void Stop();              // from any thread, also from a signal handler

    com::DcomServer& Server() { return m_server; }

private:
    std::shared_ptr<Site> m_site;
    com::DcomServer m_server;
    std::thread m_thread;
};

// The server's hook for a served site: every answer counted in `counts` and held back as
// `latency` says (either may be null).
com::RpcServerHook ServeHook(std::shared_ptr<Latency> latency, std::shared_ptr<RequestCounts> counts);

// The answers of one activation of the site's server class, as the site's faults say: an absent
// interface fails, an empty one succeeds without a reference.
com::HRESULT ActivateSiteObject(const std::shared_ptr<Site>& site, const com::CLSID& clsid,
                                const std::vector<com::IID>& iids, std::vector<com::ActivationAnswer>& answers);

}  // namespace sim
