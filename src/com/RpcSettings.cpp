#include "com/RpcSettings.h"

#include <cerrno>
#include <cstdlib>

#include "com/RpcPdu.h"

namespace com {
namespace {

uint64_t EnvValue(const char* name, uint64_t fallback, uint64_t low, uint64_t high) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) return fallback;
    return v;
}

}  // namespace

uint16_t ResolverPort() { return uint16_t(EnvValue("QOB_RESOLVER_PORT", 135, 1, 65535)); }
uint32_t ConnectTimeoutMs() { return uint32_t(EnvValue("QOB_CONNECT_TIMEOUT_MS", 10000, 1, 3600000)); }
uint32_t CallTimeoutMs() { return uint32_t(EnvValue("QOB_CALL_TIMEOUT_MS", 120000, 1, 86400000)); }
uint32_t PingPeriodMs() { return uint32_t(EnvValue("QOB_PING_PERIOD_MS", 120000, 10, 86400000)); }
uint16_t MaxFragment() { return uint16_t(EnvValue("QOB_RPC_MAX_FRAGMENT", 65535, rpc::kMustRecvFragment, 65535)); }

}  // namespace com
