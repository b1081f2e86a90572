// qob-cli download and sync with --csv: a heading row of the column titles, then one line of
// comma-separated values per number, quoted where a spreadsheet would misread the field.
#include "CommandFixture.h"
#include "document/CsvText.h"

using namespace downloadtest;

namespace {

class CliCsv : public CommandFixture {
protected:
    void SetUp() override {
        CommandFixture::SetUp();
        ThreeSites();
        sim::NewExtension odd = Ext("100");
        odd.firstName = "Ann, Jr";
        odd.lastName = "O\"Neil";
        odd.email = "ann,lee";
        Add(North(), odd);
        Add(South(), Ext("200"));
        WriteConfig();
    }
    static constexpr const char* kPasswords = "North=pw\nSouth=pw\nEast=pw\n";
    static constexpr const char* kHeading =
        "Ext. No.,Type,First Name,Last Name,EMail Name,Sync. Status,Home Server,# of Extension,# of Group\n";
};

TEST_F(CliCsv, DownloadPrintsAHeadingAndQuotesWhatASpreadsheetWouldSplit) {
    const CommandResult r = RunCommand(RunDownloadCommand, {"North", "South", "East", "--password-stdin", "--csv"}, kPasswords);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, std::string(kHeading) +
                         "100,Extension,\"Ann, Jr\",\"O\"\"Neil\",\"ann,lee\",Unsynchronized,North,1,0\n"
                         "200,Extension,,,ext200,Unsynchronized,South,1,0\n");
    // Without it, the rows as the list shows them.
    const CommandResult plain = RunCommand(RunDownloadCommand, {"North", "South", "East", "--password-stdin"}, kPasswords);
    EXPECT_EQ(plain.out.substr(0, 4), "100\t");
}

TEST_F(CliCsv, SyncPrintsTheListAfterwardsAsCsvAndTheSitesHoldTheCopies) {
    const CommandResult r = RunCommand(RunSyncCommand, {"North", "South", "East", "--password-stdin", "--csv", "200"}, kPasswords);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, std::string(kHeading).size()), kHeading);
    EXPECT_NE(r.out.find("\n200,Extension,,,ext200,Synchronized,South,1,0\n"), std::string::npos) << r.out;
    std::lock_guard lock(East().Mutex());
    EXPECT_NE(East().State().FindRecord("200"), nullptr);
}

TEST(CsvText, FieldsAreQuotedOnlyWhenTheyMustBe) {
    EXPECT_EQ(CsvLine({"a", "b c", "", "x,y", "say \"hi\"", "two\nlines", " edge"}),
              "a,b c,,\"x,y\",\"say \"\"hi\"\"\",\"two\nlines\",\" edge\"\r\n");
    EXPECT_EQ(SplitRowText("100\t \tAnn \t"), (std::vector<std::string>{"100", "", "Ann", ""}));
}

}  // namespace
