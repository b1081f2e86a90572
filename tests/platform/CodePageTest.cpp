#include "platform/CodePage.h"
#include "platform/StringTable.h"

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

// A byte that is not UTF-8 used to put a one-byte "?" into the two-byte units, and every
// character after it came out shifted.
TEST_F(CodePage, InvalidUtf8BecomesOneQuestionMarkAndTheRestStaysInPlace) {
    SetCodePage("WINDOWS-1252");
    EXPECT_EQ(Utf8ToCodePage("Z\xE4rich"), "Z?rich");
    EXPECT_EQ(Utf8ToCodePage("a\xE4\xB8" "b"), "a?b");  // a cut sequence is one character
    SetCodePage("CP936");
    EXPECT_EQ(Utf8ToCodePage("Z\xE4rich"), "Z?rich");
    EXPECT_EQ(Utf8ToCodePage("\xE4\xB8\xAD\xFF\xE6\x96\x87"), "\xD6\xD0?\xCE\xC4");
}

TEST_F(CodePage, EveryWindows1252CharacterRoundTripsExactly) {
    SetCodePage("WINDOWS-1252");
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        std::string utf8, back;
        ASSERT_TRUE(CodePageToUtf8Exact(byte, utf8)) << b;
        EXPECT_EQ(utf8, CodePageToUtf8(byte)) << b;
        ASSERT_TRUE(Utf8ToCodePageExact(utf8, back)) << b;
        EXPECT_EQ(back, byte) << b;
    }
}

TEST_F(CodePage, GbkTextRoundTripsExactly) {
    SetCodePage("CP936");
    // Every Chinese text of the program, then a double-byte character from each row of GBK.
    int texts = 0;
    for (const StringEntry& e : StringTable()) {
        std::string cp, back;
        ASSERT_TRUE(Utf8ToCodePageExact(e.chinese, cp)) << e.id;
        ASSERT_TRUE(CodePageToUtf8Exact(cp, back)) << e.id;
        EXPECT_EQ(back, e.chinese) << e.id;
        ++texts;
    }
    EXPECT_GT(texts, 100);
    int characters = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead)
        for (int trail : {0x40, 0x7E, 0x80, 0xA1, 0xFE}) {
            const std::string gbk{static_cast<char>(lead), static_cast<char>(trail)};
            std::string utf8, back;
            if (!CodePageToUtf8Exact(gbk, utf8)) continue;  // a gap of the table
            ASSERT_TRUE(Utf8ToCodePageExact(utf8, back)) << std::hex << lead << " " << trail;
            EXPECT_EQ(back, gbk) << std::hex << lead << " " << trail;
            ++characters;
        }
    EXPECT_GT(characters, 500);
}

TEST_F(CodePage, ExactConversionsRefuseRatherThanSubstitute) {
    struct Case {
        const char* codePage;
        std::string utf8;
        TextProblem::Kind kind;
        size_t offset;
    };
    const Case refused[] = {
        {"WINDOWS-1252", "Z\xE4rich", TextProblem::InvalidUtf8, 1},
        {"WINDOWS-1252", "\xC1\x81", TextProblem::InvalidUtf8, 0},          // overlong "A"
        {"WINDOWS-1252", "..\xE0\x80\xAF", TextProblem::InvalidUtf8, 2},     // overlong "/"
        {"WINDOWS-1252", "\xF0\x80\x80\xAF", TextProblem::InvalidUtf8, 0},  // overlong "/"
        {"WINDOWS-1252", "a\xED\xA0\x80", TextProblem::InvalidUtf8, 1},     // a surrogate half
        {"WINDOWS-1252", "\xF4\x90\x80\x80", TextProblem::InvalidUtf8, 0},  // past U+10FFFF
        {"WINDOWS-1252", "ab\xE4\xB8", TextProblem::InvalidUtf8, 2},        // cut short
        {"WINDOWS-1252", "x\xE4\xB8\xAD", TextProblem::Unrepresentable, 1},
        {"WINDOWS-1252", "\xF0\x9F\x98\x80", TextProblem::Unrepresentable, 0},
        {"CP936", "x\xE0\xB8\x81", TextProblem::Unrepresentable, 1},  // Thai
        {"CP936", "\xF0\x9F\x98\x80", TextProblem::Unrepresentable, 0},
    };
    for (const Case& c : refused) {
        SetCodePage(c.codePage);
        std::string out = "untouched";
        TextProblem problem;
        EXPECT_FALSE(Utf8ToCodePageExact(c.utf8, out, &problem)) << c.utf8;
        EXPECT_EQ(problem.kind, c.kind) << c.utf8;
        EXPECT_EQ(problem.offset, c.offset) << c.utf8;
    }
    SetCodePage("WINDOWS-1252");
    TextProblem problem;
    std::string out;
    ASSERT_FALSE(Utf8ToCodePageExact("x\xE4\xB8\xAD", out, &problem));
    EXPECT_EQ(problem.character, U'\u4E2D');
    EXPECT_EQ(problem.Describe(), "has a character (U+4E2D) that the code page WINDOWS-1252 cannot hold");

    SetCodePage("CP936");
    EXPECT_FALSE(CodePageToUtf8Exact("ab\x81", out, &problem));  // a lead byte without its trail byte
    EXPECT_EQ(problem.kind, TextProblem::UndefinedBytes);
    EXPECT_EQ(problem.offset, 2u);
}
