#include "com/ProxyRegistration.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

#include "com/RpcInterfaces.h"
#include "platform/RegReaders.h"
#include "platform/Trace.h"
#include "proxy/Interfaces.h"

namespace com {

bool EnsureProxyLibraryRegistered() {
    // Two threads must not both find it missing and write the registry at once.
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::string path;
    const std::string key = "CLSID\\" + GuidToString(CLSID_ZentProxyFactory) + "\\InProcServer32";
    if (platform::ReadRegString(key, "", path, "", platform::RegRoot::ClassesRoot) && !path.empty()) return true;

    // Kept loaded after a successful registration, as the runtime will load it again anyway.
    void* lib = dlopen("libzentproxy.so", RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* why = dlerror();
        platform::TraceF("proxy registration: cannot load libzentproxy.so: %s", why ? why : "");
        return false;
    }
    auto entry = reinterpret_cast<DllRegisterServerFn>(dlsym(lib, "DllRegisterServer"));
    if (!entry) {
        platform::Trace("proxy registration: libzentproxy.so has no DllRegisterServer");
        dlclose(lib);
        return false;
    }
    HRESULT hr = entry();
    if (FAILED(hr)) {
        platform::TraceF("proxy registration: DllRegisterServer failed with 0x%08X", unsigned(hr));
        return false;
    }
    return true;
}

}  // namespace com
