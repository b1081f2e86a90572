// One accepted connection of an RPC server, served on its own thread until the peer leaves,
// breaks the protocol, stays silent too long, or the server stops.
#pragma once

#include <atomic>
#include <cstdint>

#include "com/RpcServer.h"
#include "com/RpcServerShared.h"
#include "com/TcpStream.h"

namespace com {

// Holds the connection's thread for `ms` milliseconds, or less when the server stops or the
// connection is shut down; false in those cases.
bool HoldConnection(int fd, uint32_t ms, const std::atomic<bool>& stopping);

// Serves the connection's PDUs with handler; returns when the connection is over.
void ServeConnection(TcpStream& stream, IRpcHandler* handler, const RpcServerOptions& options, ServerShared& shared,
                     ConnectionQuiet& quiet);

}  // namespace com
