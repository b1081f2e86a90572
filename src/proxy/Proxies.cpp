#include <new>

#include "proxy/ProxyObjects.h"

namespace zent {

namespace {

#define QOB_PROXY_METHOD(iface, number, shape, name) \
    com::HRESULT name QOB_SIG_##shape override { return Invoke<number, ShapeId::shape> QOB_ARGS_##shape; }
#define QOB_PROXY_CLASS(index, iface, ...)                   \
    class iface##Proxy final : public ProxyOf<iface> {       \
    public:                                                  \
        iface##Proxy() : ProxyOf<iface>(index) {}            \
        QOB_METHODS_##iface(QOB_PROXY_METHOD)                \
    };
QOB_INTERFACES(QOB_PROXY_CLASS)
#undef QOB_PROXY_CLASS
#undef QOB_PROXY_METHOD

template <class P, class I> com::HRESULT Make(com::IRpcProxyBuffer** ppProxy, void** ppv) {
    P* p = new (std::nothrow) P();
    if (!p) return com::E_OUTOFMEMORY;
    p->AddRef();  // one for each of the two pointers handed out
    *ppProxy = static_cast<com::IRpcProxyBuffer*>(p);
    *ppv = static_cast<I*>(p);
    return com::S_OK;
}

using Creator = com::HRESULT (*)(com::IRpcProxyBuffer**, void**);
constexpr Creator kCreators[kInterfaceCount] = {
#define QOB_PROXY_CREATOR(index, iface, ...) &Make<iface##Proxy, iface>,
    QOB_INTERFACES(QOB_PROXY_CREATOR)
#undef QOB_PROXY_CREATOR
};

}  // namespace

com::HRESULT CreateProxyObject(int index, com::IRpcProxyBuffer** ppProxy, void** ppv) {
    if (index < 0 || index >= kInterfaceCount) return com::E_NOINTERFACE;
    return kCreators[index](ppProxy, ppv);
}

}  // namespace zent
