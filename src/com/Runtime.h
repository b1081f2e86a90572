// Initialisation of the runtime for a thread and the process's security, as a program sets them
// up at start-up. Only unauthenticated calls are spoken: authentication level none, anonymous.
#pragma once

#include <cstdint>

#include "com/HResult.h"

namespace com {

constexpr uint32_t RPC_C_AUTHN_LEVEL_DEFAULT = 0;
constexpr uint32_t RPC_C_AUTHN_LEVEL_NONE = 1;
constexpr uint32_t RPC_C_IMP_LEVEL_DEFAULT = 0;
constexpr uint32_t RPC_C_IMP_LEVEL_ANONYMOUS = 1;
constexpr uint32_t RPC_C_IMP_LEVEL_IDENTIFY = 2;
constexpr uint32_t EOAC_NONE = 0;
constexpr HRESULT RPC_E_TOO_LATE = MakeHr(0x80010119);

HRESULT OleInitialize();
void OleUninitialize();  // the last one stops the pinger after releasing what it pings

// The process-wide security: once, before the first remote call. Any level above none is
// refused (E_INVALIDARG): this runtime has no authentication to offer.
HRESULT CoInitializeSecurity(int32_t authnServices, uint32_t authnLevel, uint32_t impLevel, uint32_t capabilities);

// The impersonation level sent with activation requests.
uint32_t ProcessImpersonationLevel();

}  // namespace com
