#include "proxy/Registration.h"

#include "platform/Registry.h"
#include "platform/Trace.h"
#include "proxy/InterfaceTable.h"
#include "proxy/Interfaces.h"

namespace zent {

using platform::RegRoot;
using platform::RegValue;

namespace {

bool SetDefault(const std::string& key, const std::string& text) {
    return platform::RegSetValue(RegRoot::ClassesRoot, key, "", RegValue::String(text));
}

std::string ClassKey() { return "CLSID\\" + com::GuidToString(CLSID_ZentProxyFactory); }
std::string InterfaceKey(const InterfaceEntry& e) { return "Interface\\" + com::GuidToString(e.iid); }

}  // namespace

com::HRESULT RegisterProxyLibrary(const std::string& libraryPath) {
    const std::string clsid = com::GuidToString(CLSID_ZentProxyFactory);
    const std::string server = ClassKey() + "\\InProcServer32";
    bool ok = SetDefault(ClassKey(), "PSFactoryBuffer") && SetDefault(server, libraryPath) &&
              platform::RegSetValue(RegRoot::ClassesRoot, server, "ThreadingModel", RegValue::String("Both"));
    for (int i = 0; ok && i < kInterfaceCount; ++i) {
        const InterfaceEntry& e = kInterfaceTable[i];
        const std::string key = InterfaceKey(e);
        ok = SetDefault(key, e.name) && SetDefault(key + "\\NumMethods", std::to_string(e.methodCount)) &&
             SetDefault(key + "\\ProxyStubClsid32", clsid);
    }
    if (!ok) {
        platform::TraceF("zentproxy: registration failed: %s", platform::RegLastError().c_str());
        return com::SELFREG_E_CLASS;
    }
    return com::S_OK;
}

com::HRESULT UnregisterProxyLibrary() {
    bool ok = platform::RegDeleteTree(RegRoot::ClassesRoot, ClassKey());
    for (int i = 0; ok && i < kInterfaceCount; ++i)
        ok = platform::RegDeleteTree(RegRoot::ClassesRoot, InterfaceKey(kInterfaceTable[i]));
    if (!ok) {
        platform::TraceF("zentproxy: unregistration failed: %s", platform::RegLastError().c_str());
        return com::SELFREG_E_CLASS;
    }
    return com::S_OK;
}

}  // namespace zent
