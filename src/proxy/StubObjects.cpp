#include "proxy/StubObjects.h"

#include <atomic>
#include <new>

#include "proxy/InterfaceTable.h"
#include "proxy/MethodTable.h"
#include "proxy/ModuleState.h"

namespace zent {

using namespace com;

namespace {

class StubBuffer final : public SingleInterfaceObject<IRpcStubBuffer, IID_IRpcStubBuffer> {
public:
    explicit StubBuffer(int index) : m_index(index) { ModuleLock(); }
    ~StubBuffer() override {
        Disconnect();
        ModuleUnlock();
    }

    HRESULT Connect(IUnknown* server) override {
        if (!server) return E_INVALIDARG;
        void* itf = nullptr;
        HRESULT hr = server->QueryInterface(kInterfaceTable[m_index].iid, &itf);
        if (FAILED(hr)) return hr;
        if (void* old = m_server.exchange(itf)) static_cast<IUnknown*>(old)->Release();
        return S_OK;
    }
    void Disconnect() override {
        if (void* old = m_server.exchange(nullptr)) static_cast<IUnknown*>(old)->Release();
    }
    HRESULT Invoke(RPCOLEMESSAGE* msg, IRpcChannelBuffer* channel) override {
        if (!msg || !channel) return E_INVALIDARG;
        void* itf = m_server.load();
        if (!itf) return CO_E_OBJNOTCONNECTED;
        const InterfaceEntry& e = kInterfaceTable[m_index];
        if (msg->iMethod < kBaseMethodCount || msg->iMethod >= e.methodCount) return RPC_S_PROCNUM_OUT_OF_RANGE;
        const MethodEntry& m = MethodsOf(m_index)[msg->iMethod - kBaseMethodCount];
        return StubInvoke(itf, m.thunk, Shape(m.shape), msg, channel, e.iid);
    }
    IRpcStubBuffer* IsIIDSupported(REFIID iid) override {
        return iid == kInterfaceTable[m_index].iid && m_server.load() ? this : nullptr;
    }
    ULONG CountRefs() override { return m_server.load() ? 1 : 0; }

private:
    std::atomic<void*> m_server{nullptr};  // the server's interface pointer for this interface
    int m_index;
};

}  // namespace

HRESULT CreateStubObject(int index, IUnknown* server, IRpcStubBuffer** ppStub) {
    if (!ppStub) return E_POINTER;
    *ppStub = nullptr;
    if (index < 0 || index >= kInterfaceCount) return E_NOINTERFACE;
    StubBuffer* stub = new (std::nothrow) StubBuffer(index);
    if (!stub) return E_OUTOFMEMORY;
    if (server) {
        HRESULT hr = stub->Connect(server);
        if (FAILED(hr)) {
            stub->Release();
            return hr;
        }
    }
    *ppStub = stub;
    return S_OK;
}

}  // namespace zent
