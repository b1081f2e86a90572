#include "platform/TextFormat.h"

#include <gtest/gtest.h>

using platform::FormatText;

TEST(TextFormat, PrintfConversionsOfTheResourceTexts) {
    // A list row: width 1 turns an empty text into one blank.
    EXPECT_EQ(FormatText("%s\t%1s\t%1s\t%1d\t%1d", "205", "", "Bob", 2, 0u), "205\t \tBob\t2\t0");
    EXPECT_EQ(FormatText("name result : 0x%X \n", 0x111u), "name result : 0x111 \n");
    EXPECT_EQ(FormatText("%s(0x%x)", "300", static_cast<int32_t>(0x80004005)), "300(0x80004005)");
    EXPECT_EQ(FormatText("[%-4s|%4s|%.2s|%05d|%+d|%c]", "ab", "cd", "xyz", 42, 7, 'Q'), "[ab  |  cd|xy|00042|+7|Q]");
    EXPECT_EQ(FormatText("%ld %lu %lld %.1f %%", -1L, 2UL, 3LL, 2.25), "-1 2 3 2.2 %");
    EXPECT_EQ(FormatText("%2$s from %1$s", "A", "B"), "B from A");
    EXPECT_EQ(FormatText("plain"), "plain");
}

TEST(TextFormat, MismatchedOrMissingArgumentsAreHarmless) {
    EXPECT_EQ(FormatText("%s", 12), "12");
    EXPECT_EQ(FormatText("%d", "text"), "text");
    EXPECT_EQ(FormatText("%d", 4294967295u), "4294967295");
    EXPECT_EQ(FormatText("%x", static_cast<int8_t>(-1)), "ff");
    EXPECT_EQ(FormatText("%d", 1e300), "9223372036854775807");
    EXPECT_EQ(FormatText("%s and %s", "one"), "one and %s");
    EXPECT_EQ(FormatText("%3$s", "one"), "%3$s");
    EXPECT_EQ(FormatText("%n%s", "x"), "%nx");
    EXPECT_EQ(FormatText("100%", 1), "100%");
    EXPECT_EQ(FormatText("%s", static_cast<const char*>(nullptr)), "(null)");
    EXPECT_EQ(FormatText("[%s]", std::string("ab\0cd", 5)), "[ab]") << "texts end at their NUL";
    EXPECT_EQ(FormatText("%999999999d", 1).size(), 4096u) << "width is capped";
}

TEST(TextFormat, APreparedFormatFillsAsFormatTextDoes) {
    std::string out = "kept ";
    platform::PreparedFormat("%s\t%1s|%05d|%X|%2$s %%|%s and %s|%n").Append(out, "205", "", 42, 0x1fu);
    EXPECT_EQ(out, "kept " + FormatText("%s\t%1s|%05d|%X|%2$s %%|%s and %s|%n", "205", "", 42, 0x1fu));
    const platform::PreparedFormat line("Compare extension %s name result : 0x%X \n");
    for (uint32_t flags : {0x0u, 0x111u, 0x222u}) {
        out.clear();
        line.Append(out, "100", flags);
        EXPECT_EQ(out, FormatText("Compare extension %s name result : 0x%X \n", "100", flags));
    }
}
