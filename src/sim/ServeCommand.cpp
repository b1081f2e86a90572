#include "sim/ServeCommand.h"

#include <signal.h>

#include <atomic>
#include <cstdio>

#include "com/ProxyRegistration.h"
#include "sim/Commands.h"
#include "sim/SiteServer.h"
#include "sim/StateLock.h"

namespace sim {
namespace {

std::atomic<SiteServer*> g_serving{nullptr};

extern "C" void StopServing(int) {
    if (SiteServer* s = g_serving.load()) s->Stop();
}

}  // namespace

int ServeCommand(const ServeOptions& o, std::string& err) {
    std::string error;
    // Held until the process ends: no other command changes the state behind the server's back.
    platform::FileLock lock;
    if (!LockState(lock, o.statePath, kServingLockText, error)) {
        err += "zentsim: " + error + "\n";
        return kExitFailed;
    }
    auto site = Site::Open(o.statePath, error);
    if (!site) {
        err += "zentsim: " + error + "\n";
        return kExitFailed;
    }
    site->SetJournalFile(o.journalFile);
    // The stubs come from the proxy library, found through the registry as a client finds it.
    if (!com::EnsureProxyLibraryRegistered()) {
        err += "zentsim: the proxy library libzentproxy.so cannot be loaded or registered\n";
        return kExitFailed;
    }
    auto counts = std::make_shared<RequestCounts>();
    com::RpcServerOptions rpc = o.rpc;
    rpc.hook = ServeHook(std::make_shared<Latency>(o.latencyMs, o.jitterMs), counts);
    SiteServer server(site, o.address, rpc);
    server.Server().ServeScmActivator(o.scmActivator);
    if (!server.Start(o.resolverPort, error)) {
        err += "zentsim: " + error + "\n";
        return kExitFailed;
    }
    g_serving = &server;
    struct sigaction sa {};
    sa.sa_handler = StopServing;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    std::printf("zentsim: serving %s on %s port %u (objects on port %u)\n", o.statePath.c_str(), o.address.c_str(),
                unsigned(server.Server().ResolverPort()), unsigned(server.Server().ExporterPort()));
    std::fflush(stdout);
    server.Run();
    g_serving = nullptr;
    std::printf("zentsim: answered %s\n", counts->Text().c_str());
    std::fflush(stdout);
    // What the log holds goes into the state file, so that the next start has nothing to replay.
    if (!site->Fold(error)) {
        err += "zentsim: " + error + "\n";
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace sim
