// Every own method of the sixteen interfaces, called through a proxy of the registered library,
// carried by the in-process channel to a stub and a server object and back: the server sees
// exactly what the client sent, the client gets exactly what the server filled in.
#include <gtest/gtest.h>

#include <set>

#include "ShapeArgs.h"
#include "ShapeServer.h"
#include "TestEnv.h"
#include "com/InProcActivation.h"
#include "proxy/InterfaceTable.h"
#include "proxy/MethodTable.h"

using namespace com;

namespace {

class RoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        testenv::UseFreshRegistry();
        ASSERT_EQ(testenv::RegisterBuiltLibrary(), S_OK);
        server = new shapetest::ShapeServer;
        for (int i = 0; i < zent::kInterfaceCount; ++i) qi[i].pIID = &zent::kInterfaceTable[i].iid;
        ASSERT_EQ(InProcActivate(server, qi, zent::kInterfaceCount), S_OK);
    }
    void TearDown() override {
        for (auto& r : qi)
            if (r.pItf) r.pItf->Release();
        EXPECT_EQ(server->Refs(), 1u);  // every proxy released its server reference
        server->Release();
    }

    shapetest::ShapeServer* server = nullptr;
    MULTI_QI qi[zent::kInterfaceCount];
};

TEST_F(RoundTrip, EveryMethodOfEveryShape) {
    std::set<zent::ShapeId> shapes;
    int methods = 0;
    shapetest::RecordingSink sink;
    for (int index = 0; index < zent::kInterfaceCount; ++index) {
        const zent::InterfaceEntry& e = zent::kInterfaceTable[index];
        ASSERT_EQ(qi[index].hr, S_OK) << e.name;
        for (uint32_t k = 0; k + zent::kBaseMethodCount < e.methodCount; ++k) {
            const zent::MethodEntry& m = zent::MethodsOf(index)[k];
            const zent::ShapeDesc& shape = zent::Shape(m.shape);
            SCOPED_TRACE(std::string(e.name) + "::" + m.name + " " + shape.name);
            // 5000: large out byte arrays are written by the server straight into the reply.
            for (uint32_t capacity : {0u, 1u, 12u, 5000u}) {
                shapetest::ArgSet sent;
                shapetest::Generate(sent, shape, index, m.number, capacity);
                sent.sink = &sink;
                sent.Bind();
                const std::string request = shapetest::DescribeIn(shape, sent.args);
                shapetest::ArgSet expected(sent);
                HRESULT want = shapetest::Expect(sent, expected, shapetest::ShapeServer::Seed(index, m.number));
                sink.received.clear();

                HRESULT hr = m.thunk(qi[index].pItf, sent.slots);  // the typed call on the proxy

                EXPECT_EQ(hr, want);
                EXPECT_EQ(server->lastIn, request);
                EXPECT_EQ(shapetest::CompareOut(expected, sent), "");
                if (m.shape == zent::ShapeId::P29 || m.shape == zent::ShapeId::P30) {
                    EXPECT_EQ(sink.received,
                              std::to_string(shapetest::ShapeServer::Seed(index, m.number)) + "/3/cb!;");
                }
            }
            shapes.insert(m.shape);
            ++methods;
        }
    }
    EXPECT_EQ(methods, 161);
    EXPECT_EQ(shapes.size(), zent::kShapeCount);
    EXPECT_EQ(sink.refs, 0u);  // the server side released the sink's proxy
}

TEST_F(RoundTrip, ActivationReportsEachInterface) {
    IID unknownIid = MakeGuid(0x12345678, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10);
    MULTI_QI two[2];
    two[0].pIID = &IID_IZentGetI;
    two[1].pIID = &unknownIid;
    EXPECT_EQ(InProcActivate(server, two, 2), CO_S_NOTALLINTERFACES);
    EXPECT_EQ(two[0].hr, S_OK);
    EXPECT_EQ(two[1].hr, REGDB_E_IIDNOTREG);
    EXPECT_EQ(two[1].pItf, nullptr);
    // The proxy answers for its own interface only.
    void* other = nullptr;
    EXPECT_EQ(two[0].pItf->QueryInterface(IID_IZentChangeI, &other), E_NOINTERFACE);
    void* same = nullptr;
    EXPECT_EQ(two[0].pItf->QueryInterface(IID_IZentGetI, &same), S_OK);
    static_cast<IUnknown*>(same)->Release();
    two[0].pItf->Release();
    MULTI_QI none[1];
    none[0].pIID = &unknownIid;
    EXPECT_EQ(InProcActivate(server, none, 1), E_NOINTERFACE);
}

}  // namespace
