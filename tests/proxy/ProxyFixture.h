// Fixture for tests of the built library's proxies and stubs: the library registered in a fresh
// registry, its factory found through the loader, a scripted channel for the proxies.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "ShapeServer.h"
#include "TestChannel.h"
#include "TestEnv.h"
#include "com/ProxyLoader.h"

namespace proxytest {

using namespace com;
using testchannel::Bytes;
using testchannel::ScriptedChannel;

template <class T> T A(const void* const* args, int i) { return *static_cast<const T*>(args[i]); }

class ProxyFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testenv::UseFreshRegistry();
        ASSERT_EQ(testenv::RegisterBuiltLibrary(), S_OK);
        ASSERT_EQ(GetProxyStubFactory(IID_IZentGetI, &s_factory), S_OK);
    }
    static void TearDownTestSuite() {
        if (s_factory) s_factory->Release();
        s_factory = nullptr;
    }

    template <class I> ComPtr<I> Proxy(REFIID iid) {
        IRpcProxyBuffer* buffer = nullptr;
        void* itf = nullptr;
        EXPECT_EQ(s_factory->CreateProxy(nullptr, iid, &buffer, &itf), S_OK);
        buffer->Connect(&channel);
        buffer->Release();
        return ComPtr<I>(static_cast<I*>(itf));
    }

    // Runs the stub of iid on request; the handler plays the server. Returns the reply bytes.
    Bytes Stub(REFIID iid, uint32_t method, const Bytes& request, shapetest::Handler handler, HRESULT* fault = nullptr,
               uint32_t drep = NDR_LOCAL_DATA_REPRESENTATION) {
        auto* server = new shapetest::ShapeServer;
        server->handler = std::move(handler);
        IRpcStubBuffer* stub = nullptr;
        EXPECT_EQ(s_factory->CreateStub(iid, server, &stub), S_OK);
        server->Release();
        Bytes in = request;
        RPCOLEMESSAGE msg;
        msg.Buffer = in.data();
        msg.cbBuffer = uint32_t(in.size());
        msg.iMethod = method;
        msg.dataRepresentation = drep;
        ScriptedChannel serverSide;
        HRESULT hr = stub->Invoke(&msg, &serverSide);
        stub->Release();
        if (fault) *fault = hr;
        Bytes out;
        if (msg.Buffer != in.data()) {
            out.assign(msg.Buffer, msg.Buffer + msg.cbBuffer);
            std::free(msg.Buffer);
        }
        return out;
    }

    static inline IPSFactoryBuffer* s_factory = nullptr;
    ScriptedChannel channel;
};


}  // namespace proxytest
