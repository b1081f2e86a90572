// `zentsim serve`: the site on the network until SIGTERM or SIGINT.
#pragma once

#include <cstdint>
#include <string>

#include "com/RpcServer.h"

namespace sim {

struct ServeOptions {
    std::string statePath;
    std::string address;
    uint16_t resolverPort = 135;
    std::string journalFile;  // every call answered, appended as one line (empty: none)
    uint32_t latencyMs = 0;   // before every reply and every accepted connection
    uint32_t jitterMs = 0;    // a uniform random extra up to this, drawn each time
    com::RpcServerOptions rpc;
    bool scmActivator = true;  // false: the resolver serves only IRemoteActivation, as older servers
};

// Serves until a signal ends it; the exit status. Prints one line on standard output once the
// site can be reached, so a script may wait for it, and one with what it answered when it ends.
int ServeCommand(const ServeOptions& options, std::string& err);

}  // namespace sim
