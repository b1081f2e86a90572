// The interface table and its lookup, and the built library as the runtime sees it: its
// exports, its registration and its unload answer.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "TestEnv.h"
#include "com/InProcActivation.h"
#include "com/ProxyLoader.h"
#include "platform/RegReaders.h"
#include "platform/Registry.h"
#include "proxy/InterfaceTable.h"
#include "proxy/Interfaces.h"
#include "ShapeServer.h"

using namespace com;

namespace {

GUID Adjusted(GUID g, int delta) {
    uint8_t b[16];
    GuidToBytes(g, b);
    for (int i = 15; i >= 0; --i) {  // the binary form as one 128-bit big number
        int v = b[i] + delta;
        b[i] = uint8_t(v);
        if (v >= 0 && v <= 255) break;
        delta = v < 0 ? -1 : 1;
    }
    return GuidFromBytes(b);
}

TEST(InterfaceTable, SortedAndFoundAtTheirIndex) {
    int total = 0;
    for (int i = 0; i < zent::kInterfaceCount; ++i) {
        if (i > 0) {
            EXPECT_LT(GuidCompare(zent::kInterfaceTable[i - 1].iid, zent::kInterfaceTable[i].iid), 0) << i;
        }
        int index = -1;
        EXPECT_TRUE(zent::LookupInterface(zent::kInterfaceTable[i].iid, index));
        EXPECT_EQ(index, i) << zent::kInterfaceTable[i].name;
        total += int(zent::kInterfaceTable[i].methodCount);
    }
    EXPECT_EQ(total, 209);
    int index = -1;
    EXPECT_FALSE(zent::LookupInterface(Adjusted(zent::kInterfaceTable[15].iid, 1), index));
    EXPECT_FALSE(zent::LookupInterface(Adjusted(zent::kInterfaceTable[0].iid, -1), index));
    EXPECT_FALSE(zent::LookupInterface(GUID_NULL, index));
    EXPECT_FALSE(zent::LookupInterface(IID_IUnknown, index));
    // Identifiers that differ only in their last byte.
    ASSERT_TRUE(zent::LookupInterface(IID_IZentPConnectI, index));
    EXPECT_EQ(index, 1);
    ASSERT_TRUE(zent::LookupInterface(IID_IZentOKLInterface, index));
    EXPECT_EQ(index, 2);
    EXPECT_STREQ(zent::kInterfaceTable[9].name, "IZentGetI");
    EXPECT_EQ(zent::kInterfaceTable[9].methodCount, 28u);
}

class Library : public ::testing::Test {
protected:
    void SetUp() override {
        testenv::UseFreshRegistry();
        lib = dlopen(testenv::LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << dlerror();
    }
    template <class F> F Entry(const char* name) { return reinterpret_cast<F>(dlsym(lib, name)); }
    static std::string Default(const std::string& key) {
        std::string s;
        platform::ReadRegString(key, "", s, "", platform::RegRoot::ClassesRoot);
        return s;
    }
    void* lib = nullptr;
};

TEST_F(Library, RegistersUnregistersAndLoadsFromItsRegistration) {
    auto reg = Entry<DllRegisterServerFn>("DllRegisterServer");
    auto unreg = Entry<DllRegisterServerFn>("DllUnregisterServer");
    ASSERT_TRUE(reg && unreg);
    ASSERT_EQ(reg(), S_OK);
    const std::string iface = "Interface\\{65A7FD93-20B8-11D1-A586-00A024582DE0}";
    EXPECT_EQ(Default(iface), "IZentGetI");
    EXPECT_EQ(Default(iface + "\\NumMethods"), "28");
    EXPECT_EQ(Default(iface + "\\ProxyStubClsid32"), "{73E44C00-6474-11D2-A1ED-00104B88890E}");
    EXPECT_EQ(Default("Interface\\{A08B2720-6838-11D2-A1ED-00104B88890F}\\NumMethods"), "57");
    const std::string cls = "CLSID\\{73E44C00-6474-11D2-A1ED-00104B88890E}";
    EXPECT_EQ(Default(cls), "PSFactoryBuffer");
    std::string path = Default(cls + "\\InProcServer32"), model;
    EXPECT_EQ(path[0], '/');
    EXPECT_NE(path.find("libzentproxy.so"), std::string::npos);
    platform::ReadRegString(cls + "\\InProcServer32", "ThreadingModel", model, "", platform::RegRoot::ClassesRoot);
    EXPECT_EQ(model, "Both");

    // The loader goes registry -> library path -> DllGetClassObject.
    IPSFactoryBuffer* factory = nullptr;
    ASSERT_EQ(GetProxyStubFactory(IID_IZentDeleteI, &factory), S_OK);
    factory->Release();

    ASSERT_EQ(unreg(), S_OK);
    EXPECT_FALSE(platform::RegKeyExists(platform::RegRoot::ClassesRoot, iface));
    EXPECT_FALSE(platform::RegKeyExists(platform::RegRoot::ClassesRoot, cls));
    ResetProxyStubCache();
    EXPECT_EQ(GetProxyStubFactory(IID_IZentDeleteI, &factory), REGDB_E_IIDNOTREG);
}

TEST_F(Library, ClassObjectAndUnloadFollowLiveObjects) {
    auto get = Entry<DllGetClassObjectFn>("DllGetClassObject");
    auto canUnload = Entry<DllCanUnloadNowFn>("DllCanUnloadNow");
    ASSERT_TRUE(get && canUnload);
    void* pv = nullptr;
    EXPECT_EQ(get(IID_IZentGetI, IID_IPSFactoryBuffer, &pv), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(pv, nullptr);
    ASSERT_EQ(canUnload(), S_OK);
    ASSERT_EQ(get(CLSID_ZentProxyFactory, IID_IPSFactoryBuffer, &pv), S_OK);
    auto* factory = static_cast<IPSFactoryBuffer*>(pv);
    EXPECT_EQ(canUnload(), S_FALSE);  // the factory reference is live

    auto* server = new shapetest::ShapeServer;
    IRpcStubBuffer* stub = nullptr;
    ASSERT_EQ(factory->CreateStub(IID_IZentGetI, server, &stub), S_OK);
    IRpcProxyBuffer* proxy = nullptr;
    void* itf = nullptr;
    ASSERT_EQ(factory->CreateProxy(nullptr, IID_IZentONAI, &proxy, &itf), S_OK);
    IRpcProxyBuffer* none = nullptr;
    void* noItf = nullptr;
    EXPECT_EQ(factory->CreateProxy(nullptr, IID_IUnknown, &none, &noItf), E_NOINTERFACE);
    EXPECT_EQ(noItf, nullptr);
    factory->Release();
    EXPECT_EQ(canUnload(), S_FALSE);  // a proxy and a stub remain
    stub->Release();
    EXPECT_EQ(canUnload(), S_FALSE);
    // An unconnected proxy fails its calls without a channel.
    int32_t len = 0;
    uint8_t b[1];
    EXPECT_EQ(static_cast<IZentONAI*>(itf)->ReadONAData("1", &len, b), CO_E_OBJNOTCONNECTED);
    static_cast<IUnknown*>(itf)->Release();
    proxy->Release();
    EXPECT_EQ(canUnload(), S_OK);
    server->Release();
}

}  // namespace
