// Proxy objects: one class per interface, each method a one-line call of the generic routine.
// A proxy is its own proxy buffer (no separate proxy manager): one reference count serves both.
#pragma once

#include <atomic>

#include "com/RpcInterfaces.h"
#include "proxy/InterfaceTable.h"
#include "proxy/ModuleState.h"
#include "proxy/ProxyEngine.h"

namespace zent {

template <class I>
class ProxyOf : public I, public com::IRpcProxyBuffer {
public:
    explicit ProxyOf(int index) : m_index(index) { ModuleLock(); }
    virtual ~ProxyOf() {
        Disconnect();
        ModuleUnlock();
    }

    com::HRESULT QueryInterface(com::REFIID iid, void** ppv) override {
        if (!ppv) return com::E_POINTER;
        if (iid == com::IID_IUnknown || iid == kInterfaceTable[m_index].iid) {
            *ppv = static_cast<I*>(this);
        } else if (iid == com::IID_IRpcProxyBuffer) {
            *ppv = static_cast<com::IRpcProxyBuffer*>(this);
        } else {
            *ppv = nullptr;
            return com::E_NOINTERFACE;
        }
        AddRef();
        return com::S_OK;
    }
    com::ULONG AddRef() override { return m_refs.Increment(); }
    com::ULONG Release() override {
        com::ULONG n = m_refs.Decrement();
        if (n == 0) delete this;
        return n;
    }
    com::HRESULT Connect(com::IRpcChannelBuffer* channel) override {
        if (!channel) return com::E_INVALIDARG;
        channel->AddRef();
        if (com::IRpcChannelBuffer* old = m_channel.exchange(channel)) old->Release();
        return com::S_OK;
    }
    void Disconnect() override {
        if (com::IRpcChannelBuffer* old = m_channel.exchange(nullptr)) old->Release();
    }

protected:
    template <uint32_t Number, ShapeId S, class... A> com::HRESULT Invoke(A... a) {
        const void* args[] = {&a..., nullptr};
        return ProxyInvoke(m_channel.load(), kInterfaceTable[m_index].iid, Number, Shape(S), args);
    }

private:
    com::RefCount m_refs;
    std::atomic<com::IRpcChannelBuffer*> m_channel{nullptr};
    int m_index;
};

// A new proxy for table entry index: *ppProxy and *ppv each hold one reference.
com::HRESULT CreateProxyObject(int index, com::IRpcProxyBuffer** ppProxy, void** ppv);

}  // namespace zent
