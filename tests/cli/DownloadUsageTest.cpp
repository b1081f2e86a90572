// qob-cli download's refusals, run as the real program: all of them come before any connection.
#include "ProgramFixture.h"

namespace {

class QobCliDownload : public QobCliProgram {
protected:
    void SetUp() override {
        QobCliProgram::SetUp();
        // Addresses nobody answers on: a refusal that tried to connect would fail differently.
        ASSERT_EQ(Run({"site", "add", "North", "192.0.2.1"}).exitCode, 0);
        ASSERT_EQ(Run({"site", "add", "South", "192.0.2.2"}).exitCode, 0);
        config = dir.Read("Plexar.xml");
    }
    std::string config;
};

TEST_F(QobCliDownload, BadUsageExitsTwoWithTheUsage) {
    const std::pair<std::vector<std::string>, std::string> bad[] = {
        {{}, "qob-cli: Select more than one servers.\n"},
        {{"North"}, "qob-cli: Select more than one servers.\n"},
        {{"North", "north"}, "qob-cli: site north is named twice\n"},
        {{"North", "South", "--colour"}, "qob-cli: unknown option --colour\n"},
        {{"North", "South", "--yes=1"}, "qob-cli: option --yes takes no value\n"},
        {{"North", "South", "--yes", "--yes"}, "qob-cli: option --yes given twice\n"},
        {{"North", "South", "--password"}, "qob-cli: option --password needs a value\n"},
        {{"North", "South", "--password", "North"}, "qob-cli: --password: not SITE=PASSWORD (no \"=\")\n"},
        {{"North", "South", "--password", "East=x"},
         "qob-cli: --password: a password for site East, which is not named on the command line\n"},
        {{"North", "South", "--password", "North=x", "--password", "NORTH=y"},
         "qob-cli: --password: a second password for site North\n"},
    };
    for (const auto& [args, message] : bad) {
        std::vector<std::string> argv = {"download"};
        argv.insert(argv.end(), args.begin(), args.end());
        ProgramResult r = Run(argv);
        EXPECT_EQ(r.exitCode, 2) << message;
        EXPECT_EQ(r.err, message + "usage: qob-cli [--dir DIR] download SITE SITE... [--password SITE=PW]... "
                                   "[--password-stdin] [--yes]\n"
                                   "                                    [--csv]\n");
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(dir.Read("Plexar.xml"), config);
    EXPECT_EQ(dir.Read("QOB.log"), "");
}

TEST_F(QobCliDownload, UnknownSiteIsRefusedBeforeAnythingIsWritten) {
    ProgramResult r = Run({"download", "North", "Nowhere", "--password", "North=pw"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Could not find server Nowhere in Map Table.\n");
    EXPECT_EQ(r.out, "");
    EXPECT_NE(dir.Read("QOB.log").find(" --> Could not find server Nowhere in Map Table.\r\n"), std::string::npos);
    EXPECT_EQ(dir.Read("Plexar.xml"), config);

    TempDir empty;
    ProgramResult none = RunProgram("qob-cli", {"--dir", empty.path(), "download", "North", "South"}, scratch.path());
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("no configuration file"), std::string::npos) << none.err;
}

TEST_F(QobCliDownload, HelpNamesTheCommand) {
    ProgramResult help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("download SITE SITE... [--password SITE=PW]... [--password-stdin] [--yes]"),
              std::string::npos);
}

}  // namespace
