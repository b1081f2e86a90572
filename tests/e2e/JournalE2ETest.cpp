// The change journal against zentsim daemons: a sync (new copies, rewrites, a home moved with its
// data) and deletions undone leave every site as its dump was before, a record changed since is
// left alone and named, a retry sends only what failed, and qob-cli killed at any moment leaves a
// journal that names every change that reached a site.
#include <nlohmann/json.hpp>

#include <fstream>
#include <random>

#include "E2EFixture.h"
#include "document/JournalFormat.h"

namespace e2e {
namespace {

class JournalE2E : public RelocatingE2E {
protected:
    // 300-348 physical on North, 310-314 stale copies on South (another access code), 205 on
    // North with a data block; routes everywhere; relocation on, without mailboxes.
    void Network() {
        RelocatingSites();
        for (int n = 300; n < 349; ++n)
            Run("zentsim", {"add", State("North"), "--number", std::to_string(n), "--type", "physical", "--first",
                            "P" + std::to_string(n)});
        for (int n = 310; n < 315; ++n)
            Run("zentsim", {"add", State("South"), "--number", std::to_string(n), "--type", "virtual", "--forwarding",
                            "--fwd-dial", "9" + std::to_string(n)});
        Run("zentsim", {"add", State("North"), "--number", "205", "--type", "physical", "--first", "Eve"});
        DataBlock("North", "205");
    }
    void StartSite(const std::string& name, std::vector<std::string> extra = {}) {
        extra.insert(extra.end(), {"--journal", scratch.file(name + ".calls")});
        RelocatingE2E::StartSite(name, std::move(extra));
    }
    void StartAll(std::vector<std::string> extra = {}) {
        for (const auto& [name, ip] : kAddress) StartSite(name, extra);
    }
    std::vector<std::string> Args(const std::string& command, std::vector<std::string> more) const {
        std::vector<std::string> a{"--dir", work.path(), command};
        if (command == "sync" || command == "delete") a.insert(a.end(), {"North", "South", "East"});
        if (command != "history")
            for (const auto& [s, ip] : kAddress) a.insert(a.end(), {"--password", s + "=pw-" + s});
        a.insert(a.end(), more.begin(), more.end());
        return a;
    }
    ProgramResult Cli(const std::string& command, std::vector<std::string> more) {
        return RunProgram("qob-cli", Args(command, std::move(more)), scratch.path());
    }
    static std::vector<std::string> Numbers(int from, int to) {
        std::vector<std::string> out;
        for (int n = from; n < to; ++n) out.push_back(std::to_string(n));
        return out;
    }
    nlohmann::json Dump(const std::string& site) {
        nlohmann::json d = nlohmann::json::parse(Run("zentsim", {"dump", State(site)}).out);
        d.erase("faults");
        return d;
    }
    std::map<std::string, nlohmann::json> Dumps() {
        std::map<std::string, nlohmann::json> out;
        for (const auto& [name, ip] : kAddress) out[name] = Dump(name);
        return out;
    }
    document::JournalContents Journal() {
        document::JournalContents j;
        std::string error;
        EXPECT_TRUE(document::ReadJournalFile(work.file("QOB.journal"), j, error)) << error;
        return j;
    }
};

TEST_F(JournalE2E, ASyncAndDeletionsUndoneLeaveEverySiteAsItWas) {
    Network();
    StartAll();
    ASSERT_EQ(Cli("sync", {"--yes", "205"}).exitCode, 0);
    const auto before = Dumps();

    std::vector<std::string> numbers = Numbers(300, 349);
    numbers.insert(numbers.begin(), {"--yes", "205=South"});
    const ProgramResult synced = Cli("sync", numbers);
    ASSERT_EQ(synced.exitCode, 0) << synced.err;
    ASSERT_NE(Dump("South"), before.at("South"));

    const ProgramResult dry = Cli("undo", {"last", "--dry-run"});
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_EQ(Dumps(), Dumps());
    EXPECT_NE(Dump("South"), before.at("South"));  // a dry run sends nothing

    const ProgramResult undone = Cli("undo", {"last", "--yes"});
    EXPECT_EQ(undone.exitCode, 0) << undone.out << undone.err;
    EXPECT_NE(undone.out.find("South\t205\t-\tcannot be put back: the data block written there stays"), std::string::npos)
        << undone.out;
    auto after = Dumps();
    // What the guide says stays: the data block the move wrote on the new home.
    EXPECT_FALSE(after["South"]["data_blocks"] == before.at("South")["data_blocks"]);
    after["South"].erase("data_blocks");
    auto expected = before;
    expected["South"].erase("data_blocks");
    for (const auto& [name, dump] : expected) EXPECT_EQ(after[name], dump) << name;

    // Deletions of both scopes, each undone.
    const auto beforeDelete = Dumps();
    ASSERT_EQ(Cli("delete", {"--scope", "all", "--yes", "300", "301", "205"}).exitCode, 0);
    ASSERT_EQ(Cli("undo", {"last", "--yes"}).exitCode, 0);
    ASSERT_EQ(Cli("delete", {"--scope", "virtual", "--yes", "205"}).exitCode, 0);
    ASSERT_EQ(Cli("undo", {"last", "--yes"}).exitCode, 0);
    auto afterDelete = Dumps();
    // A deleted extension's data block goes with it and is not brought back.
    for (auto* d : {&afterDelete, const_cast<std::map<std::string, nlohmann::json>*>(&beforeDelete)})
        for (auto& [name, dump] : *d) dump.erase("data_blocks");
    for (const auto& [name, dump] : beforeDelete) EXPECT_EQ(afterDelete[name], dump) << name;

    // The undo is a command of its own: history names what it undid.
    const ProgramResult history = Cli("history", {});
    EXPECT_NE(history.out.find("undo of "), std::string::npos) << history.out;
}

TEST_F(JournalE2E, ARecordChangedSinceIsLeftAloneAndNamed) {
    Network();
    StartAll();
    ASSERT_EQ(Cli("sync", {"--yes", "300", "301", "302"}).exitCode, 0);
    const document::JournalContents journal = Journal();
    ASSERT_FALSE(journal.commands.empty());
    const uint64_t first = journal.commands.back().id;
    ASSERT_EQ(Cli("sync", {"--yes", "300=East"}).exitCode, 0);
    const nlohmann::json east = Dump("East");

    const ProgramResult undone = Cli("undo", {std::to_string(first), "--yes"});
    EXPECT_EQ(undone.exitCode, 1) << undone.out << undone.err;
    EXPECT_NE(undone.out.find("East\t300\trecord\tchanged since the command: left alone"), std::string::npos) << undone.out;
    // 300 stays as the later command left it; 301 and 302 are copies no more.
    const nlohmann::json southNow = Dump("South");
    for (const auto& r : southNow["records"]) EXPECT_TRUE(r["number"] != "301" && r["number"] != "302") << r.dump();
    bool still = false;
    const nlohmann::json eastNow = Dump("East");
    for (const auto& r : eastNow["records"]) still = still || (r["number"] == "300" && r["forward_target"] != 7);
    EXPECT_TRUE(still) << eastNow.dump() << "\n" << undone.out;
}

TEST_F(JournalE2E, ARetrySendsOnlyWhatFailed) {
    Network();
    StartSite("North");
    StartSite("South");
    Run("zentsim", {"fault", State("East"), "AddExtension", "E_FAIL", "--after", "2"});
    StartSite("East");
    const ProgramResult first = Cli("sync", {"--yes", "300", "301", "302", "303", "304"});
    EXPECT_EQ(first.exitCode, 1) << first.err;

    EXPECT_EQ(running["East"]->Stop(), 0);
    Run("zentsim", {"fault", State("East"), "--clear"});
    std::ofstream(scratch.file("East.calls"), std::ios::trunc);
    StartSite("East");
    const ProgramResult retried = Cli("retry", {"last", "--yes"});
    EXPECT_EQ(retried.exitCode, 0) << retried.err;
    EXPECT_NE(retried.err.find("retrying 302 303 304 of command"), std::string::npos) << retried.err;
    int adds = 0;
    for (const std::string& line : Lines(Slurp(scratch.file("East.calls")))) adds += line.rfind("AddExtension", 0) == 0;
    EXPECT_EQ(adds, 3);
    const document::JournalContents journal = Journal();
    ASSERT_FALSE(journal.commands.empty());
    const document::JournalCommand& retry = journal.commands.back();
    EXPECT_EQ(retry.kind, "retry");
    EXPECT_EQ(retry.numbers, (std::vector<std::string>{"302", "303", "304"}));
}

TEST_F(JournalE2E, TheJournalKeepsWhatTheUserSetAndDropsTheOldestCommandsWhole) {
    const ProgramResult refused = Cli("history", {"--keep-commands", "1"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("--keep-commands takes a number from 2 to 1000000"), std::string::npos) << refused.err;
    EXPECT_EQ(Cli("history", {"--keep-mb", "12x"}).exitCode, 2);
    const ProgramResult kept = Cli("history", {"--keep-commands", "4"});
    EXPECT_EQ(kept.exitCode, 0) << kept.err;
    EXPECT_EQ(kept.out, "the change journal keeps at most 64 MB and 4 commands\n");

    Network();
    StartAll();
    for (int i = 0; i < 6; ++i) ASSERT_EQ(Cli("sync", {"--yes", "300"}).exitCode, 0);
    const document::JournalContents journal = Journal();
    ASSERT_FALSE(journal.commands.empty());
    EXPECT_LE(journal.commands.size(), 4u);
    EXPECT_EQ(journal.commands.back().id, 6u);
    for (const document::JournalCommand& c : journal.commands) EXPECT_TRUE(c.ended) << c.id;
}

TEST_F(JournalE2E, KilledAtAnyMomentTheJournalNamesWhatReachedTheSites) {
    Network();
    StartAll({"--latency-ms", "10"});
    std::mt19937 random(20261210);
    const std::vector<std::string> numbers = [&] {
        std::vector<std::string> n = Numbers(300, 349);
        n.insert(n.begin(), "--yes");
        return n;
    }();
    for (int round = 0; round < 20; ++round) {
        Background cli("qob-cli", Args("sync", numbers), scratch.path(), "kill" + std::to_string(round));
        if (round == 0) {
            // Once at least: in the middle of the changes, after the first reached the journal.
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (Slurp(work.file("QOB.journal")).find("\"entry\":\"change\"") == std::string::npos &&
                   std::chrono::steady_clock::now() < end && cli.Running())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(100 + random() % 900));
        }
        cli.Kill(SIGKILL);

        // The journal always reads; every change a site answered is in it.
        const document::JournalContents j = Journal();
        std::map<std::string, int> journalled, answered;
        for (const document::JournalCommand& c : j.commands)
            for (const document::JournalEntry& e : c.changes) ++journalled[e.site + " " + e.method];
        for (const auto& [site, ip] : kAddress)
            for (const std::string& line : Lines(Slurp(scratch.file(site + ".calls")))) {
                const std::string method = line.substr(0, line.find(' '));
                if (method == "AddExtension" || method == "ReplaceExtension") ++answered[site + " " + method];
            }
        for (const auto& [call, count] : answered) EXPECT_LE(count, journalled[call]) << call << " round " << round;
    }
    // Recovery: the commands that did not end are named, and their changes checked on the sites.
    const ProgramResult incomplete = Cli("history", {"--incomplete"});
    EXPECT_EQ(incomplete.exitCode, 0);
    uint64_t unfinished = 0;
    for (const document::JournalCommand& c : Journal().commands)
        if (!c.ended && !unfinished) unfinished = c.id;
    ASSERT_NE(unfinished, 0u);
    EXPECT_NE(incomplete.out.find(std::to_string(unfinished) + "\t"), std::string::npos) << incomplete.out;
    std::vector<std::string> check{"--dir", work.path(), "history", std::to_string(unfinished), "--check"};
    for (const auto& [site, ip] : kAddress) check.insert(check.end(), {"--password", site + "=pw-" + site});
    const ProgramResult checked = RunProgram("qob-cli", check, scratch.path());
    EXPECT_EQ(checked.exitCode, 0) << checked.err;
    EXPECT_NE(checked.out.find("\trecord\treached the site"), std::string::npos) << checked.out;
    const ProgramResult next = Cli("sync", {"--yes", "329"});
    EXPECT_NE(next.err.find("did not end: some of its changes may have reached the sites"), std::string::npos) << next.err;
}

}  // namespace
}  // namespace e2e
