// One accepted connection of an RPC server, served on its own thread until the peer leaves,
// breaks the protocol, stays silent too long, or the server stops.
#pragma once

#include <atomic>
#include <cstdint>

#include "com/RpcServer.h"
#include "com/TcpStream.h"

namespace com {

// Serves the connection's PDUs with handler; returns when the connection is over.
void ServeConnection(TcpStream& stream, IRpcHandler* handler, const RpcServerOptions& options,
                     std::atomic<uint32_t>& nextGroup, const std::atomic<bool>& stopping);

}  // namespace com
