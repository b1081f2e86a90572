// Arbitrary bytes as the reply to any method (through its proxy, with a random data
// representation and random capacities), or as the request to any method's stub.
// Input: mode (even = reply, odd = request), method ordinal (2 bytes), data representation
// selector, capacity (2 bytes), then the reply or request bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ShapeArgs.h"
#include "ShapeServer.h"
#include "TestChannel.h"
#include "proxy/InterfaceTable.h"
#include "proxy/MethodTable.h"
#include "proxy/ProxyObjects.h"
#include "proxy/StubObjects.h"

namespace {

struct Method {
    int index;
    const zent::MethodEntry* entry;
};

std::vector<Method> AllMethods() {
    std::vector<Method> all;
    for (int i = 0; i < zent::kInterfaceCount; ++i)
        for (uint32_t k = 0; k + zent::kBaseMethodCount < zent::kInterfaceTable[i].methodCount; ++k)
            all.push_back({i, &zent::MethodsOf(i)[k]});
    return all;
}

uint32_t Drep(uint8_t sel) {
    uint32_t integer = (sel & 1) ? 0x10 : 0x00;
    if ((sel & 0x0E) == 0x0E) return integer | 0x01;   // EBCDIC
    if ((sel & 0x0E) == 0x0C) return integer | 0x100;  // VAX floating point
    if ((sel & 0x0E) == 0x0A) return 0x20;             // no such integer format
    return integer;
}

void FuzzReply(const Method& m, uint32_t drep, uint32_t capacity, const uint8_t* data, size_t size) {
    testchannel::ScriptedChannel channel;
    channel.reply.assign(data, data + size);
    channel.replyDrep = drep;
    com::IRpcProxyBuffer* buffer = nullptr;
    void* itf = nullptr;
    if (com::FAILED(zent::CreateProxyObject(m.index, &buffer, &itf))) return;
    buffer->Connect(&channel);
    shapetest::RecordingSink sink;
    shapetest::ArgSet args;
    shapetest::Generate(args, zent::Shape(m.entry->shape), m.index, m.entry->number, capacity);
    args.sink = &sink;
    args.Bind();
    m.entry->thunk(itf, args.slots);
    static_cast<com::IUnknown*>(itf)->Release();
    buffer->Release();
}

void FuzzRequest(const Method& m, uint32_t drep, const uint8_t* data, size_t size) {
    auto* server = new shapetest::ShapeServer;
    server->callBackSinks = false;
    com::IRpcStubBuffer* stub = nullptr;
    if (com::SUCCEEDED(zent::CreateStubObject(m.index, server, &stub))) {
        std::vector<uint8_t> request(data, data + size);
        com::RPCOLEMESSAGE msg;
        msg.Buffer = request.data();
        msg.cbBuffer = uint32_t(request.size());
        msg.iMethod = m.entry->number;
        msg.dataRepresentation = drep;
        testchannel::ScriptedChannel serverSide;
        stub->Invoke(&msg, &serverSide);
        if (msg.Buffer != request.data()) std::free(msg.Buffer);
        stub->Release();
    }
    server->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<Method> methods = AllMethods();
    if (size < 6) return 0;
    const Method& m = methods[(data[1] | data[2] << 8) % methods.size()];
    const uint32_t drep = Drep(data[3]);
    const uint32_t capacity = uint32_t(data[4] | data[5] << 8) % 4096;
    if (data[0] & 1)
        FuzzRequest(m, drep, data + 6, size - 6);
    else
        FuzzReply(m, drep, capacity, data + 6, size - 6);
    return 0;
}
