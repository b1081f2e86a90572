#include "ShapeServer.h"

#include "ShapeArgs.h"
#include "proxy/InterfaceTable.h"

namespace shapetest {

com::HRESULT ServerPart::Dispatch(uint32_t number, const zent::ShapeDesc& shape, const void* const* args) {
    return owner->Call(index, number, shape, args);
}
com::HRESULT ServerPart::PartQueryInterface(com::REFIID iid, void** ppv) { return owner->QueryInterface(iid, ppv); }
com::ULONG ServerPart::PartAddRef() { return owner->AddRef(); }
com::ULONG ServerPart::PartRelease() { return owner->Release(); }

ShapeServer::ShapeServer() {
#define QOB_TEST_SERVER_INIT(i, iface, ...) \
    m_##iface.owner = this;                 \
    m_##iface.index = i;
    QOB_INTERFACES(QOB_TEST_SERVER_INIT)
#undef QOB_TEST_SERVER_INIT
}

com::HRESULT ShapeServer::QueryInterface(com::REFIID iid, void** ppv) {
    *ppv = nullptr;
    if (iid == com::IID_IUnknown) *ppv = static_cast<com::IUnknown*>(this);
#define QOB_TEST_SERVER_QI(i, iface, ...) \
    else if (iid == IID_##iface) *ppv = static_cast<iface*>(&m_##iface);
    QOB_INTERFACES(QOB_TEST_SERVER_QI)
#undef QOB_TEST_SERVER_QI
    if (!*ppv) return com::E_NOINTERFACE;
    AddRef();
    return com::S_OK;
}

com::ULONG ShapeServer::Release() {
    com::ULONG n = --m_refs;
    if (n == 0) delete this;
    return n;
}

com::HRESULT ShapeServer::Call(int index, uint32_t number, const zent::ShapeDesc& shape, const void* const* args) {
    ++calls;
    if (handler) return handler(index, number, shape, args);
    lastIn = DescribeIn(shape, args);
    return FillOut(shape, args, Seed(index, number), callBackSinks);
}

com::HRESULT RecordingSink::QueryInterface(com::REFIID iid, void** ppv) {
    if (iid == com::IID_IUnknown || iid == IID_IZentAdviseSink) {
        *ppv = static_cast<IZentAdviseSink*>(this);
        AddRef();
        return com::S_OK;
    }
    *ppv = nullptr;
    return com::E_NOINTERFACE;
}

com::HRESULT RecordingSink::Method3(int32_t a1, int32_t a2, const char* a3) {
    received += std::to_string(a1) + "/" + std::to_string(a2) + "/" + std::string(a3, size_t(a2 > 0 ? a2 : 0)) + ";";  // chars, no NUL
    return com::S_OK;
}

}  // namespace shapetest
