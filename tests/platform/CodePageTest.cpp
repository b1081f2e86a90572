#include "platform/CodePage.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

class CodePage : public ::testing::Test {
protected:
    void TearDown() override { SetCodePage(""); }
};

}  // namespace

TEST_F(CodePage, Windows1252KeepsEveryByte) {
    SetCodePage("WINDOWS-1252");
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    std::u16string units = CodePageToUtf16(all);
    ASSERT_EQ(units.size(), 256u);
    EXPECT_EQ(units[0x80], u'\u20AC');
    EXPECT_EQ(units[0x9F], u'\u0178');
    for (int undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(units[undefined], undefined) << undefined;
    EXPECT_EQ(Utf16ToCodePage(units), all);
    EXPECT_EQ(Utf8ToCodePage(CodePageToUtf8(all)), all);
    EXPECT_EQ(CodePageToUtf8("\x80\xE9"), "\xE2\x82\xAC\xC3\xA9");
}

TEST_F(CodePage, UnmappableCharactersBecomeQuestionMarks) {
    SetCodePage("WINDOWS-1252");
    EXPECT_EQ(Utf16ToCodePage(u"A\u4E2D\u20ACB"), "A?\x80" "B");
    EXPECT_EQ(Utf16ToCodePage(std::u16string(1, char16_t(0xD800))), "?");
    SetCodePage("CP936");
    EXPECT_EQ(Utf16ToCodePage(u"x\u0E01y"), "x?y");  // Thai is not in GBK
    EXPECT_EQ(Utf16ToCodePage(std::u16string{u'a', char16_t(0xDC00), u'b'}), "a?b");
}

TEST_F(CodePage, Cp936ThroughIconv) {
    SetCodePage("CP936");
    EXPECT_EQ(CodePageName(), "CP936");
    EXPECT_EQ(CodePageToUtf16("\xD6\xD0" "a"), u"\u4E2Da");
    EXPECT_EQ(Utf16ToCodePage(u"\u4E2D\u6587"), "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(Utf8ToCodePage("\xE4\xB8\xAD"), "\xD6\xD0");
    EXPECT_EQ(CodePageToUtf8("\xD6\xD0"), "\xE4\xB8\xAD");
    EXPECT_EQ(CodePageToUtf16("\xD6"), u"\uFFFD") << "a cut double-byte character";
}
