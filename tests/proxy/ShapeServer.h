// A server object implementing all sixteen interfaces; every method hands its typed arguments
// to one handler as argument addresses, as the generic engines see them.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "proxy/Interfaces.h"
#include "proxy/Shapes.h"

namespace shapetest {

using Handler = std::function<com::HRESULT(int index, uint32_t number, const zent::ShapeDesc& shape,
                                           const void* const* args)>;

class ShapeServer;

class ServerPart {
public:
    ShapeServer* owner = nullptr;
    int index = 0;

protected:
    template <uint32_t N, zent::ShapeId S, class... A> com::HRESULT Forward(A... a) {
        const void* args[] = {&a..., nullptr};
        return Dispatch(N, zent::Shape(S), args);
    }
    com::HRESULT Dispatch(uint32_t number, const zent::ShapeDesc& shape, const void* const* args);
    com::HRESULT PartQueryInterface(com::REFIID iid, void** ppv);
    com::ULONG PartAddRef();
    com::ULONG PartRelease();
};

#define QOB_TEST_SERVER_METHOD(iface, number, shape, name) \
    com::HRESULT name QOB_SIG_##shape override { return Forward<number, zent::ShapeId::shape> QOB_ARGS_##shape; }
#define QOB_TEST_SERVER_PART(index, iface, ...)                                                                   \
    class iface##Part final : public iface, public ServerPart {                                                   \
    public:                                                                                                       \
        com::HRESULT QueryInterface(com::REFIID iid, void** ppv) override { return PartQueryInterface(iid, ppv); } \
        com::ULONG AddRef() override { return PartAddRef(); }                                                     \
        com::ULONG Release() override { return PartRelease(); }                                                   \
        QOB_METHODS_##iface(QOB_TEST_SERVER_METHOD)                                                               \
    };
QOB_INTERFACES(QOB_TEST_SERVER_PART)
#undef QOB_TEST_SERVER_PART
#undef QOB_TEST_SERVER_METHOD

// Reference counted; starts with one reference. Without a handler every call records its
// request (DescribeIn) and answers with FillOut, seeded by interface index and method number.
class ShapeServer final : public com::IUnknown {
public:
    ShapeServer();
    com::HRESULT QueryInterface(com::REFIID iid, void** ppv) override;
    com::ULONG AddRef() override { return ++m_refs; }
    com::ULONG Release() override;
    com::ULONG Refs() const { return m_refs; }

    Handler handler;
    std::string lastIn;
    int calls = 0;
    // Where a default-handled call back through a sink lands: the sink's own test object.
    bool callBackSinks = true;

    com::HRESULT Call(int index, uint32_t number, const zent::ShapeDesc& shape, const void* const* args);

    static uint32_t Seed(int index, uint32_t number) { return uint32_t(index) * 100 + number; }

private:
    ~ShapeServer() = default;
    std::atomic<com::ULONG> m_refs{1};
#define QOB_TEST_SERVER_MEMBER(index, iface, ...) iface##Part m_##iface;
    QOB_INTERFACES(QOB_TEST_SERVER_MEMBER)
#undef QOB_TEST_SERVER_MEMBER
};

// A client-side sink that records the calls it gets back.
class RecordingSink final : public IZentAdviseSink {
public:
    com::HRESULT QueryInterface(com::REFIID iid, void** ppv) override;
    com::ULONG AddRef() override { return ++refs; }
    com::ULONG Release() override { return --refs; }  // lives on the test's stack
    com::HRESULT Method3(int32_t a1, int32_t a2, const char* a3) override;

    std::atomic<com::ULONG> refs{0};
    std::string received;
};

}  // namespace shapetest
