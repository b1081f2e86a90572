// The sixteen remote interfaces of the telephony server as C++ abstract classes, for clients
// (their proxies) and for server objects. Methods appear in method order after the base methods.
#pragma once

#include <cstdint>

#include "com/Unknown.h"
#include "proxy/InterfaceList.h"
#include "proxy/MethodList.h"
#include "proxy/ShapeSignatures.h"

// Simple structure of two longs ({i32, i32}).
struct ZentLongPair {
    int32_t first = 0;
    int32_t second = 0;
};

#define QOB_FORWARD_INTERFACE(index, name, ...) class name;
QOB_INTERFACES(QOB_FORWARD_INTERFACE)
#undef QOB_FORWARD_INTERFACE

#define QOB_DECLARE_IID(index, name, d1, d2, d3, b0, b1, b2, b3, b4, b5, b6, b7, count) \
    constexpr com::IID IID_##name = com::MakeGuid(d1, d2, d3, b0, b1, b2, b3, b4, b5, b6, b7);
QOB_INTERFACES(QOB_DECLARE_IID)
#undef QOB_DECLARE_IID

// Class of the telephony server's object, and of the library's proxy/stub factory.
constexpr com::CLSID CLSID_ZentServer = com::MakeGuid(0x65A7FD91, 0x20B8, 0x11D1, 0xA5, 0x86, 0x00, 0xA0, 0x24, 0x58, 0x2D, 0xE0);
constexpr com::CLSID CLSID_ZentProxyFactory = IID_IZentONAI;

#define QOB_DECLARE_METHOD(iface, number, shape, name) virtual com::HRESULT name QOB_SIG_##shape = 0;
#define QOB_DECLARE_INTERFACE(index, iface, ...)      \
    class iface : public com::IUnknown {              \
    public:                                           \
        QOB_METHODS_##iface(QOB_DECLARE_METHOD)       \
    protected:                                        \
        ~iface() = default;                           \
    };
QOB_INTERFACES(QOB_DECLARE_INTERFACE)
#undef QOB_DECLARE_INTERFACE
#undef QOB_DECLARE_METHOD
