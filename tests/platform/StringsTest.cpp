#include "platform/Strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>

#include "platform/CodePage.h"
#include "platform/StringTable.h"
#include "platform/TestEnv.h"

using namespace platform;

namespace {

class Strings : public ::testing::Test {
protected:
    void SetUp() override {
        SetCodePage("WINDOWS-1252");
        SetStringLanguage(StringLanguage::English);
    }
    void TearDown() override {
        SetCodePage("");
        SetStringLanguage(StringLanguage::Auto);
    }
};

// Argument number -> conversion letter, in the order the format uses them.
std::map<int, char> Conversions(const std::string& format) {
    static const std::regex conv(R"(%(?:(\d+)\$)?[-+ #0]*\d*(?:\.\d*)?[hlLqjzt]*([diuoxXcsfFeEgGaA%]))");
    std::map<int, char> out;
    int next = 1;
    for (auto it = std::sregex_iterator(format.begin(), format.end(), conv); it != std::sregex_iterator(); ++it) {
        char letter = (*it)[2].str()[0];
        if (letter == '%') continue;
        int n = (*it)[1].matched ? std::stoi((*it)[1].str()) : next++;
        out[n] = letter;
    }
    return out;
}

}  // namespace

TEST_F(Strings, EnglishTextsAreTheResourceTexts) {
    EXPECT_EQ(LoadString(44604), "Failed to read the configration file : %s.");
    EXPECT_EQ(LoadString(44613), "There is duplicate IP address in all servers. Re-enter the IP address of the server.");
    EXPECT_EQ(LoadString(44608), "Failed to write map table!");
    EXPECT_EQ(LoadString(44609), "Register the zentproxy.dll.");
    EXPECT_EQ(LoadString(44634), "%s\n Please make sure that mailbox operator and password  for site %s is right.");
    EXPECT_EQ(LoadString(44647), "\tMatch extension %s.");
    EXPECT_EQ(LoadString(57344), "QOB");
    EXPECT_EQ(LoadString(57345), "Ready");
    EXPECT_EQ(LoadString(32773), "Check/Uncheck selected synchronizable extensions \nCheck/Uncheck Selected");
    EXPECT_EQ(std::count(LoadString(44201).begin(), LoadString(44201).end(), '\t'), 8);
    EXPECT_EQ(LoadString(44202), "Mail Forwarding Suffix\tForward Access Code\tTo Server\tIP Address");

    EXPECT_EQ(LoadString(44200), "");
    EXPECT_EQ(LoadString(0), "");
    EXPECT_EQ(LoadString(99999), "");

    EXPECT_EQ(FormatString(44604, "not well-formed (invalid token)"),
              "Failed to read the configration file : not well-formed (invalid token).");
    EXPECT_EQ(FormatString(44616, 3), "There are 3 error(s) in Map Information Table. Please refer the Log View for the "
                                      "detail.\nDo you want to continue?");
}

TEST_F(Strings, TableIsSortedAndEveryTranslationMatchesItsEnglish) {
    std::span<const StringEntry> table = StringTable();
    ASSERT_FALSE(table.empty());
    for (size_t i = 0; i < table.size(); ++i) {
        const StringEntry& e = table[i];
        if (i > 0) {
            EXPECT_LT(table[i - 1].id, e.id) << "ids sorted and unique";
        }
        EXPECT_NE(std::string(e.english), "") << e.id;
        EXPECT_NE(std::string(e.chinese), "") << e.id;
        EXPECT_EQ(Conversions(e.english), Conversions(e.chinese)) << e.id;
        EXPECT_EQ(std::count(e.english, e.english + strlen(e.english), '\n'),
                  std::count(e.chinese, e.chinese + strlen(e.chinese), '\n'))
            << e.id;
    }

    // Every translation is representable in the Chinese code page, so none falls back to English.
    SetCodePage("CP936");
    SetStringLanguage(StringLanguage::Chinese);
    for (const StringEntry& e : table) EXPECT_EQ(CodePageToUtf8(LoadString(e.id)), e.chinese) << e.id;
    EXPECT_EQ(LoadString(57345), "\xBE\xCD\xD0\xF7");  // 就绪
    EXPECT_EQ(FormatString(44622, "205", "SiteA"), "\xD2\xD1\xC9\xBE\xB3\xFD SiteA \xD6\xD0\xB5\xC4\xB7\xD6\xBB\xFA 205\xA1\xA3");
}

TEST_F(Strings, LanguageFollowsTheLocaleAndTheCodePage) {
    SetStringLanguage(StringLanguage::Auto);
    {
        testenv::ScopedEnv all("LC_ALL", std::nullopt), messages("LC_MESSAGES", std::nullopt), lang("LANG", "zh_CN.UTF-8");
        EXPECT_EQ(StringLanguageInForce(), StringLanguage::Chinese);
        testenv::ScopedEnv c("LC_ALL", "C");
        EXPECT_EQ(StringLanguageInForce(), StringLanguage::English);
    }
    {
        testenv::ScopedEnv all("LC_ALL", std::nullopt), messages("LC_MESSAGES", "zh_TW"), lang("LANG", "en_US");
        EXPECT_EQ(StringLanguageInForce(), StringLanguage::Chinese);
    }

    // Chinese in a code page without Chinese characters: English rather than question marks.
    SetStringLanguage(StringLanguage::Chinese);
    const std::string& ready = LoadString(57345);
    EXPECT_EQ(ready, "Ready");
    EXPECT_EQ(LoadString(44217), "IP");
    SetCodePage("CP936");
    EXPECT_EQ(CodePageToUtf8(LoadString(57345)), "\xE5\xB0\xB1\xE7\xBB\xAA");
    EXPECT_EQ(ready, "Ready") << "earlier references stay valid";
}
