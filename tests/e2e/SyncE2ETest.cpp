// qob-cli sync and delete against zentsim daemons over TCP: what every daemon's state holds
// afterwards (zentsim dump), what a dry run leaves alone, and that its plan names the calls the
// real run then makes (zentsim serve --journal).
#include <nlohmann/json.hpp>

#include <fstream>
#include <set>
#include <sstream>

#include "E2EFixture.h"

namespace e2e {
namespace {

class SyncE2E : public E2E {
protected:
    // The download network plus group 600 on North with agent 101; relocation off (this build
    // does not move extensions between servers yet), so a home may move by rewriting alone.
    void MakeSyncNetwork() {
        MakeNetwork();
        Run("zentsim", {"add", State("North"), "--number", "600", "--type", "group", "--members", "101"});
        Run("qob-cli", {"--dir", work.path(), "options", "set", "--relocation", "0"});
        for (const char* s : {"North", "South", "East"}) {
            const std::string address = std::string("127.0.0.") + (s[0] == 'N' ? "21" : s[0] == 'S' ? "22" : "23");
            Start(s, address, {"--journal", Journal(s)});
        }
    }
    std::string Journal(const std::string& site) const { return scratch.file(site + ".journal"); }
    // The command on the three sites with their passwords; --yes only where given in `more`.
    std::vector<std::string> Args(const std::string& command, std::vector<std::string> more) const {
        std::vector<std::string> a{"--dir", work.path(), command, "North", "South", "East"};
        for (const char* s : {"North", "South", "East"}) a.insert(a.end(), {"--password", std::string(s) + "=pw-" + s});
        a.insert(a.end(), more.begin(), more.end());
        return a;
    }
    nlohmann::json Dump(const std::string& site) { return nlohmann::json::parse(Run("zentsim", {"dump", State(site)}).out); }
    std::string Dumps() {
        return Run("zentsim", {"dump", State("North")}).out + Run("zentsim", {"dump", State("South")}).out +
               Run("zentsim", {"dump", State("East")}).out;
    }
    static nlohmann::json Record(const nlohmann::json& dump, const std::string& number) {
        for (const auto& r : dump["records"])
            if (r["number"] == number) return r;
        return nullptr;
    }
    // The change calls the daemons answered since their journals were emptied, "site method" each.
    std::vector<std::string> JournalChanges() {
        static const std::set<std::string> kChanges = {"AddExtension", "AddWorkgroup", "ResetExtension",
                                                       "ReplaceExtension", "ChangeMembership", "DeleteWorkgroup",
                                                       "DeleteExtension"};
        std::vector<std::string> out;
        for (const char* site : {"North", "South", "East"})
            for (const std::string& line : Lines(Slurp(Journal(site)))) {
                const std::string method = line.substr(0, line.find(' '));
                if (kChanges.count(method)) out.push_back(std::string(site) + " " + method);
            }
        return out;
    }
    void ClearJournals() {
        for (const char* site : {"North", "South", "East"}) std::ofstream(Journal(site), std::ios::trunc);
    }
    static std::vector<std::string> PlanChanges(const std::string& plan) {
        std::vector<std::string> out;
        for (const char* site : {"North", "South", "East"})
            for (const std::string& line : Lines(plan)) {
                std::vector<std::string> f;
                std::istringstream fields(line);
                for (std::string x; std::getline(fields, x, '\t');) f.push_back(x);
                if (f.size() == 4 && f[1] == site) out.push_back(f[1] + " " + f[2]);
            }
        return out;
    }
};

TEST_F(SyncE2E, ADryRunChangesNothingAndTheRealRunMakesItsCallsAndEverySiteConsistent) {
    MakeSyncNetwork();
    const std::vector<std::string> numbers = {"--yes", "600", "101", "200", "100=East"};
    const std::string before = Dumps();
    ClearJournals();
    ProgramResult dry = Run("qob-cli", Args("sync", [&] {
        auto a = numbers;
        a.push_back("--dry-run");
        return a;
    }()));
    EXPECT_EQ(Dumps(), before);  // byte for byte: the dumps carry every record's digest
    EXPECT_TRUE(JournalChanges().empty());
    EXPECT_NE(dry.out.find("101\tSouth\tAddExtension\tadd virtual extension 101 (Bob): dial 8101, mail "
                           "ext101@north.example"),
              std::string::npos)
        << dry.out;

    ClearJournals();
    ProgramResult real = Run("qob-cli", Args("sync", numbers));
    EXPECT_EQ(PlanChanges(dry.out), JournalChanges());

    // Every site holds the copies the routes prescribe.
    const nlohmann::json south = Dump("South"), east = Dump("East"), north = Dump("North");
    EXPECT_EQ(Record(south, "101")["fwd_dial_string"], "8101");
    EXPECT_EQ(Record(south, "101")["type"], "virtual");
    EXPECT_EQ(Record(east, "600")["type"], "group");
    EXPECT_EQ(Record(north, "200")["fwd_email_addr"], "ext200@south.example");
    EXPECT_EQ(Record(north, "100")["fwd_email_addr"], "ext100@east.example");
    EXPECT_EQ(Record(east, "100")["forward_target"], 10);  // the new home's own extension again

    const std::vector<std::string> list = Lines(Run("qob-cli", DownloadArgs({"North", "South", "East"})).out);
    // 100's names are now its new home's (that copy never had any).
    for (const char* row : {"100\tExtension\t \t \text100\tSynchronized\tEast\t1\t0",
                            "101\tExtension\tBob\t \text101\tSynchronized\tNorth\t1\t0",
                            "200\tExtension\tCy\t \text200\tSynchronized\tSouth\t1\t0",
                            "600\tGroup\t \t \text600\tSynchronized\tNorth\t0\t3"})
        EXPECT_NE(std::find(list.begin(), list.end(), row), list.end()) << row;
}

TEST_F(SyncE2E, DeleteWithEitherScope) {
    MakeSyncNetwork();
    ASSERT_EQ(Run("qob-cli", Args("sync", {"--yes", "101"})).exitCode, 0);

    ProgramResult asked = RunProgram("qob-cli", Args("delete", {"--scope", "all", "101"}), scratch.path());
    EXPECT_EQ(asked.exitCode, 1);
    EXPECT_NE(asked.out.find("101\tEast\tDeleteExtension\tdelete Virtual record 101"), std::string::npos) << asked.out;
    EXPECT_FALSE(Record(Dump("East"), "101").is_null());

    Run("qob-cli", Args("delete", {"--scope", "virtual", "--yes", "101"}));
    EXPECT_TRUE(Record(Dump("East"), "101").is_null());
    EXPECT_TRUE(Record(Dump("South"), "101").is_null());
    EXPECT_FALSE(Record(Dump("North"), "101").is_null());

    Run("qob-cli", Args("delete", {"--scope", "all", "--yes", "101"}));
    EXPECT_TRUE(Record(Dump("North"), "101").is_null());
}

}  // namespace
}  // namespace e2e
