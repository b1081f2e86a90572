// The runtime's start-up registration check and the loader's failures.
#include <gtest/gtest.h>

#include "TestEnv.h"
#include "com/ProxyLoader.h"
#include "com/ProxyRegistration.h"
#include "platform/RegReaders.h"
#include "platform/Registry.h"
#include "proxy/Interfaces.h"

using namespace com;

namespace {

const std::string kServerKey = "CLSID\\{73E44C00-6474-11D2-A1ED-00104B88890E}\\InProcServer32";

TEST(Runtime, RegistrationCheckRegistersTheLibraryWhenMissing) {
    testenv::UseFreshRegistry();
    std::string path;
    EXPECT_FALSE(platform::ReadRegString(kServerKey, "", path, "", platform::RegRoot::ClassesRoot));
    // Loaded by name: the test's RPATH $ORIGIN finds it beside the executable.
    EXPECT_TRUE(EnsureProxyLibraryRegistered());
    ASSERT_TRUE(platform::ReadRegString(kServerKey, "", path, "", platform::RegRoot::ClassesRoot));
    EXPECT_NE(path.find("/libzentproxy.so"), std::string::npos);
    IPSFactoryBuffer* f = nullptr;
    ASSERT_EQ(GetProxyStubFactory(IID_IZentOKLInterface, &f), S_OK);
    f->Release();
    // Registered: nothing to do, even when the path no longer leads anywhere.
    ASSERT_TRUE(platform::RegSetValue(platform::RegRoot::ClassesRoot, kServerKey, "", platform::RegValue::String("/nowhere")));
    EXPECT_TRUE(EnsureProxyLibraryRegistered());
    // An empty value counts as not registered.
    ASSERT_TRUE(platform::RegSetValue(platform::RegRoot::ClassesRoot, kServerKey, "", platform::RegValue::String("")));
    EXPECT_TRUE(EnsureProxyLibraryRegistered());
    ASSERT_TRUE(platform::ReadRegString(kServerKey, "", path, "", platform::RegRoot::ClassesRoot));
    EXPECT_NE(path.find("/libzentproxy.so"), std::string::npos);
}

TEST(Runtime, LoaderReportsWhatIsMissing) {
    testenv::UseFreshRegistry();
    IPSFactoryBuffer* f = nullptr;
    EXPECT_EQ(GetProxyStubFactory(IID_IZentGetI, &f), REGDB_E_IIDNOTREG);
    const std::string iface = "Interface\\{65A7FD93-20B8-11D1-A586-00A024582DE0}\\ProxyStubClsid32";
    const std::string cls = "{11111111-2222-3333-4444-555555555555}";
    ASSERT_TRUE(platform::RegSetValue(platform::RegRoot::ClassesRoot, iface, "", platform::RegValue::String(cls)));
    EXPECT_EQ(GetProxyStubFactory(IID_IZentGetI, &f), REGDB_E_CLASSNOTREG);
    ASSERT_TRUE(platform::RegSetValue(platform::RegRoot::ClassesRoot, "CLSID\\" + cls + "\\InProcServer32", "",
                                      platform::RegValue::String("/nonexistent/libnothing.so")));
    EXPECT_EQ(GetProxyStubFactory(IID_IZentGetI, &f), CO_E_DLLNOTFOUND);
    // A library without the entry point.
    ASSERT_TRUE(platform::RegSetValue(platform::RegRoot::ClassesRoot, "CLSID\\" + cls + "\\InProcServer32", "",
                                      platform::RegValue::String("libm.so.6")));
    EXPECT_EQ(GetProxyStubFactory(IID_IZentGetI, &f), CO_E_ERRORINDLL);
    // The right library, but asked for a class it does not serve.
    ASSERT_TRUE(platform::RegSetValue(platform::RegRoot::ClassesRoot, "CLSID\\" + cls + "\\InProcServer32", "",
                                      platform::RegValue::String(testenv::LibraryPath())));
    EXPECT_EQ(GetProxyStubFactory(IID_IZentGetI, &f), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(f, nullptr);
}

}  // namespace
