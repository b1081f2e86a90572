// The extension list's row text and the words it is made of.
#include <gtest/gtest.h>

#include "document/RowText.h"
#include "platform/CodePage.h"
#include "platform/Strings.h"

namespace {

class RowText : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetCodePage("WINDOWS-1252");
        platform::SetStringLanguage(platform::StringLanguage::English);
    }
    void TearDown() override {
        platform::SetStringLanguage(platform::StringLanguage::Auto);
        platform::SetCodePage("");
    }

    static server::ExtSummary Row(const char* number, uint8_t type, const char* first, const char* last,
                                  const char* email, uint8_t status, const char* home, int32_t ext, int32_t group) {
        server::ExtSummary row{};
        row.ExtensionType = type;
        row.SyncStatus = status;
        row.ExtCount = ext;
        row.GroupCount = group;
        server::StoreFieldText(row.ExtensionNumber, number);
        server::StoreFieldText(row.ExtFirstName, first);
        server::StoreFieldText(row.ExtName, last);
        server::StoreFieldText(row.EMailName, email);
        server::StoreFieldText(row.HomeServer, home);
        return row;
    }
};

TEST_F(RowText, TypeWordsByCode) {
    const char* shortWords[] = {"Extension", "Unknown", "Group", "Extension", "Extension", "Extension", "Unknown"};
    const char* detailed[] = {"Physical", "Virtual", "Group", "Wireless", "IP", "Application", "Unknown"};
    for (unsigned code = 0; code <= 6; ++code) {
        EXPECT_EQ(ShortTypeWord(code), shortWords[code]) << code;
        EXPECT_EQ(DetailedTypeWord(code), detailed[code]) << code;
    }
    EXPECT_EQ(ShortTypeWord(255), "Unknown");
    EXPECT_EQ(DetailedTypeWord(255), "Unknown");
    EXPECT_EQ(StatusWord(1), "Synchronized");
    EXPECT_EQ(StatusWord(0), "Unsynchronized");
    EXPECT_EQ(StatusWord(2), "Unsynchronized");
    EXPECT_EQ(platform::LoadString(kUnknownHomeString), "Unknown");

    // The words follow the string table's language.
    platform::SetCodePage("CP936");
    platform::SetStringLanguage(platform::StringLanguage::Chinese);
    EXPECT_EQ(platform::CodePageToUtf8(ShortTypeWord(2)), "\u7ec4");
}

TEST_F(RowText, FieldsInOrderAndEmptyTextsAsOneBlank) {
    EXPECT_EQ(FormatRow(Row("100", 0, "Ann", "Smith", "asmith", 1, "North", 1, 0)),
              "100\tExtension\tAnn\tSmith\tasmith\tSynchronized\tNorth\t1\t0");
    EXPECT_EQ(FormatRow(Row("7", 1, "", "", "", 0, "Unknown", 0, 12)),
              "7\tUnknown\t \t \t \tUnsynchronized\tUnknown\t0\t12");
    EXPECT_EQ(FormatRow(Row("300", 2, "", "Sales", "", 0, "", 0, 2)), "300\tGroup\t \tSales\t \tUnsynchronized\t \t0\t2");
}

TEST_F(RowText, ControlCharactersCannotShiftTheColumns) {
    const std::string text = FormatRow(Row("101", 0, "A\tB", "C\rD", "e\nf", 0, "Ea\tst", 1, 0));
    EXPECT_EQ(text, "101\tExtension\tA B\tC D\te f\tUnsynchronized\tEa st\t1\t0");
    EXPECT_EQ(CellText("\t\r\n"), "   ");
}

}  // namespace
