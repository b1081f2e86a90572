// A reply buffer over the network comes from the kept blocks, which hold what an earlier reply left
// there; what a server leaves unwritten of a large out array must still reach the peer as zeros.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "ShapeServer.h"
#include "TestEnv.h"
#include "com/Activation.h"
#include "com/DcomServer.h"
#include "com/ProxyLoader.h"
#include "com/RpcError.h"

namespace {

using namespace com;

constexpr char kAddress[] = "127.0.0.181";
constexpr CLSID kClass = MakeGuid(0x5EB1C0DE, 0x0001, 0x4000, 0x80, 0x00, 0, 0, 0, 0, 0, 0x81);
constexpr uint32_t kGetExtensionList = 5;
constexpr size_t kCapacity = size_t(8) << 20;  // large enough to be a kept block

TEST(ReplyBuffer, WhatAServerLeavesUnwrittenGoesOutAsZerosNotAsAnEarlierReply) {
    testenv::UseFreshRegistry();
    ASSERT_EQ(testenv::RegisterBuiltLibrary(), S_OK);
    ResetProxyStubCache();
    bool fillAll = true;
    auto* object = new shapetest::ShapeServer;
    object->handler = [&](int, uint32_t number, const zent::ShapeDesc&, const void* const* args) -> HRESULT {
        if (number != kGetExtensionList) return E_NOTIMPL;
        int32_t* count = *static_cast<int32_t* const*>(args[0]);
        uint8_t* list = *static_cast<uint8_t* const*>(args[1]);
        // The count is left as offered: the whole capacity is reported written.
        std::fill_n(list, fillAll ? size_t(*count) : 16, uint8_t(0xAA));
        return S_OK;
    };
    DcomServer server(kAddress, [&](const CLSID&, const std::vector<IID>& iids, std::vector<ActivationAnswer>& answers) {
        for (size_t i = 0; i < iids.size(); ++i) {
            answers[i].hr = object->QueryInterface(iids[i], answers[i].itf.PutVoid());
        }
        return S_OK;
    });
    std::string error;
    ASSERT_TRUE(server.Start(0, error)) << error;
    std::thread running([&] { server.Run(); });
    struct Stop {
        DcomServer& s;
        std::thread& t;
        shapetest::ShapeServer* o;
        ~Stop() {
            s.Stop();
            t.join();
            o->Release();
        }
    } stop{server, running, object};
    setenv("QOB_RESOLVER_PORT", std::to_string(server.ResolverPort()).c_str(), 1);

    MULTI_QI qi{&IID_IZentGetI, nullptr, 0};
    ASSERT_EQ(CoCreateInstanceEx(kClass, kAddress, &qi, 1), S_OK) << LastRpcErrorText();
    ComPtr<IZentGetI> get(static_cast<IZentGetI*>(qi.pItf));
    std::vector<uint8_t> into(kCapacity);
    int32_t length = int32_t(kCapacity);
    ASSERT_EQ(get->GetExtensionList(&length, into.data()), S_OK);  // leaves 0xAA in its block
    ASSERT_EQ(into.back(), 0xAA);

    fillAll = false;
    length = int32_t(kCapacity);
    ASSERT_EQ(get->GetExtensionList(&length, into.data()), S_OK);
    ASSERT_EQ(size_t(length), kCapacity);
    EXPECT_EQ(into[15], 0xAA);
    EXPECT_EQ(std::count(into.begin() + 16, into.end(), 0), ptrdiff_t(kCapacity - 16));
}

}  // namespace
