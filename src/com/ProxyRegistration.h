// Start-up check that the proxy library is registered, registering it when it is not.
#pragma once

namespace com {

// True when HKCR names the library serving the proxy/stub factory class, or when loading
// "libzentproxy.so" by name and calling its DllRegisterServer succeeded. False when the library
// is missing, lacks the entry point, or the registration reports a failure.
bool EnsureProxyLibraryRegistered();

}  // namespace com
