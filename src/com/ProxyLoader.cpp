#include "com/ProxyLoader.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <string>

#include "platform/Registry.h"
#include "platform/Trace.h"

namespace com {

namespace {

std::mutex g_mutex;
std::map<std::string, IPSFactoryBuffer*> g_byIid;  // one reference each

// The default value of an HKCR key as text (REG_SZ), without its NUL.
bool ReadDefault(const std::string& key, std::string& text) {
    platform::RegValue v;
    if (!platform::RegQueryValue(platform::RegRoot::ClassesRoot, key, "", v) || v.type != platform::REG_SZ)
        return false;
    text.assign(v.data.begin(), v.data.end());
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return !text.empty();
}

HRESULT LoadFactory(REFIID iid, IPSFactoryBuffer** factory) {
    std::string clsidText, path;
    if (!ReadDefault("Interface\\" + GuidToString(iid) + "\\ProxyStubClsid32", clsidText)) return REGDB_E_IIDNOTREG;
    CLSID clsid;
    if (!GuidFromString(clsidText, clsid)) return REGDB_E_IIDNOTREG;
    if (!ReadDefault("CLSID\\" + GuidToString(clsid) + "\\InProcServer32", path)) return REGDB_E_CLASSNOTREG;
    // dlopen counts its own references, so a library already loaded is not loaded twice.
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* why = dlerror();
        platform::TraceF("proxy loader: cannot load %s: %s", path.c_str(), why ? why : "");
        return CO_E_DLLNOTFOUND;
    }
    auto entry = reinterpret_cast<DllGetClassObjectFn>(dlsym(lib, "DllGetClassObject"));
    if (!entry) {
        platform::TraceF("proxy loader: %s has no DllGetClassObject", path.c_str());
        return CO_E_ERRORINDLL;
    }
    return entry(clsid, IID_IPSFactoryBuffer, reinterpret_cast<void**>(factory));
}

}  // namespace

HRESULT GetProxyStubFactory(REFIID iid, IPSFactoryBuffer** factory) {
    if (!factory) return E_POINTER;
    *factory = nullptr;
    const std::string key = GuidToString(iid);
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_byIid.find(key);
    if (it == g_byIid.end()) {
        IPSFactoryBuffer* f = nullptr;
        HRESULT hr = LoadFactory(iid, &f);
        if (FAILED(hr)) return hr;
        if (!f) return CO_E_ERRORINDLL;
        it = g_byIid.emplace(key, f).first;
    }
    it->second->AddRef();
    *factory = it->second;
    return S_OK;
}

HRESULT ConnectProxy(IPSFactoryBuffer* factory, REFIID iid, IRpcChannelBuffer* channel, void** ppv) {
    *ppv = nullptr;
    if (!factory || !channel) return E_INVALIDARG;
    ComPtr<IRpcProxyBuffer> proxy;  // the proxy is its own buffer: the interface keeps it alive
    void* itf = nullptr;
    HRESULT hr = factory->CreateProxy(nullptr, iid, proxy.Put(), &itf);
    if (FAILED(hr)) return hr;
    hr = proxy->Connect(channel);
    if (FAILED(hr)) {
        static_cast<IUnknown*>(itf)->Release();
        return hr;
    }
    *ppv = itf;
    return S_OK;
}

void ResetProxyStubCache() {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (auto& [key, f] : g_byIid) f->Release();
    g_byIid.clear();
}

}  // namespace com
