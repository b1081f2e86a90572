// What qob-cli reports, and what the daemons hold, when a move or a change goes only part of the
// way: a refused move changes nothing and its retry finishes it, a block that did not arrive
// fails the command, and a lost answer is reported as a change that may have been applied.
#include <nlohmann/json.hpp>

#include <fstream>

#include "E2EFixture.h"

namespace e2e {
namespace {

class PartialOutcomeE2E : public RelocatingE2E {
protected:
    // 205 physical on North with a data block, routes between all three sites, relocation on
    // (without mailboxes); `faults` set on each site before its daemon starts.
    void Network() {
        RelocatingSites();
        Run("zentsim", {"add", State("North"), "--number", "205", "--type", "physical", "--first", "Eve"});
        Run("zentsim", {"add", State("North"), "--number", "206", "--type", "physical", "--first", "Flo"});
        DataBlock("North", "205");
    }
    // A site's daemon stopped, its faults changed with `zentsim fault`, and started again.
    void Refault(const std::string& name, const std::vector<std::vector<std::string>>& faults) {
        if (running.count(name)) EXPECT_EQ(running[name]->Stop(), 0);
        for (std::vector<std::string> f : faults) {
            f.insert(f.begin(), {"fault", State(name)});
            Run("zentsim", f);
        }
        StartSite(name);
    }
    ProgramResult Cli(const std::string& command, std::vector<std::string> more) {
        std::vector<std::string> a{"--dir", work.path(), command, "North", "South", "East", "--yes"};
        for (const auto& [s, ip] : kAddress) a.insert(a.end(), {"--password", s + "=pw-" + s});
        a.insert(a.end(), more.begin(), more.end());
        return RunProgram("qob-cli", a, scratch.path());
    }
    nlohmann::json Record(const std::string& site, const std::string& number) {
        const nlohmann::json dump = nlohmann::json::parse(Run("zentsim", {"dump", State(site)}).out);
        for (const auto& r : dump["records"])
            if (r["number"] == number) return r;
        return nullptr;
    }
    bool HasData(const std::string& site, const std::string& number) {
        const nlohmann::json dump = nlohmann::json::parse(Run("zentsim", {"dump", State(site)}).out);
        for (const auto& d : dump["data_blocks"]["ext_data"])
            if (d["number"] == number) return true;
        return false;
    }
};

TEST_F(PartialOutcomeE2E, ARefusedMoveChangesNothingAndItsRetryFinishesIt) {
    Network();
    for (const auto& [name, ip] : kAddress) StartSite(name);
    ASSERT_EQ(Cli("sync", {"205"}).exitCode, 0);
    const nlohmann::json southCopy = Record("South", "205"), northHome = Record("North", "205");
    ASSERT_EQ(southCopy["forward_target"], 7);

    Refault("South", {{"ReplaceExtension", "E_FAIL"}});
    const ProgramResult refused = Cli("sync", {"205=South"});
    EXPECT_EQ(refused.exitCode, 1) << refused.err;
    EXPECT_NE(refused.err.find("Sync failed: Failed to relocate extension 205 in server South."), std::string::npos)
        << refused.err;
    EXPECT_EQ(Record("South", "205"), southCopy);  // calls to 205 at South still reach North
    EXPECT_EQ(Record("North", "205"), northHome);
    EXPECT_FALSE(HasData("South", "205"));

    Refault("South", {{"ReplaceExtension", "none"}});
    const ProgramResult retried = Cli("sync", {"205=South"});
    EXPECT_EQ(retried.exitCode, 0) << retried.err;
    EXPECT_NE(retried.err.find("Relocate extension 205 from North to South without copy mailbox..."), std::string::npos);
    EXPECT_EQ(Record("South", "205")["forward_target"], 10);
    EXPECT_TRUE(HasData("South", "205"));
    EXPECT_EQ(Record("North", "205")["forward_target"], 7);
    EXPECT_EQ(Record("East", "205")["fwd_email_addr"], "ext205@south.example");
}

TEST_F(PartialOutcomeE2E, ABlockThatDidNotArriveFailsTheCommandAndTheLostAnswerMayHaveBeenApplied) {
    Network();
    StartSite("North");
    StartSite("South");
    Refault("East", {{"AddExtension", "0x800706BE", "--applied"}});

    // East stores the copy of 206 but its answer is lost.
    const ProgramResult lost = Cli("sync", {"206"});
    EXPECT_EQ(lost.exitCode, 1) << lost.err;
    EXPECT_NE(lost.err.find("Sync uncertain: The answer of server East was lost while extension 206 was changed there: "
                            "the change may have been applied."),
              std::string::npos)
        << lost.err;
    EXPECT_EQ(lost.err.find("Failed to add extension 206"), std::string::npos) << lost.err;
    EXPECT_EQ(Record("East", "206")["forward_target"], 7);
    const std::vector<std::string> list = Lines(Cli("download", {}).out);
    EXPECT_NE(std::find(list.begin(), list.end(), "206\tExtension\tFlo\t \text206\tSynchronized\tNorth\t1\t0"), list.end());

    // 205 moves to South, which refuses its data block: every site follows South, the command fails.
    Refault("East", {{"--clear"}});
    ASSERT_EQ(Cli("sync", {"205"}).exitCode, 0);
    Refault("South", {{"WriteExtData", "E_FAIL"}});
    const ProgramResult moved = Cli("sync", {"205=South"});
    EXPECT_EQ(moved.exitCode, 1) << moved.err;
    EXPECT_NE(moved.err.find("Warning: The data block of extension 205 was not copied from North to South (0x80004005)."),
              std::string::npos)
        << moved.err;
    EXPECT_NE(moved.err.find("Sync incomplete - extension 205 now lives on South"), std::string::npos) << moved.err;
    EXPECT_EQ(Record("South", "205")["forward_target"], 10);
    EXPECT_FALSE(HasData("South", "205"));
    EXPECT_TRUE(HasData("North", "205"));  // still there to be carried over by hand
    EXPECT_EQ(Record("North", "205")["forward_target"], 7);
}

}  // namespace
}  // namespace e2e
