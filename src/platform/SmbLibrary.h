// The SMB client library, loaded when a mailbox share is first needed rather than at every start:
// it pulls in dozens of libraries of its own that only relocation of voice mail uses.
#pragma once

#include <libsmbclient.h>

#include <memory>
#include <string>

namespace platform {

// The entry points this program calls, found in the loaded library.
struct SmbLibrary {
#define QOB_SMB_ENTRY(name) decltype(&::name) name = nullptr;
    QOB_SMB_ENTRY(smbc_new_context)
    QOB_SMB_ENTRY(smbc_free_context)
    QOB_SMB_ENTRY(smbc_init_context)
    QOB_SMB_ENTRY(smbc_setDebug)
    QOB_SMB_ENTRY(smbc_setOptionNoAutoAnonymousLogin)
    QOB_SMB_ENTRY(smbc_setFunctionAuthDataWithContext)
    QOB_SMB_ENTRY(smbc_setTimeout)
    QOB_SMB_ENTRY(smbc_getFunctionPurgeCachedServers)
    QOB_SMB_ENTRY(smbc_getFunctionOpen)
    QOB_SMB_ENTRY(smbc_getFunctionClose)
    QOB_SMB_ENTRY(smbc_getFunctionRead)
    QOB_SMB_ENTRY(smbc_getFunctionWrite)
    QOB_SMB_ENTRY(smbc_getFunctionStat)
    QOB_SMB_ENTRY(smbc_getFunctionOpendir)
    QOB_SMB_ENTRY(smbc_getFunctionClosedir)
    QOB_SMB_ENTRY(smbc_getFunctionReaddirPlus2)
    QOB_SMB_ENTRY(smbc_getFunctionMkdir)
    QOB_SMB_ENTRY(smbc_getFunctionUnlink)
#undef QOB_SMB_ENTRY
    void* handle = nullptr;
};

// The library's file name as the system's loader finds it.
inline constexpr const char* kSmbLibraryName = "libsmbclient.so.0";

// Loads `name` and finds every entry point; null with `error` naming the library and what is
// missing otherwise. The library stays loaded for the rest of the process.
std::unique_ptr<SmbLibrary> LoadSmbLibrary(const std::string& name, std::string& error);

// The process's library (kSmbLibraryName, or QOB_SMBCLIENT_LIBRARY when set), loaded on the first
// call; later calls give the same answer. Null with `error` set when it cannot be loaded.
const SmbLibrary* SmbClient(std::string& error);

}  // namespace platform
