// qob-cli download run in this process against simulated sites, through the real proxies: what it
// prints, what it logs and what the configuration file holds afterwards.
#include <filesystem>

#include "CommandFixture.h"
#include "cli/SiteSelection.h"
#include "document/Encrypt.h"
#include "document/Utf8.h"
#include "server/ServProv.h"

using namespace downloadtest;

namespace {

class CliDownload : public CommandFixture {
protected:
    static void SetAdminPassword(sim::Site& site, const char* password) {
        std::string error;
        ASSERT_TRUE(site.Modify(
            [&](sim::SiteState& s, std::string&) {
                char hash[13];
                server::CZentServ::PasswordCopy(hash, password);
                s.system.adminHash = hash;
                return true;
            },
            error))
            << error;
    }
    CommandResult Run(const std::vector<std::string>& args, const std::string& input = "") {
        return RunCommand(RunDownloadCommand, args, input);
    }

    std::string Config() const { return work.Read("Plexar.xml"); }
    static std::string DayWhite(const std::string& password) {
        return "<DayWhite>" + XmlEscape(Utf8Encode(ScrambleText(password))) + "</DayWhite>";
    }
    static size_t Count(const std::string& text, const std::string& part) {
        size_t n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
        return n;
    }
};

TEST_F(CliDownload, ANewSiteSelectionChecksThePasswordsAgain) {
    AddSite("North");
    AddSite("South");
    WriteConfig();
    CliContext ctx(work.path());
    ASSERT_TRUE(ctx.Load(false));
    SetPrintStreams(out.file, err.file);
    SiteSelection selection;
    std::string error;
    ASSERT_TRUE(AddSiteName(selection, "North", error) && AddSiteName(selection, "South", error)) << error;
    selection.passwords = {"pw", "pw"};
    bool saved = false;
    ASSERT_TRUE(DownloadSelection(ctx, selection, false, saved));
    ASSERT_FALSE(ctx.doc.m_bVerifyPassword);
    selection.passwords = {"pw", "wrong"};
    EXPECT_FALSE(DownloadSelection(ctx, selection, false, saved));
    SetPrintStreams(nullptr, nullptr);
    EXPECT_NE(err.text.find("Invalid password for server South."), std::string::npos) << err.text;
}

TEST_F(CliDownload, PrintsTheListsRowsAndLogsToStandardErrorAndTheFile) {
    AddSite("North");
    AddSite("S\xFC" "d");  // "Süd" in the code page
    LinkAll();
    sim::Site& north = *sites[0].site;
    sim::Site& south = *sites[1].site;
    Add(north, Ext("100", "physical", "Smith"));
    Add(south, Copy("100", "North", "Smith"));
    Add(south, Ext("200"));
    Add(north, Ext("300", "physical", "Smith"));
    Add(south, Copy("300", "North", "Jones"));
    Add(north, Ext("301"));
    Add(north, Ext("400", "group"), {"301"});
    Add(north, Ext("500", "virtual"));
    Add(south, Ext("500", "virtual"));
    sim::NewExtension odd = Ext("600");
    odd.firstName = "Tab\there";
    odd.lastName = "CR\rLF\n";
    Add(north, odd);
    WriteConfig();

    CommandResult r = Run({"North", "Süd", "--password", "North=pw", "--password=Süd=pw"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "100\tExtension\t \tSmith\text100\tSynchronized\tNorth\t1\t0\n"
              "200\tExtension\t \t \text200\tUnsynchronized\tSüd\t1\t0\n"
              "300\tExtension\t \tXXXXXXX\text300\tUnsynchronized\tUnknown\t1\t0\n"
              "301\tExtension\t \t \text301\tUnsynchronized\tNorth\t1\t0\n"
              "400\tGroup\t \t \text400\tUnsynchronized\tNorth\t0\t1\n"
              "500\tUnknown\t \t \text500\tUnsynchronized\tUnknown\t0\t0\n"
              "600\tExtension\tTab here\tCR LF \text600\tUnsynchronized\tNorth\t1\t0\n");

    // The window's lines, level 2 and up, in order on standard error; the detail lines only in the file.
    EXPECT_NE(r.err.find("Servers below have been selected to sync:\n\tNorth\n\tSüd\nSearching all extensions in North...\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Begin to match these extensions...\nEnd to match these extensions.\n"), std::string::npos);
    EXPECT_EQ(r.err.find("Match extension"), std::string::npos);
    const std::string log = work.Read("QOB.log");
    EXPECT_NE(log.find(" --> Servers below have been selected to sync:\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" --> \tS\xFC" "d\r\n"), std::string::npos);
    EXPECT_NE(log.find(" --> \tMatch extension 100.: Synchronized to North\r\n"), std::string::npos);
}

TEST_F(CliDownload, PasswordsAreUsedThenClearedUnlessRemembered) {
    AddSite("North");
    AddSite("South");
    SetAdminPassword(*sites[0].site, "north-pw");
    SetAdminPassword(*sites[1].site, "south-pw");
    WriteConfig();

    // The passwords are in the file while the download runs, and gone afterwards.
    std::string during;
    err.onWrite = [&](const std::string& text) {
        if (text.find("Servers below") != std::string::npos) during = Config();
    };
    CommandResult r = Run({"North", "South", "--password", "North=north-pw", "--password", "South=south-pw"});
    err.onWrite = nullptr;
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(during.find(DayWhite("north-pw")), std::string::npos) << during;
    EXPECT_NE(during.find(DayWhite("south-pw")), std::string::npos);
    EXPECT_EQ(Count(Config(), "<DayWhite></DayWhite>"), 2u) << Config();

    // Not remembered: a password still in the file (left by a run that was cut short) is not
    // used, and the download clears it.
    {
        CliContext ctx(work.path());
        ASSERT_TRUE(ctx.Load(false));
        ctx.doc.m_sites[0].DayWhite = "north-pw";
        ctx.doc.m_sites[1].DayWhite = "south-pw";
        ASSERT_TRUE(ctx.doc.SaveConfig());
    }
    r = Run({"North", "South"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Invalid password for server North."), std::string::npos) << r.err;
    EXPECT_EQ(Count(Config(), "<DayWhite></DayWhite>"), 2u);

    // Remembered: kept scrambled, and used when no password is given.
    doc.m_bRemember = true;
    WriteConfig();
    ASSERT_EQ(Run({"North", "South", "--password", "North=north-pw", "--password", "South=south-pw"}).exitCode, 0);
    EXPECT_NE(Config().find(DayWhite("north-pw")), std::string::npos) << Config();
    EXPECT_NE(Config().find(DayWhite("south-pw")), std::string::npos);
    r = Run({"North", "South"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(Config().find(DayWhite("south-pw")), std::string::npos);
}

TEST_F(CliDownload, AFailedDownloadStillClearsThePasswords) {
    AddSite("North");
    AddSite("South");
    AddSite("West");
    Add(*sites[0].site, Ext("100"));
    WriteConfig();
    // A site not downloaded loses its password too.
    {
        CliContext ctx(work.path());
        ASSERT_TRUE(ctx.Load(false));
        ctx.doc.m_sites[2].DayWhite = "pw";
        ASSERT_TRUE(ctx.doc.SaveConfig());
    }

    CommandResult r = Run({"North", "South", "--password", "North=pw", "--password", "South=wrong"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Invalid password for server South."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Failed to verify password when connect server South."), std::string::npos);
    EXPECT_EQ(Count(Config(), "<DayWhite></DayWhite>"), 3u) << Config();
    EXPECT_NE(work.Read("QOB.log").find(" --> Invalid password for server South.\r\n"), std::string::npos);
}

TEST_F(CliDownload, QuestionsAreAnsweredYesOnlyWithYes) {
    AddSite("North", 0x0480, 3);
    AddSite("South", 0x0480, 4);
    Add(*sites[0].site, Ext("100"));
    WriteConfig();
    const std::string question = "The selected systems have different extension number length. \nDo you want to continue?\n";

    CommandResult no = Run({"North", "South", "--password", "North=pw", "--password", "South=pw"});
    EXPECT_EQ(no.exitCode, 1);
    EXPECT_EQ(no.out, "");
    EXPECT_NE(no.err.find(question + "(answered No)\n"), std::string::npos) << no.err;
    EXPECT_EQ(no.err.find("Searching all extensions"), std::string::npos);
    EXPECT_EQ(Count(Config(), "<DayWhite></DayWhite>"), 2u);

    CommandResult yes = Run({"--yes", "North", "South", "--password", "North=pw", "--password", "South=pw"});
    EXPECT_EQ(yes.exitCode, 0) << yes.err;
    EXPECT_NE(yes.err.find(question + "(answered Yes)\n"), std::string::npos) << yes.err;
    EXPECT_EQ(yes.out, "100\tExtension\t \t \text100\tUnsynchronized\tNorth\t1\t0\n");
}

TEST_F(CliDownload, MapTableErrorsAskWhetherToGoOn) {
    AddSite("North");
    AddSite("South");
    LinkAll();
    doc.m_sites[0].Routes[0].FwdPattern = "7N";  // 7 starts no route on North
    WriteConfig();
    const std::vector<std::string> args = {"North", "South", "--password", "North=pw", "--password", "South=pw"};

    CommandResult no = Run(args);
    EXPECT_EQ(no.exitCode, 1);
    EXPECT_NE(no.err.find("Map Table Warning: Forward Access Code (7N) from North to South is invalid!\n"),
              std::string::npos)
        << no.err;
    EXPECT_NE(no.err.find("There are 1 error(s) in Map Information Table."), std::string::npos);
    std::vector<std::string> withYes = args;
    withYes.push_back("--yes");
    EXPECT_EQ(Run(withYes).exitCode, 0);
}

TEST_F(CliDownload, PasswordsFromStandardInput) {
    AddSite("North");
    AddSite("South");
    SetAdminPassword(*sites[1].site, "p=s w");
    WriteConfig();
    const std::string before = Config();

    // Blank lines and CR LF line ends are fine; the password is everything after the first "=".
    CommandResult r = Run({"North", "South", "--password-stdin"}, "\nnorth=pw\r\n \t\nSouth=p=s w");
    EXPECT_EQ(r.exitCode, 0) << r.err;

    struct Bad {
        std::vector<std::string> args;
        std::string input, message;
    };
    const Bad bad[] = {
        {{"--password-stdin"}, "North=pw\nSouth\n", "standard input, line 2: not SITE=PASSWORD (no \"=\")"},
        {{"--password-stdin"}, "North=pw\nEast=secret\n",
         "standard input, line 2: a password for site East, which is not named on the command line"},
        {{"--password-stdin"}, "North=pw\nnorth=secret\n", "standard input, line 2: a second password for site North"},
        {{"--password", "South=pw", "--password-stdin"}, "South=secret\n",
         "standard input, line 1: a second password for site South"},
        {{"--password-stdin"}, "North=secret6789012345\n",
         "standard input, line 1: the password for site North is 16 characters long, more than the 15 it may have"},
        {{"--password-stdin"}, "North=secr\xFF\n",
         "standard input, line 1: the password for site North is not valid UTF-8 (at byte 4)"},
        {{"--password-stdin"}, "North=secr\xE4\xB8\xAD\n",
         "standard input, line 1: the password for site North has a character (U+4E2D) that the code page "
         "WINDOWS-1252 cannot hold"},
        // Scrambled, this one-character password would be a NUL in the file.
        {{"--password", "North=\u00FF"}, "", "--password: the password for site North cannot be kept in the configuration file"},
        {{"--password", "Nowhere=secret"}, "",
         "--password: a password for site Nowhere, which is not named on the command line"},
        {{"--password", "secret"}, "", "--password: not SITE=PASSWORD (no \"=\")"},
    };
    for (const Bad& b : bad) {
        std::vector<std::string> args = {"North", "South"};
        args.insert(args.end(), b.args.begin(), b.args.end());
        CommandResult e = Run(args, b.input);
        EXPECT_EQ(e.exitCode, 2) << b.message;
        EXPECT_NE(e.err.find("qob-cli: " + b.message + "\n"), std::string::npos) << e.err;
        EXPECT_EQ(e.err.find("secret"), std::string::npos) << "a password was shown: " << e.err;
        EXPECT_EQ(e.out, "");
    }
    // Refused before anything was written or logged.
    work.Write("QOB.log", "");
    EXPECT_EQ(Run({"North", "South", "--password-stdin"}, "North\n").exitCode, 2);
    EXPECT_EQ(work.Read("QOB.log"), "");
    EXPECT_EQ(Config(), before);

    // Without --password-stdin the input is not read.
    EXPECT_EQ(Run({"North", "South", "--password", "North=pw", "--password", "South=p=s w"}, "North\n").exitCode, 0);
}

TEST_F(CliDownload, AFinalSaveThatFailsFailsTheCommand) {
    AddSite("North");
    AddSite("South");
    Add(*sites[0].site, Ext("100"));
    WriteConfig();

    // Once the download has started, the configuration file cannot be replaced any more.
    err.onWrite = [&](const std::string& text) {
        if (text.find("Servers below") == std::string::npos) return;
        std::filesystem::rename(work.file("Plexar.xml"), work.file("Plexar.old"));
        std::filesystem::create_directories(work.file("Plexar.xml") + "/in-the-way");
    };
    CommandResult r = Run({"North", "South", "--password", "North=pw", "--password", "South=pw"});
    err.onWrite = nullptr;
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "100\tExtension\t \t \text100\tUnsynchronized\tNorth\t1\t0\n");  // the download itself worked
    EXPECT_NE(r.err.find("Plexar.xml"), std::string::npos) << r.err;
}

}  // namespace

// A site lost while it is set up: one line says which site, at which step, and what happened;
// the message beside the log line is not printed a second time.
TEST_F(CliDownload, ALostConnectionDuringSetUpIsSaidOnceWithItsStep) {
    AddSite("North");
    AddSite("South");
    WriteConfig();
    std::string error;
    ASSERT_TRUE(sites[1].site->SetMethodFault("GetSystemConfig", sim::MethodFault{com::HRESULT(0x800706BE), 0, false},
                                              error))
        << error;
    CommandResult r = Run({"North", "South", "--password", "North=pw", "--password", "South=pw"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Count(r.err, "Lost the connection to server South while reading its system configuration: "), 1u) << r.err;
    EXPECT_EQ(Count(work.Read("QOB.log"), "Lost the connection to server South while reading"), 1u);
}
