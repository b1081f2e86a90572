// Ports, timeouts and limits of the network transport. Each may be changed by an environment
// variable (read at every use, so tests can set them); out-of-range values fall back to the default.
#pragma once

#include <cstddef>
#include <cstdint>

#include "com/RpcMessage.h"  // kMaxStubData

namespace com {

// QOB_RESOLVER_PORT: the port of the activation and resolver endpoint on every site (135).
uint16_t ResolverPort();
// QOB_CONNECT_TIMEOUT_MS: establishing a connection, including the bind (10 s).
uint32_t ConnectTimeoutMs();
// QOB_CALL_TIMEOUT_MS: one remote call from the first byte sent to the last byte received (120 s).
uint32_t CallTimeoutMs();
// QOB_PING_PERIOD_MS: how often held references are pinged (120 s); a server releases references
// that nobody pinged for kPingsMissed periods.
uint32_t PingPeriodMs();
// QOB_RPC_MAX_FRAGMENT: the largest fragment this side proposes to send and receive (65535;
// 1432 to 65535).
uint16_t MaxFragment();

constexpr uint32_t kPingsMissed = 3;

}  // namespace com
