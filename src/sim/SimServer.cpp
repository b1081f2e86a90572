#include "sim/SimServer.h"

#include <mutex>

namespace sim {

CSimServer::CSimServer(std::shared_ptr<Site> site) : m_site(std::move(site)) {}

CSimServer* CSimServer::Create(std::shared_ptr<Site> site) {
    if (!site) return nullptr;
    return new (std::nothrow) CSimServer(std::move(site));
}

com::ULONG CSimServer::Release() {
    const com::ULONG n = m_refs.Decrement();
    if (n == 0) delete this;
    return n;
}

InterfaceAnswer CSimServer::ActivationAnswer(const com::IID& iid) const {
    if (iid == com::IID_IUnknown) return InterfaceAnswer::Present;
    const std::string_view name = InterfaceName(iid);
    if (name.empty()) return InterfaceAnswer::Absent;
    std::lock_guard lock(m_site->Mutex());
    const auto& answers = m_site->State().faults.interfaces;
    auto it = answers.find(name);
    return it == answers.end() ? InterfaceAnswer::Present : it->second;
}

com::HRESULT CSimServer::QueryInterface(com::REFIID iid, void** ppv) {
    if (!ppv) return com::E_POINTER;
    *ppv = nullptr;
    if (ActivationAnswer(iid) != InterfaceAnswer::Present) return com::E_NOINTERFACE;
    void* itf = nullptr;
    if (iid == com::IID_IUnknown) itf = static_cast<com::IUnknown*>(static_cast<IZentGetI*>(this));
#define QOB_SIM_QI(index, name, ...) else if (iid == IID_##name) itf = static_cast<name*>(this);
    QOB_INTERFACES(QOB_SIM_QI)
#undef QOB_SIM_QI
    if (!itf) return com::E_NOINTERFACE;
    AddRef();
    *ppv = itf;
    return com::S_OK;
}

}  // namespace sim
