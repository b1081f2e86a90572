#include "com/RpcError.h"

#include <algorithm>
#include <cstring>

#include "com/RpcPdu.h"

namespace com {
namespace {

// Plain storage: it must outlive every destructor that may still fail a call at exit.
constexpr size_t kTextSize = 480;
thread_local char t_lastError[kTextSize];

}  // namespace

bool IsTransportFailure(HRESULT hr) {
    switch (uint32_t(hr)) {
    case uint32_t(RPC_S_SERVER_UNAVAILABLE):
    case uint32_t(RPC_S_CALL_FAILED):
    case uint32_t(RPC_S_CALL_FAILED_DNE):
    case uint32_t(RPC_S_PROTOCOL_ERROR):
    case uint32_t(RPC_S_SERVER_TOO_BUSY):
    case uint32_t(RPC_S_OUT_OF_RESOURCES):
    case uint32_t(RPC_E_DISCONNECTED):
        return true;
    default:
        return false;
    }
}

std::string LastRpcErrorText() { return t_lastError; }
void SetLastRpcErrorText(const std::string& text) {
    const size_t n = std::min(text.size(), kTextSize - 1);
    std::memcpy(t_lastError, text.data(), n);
    t_lastError[n] = '\0';
}
void ClearLastRpcErrorText() { t_lastError[0] = '\0'; }

HRESULT FaultStatusToHResult(uint32_t status) {
    switch (status) {
    case rpc::nca_s_op_rng_error: return RPC_S_PROCNUM_OUT_OF_RANGE;
    case rpc::nca_s_unk_if: return RPC_S_UNKNOWN_IF;
    case rpc::nca_s_proto_error:
    case rpc::nca_s_fault_context_mismatch: return RPC_S_PROTOCOL_ERROR;
    case rpc::nca_s_server_too_busy: return RPC_S_SERVER_TOO_BUSY;
    case rpc::nca_s_fault_remote_no_memory: return E_OUTOFMEMORY;
    default: break;
    }
    if (status & 0x80000000u) return HRESULT(status);
    if ((status & 0xFFFF0000u) == 0x1C000000u || (status & 0xFFFF0000u) == 0x1C010000u) return RPC_S_CALL_FAILED;
    return status == 0 ? RPC_S_CALL_FAILED : HRESULT_FROM_WIN32(status);
}

uint32_t HResultToFaultStatus(HRESULT hr) {
    switch (uint32_t(hr)) {
    case uint32_t(RPC_S_PROCNUM_OUT_OF_RANGE): return rpc::nca_s_op_rng_error;
    case uint32_t(RPC_S_UNKNOWN_IF): return rpc::nca_s_unk_if;
    case uint32_t(RPC_S_PROTOCOL_ERROR): return rpc::nca_s_proto_error;
    case uint32_t(E_OUTOFMEMORY): return rpc::nca_s_fault_remote_no_memory;
    default: break;
    }
    // Win32 codes travel as themselves, as the platform's servers send them.
    if ((uint32_t(hr) & 0xFFFF0000u) == 0x80070000u) return uint32_t(hr) & 0xFFFFu;
    return uint32_t(hr);
}

}  // namespace com
