#include "com/InProcActivation.h"

#include "com/InProcChannel.h"
#include "com/ProxyLoader.h"
#include "com/RpcInterfaces.h"

namespace com {

HRESULT InProcConnect(IUnknown* server, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!server) return E_INVALIDARG;
    ComPtr<IPSFactoryBuffer> factory;
    HRESULT hr = GetProxyStubFactory(iid, factory.Put());
    if (FAILED(hr)) return hr;
    ComPtr<IRpcStubBuffer> stub;
    hr = factory->CreateStub(iid, server, stub.Put());  // fails when server lacks iid
    if (FAILED(hr)) return hr;
    ComPtr<IRpcChannelBuffer> channel(CreateInProcChannel(stub.Get(), iid));
    if (!channel) return E_OUTOFMEMORY;
    return ConnectProxy(factory.Get(), iid, channel.Get(), ppv);
}

HRESULT InProcActivate(IUnknown* server, MULTI_QI* results, uint32_t count) {
    if (!results || count == 0) return E_INVALIDARG;
    uint32_t got = 0;
    for (uint32_t i = 0; i < count; ++i) {
        MULTI_QI& r = results[i];
        r.pItf = nullptr;
        void* itf = nullptr;
        r.hr = r.pIID ? InProcConnect(server, *r.pIID, &itf) : E_POINTER;
        if (SUCCEEDED(r.hr)) {
            r.pItf = static_cast<IUnknown*>(itf);
            ++got;
        }
    }
    return got == count ? S_OK : got ? CO_S_NOTALLINTERFACES : E_NOINTERFACE;
}

}  // namespace com
