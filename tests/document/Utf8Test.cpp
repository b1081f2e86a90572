// The configuration file's own UTF-8: one UTF-16 unit at a time, and the decoder's leniency.
#include <gtest/gtest.h>

#include "document/Utf8.h"
#include "platform/CodePage.h"

namespace {

class Utf8 : public ::testing::Test {
protected:
    void SetUp() override { platform::SetCodePage("WINDOWS-1252"); }
    void TearDown() override { platform::SetCodePage(""); }
};

TEST_F(Utf8, EncodesEachUnitByItself) {
    EXPECT_EQ(Utf8Encode("abc"), "abc");
    EXPECT_EQ(Utf8Encode("\xFC"), "\xC3\xBC");       // U+00FC
    EXPECT_EQ(Utf8Encode("\x80"), "\xE2\x82\xAC");   // euro sign U+20AC
    EXPECT_EQ(Utf8Encode("\x81"), "\xC2\x81");       // undefined byte kept as U+0081
    EXPECT_EQ(Utf8Decode("\xC3\xBC\xE2\x82\xAC"), "\xFC\x80");
}

TEST_F(Utf8, DecoderRules) {
    EXPECT_EQ(Utf8Decode("\xC1\x81"), "A");      // overlong two-byte form still decodes
    EXPECT_EQ(Utf8Decode("\x80"), std::string(1, '\0'));  // a lone continuation byte keeps its low bits
    EXPECT_EQ(Utf8Decode("\xF0\x9F\x98\x80z"), "?z");     // four-byte sequence: one unknown character
    EXPECT_EQ(Utf8Decode("\xE2\x82"), std::string("?"));  // cut short: missing bytes count as zero (U+2080)
    EXPECT_EQ(Utf8Decode("\xE4\xB8\xAD"), "?");           // a character outside the code page
}

TEST_F(Utf8, SurrogateHalvesAreThreeBytesEach) {
    platform::SetCodePage("UTF-8");  // a code page that has characters beyond the BMP
    EXPECT_EQ(Utf8Encode("\xF0\x9F\x98\x80"), "\xED\xA0\xBD\xED\xB8\x80");
}

TEST_F(Utf8, EscapesAmpersandFirst) {
    EXPECT_EQ(XmlEscape("&lt;<>\"'"), "&amp;lt;&lt;&gt;&quot;&apos;");
}

TEST_F(Utf8, StorableText) {
    EXPECT_TRUE(IsStorableText("plain \t text\n"));
    EXPECT_TRUE(IsStorableText("\x81\x8D\x8F\x90\x9D\xFF"));
    EXPECT_FALSE(IsStorableText(std::string("a\0b", 3)));
    EXPECT_FALSE(IsStorableText("a\rb"));
    EXPECT_FALSE(IsStorableText("\x1F"));
    platform::SetCodePage("CP936");
    EXPECT_FALSE(IsStorableText("\x81"));  // a lead byte without its trail byte
    EXPECT_TRUE(IsStorableText("\xD6\xD0"));  // a Chinese character
}

}  // namespace
