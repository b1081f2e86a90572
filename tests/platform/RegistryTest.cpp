#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/CodePage.h"
#include "platform/TestEnv.h"
#include "support/Processes.h"

using namespace platform;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string QueryText(RegRoot root, const std::string& key, const std::string& name, uint32_t* type = nullptr) {
    RegValue v;
    if (!RegQueryValue(root, key, name, v)) return "<missing>";
    if (type) *type = v.type;
    return std::string(v.data.begin(), v.data.end());
}

class Registry : public ::testing::Test {
protected:
    void TearDown() override { SetCodePage(""); }
    testenv::TempRegistry registry_;
};

}  // namespace

TEST_F(Registry, StoresTypedValuesInRegeditText) {
    const std::string key = "SOFTWARE\\Korvex\\TarnManager";
    ASSERT_TRUE(RegSetValue(RegRoot::LocalMachine, key, "VersionLow", RegValue::Dword(0x0460))) << RegLastError();
    ASSERT_TRUE(RegSetValue(RegRoot::LocalMachine, key, "", RegValue::String("C:\\a \"b\"")));
    ASSERT_TRUE(RegSetValue(RegRoot::LocalMachine, key, "Exp", RegValue::String("%TEMP%", REG_EXPAND_SZ)));
    ASSERT_TRUE(RegSetValue(RegRoot::ClassesRoot, "CLSID\\X", "", RegValue::String("other hive")));

    const std::string text = ReadAll(registry_.dir() + "/HKLM.reg");
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvex\\TarnManager]\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"VersionLow\"=dword:00000460\n"), std::string::npos);
    EXPECT_NE(text.find("@=\"C:\\\\a \\\"b\\\"\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Exp\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\n"), std::string::npos);
    EXPECT_EQ(text.find("other hive"), std::string::npos);

    uint32_t type = 0;
    EXPECT_EQ(QueryText(RegRoot::LocalMachine, "software\\KORVEX\\tarnmanager\\", "", &type), std::string("C:\\a \"b\"\0", 9));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(QueryText(RegRoot::LocalMachine, key, "EXP", &type), std::string("%TEMP%\0", 7));
    EXPECT_EQ(type, REG_EXPAND_SZ);
    EXPECT_EQ(QueryText(RegRoot::LocalMachine, key, "versionlow", &type), std::string("\x60\x04\0\0", 4));
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(QueryText(RegRoot::CurrentUser, key, "VersionLow"), "<missing>");

    // Replacing keeps one value under its first spelling.
    ASSERT_TRUE(RegSetValue(RegRoot::LocalMachine, key, "VERSIONLOW", RegValue::Dword(0x0500)));
    EXPECT_EQ(QueryText(RegRoot::LocalMachine, key, "VersionLow"), std::string("\0\x05\0\0", 4));
    EXPECT_NE(ReadAll(registry_.dir() + "/HKLM.reg").find("\"VersionLow\"=dword:00000500\n"), std::string::npos);
}

TEST_F(Registry, ConvertsBetweenTheCodePageAndTheFile) {
    SetCodePage("WINDOWS-1252");
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    ASSERT_TRUE(RegSetValue(RegRoot::CurrentUser, "K\xE9", "v\x80", RegValue::String(all)));
    EXPECT_EQ(QueryText(RegRoot::CurrentUser, "k\xE9", "V\x80"), all + '\0') << "every byte survives";
    EXPECT_NE(ReadAll(registry_.dir() + "/HKCU.reg").find("[HKEY_CURRENT_USER\\K\xC3\xA9]"), std::string::npos);

    SetCodePage("CP936");
    ASSERT_TRUE(RegSetValue(RegRoot::CurrentUser, "Chinese", "", RegValue::String("\xD6\xD0\xCE\xC4")));  // 中文
    EXPECT_NE(ReadAll(registry_.dir() + "/HKCU.reg").find("@=\"\xE4\xB8\xAD\xE6\x96\x87\""), std::string::npos);
    EXPECT_EQ(QueryText(RegRoot::CurrentUser, "Chinese", ""), std::string("\xD6\xD0\xCE\xC4\0", 5));
}

TEST_F(Registry, KeysCreateAndDeleteAsATree) {
    EXPECT_TRUE(RegDeleteTree(RegRoot::LocalMachine, "Nothing"));
    EXPECT_FALSE(std::filesystem::exists(registry_.dir() + "/HKLM.reg"));

    ASSERT_TRUE(RegCreateKey(RegRoot::LocalMachine, "A\\B\\C"));
    ASSERT_TRUE(RegSetValue(RegRoot::LocalMachine, "AB", "x", RegValue::Dword(1)));
    EXPECT_TRUE(RegKeyExists(RegRoot::LocalMachine, "a\\b"));
    EXPECT_FALSE(RegKeyExists(RegRoot::LocalMachine, "A\\B\\C\\D"));
    ASSERT_TRUE(RegDeleteTree(RegRoot::LocalMachine, "A\\B"));
    EXPECT_FALSE(RegKeyExists(RegRoot::LocalMachine, "A\\B\\C"));
    EXPECT_TRUE(RegKeyExists(RegRoot::LocalMachine, "A"));
    EXPECT_TRUE(RegKeyExists(RegRoot::LocalMachine, "AB"));

    EXPECT_FALSE(RegSetValue(RegRoot::LocalMachine, "Bad\nKey", "x", RegValue::Dword(1)));
    EXPECT_NE(RegLastError().find("line break"), std::string::npos);
}

TEST_F(Registry, MalformedHiveIsReadInPartAndNeverOverwritten) {
    const std::string path = registry_.dir() + "/HKLM.reg";
    const std::string text =
        "Windows Registry Editor Version 5.00\n"
        "[HKEY_LOCAL_MACHINE\\K]\n"
        "\"good\"=dword:00000001\n"
        "\"bad\"=dword:zz\n"
        "\"later\"=\"still read\"\n";
    WriteAll(path, text);

    EXPECT_EQ(QueryText(RegRoot::LocalMachine, "K", "later"), std::string("still read\0", 11));
    EXPECT_EQ(QueryText(RegRoot::LocalMachine, "K", "bad"), "<missing>");
    EXPECT_NE(RegLastError().find(path + ":4:"), std::string::npos) << RegLastError();

    EXPECT_FALSE(RegSetValue(RegRoot::LocalMachine, "K", "new", RegValue::Dword(2)));
    EXPECT_NE(RegLastError().find(path + ":4:"), std::string::npos) << RegLastError();
    EXPECT_FALSE(RegDeleteTree(RegRoot::LocalMachine, "K"));
    EXPECT_EQ(ReadAll(path), text);

    // Neither a directory in its place nor binary junk brings anything down.
    WriteAll(path, std::string("\0\xFF\n[\n\"\n=\\", 9));
    EXPECT_FALSE(RegKeyExists(RegRoot::LocalMachine, "K"));
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    EXPECT_FALSE(RegKeyExists(RegRoot::LocalMachine, "K"));
    EXPECT_FALSE(RegSetValue(RegRoot::LocalMachine, "K", "x", RegValue::Dword(1)));
}

TEST_F(Registry, ParallelWritersLoseNothing) {
    constexpr int kProcesses = 4, kValues = 25;
    std::vector<Child> children;  // killed and reaped on every way out
    for (int p = 0; p < kProcesses; ++p) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            bool ok = true;
            for (int i = 0; i < kValues; ++i)
                ok &= RegSetValue(RegRoot::LocalMachine, "Shared\\P" + std::to_string(p % 2), "v" + std::to_string(p * 100 + i),
                                  RegValue::Dword(i));
            ::_exit(ok ? 0 : 1);
        }
        children.emplace_back(pid);
    }
    for (Child& child : children) {
        const int code = child.Wait(std::chrono::seconds(30));
        ASSERT_TRUE(child.Ended()) << "writer " << child.Pid() << " still running after 30 s";
        EXPECT_EQ(code, 0);
    }
    for (int p = 0; p < kProcesses; ++p)
        for (int i = 0; i < kValues; ++i)
            EXPECT_EQ(QueryText(RegRoot::LocalMachine, "Shared\\P" + std::to_string(p % 2), "v" + std::to_string(p * 100 + i)),
                      std::string(reinterpret_cast<const char*>(RegValue::Dword(i).data.data()), 4));
    for (const auto& entry : std::filesystem::directory_iterator(registry_.dir()))
        EXPECT_TRUE(entry.path().filename() == "HKLM.reg" || entry.path().filename() == "HKLM.reg.lock")
            << "left behind: " << entry.path();
}

TEST(RegistryLocation, MachineAndUserHives) {
    testenv::ScopedEnv noOverride("QOB_REGISTRY_DIR", std::nullopt);
    {
        testenv::ScopedEnv xdg("XDG_CONFIG_HOME", "/tmp/xdg-config");
        EXPECT_EQ(RegHivePath(RegRoot::CurrentUser), "/tmp/xdg-config/tarn-manager/HKCU.reg");
    }
    {
        testenv::ScopedEnv xdg("XDG_CONFIG_HOME", "relative/ignored");
        testenv::ScopedEnv home("HOME", "/home/someone");
        EXPECT_EQ(RegHivePath(RegRoot::CurrentUser), "/home/someone/.config/tarn-manager/HKCU.reg");
    }
    EXPECT_EQ(RegHivePath(RegRoot::LocalMachine), "/var/lib/tarn-manager/registry/HKLM.reg");
    EXPECT_EQ(RegHivePath(RegRoot::ClassesRoot), "/var/lib/tarn-manager/registry/HKCR.reg");
    testenv::ScopedEnv dir("QOB_REGISTRY_DIR", "/x/y");
    EXPECT_EQ(RegHivePath(RegRoot::CurrentUser), "/x/y/HKCU.reg");
}
