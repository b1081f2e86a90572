// One base class per remote interface that answers E_NOTIMPL to every method; the simulated
// server derives from all of them and overrides only what it implements.
#pragma once

#include "proxy/Interfaces.h"

namespace sim {

#define QOB_SIM_NOTIMPL_METHOD(iface, number, shape, name) \
    com::HRESULT name QOB_SIG_##shape override { return com::E_NOTIMPL; }
#define QOB_SIM_NOTIMPL_BASE(index, iface, ...)           \
    class NotImpl_##iface : public iface {                \
    public:                                               \
        QOB_METHODS_##iface(QOB_SIM_NOTIMPL_METHOD)       \
    protected:                                            \
        ~NotImpl_##iface() = default;                     \
    };
QOB_INTERFACES(QOB_SIM_NOTIMPL_BASE)
#undef QOB_SIM_NOTIMPL_BASE
#undef QOB_SIM_NOTIMPL_METHOD

}  // namespace sim
