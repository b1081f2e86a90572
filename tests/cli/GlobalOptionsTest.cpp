// qob-cli's options before the command: --jobs is checked before anything is read or written,
// and the help names both new options.
#include "ProgramFixture.h"

namespace {

class GlobalOptions : public QobCliProgram {
protected:
    void SetUp() override {
        QobCliProgram::SetUp();
        ASSERT_EQ(Run({"site", "add", "North", "192.0.2.1"}).exitCode, 0);
        config = dir.Read("Plexar.xml");
    }
    std::string config;
};

TEST_F(GlobalOptions, JobsOutsideOneToSixtyFourIsAUsageErrorNamingTheOptionAndTheRange) {
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--jobs", "0"}, {"--jobs", "65"}, {"--jobs", "abc"}, {"--jobs=-1"}, {"--jobs", "8x"}, {"--jobs", ""},
             {"--jobs", "007"}, {"--jobs=99999999999"}}) {
        std::vector<std::string> args = bad;
        args.insert(args.end(), {"site", "add", "South", "192.0.2.2"});
        const ProgramResult r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << bad.back();
        EXPECT_NE(r.err.find("--jobs"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("1 to 64"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    const ProgramResult missing = Run({"--jobs"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("--jobs needs a number from 1 to 64"), std::string::npos) << missing.err;
    // Nothing was done.
    EXPECT_EQ(dir.Read("Plexar.xml"), config);

    for (const char* good : {"1", "64", "8"}) {
        const ProgramResult r = Run({"--jobs", good, "--progress", "sites"});
        EXPECT_EQ(r.exitCode, 0) << good << r.err;
        EXPECT_NE(r.out.find("North"), std::string::npos);
    }
    EXPECT_EQ(Run({"--jobs=2", "sites"}).exitCode, 0);
    EXPECT_EQ(dir.Read("Plexar.xml"), config);
}

TEST_F(GlobalOptions, HelpNamesJobsProgressAndCtrlC) {
    const ProgramResult help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: qob-cli [--dir DIR] [--jobs N] [--progress] COMMAND [ARGS]"), std::string::npos)
        << help.out;
    EXPECT_NE(help.out.find("Ctrl+C"), std::string::npos);
}

}  // namespace
