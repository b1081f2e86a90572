// qob-cli sync and delete run in this process against simulated sites: what the servers hold
// afterwards, what a dry run prints and leaves alone, and what is refused.
#include <stdlib.h>

#include <memory>
#include <sstream>

#include "CommandFixture.h"
#include "support/ConnectionProbe.h"

using namespace downloadtest;
namespace exttype = server::exttype;

namespace {

class CliSync : public CommandFixture {
protected:
    // North holds 100 (physical) and group 600 with 100 as its agent; South holds 200; East
    // holds a stale copy of 100 that forwards elsewhere.
    void Network() {
        ThreeSites();
        Add(North(), Ext("100"));
        Add(North(), Ext("600", "group"), {"100"});
        Add(South(), Ext("200"));
        sim::NewExtension stale = Ext("100", "virtual");
        stale.forwarding = true;
        stale.fwdDial = "9100";
        stale.fwdEmail = "ext100@old.example";
        Add(East(), stale);
        WriteConfig();
    }
    std::vector<std::string> Sites(std::vector<std::string> more) {
        std::vector<std::string> a{"North", "South", "East", "--password-stdin"};
        a.insert(a.end(), more.begin(), more.end());
        return a;
    }
    static constexpr const char* kPasswords = "North=pw\nSouth=pw\nEast=pw\n";
    CommandResult Sync(std::vector<std::string> more) { return RunCommand(RunSyncCommand, Sites(more), kPasswords); }
    CommandResult Delete(std::vector<std::string> more) { return RunCommand(RunDeleteCommand, Sites(more), kPasswords); }
    CommandResult List() {
        return RunCommand(RunDownloadCommand, {"North", "South", "East", "--password-stdin"}, kPasswords);
    }
    std::string Dumps() { return North().DumpText() + South().DumpText() + East().DumpText(); }

    // The change calls each site answered, as "site method" in order.
    std::vector<std::string> ChangeCalls() {
        static const std::set<std::string> kChanges = {"AddExtension", "AddWorkgroup", "ResetExtension",
                                                       "ReplaceExtension", "ChangeMembership", "DeleteWorkgroup",
                                                       "DeleteExtension"};
        std::vector<std::string> out;
        for (SimSite& s : sites)
            for (const std::string& m : Calls(*s.site))
                if (kChanges.count(m)) out.push_back(s.name + " " + m);
        return out;
    }
    // The same read from a plan printed by a dry run, site by site in the sites' order.
    std::vector<std::string> PlannedCalls(const std::string& planText) {
        std::vector<std::string> out;
        for (SimSite& s : sites) {
            std::istringstream in(planText);
            for (std::string line; std::getline(in, line);) {
                std::vector<std::string> f;
                std::istringstream fields(line);
                for (std::string x; std::getline(fields, x, '\t');) f.push_back(x);
                if (f.size() == 4 && f[1] == s.name) out.push_back(f[1] + " " + f[2]);
            }
        }
        return out;
    }
};

TEST_F(CliSync, SynchronisesExtensionsThenGroupsAndPrintsTheList) {
    Network();
    CommandResult r = Sync({"600", "100", "200"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The servers now hold the copies the routes prescribe.
    EXPECT_EQ(Rec(Held(South(), "100")).FwdDialString(), "8100");
    EXPECT_EQ(Rec(Held(East(), "100")).FwdEmailAddr(), "ext100@north.example");
    EXPECT_EQ(Rec(Held(North(), "200")).FwdEmailAddr(), "ext200@south.example");
    EXPECT_EQ(Rec(Held(East(), "600")).ExtensionType(), exttype::kWorkgroup);
    EXPECT_TRUE(HasGroup(South(), "600"));
    // Groups after extensions, whatever the order given.
    EXPECT_LT(r.err.find("Sync extension 100 to server North..."), r.err.find("Sync extension 600 to server North..."));
    EXPECT_NE(r.out.find("100\tExtension\t \t \text100\tSynchronized\tNorth\t1\t0\n"), std::string::npos) << r.out;

    // A new download agrees.
    CommandResult list = List();
    for (const char* line : {"100\tExtension\t \t \text100\tSynchronized\tNorth\t1\t0",
                             "200\tExtension\t \t \text200\tSynchronized\tSouth\t1\t0",
                             "600\tGroup\t \t \text600\tSynchronized\tNorth\t0\t3"})
        EXPECT_NE(list.out.find(line), std::string::npos) << line << "\n" << list.out;
}

TEST_F(CliSync, ADryRunSendsNothingAndNamesTheCallsARealRunMakes) {
    Network();
    const std::string before = Dumps();
    CommandResult dry = Sync({"--dry-run", "100", "600", "200"});
    ASSERT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_EQ(Dumps(), before);
    EXPECT_NE(dry.out.find("100\tSouth\tAddExtension\tadd virtual extension 100: dial 8100, mail ext100@north.example\n"),
              std::string::npos)
        << dry.out;
    // The copy's new password hash has a salt of its own, so whether the hash differs is chance.
    const size_t rewrite = dry.out.find("100\tEast\tReplaceExtension\trewrite extension 100: ");
    ASSERT_NE(rewrite, std::string::npos) << dry.out;
    const std::string line = dry.out.substr(rewrite, dry.out.find('\n', rewrite) - rewrite + 1);
    EXPECT_NE(line.find("dial string 9100 -> 8100; mail forward ext100@old.example -> ext100@north.example\n"),
              std::string::npos)
        << line;
    EXPECT_NE(dry.out.find("100\tNorth\tReplaceExtension\trewrite extension 100: no change\n"), std::string::npos);
    EXPECT_NE(dry.out.find("600\tSouth\tAddWorkgroup\tadd the workgroup of group 600\n"), std::string::npos);
    EXPECT_NE(dry.out.find("100\t-\t-\twould be synchronized to North\n"), std::string::npos);

    for (SimSite& s : sites) s.site->ClearCalls();
    CommandResult real = Sync({"100", "600", "200"});
    ASSERT_EQ(real.exitCode, 0) << real.err;
    EXPECT_EQ(PlannedCalls(dry.out), ChangeCalls());
}

TEST_F(CliSync, RefusalsAndUsage) {
    Network();
    Add(South(), Ext("100"));  // now physical on two sites
    WriteConfig();
    const std::string before = Dumps();
    CommandResult r = Sync({"100=North", "999"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("extension 100 is a physical or IP extension on more than one site; not synchronized"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("extension 999 is on none of the downloaded sites"), std::string::npos);
    EXPECT_EQ(Dumps(), before);

    // Synchronised already to that home: nothing to do, not a failure.
    ASSERT_EQ(Sync({"200"}).exitCode, 0);
    r = Sync({"200"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("extension 200 is already synchronized to South; nothing to do"), std::string::npos);

    EXPECT_EQ(RunCommand(RunSyncCommand, {"North", "100"}).exitCode, kExitUsage);                  // one site
    EXPECT_EQ(RunCommand(RunSyncCommand, {"North", "South"}).exitCode, kExitUsage);                // no number
    EXPECT_EQ(RunCommand(RunSyncCommand, {"North", "South", "West"}).exitCode, kExitUsage);        // no such site
    EXPECT_EQ(RunCommand(RunDeleteCommand, {"North", "South", "100"}).exitCode, kExitUsage);       // no scope
    EXPECT_EQ(RunCommand(RunDeleteCommand, {"North", "South", "--scope", "all", "100=North"}).exitCode, kExitUsage);
}

// A number that fails fails the command, also when others after it succeed; so does a site that
// refuses a deletion. Every number's outcome is printed.
TEST_F(CliSync, AFailedNumberOrARefusedDeletionFailsTheCommand) {
    Network();
    Fault(South(), "AddExtension", com::E_FAIL);  // 100 cannot be copied to South
    CommandResult r = Sync({"100", "200"});
    EXPECT_EQ(r.exitCode, kExitFailed) << r.err;
    EXPECT_NE(r.err.find("\tSync failed: Failed to add extension 100 to server South."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Failed to sync extension 100.\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Sync successfully - extension 200.\n"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("100\tExtension\t \t \text100\tUnsynchronized\tNorth\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("200\tExtension\t \t \text200\tSynchronized\tSouth\t"), std::string::npos) << r.out;
    EXPECT_TRUE(Held(South(), "100").empty());
    EXPECT_EQ(Rec(Held(North(), "200")).FwdDialString(), "8200");

    // East refuses to delete its copy of 200; 600 goes: the command fails all the same.
    Fault(East(), "DeleteExtension", com::E_FAIL);
    r = Delete({"--scope", "all", "--yes", "200", "600"});
    EXPECT_EQ(r.exitCode, kExitFailed) << r.err;
    EXPECT_NE(r.err.find("Cannot delete extension 200 in East: hr = 80004005\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Deletion process completed for 200\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Delete extension 600 in North.\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Deletion process completed for 600\n"), std::string::npos) << r.err;
    EXPECT_FALSE(Held(East(), "200").empty());
    EXPECT_TRUE(Held(North(), "600").empty());
}

TEST_F(CliSync, AHomeGivenMovesTheNumberAndReloadListsTheNewState) {
    Network();
    ASSERT_EQ(Sync({"100"}).exitCode, 0);
    doc.m_bRelocation = false;
    doc.m_bReload = true;
    WriteConfig();
    CommandResult r = Sync({"100=south"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Rec(Held(North(), "100")).FwdDialString(), "8100");
    EXPECT_EQ(Rec(Held(North(), "100")).FwdEmailAddr(), "ext100@south.example");
    // The list printed is the one downloaded again afterwards.
    EXPECT_NE(r.out.find("100\tExtension\t \t \text100\tSynchronized\tSouth\t1\t0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("Begin to match these extensions..."), r.err.rfind("Begin to match these extensions..."));
}

// A mailbox is measured on its site's share only when it may move: with relocation off, voice
// mail stays where it is whatever the voice mail option says, and no share is reached.
TEST_F(CliSync, NoMailboxIsMeasuredUnlessVoiceMailIsRelocated) {
    Network();
    doc.m_bRelocation = false;
    doc.m_bRelocateVM = true;
    WriteConfig();
    constexpr uint16_t kSharePort = 1446;
    setenv("QOB_SMB_PORT", std::to_string(kSharePort).c_str(), 1);
    struct Unset {
        ~Unset() { unsetenv("QOB_SMB_PORT"); }
    } unset;
    std::vector<std::unique_ptr<ConnectionProbe>> shares;
    for (const SimSite& s : sites) {
        shares.push_back(std::make_unique<ConnectionProbe>(s.address, kSharePort));
        ASSERT_TRUE(shares.back()->Listening()) << s.address;
    }
    CommandResult r = Sync({"100", "200"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Rec(Held(South(), "100")).FwdDialString(), "8100");
    for (size_t i = 0; i < shares.size(); ++i) EXPECT_EQ(shares[i]->Connections(), 0) << sites[i].name;
}

TEST_F(CliSync, DeleteListsWithoutYesAndDeletesWithIt) {
    Network();
    ASSERT_EQ(Sync({"100"}).exitCode, 0);
    const std::string before = Dumps();
    CommandResult plan = Delete({"--scope", "all", "100"});
    EXPECT_EQ(plan.exitCode, 1);
    EXPECT_EQ(Dumps(), before);
    EXPECT_NE(plan.out.find("100\tNorth\tDeleteExtension\tdelete Physical record 100\n"), std::string::npos) << plan.out;
    EXPECT_NE(plan.out.find("100\tSouth\tDeleteExtension\tdelete Virtual record 100\n"), std::string::npos);
    EXPECT_NE(plan.err.find("nothing was deleted"), std::string::npos);

    CommandResult copies = Delete({"--scope", "virtual", "--yes", "100"});
    EXPECT_EQ(copies.exitCode, 0) << copies.err;
    EXPECT_FALSE(Held(North(), "100").empty());
    EXPECT_TRUE(Held(South(), "100").empty() && Held(East(), "100").empty());

    CommandResult all = Delete({"--scope", "all", "--yes", "100"});
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_TRUE(Held(North(), "100").empty());
}

}  // namespace
