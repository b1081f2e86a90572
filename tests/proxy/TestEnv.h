// Test set-up shared by the runtime and library tests: a fresh registry directory and the
// built proxy library registered in it.
#pragma once

#include <dlfcn.h>
#include <stdlib.h>

#include <cstdlib>
#include <string>

#include "com/HResult.h"
#include "com/ProxyLoader.h"

namespace testenv {

// Points the registry stand-in at a new empty directory (before any registry call).
inline std::string UseFreshRegistry() {
    char tmpl[] = "/tmp/qob-reg-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    setenv("QOB_REGISTRY_DIR", dir ? dir : "/tmp", 1);
    com::ResetProxyStubCache();
    return dir ? dir : "";
}

inline std::string LibraryPath() {
    const char* bin = std::getenv("QOB_TEST_BIN_DIR");
    return std::string(bin ? bin : ".") + "/libzentproxy.so";
}

// Loads the built library by path and calls its DllRegisterServer.
inline com::HRESULT RegisterBuiltLibrary(void** handle = nullptr) {
    void* lib = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) return com::CO_E_DLLNOTFOUND;
    auto reg = reinterpret_cast<com::HRESULT (*)()>(dlsym(lib, "DllRegisterServer"));
    if (handle) *handle = lib;
    return reg ? reg() : com::CO_E_ERRORINDLL;
}

}  // namespace testenv
