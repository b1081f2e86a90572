// The library's four entry points; the only symbols it exports.
#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "proxy/Factory.h"
#include "proxy/ModuleState.h"
#include "proxy/Registration.h"

#define QOB_EXPORT extern "C" __attribute__((visibility("default")))

QOB_EXPORT com::HRESULT DllGetClassObject(com::REFCLSID clsid, com::REFIID iid, void** ppv);
QOB_EXPORT com::HRESULT DllCanUnloadNow();
QOB_EXPORT com::HRESULT DllRegisterServer();
QOB_EXPORT com::HRESULT DllUnregisterServer();

namespace {

// Absolute path of this library, as the loader found it.
bool LibraryPath(std::string& path) {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) || !info.dli_fname) return false;
    char resolved[PATH_MAX];
    if (!realpath(info.dli_fname, resolved)) return false;
    path = resolved;
    return true;
}

}  // namespace

com::HRESULT DllGetClassObject(com::REFCLSID clsid, com::REFIID iid, void** ppv) {
    return zent::GetFactoryObject(clsid, iid, ppv);
}

com::HRESULT DllCanUnloadNow() { return zent::ModuleLockCount() == 0 ? com::S_OK : com::S_FALSE; }

com::HRESULT DllRegisterServer() {
    std::string path;
    if (!LibraryPath(path)) return com::SELFREG_E_CLASS;
    return zent::RegisterProxyLibrary(path);
}

com::HRESULT DllUnregisterServer() { return zent::UnregisterProxyLibrary(); }
