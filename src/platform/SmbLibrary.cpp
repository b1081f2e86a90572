#include "platform/SmbLibrary.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>

namespace platform {

std::unique_ptr<SmbLibrary> LoadSmbLibrary(const std::string& name, std::string& error) {
    void* handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        error = "cannot load the SMB client library " + name + " (the package libsmbclient provides it): " +
                (why ? why : "not found");
        return nullptr;
    }
    auto lib = std::make_unique<SmbLibrary>();
    lib->handle = handle;
    std::string missing;
    auto find = [&](auto& entry, const char* symbol) {
        entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(::dlsym(handle, symbol));
        if (!entry) missing += (missing.empty() ? "" : ", ") + std::string(symbol);
    };
#define QOB_SMB_FIND(name) find(lib->name, #name);
    QOB_SMB_FIND(smbc_new_context)
    QOB_SMB_FIND(smbc_free_context)
    QOB_SMB_FIND(smbc_init_context)
    QOB_SMB_FIND(smbc_setDebug)
    QOB_SMB_FIND(smbc_setOptionNoAutoAnonymousLogin)
    QOB_SMB_FIND(smbc_setFunctionAuthDataWithContext)
    QOB_SMB_FIND(smbc_setTimeout)
    QOB_SMB_FIND(smbc_getFunctionPurgeCachedServers)
    QOB_SMB_FIND(smbc_getFunctionOpen)
    QOB_SMB_FIND(smbc_getFunctionClose)
    QOB_SMB_FIND(smbc_getFunctionRead)
    QOB_SMB_FIND(smbc_getFunctionWrite)
    QOB_SMB_FIND(smbc_getFunctionStat)
    QOB_SMB_FIND(smbc_getFunctionOpendir)
    QOB_SMB_FIND(smbc_getFunctionClosedir)
    QOB_SMB_FIND(smbc_getFunctionReaddirPlus2)
    QOB_SMB_FIND(smbc_getFunctionMkdir)
    QOB_SMB_FIND(smbc_getFunctionUnlink)
#undef QOB_SMB_FIND
    if (!missing.empty()) {
        error = "the SMB client library " + name + " lacks " + missing;
        ::dlclose(handle);
        return nullptr;
    }
    return lib;
}

const SmbLibrary* SmbClient(std::string& error) {
    static std::once_flag once;
    static std::unique_ptr<SmbLibrary> lib;
    static std::string failure;
    std::call_once(once, [] {
        const char* name = std::getenv("QOB_SMBCLIENT_LIBRARY");
        lib = LoadSmbLibrary(name && *name ? name : kSmbLibraryName, failure);
    });
    if (!lib) error = failure;
    return lib.get();
}

}  // namespace platform
