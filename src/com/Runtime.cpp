#include "com/Runtime.h"

#include <atomic>
#include <mutex>

#include "com/Pinger.h"

namespace com {
namespace {

std::mutex g_mutex;
int g_initCount = 0;
bool g_securitySet = false;
std::atomic<uint32_t> g_impLevel{RPC_C_IMP_LEVEL_ANONYMOUS};

}  // namespace

HRESULT OleInitialize() {
    std::lock_guard lock(g_mutex);
    ++g_initCount;
    return g_initCount == 1 ? S_OK : S_FALSE;
}

void OleUninitialize() {
    bool last;
    {
        std::lock_guard lock(g_mutex);
        if (g_initCount == 0) return;
        last = --g_initCount == 0;
    }
    if (last) PingerShutdown();
}

HRESULT CoInitializeSecurity(int32_t, uint32_t authnLevel, uint32_t impLevel, uint32_t capabilities) {
    std::lock_guard lock(g_mutex);
    if (g_securitySet) return RPC_E_TOO_LATE;
    if (authnLevel > RPC_C_AUTHN_LEVEL_NONE || impLevel > RPC_C_IMP_LEVEL_IDENTIFY || capabilities != EOAC_NONE)
        return E_INVALIDARG;
    g_impLevel = impLevel == RPC_C_IMP_LEVEL_DEFAULT ? RPC_C_IMP_LEVEL_ANONYMOUS : impLevel;
    g_securitySet = true;
    return S_OK;
}

uint32_t ProcessImpersonationLevel() { return g_impLevel.load(); }

}  // namespace com
