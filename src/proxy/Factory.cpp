#include "proxy/Factory.h"

#include <atomic>

#include "proxy/InterfaceTable.h"
#include "proxy/Interfaces.h"
#include "proxy/ModuleState.h"
#include "proxy/ProxyObjects.h"
#include "proxy/StubObjects.h"

namespace zent {

using namespace com;

namespace {

std::atomic<long> g_liveObjects{0};

class PSFactory final : public IPSFactoryBuffer {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (iid != IID_IUnknown && iid != IID_IPSFactoryBuffer) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IPSFactoryBuffer*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override {
        ModuleLock();
        return 2;  // static object: the count lives in the module state
    }
    ULONG Release() override {
        ModuleUnlock();
        return 1;
    }
    HRESULT CreateProxy(IUnknown* outer, REFIID iid, IRpcProxyBuffer** ppProxy, void** ppv) override {
        if (!ppProxy || !ppv) return E_POINTER;
        *ppProxy = nullptr;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        int index;
        if (!LookupInterface(iid, index)) return E_NOINTERFACE;
        return CreateProxyObject(index, ppProxy, ppv);
    }
    HRESULT CreateStub(REFIID iid, IUnknown* server, IRpcStubBuffer** ppStub) override {
        if (!ppStub) return E_POINTER;
        *ppStub = nullptr;
        int index;
        if (!LookupInterface(iid, index)) return E_NOINTERFACE;
        return CreateStubObject(index, server, ppStub);
    }
};

PSFactory g_factory;

}  // namespace

void ModuleLock() { g_liveObjects.fetch_add(1, std::memory_order_relaxed); }
void ModuleUnlock() { g_liveObjects.fetch_sub(1, std::memory_order_acq_rel); }
long ModuleLockCount() { return g_liveObjects.load(std::memory_order_acquire); }

IPSFactoryBuffer* TheFactory() { return &g_factory; }

HRESULT GetFactoryObject(REFCLSID clsid, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!(clsid == CLSID_ZentProxyFactory)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, ppv);
}

}  // namespace zent
