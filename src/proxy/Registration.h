// Self-registration of the library in HKEY_CLASSES_ROOT: the factory class as an in-process
// server, and every interface with its name, method count and proxy/stub class.
#pragma once

#include <string>

#include "com/HResult.h"

namespace zent {

com::HRESULT RegisterProxyLibrary(const std::string& libraryPath);
com::HRESULT UnregisterProxyLibrary();

}  // namespace zent
