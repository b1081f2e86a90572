#include "platform/RegReaders.h"

#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/TestEnv.h"

using namespace platform;

namespace {

const std::string kKey = "SOFTWARE\\Korvex\\TarnManager\\";
const RegRoot kHklm = RegRoot::LocalMachine;

class RegReaders : public ::testing::Test {
protected:
    void SetUp() override { SetCodePage("WINDOWS-1252"); }
    void TearDown() override { SetCodePage(""); }
    void Set(const std::string& name, const RegValue& v) { ASSERT_TRUE(RegSetValue(kHklm, kKey, name, v)) << RegLastError(); }
    testenv::TempRegistry registry_;
};

RegValue Raw(uint32_t type, std::string bytes) {
    RegValue v;
    v.type = type;
    v.data.assign(bytes.begin(), bytes.end());
    return v;
}

}  // namespace

TEST_F(RegReaders, DwordOnlyFromAFourByteDword) {
    Set("VersionLow", RegValue::Dword(0x0470));
    Set("Text", RegValue::String("1136"));
    Set("Binary", Raw(REG_BINARY, std::string("\x60\x04\0\0", 4)));
    Set("Long", Raw(REG_DWORD, std::string(8, '\1')));

    uint32_t n = 0;
    EXPECT_TRUE(ReadRegDWORD(kKey, "versionlow", n, 0x0460, kHklm));
    EXPECT_EQ(n, 0x0470u);
    for (const char* name : {"Text", "Binary", "Long", "Missing"}) {
        n = 7;
        EXPECT_FALSE(ReadRegDWORD(kKey, name, n, 0x0500, kHklm)) << name;
        EXPECT_EQ(n, 0x0500u) << name;
    }
    n = 7;
    EXPECT_FALSE(ReadRegDWORD("SOFTWARE\\Nobody", "VersionLow", n, 0x0460, kHklm));
    EXPECT_EQ(n, 0x0460u);
    EXPECT_FALSE(ReadRegDWORD(kKey, "VersionLow", n, 1, RegRoot::CurrentUser));
    EXPECT_EQ(n, 1u);
}

TEST_F(RegReaders, StringMustBePlainAndFit256BytesWithItsNul) {
    Set("Fits", RegValue::String(std::string(255, 'a')));
    Set("TooLong", RegValue::String(std::string(256, 'b')));
    Set("Long300", RegValue::String(std::string(300, 'c')));
    Set("Expand", RegValue::String("%SystemRoot%", REG_EXPAND_SZ));
    Set("Number", RegValue::Dword(5));
    Set("NoNul255", Raw(REG_SZ, std::string(255, 'd')));
    Set("NoNul256", Raw(REG_SZ, std::string(256, 'e')));
    Set("Inner", Raw(REG_SZ, std::string("ab\0cd\0", 6)));

    std::string s;
    EXPECT_TRUE(ReadRegString(kKey, "Fits", s, "dflt", kHklm));
    EXPECT_EQ(s, std::string(255, 'a'));
    EXPECT_TRUE(ReadRegString(kKey, "NoNul255", s, "dflt", kHklm));
    EXPECT_EQ(s, std::string(255, 'd'));
    EXPECT_TRUE(ReadRegString(kKey, "Inner", s, "dflt", kHklm));
    EXPECT_EQ(s, "ab");
    for (const char* name : {"TooLong", "Long300", "Expand", "Number", "NoNul256", "Missing"}) {
        s = "junk";
        EXPECT_FALSE(ReadRegString(kKey, name, s, "dflt", kHklm)) << name;
        EXPECT_EQ(s, "dflt") << name;
    }
    EXPECT_FALSE(ReadRegString("SOFTWARE\\Nobody", "Fits", s, "XXX", kHklm));
    EXPECT_EQ(s, "XXX");
}

TEST_F(RegReaders, DefaultValueOfAKey) {
    const std::string clsid = "CLSID\\{73E44C00-6474-11D2-A1ED-00104B88890E}\\InProcServer32";
    std::string s = "junk";
    ASSERT_TRUE(RegCreateKey(RegRoot::ClassesRoot, clsid));
    EXPECT_FALSE(ReadRegString(clsid, "", s, "", RegRoot::ClassesRoot));  // key without a default value
    EXPECT_EQ(s, "");

    ASSERT_TRUE(RegSetValue(RegRoot::ClassesRoot, clsid, "", RegValue::String("")));
    s = "junk";
    EXPECT_TRUE(ReadRegString(clsid, "", s, "dflt", RegRoot::ClassesRoot));  // exists, but empty
    EXPECT_EQ(s, "");

    ASSERT_TRUE(RegSetValue(RegRoot::ClassesRoot, clsid, "", RegValue::String("/usr/lib/libzentproxy.so")));
    EXPECT_TRUE(ReadRegString(clsid, "", s, "", RegRoot::ClassesRoot));
    EXPECT_EQ(s, "/usr/lib/libzentproxy.so");
}

TEST_F(RegReaders, LimitCountsCodePageBytes) {
    SetCodePage("CP936");
    std::string chinese127, chinese128;
    for (int i = 0; i < 127; ++i) chinese127 += "\xD6\xD0";
    chinese128 = chinese127 + "\xD6\xD0";
    Set("Fits", RegValue::String(chinese127));   // 254 bytes and the NUL
    Set("TooLong", RegValue::String(chinese128));  // 256 bytes and the NUL
    std::string s;
    EXPECT_TRUE(ReadRegString(kKey, "Fits", s, "", kHklm));
    EXPECT_EQ(s, chinese127);
    EXPECT_FALSE(ReadRegString(kKey, "TooLong", s, "", kHklm));
}
