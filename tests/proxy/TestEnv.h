// Test set-up shared by the runtime and library tests: a fresh registry directory and the
// built proxy library registered in it.
#pragma once

#include <dlfcn.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "com/HResult.h"
#include "com/ProxyLoader.h"

namespace testenv {

// The registry directory of the last UseFreshRegistry, removed when the next one replaces it and
// when the program ends, so that no run leaves one behind.
class RegistryDirectory {
public:
    ~RegistryDirectory() { Remove(); }
    void Replace(std::string dir) {
        Remove();
        m_dir = std::move(dir);
    }

private:
    void Remove() {
        std::error_code ec;
        if (!m_dir.empty()) std::filesystem::remove_all(m_dir, ec);
        m_dir.clear();
    }
    std::string m_dir;
};

// Points the registry stand-in at a new empty directory (before any registry call).
inline std::string UseFreshRegistry() {
    static RegistryDirectory current;
    std::string tmpl = (std::filesystem::temp_directory_path() / "qob-reg-XXXXXX").string();
    const std::string dir = mkdtemp(tmpl.data()) ? tmpl : std::string();
    current.Replace(dir);
    setenv("QOB_REGISTRY_DIR", dir.empty() ? "/nonexistent" : dir.c_str(), 1);
    com::ResetProxyStubCache();
    return dir;
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
