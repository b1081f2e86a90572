#include "platform/RegFile.h"

#include <gtest/gtest.h>

using namespace platform::regfile;

namespace {

constexpr const char* kRoot = "HKEY_LOCAL_MACHINE";

std::vector<uint8_t> Utf16Bytes(std::u16string_view s, bool nul = true) {
    std::vector<uint8_t> out;
    for (char16_t u : s) {
        out.push_back(static_cast<uint8_t>(u & 0xFF));
        out.push_back(static_cast<uint8_t>(u >> 8));
    }
    if (nul) out.insert(out.end(), {0, 0});
    return out;
}

const Value* Get(const Hive& hive, std::string_view key, std::string_view name) {
    const Key* k = hive.FindKey(key);
    return k ? Hive::FindValue(*k, name) : nullptr;
}

}  // namespace

TEST(RegFile, ReadsARegeditExport) {
    const std::string text =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; exported\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvex\\TarnManager]\r\n"
        "@=\"C:\\\\Program Files\\\\\\\"x\\\"\"\r\n"
        "\"VersionLow\"=dword:00000460\r\n"
        "\"Path\"=hex(2):25,00,41,00,\\\r\n"
        "  00,00\r\n"
        "\"Blob\"=hex:de,ad,BE,ef\r\n"
        "\"Empty\"=hex:\r\n"
        "\r\n"
        "[hkey_local_machine\\software\\korvex\\tarnmanager]\r\n"
        "\"versionlow\"=dword:500\r\n";
    Hive hive;
    ParseError error;
    ASSERT_TRUE(Parse(text, kRoot, hive, error)) << error.line << ": " << error.message;

    ASSERT_EQ(hive.keys().size(), 1u);  // the second section is the same key
    EXPECT_EQ(Get(hive, "SOFTWARE\\Korvex\\TarnManager", "")->data, Utf16Bytes(u"C:\\Program Files\\\"x\""));
    const Value* low = Get(hive, "software\\KORVEX\\TarnManager\\", "VERSIONLOW");
    ASSERT_NE(low, nullptr);
    EXPECT_EQ(low->name, "VersionLow");  // first spelling kept, last data wins
    EXPECT_EQ(low->data, (std::vector<uint8_t>{0x00, 0x05, 0, 0}));
    EXPECT_EQ(Get(hive, "SOFTWARE\\Korvex\\TarnManager", "Path")->type, 2u);
    EXPECT_EQ(Get(hive, "SOFTWARE\\Korvex\\TarnManager", "Path")->data, Utf16Bytes(u"%A"));
    EXPECT_EQ(Get(hive, "SOFTWARE\\Korvex\\TarnManager", "Blob")->data, (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_TRUE(Get(hive, "SOFTWARE\\Korvex\\TarnManager", "Empty")->data.empty());

    EXPECT_TRUE(Parse("", kRoot, hive, error));
    EXPECT_TRUE(hive.keys().empty());
}

TEST(RegFile, WritesWhatItReadsBackExactly) {
    Hive hive;
    Key& k = hive.CreateKey("A\\B");
    Hive::SetValue(k, Value{"", 1, Utf16Bytes(u"d\u00E9fault \"q\" \\")});
    Hive::SetValue(k, Value{"n", 4, {0x60, 0x04, 0, 0}});
    Hive::SetValue(k, Value{"odd dword", 4, {1, 2}});
    Hive::SetValue(k, Value{"no nul", 1, Utf16Bytes(u"abc", false)});
    Hive::SetValue(k, Value{"two lines", 1, Utf16Bytes(u"a\r\nb")});
    Hive::SetValue(k, Value{"lone surrogate", 1, Utf16Bytes(u"\xD800")});
    Hive::SetValue(k, Value{"odd bytes", 1, {0x41}});
    Hive::SetValue(k, Value{"big type", 0xFFFF0000u, {}});
    Hive::SetValue(k, Value{"long", 3, std::vector<uint8_t>(100, 0xAB)});
    Hive::SetValue(hive.CreateKey(""), Value{"root", 1, Utf16Bytes(u"r")});

    std::string text;
    ASSERT_TRUE(Serialize(hive, kRoot, text));
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\A\\B]\n@=\"d\xC3\xA9" "fault \\\"q\\\" \\\\\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"n\"=dword:00000460\n"), std::string::npos);
    EXPECT_NE(text.find("\"odd dword\"=hex(4):01,02\n"), std::string::npos);
    EXPECT_NE(text.find("\"no nul\"=hex(1):61,00,62,00,63,00\n"), std::string::npos);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE]\n\"root\"=\"r\"\n"), std::string::npos);

    Hive back;
    ParseError error;
    ASSERT_TRUE(Parse(text, kRoot, back, error)) << error.line << ": " << error.message << "\n" << text;
    ASSERT_EQ(back.keys().size(), hive.keys().size());
    for (size_t i = 0; i < hive.keys().size(); ++i) {
        const Key& a = hive.keys()[i];
        const Key& b = back.keys()[i];
        EXPECT_EQ(a.path, b.path);
        ASSERT_EQ(a.values.size(), b.values.size());
        for (size_t j = 0; j < a.values.size(); ++j) {
            EXPECT_EQ(a.values[j].name, b.values[j].name);
            EXPECT_EQ(a.values[j].type, b.values[j].type) << a.values[j].name;
            EXPECT_EQ(a.values[j].data, b.values[j].data) << a.values[j].name;
        }
    }

    Hive bad;
    Hive::SetValue(bad.CreateKey("K"), Value{"line\nbreak", 1, {}});
    EXPECT_FALSE(Serialize(bad, kRoot, text));
}

TEST(RegFile, SkipsWhatItCannotParseAndReportsTheFirstLine) {
    struct Case {
        const char* bad;
        const char* what;
    } cases[] = {
        {"\"s\"=\"unterminated", "unterminated string"},
        {"\"s\"=\"bad \\n escape\"", "unknown escape"},
        {"\"s\"=\"x\" trailing", "text after the string"},
        {"\"d\"=dword:123456789", "dword of nine digits"},
        {"\"d\"=dword:", "dword without digits"},
        {"\"h\"=hex:1,xyz", "bad hex byte"},
        {"\"h\"=hex:01,,02", "empty hex byte"},
        {"\"h\"=hex(zz):01", "bad hex type"},
        {"\"v\"=-", "value deletion"},
        {"\"v\"=other:1", "unknown data form"},
        {"\"\xC3\x28\"=\"x\"", "invalid UTF-8 name"},
        {"\"s\"=\"\xED\xA0\x80\"", "encoded surrogate"},
        {"garbage", "neither section nor value"},
    };
    for (const Case& c : cases) {
        std::string text = std::string("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"1\"\n") +
                           c.bad + "\n\"b\"=\"2\"\n";
        Hive hive;
        ParseError error;
        EXPECT_FALSE(Parse(text, kRoot, hive, error)) << c.what;
        EXPECT_EQ(error.line, 5u) << c.what;
        EXPECT_FALSE(error.message.empty());
        EXPECT_NE(Get(hive, "K", "a"), nullptr) << c.what;
        EXPECT_NE(Get(hive, "K", "b"), nullptr) << c.what;
    }

    // A section that cannot be parsed hides its values, not the next section's.
    const char* text =
        "Windows Registry Editor Version 5.00\n"
        "[HKEY_CURRENT_USER\\Other]\n"
        "\"x\"=\"1\"\n"
        "[-HKEY_LOCAL_MACHINE\\Gone]\n"
        "[HKEY_LOCAL_MACHINE\\Open\n"
        "[HKEY_LOCAL_MACHINE\\K]\n"
        "\"y\"=\"2\"\n";
    Hive hive;
    ParseError error;
    EXPECT_FALSE(Parse(text, kRoot, hive, error));
    EXPECT_EQ(error.line, 2u);
    EXPECT_NE(Get(hive, "K", "y"), nullptr);
    EXPECT_EQ(hive.keys().size(), 1u);

    EXPECT_FALSE(Parse("[HKEY_LOCAL_MACHINE\\K]\n\"y\"=\"2\"\n", kRoot, hive, error));
    EXPECT_EQ(error.line, 1u);  // no header line
    EXPECT_NE(Get(hive, "K", "y"), nullptr);

    // A continued hex value that runs into the end of the file.
    EXPECT_TRUE(Parse("Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\K]\n\"h\"=hex:01,\\", kRoot,
                      hive, error));
    EXPECT_EQ(Get(hive, "K", "h")->data, std::vector<uint8_t>{1});
}

TEST(RegFile, KeyTree) {
    Hive hive;
    hive.CreateKey("Key\\Sub\\Deep");
    hive.CreateKey("Keyboard");
    EXPECT_EQ(hive.keys().size(), 4u);  // parents get sections of their own
    EXPECT_TRUE(hive.KeyExists("KEY\\sub"));
    EXPECT_TRUE(hive.KeyExists(""));
    EXPECT_FALSE(hive.KeyExists("Ke"));

    ParseError error;
    ASSERT_TRUE(Parse("Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A\\B\\C]\n", kRoot, hive, error));
    EXPECT_TRUE(hive.KeyExists("a\\b"));  // only implied by its child
    EXPECT_EQ(hive.FindKey("a\\b"), nullptr);

    hive = Hive();
    hive.CreateKey("Key\\Sub\\Deep");
    hive.CreateKey("Keyboard");
    EXPECT_TRUE(hive.DeleteTree("key"));
    EXPECT_FALSE(hive.KeyExists("Key\\Sub"));
    EXPECT_TRUE(hive.KeyExists("Keyboard"));
    EXPECT_FALSE(hive.DeleteTree("Key"));
    EXPECT_NE(hive.FindKey("keyboard"), nullptr);  // the index follows the removal
}
