// The change journal: what a command writes there and reads back, damage skipped rather than
// fatal, the oldest commands dropped whole, and no change sent that could not be written first.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <fstream>

#include "DownloadFixture.h"
#include "document/JournalFormat.h"

using namespace downloadtest;

namespace {


document::JournalCommandInfo Info(const std::string& kind, std::vector<std::string> numbers) {
    document::JournalCommandInfo info;
    info.kind = kind;
    info.action = "qob-cli " + kind;
    info.sites = {"North", "South"};
    info.numbers = std::move(numbers);
    return info;
}

class Journal : public DownloadFixture {
protected:
    std::string Path() const { return work.file("QOB.journal"); }
    document::JournalContents ReadBack() {
        document::JournalContents j;
        std::string error;
        EXPECT_TRUE(document::ReadJournalFile(Path(), j, error)) << error;
        return j;
    }
};

TEST_F(Journal, ACommandIsWrittenAndReadBackOwnerOnly) {
    const std::vector<uint8_t> before{1, 2, 3}, sent{4, 5, 6, 7}, reply{4, 5, 6, 8};
    for (int round = 0; round < 2; ++round) {
        document::CChangeJournal j(Path());
        std::string error;
        ASSERT_TRUE(j.Begin(Info("sync", {"100"}), error)) << error;
        uint64_t a = 0, b = 0;
        ASSERT_TRUE(j.Before({"South", "AddExtension", "100", {}, sent}, a, error));
        ASSERT_TRUE(j.Before({"North", "ReplaceExtension", "100", before, sent}, b, error));
        j.After(b, 0, false, sent);    // the answer is the request: not written again
        j.After(a, 0, false, reply);   // a reply that differs is kept
        j.Number("100", "done");
        j.End("ok");
    }
    struct stat st {};
    ASSERT_EQ(::stat(Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const document::JournalContents j = ReadBack();
    EXPECT_TRUE(j.warnings.empty());
    ASSERT_EQ(j.commands.size(), 2u);
    EXPECT_EQ(j.commands[1].id, 2u);
    const document::JournalCommand& c = j.commands[0];
    EXPECT_EQ(c.kind, "sync");
    EXPECT_TRUE(c.ended);
    EXPECT_EQ(c.result, "ok");
    EXPECT_EQ(c.numberResults.at("100"), "done");
    ASSERT_EQ(c.changes.size(), 2u);
    EXPECT_EQ(c.changes[0].site, "South");
    EXPECT_EQ(c.changes[0].answer, reply);
    EXPECT_TRUE(c.changes[0].before.empty());
    EXPECT_EQ(c.changes[1].before, before);
    EXPECT_EQ(c.changes[1].sent, sent);
    EXPECT_TRUE(c.changes[1].answered);
    EXPECT_EQ(c.changes[1].result, "applied");
    EXPECT_TRUE(c.changes[1].answer.empty());
}

TEST_F(Journal, DamageIsSkippedAndAnotherFormatOrANewerVersionRefused) {
    const std::string header = "{\"format\":\"tarn-change-journal\",\"version\":1}\n";
    const std::string command = "{\"entry\":\"command\",\"cmd\":4,\"kind\":\"delete\",\"sites\":[\"A\"],\"numbers\":[\"1\"]}\n";
    const std::string change =
        "{\"entry\":\"change\",\"cmd\":4,\"seq\":1,\"site\":\"A\",\"number\":\"1\",\"method\":\"DeleteExtension\",\"sent\":\"00ff\"}\n";
    document::JournalContents j;
    std::string error;
    ASSERT_TRUE(document::ParseJournal(header + command + "\x01\x02 not json\n" + change +
                                           "{\"entry\":\"answer\",\"cmd\":9,\"seq\":1}\n"
                                           "{\"entry\":\"change\",\"cmd\":4,\"seq\":2,\"site\":\"A\",\"method\":\"X\",\"sent\":\"zz\"}\n"
                                           "{\"entry\":\"end\",\"cmd\":4",
                                       j, error))
        << error;
    ASSERT_EQ(j.commands.size(), 1u);
    ASSERT_EQ(j.commands[0].changes.size(), 1u);
    EXPECT_EQ(j.commands[0].changes[0].sent, (std::vector<uint8_t>{0x00, 0xFF}));
    EXPECT_FALSE(j.commands[0].changes[0].answered);
    EXPECT_FALSE(j.commands[0].ended);  // the end entry was cut
    ASSERT_EQ(j.warnings.size(), 4u);
    EXPECT_NE(j.warnings.back().find("the last, cut short"), std::string::npos) << j.warnings.back();

    EXPECT_FALSE(document::ParseJournal("{\"format\":\"tarn-change-journal\",\"version\":2}\n", j, error));
    EXPECT_NE(error.find("newer version"), std::string::npos) << error;
    EXPECT_FALSE(document::ParseJournal("{\"format\":\"something else\",\"version\":1}\n", j, error));
    EXPECT_FALSE(document::ParseJournal("PK\x03\x04 a zip file", j, error));
    EXPECT_TRUE(document::ParseJournal("", j, error));

    // A journal of a newer version stops every command that would change sites.
    std::ofstream(Path()) << "{\"format\":\"tarn-change-journal\",\"version\":2}\n";
    document::CChangeJournal newer(Path());
    EXPECT_FALSE(newer.Begin(Info("sync", {"1"}), error));
    EXPECT_NE(error.find(Path()), std::string::npos) << error;
    EXPECT_NE(error.find("newer version"), std::string::npos) << error;
}

TEST_F(Journal, TheOldestCommandsAreDroppedWhole) {
    document::JournalLimits limits;
    limits.maxCommands = 4;
    for (int i = 0; i < 7; ++i) {
        document::CChangeJournal j(Path(), limits);
        std::string error;
        ASSERT_TRUE(j.Begin(Info("sync", {"100"}), error)) << error;
        for (int k = 0; k < 3; ++k) {
            uint64_t e = 0;
            const std::vector<uint8_t> sent(100, uint8_t(i));
            ASSERT_TRUE(j.Before({"South", "ReplaceExtension", "100", {}, sent}, e, error));
            j.After(e, 0, false, sent);
        }
        j.End("ok");
    }
    const document::JournalContents j = ReadBack();
    ASSERT_FALSE(j.commands.empty());
    EXPECT_LE(j.commands.size(), 4u);
    EXPECT_EQ(j.commands.back().id, 7u);  // numbers go on
    for (const document::JournalCommand& c : j.commands) {
        EXPECT_EQ(c.changes.size(), 3u) << c.id;
        EXPECT_TRUE(c.ended) << c.id;
    }
}

// A program killed in the middle of a line: the next command's lines are not glued to the cut one
// (its own line lost, and all its changes with it).
TEST_F(Journal, ALineCutByAKillDoesNotTakeTheNextCommandWithIt) {
    const std::vector<uint8_t> sent(50, 7);
    for (int i = 0; i < 2; ++i) {
        document::CChangeJournal j(Path());
        std::string error;
        ASSERT_TRUE(j.Begin(Info("sync", {"100"}), error)) << error;
        uint64_t e = 0;
        ASSERT_TRUE(j.Before({"South", "AddExtension", "100", {}, sent}, e, error)) << error;
        if (i == 0) {
            std::ofstream(Path(), std::ios::app) << "{\"entry\":\"change\",\"cmd\":1,\"seq\":2,\"site\":\"No";
            continue;  // killed: no answer, no end
        }
        j.After(e, 0, false, sent);
        j.End("ok");
    }
    const document::JournalContents j = ReadBack();
    ASSERT_EQ(j.commands.size(), 2u);
    EXPECT_EQ(j.commands[0].changes.size(), 1u);
    EXPECT_FALSE(j.commands[0].ended);
    ASSERT_EQ(j.commands[1].changes.size(), 1u);
    EXPECT_TRUE(j.commands[1].changes[0].answered);
    EXPECT_TRUE(j.commands[1].ended);
    EXPECT_TRUE(j.warnings.empty()) << j.warnings.front();
}

// The journal cannot grow (the file size limit stands for a full disk): the change is not sent.
TEST_F(Journal, AChangeThatCannotBeWrittenFirstIsNotSent) {
    ThreeSites();
    Add(North(), Ext("100"));
    ASSERT_TRUE(doc.Download());
    ForgetCalls();
    ASSERT_TRUE(doc.BeginJournal(Info("sync", {"100"})));

    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct stat st {};
    ASSERT_EQ(::stat(Path().c_str(), &st), 0);
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit full = old;
    full.rlim_cur = rlim_t(st.st_size);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
    const bool synced = doc.SyncExtension("100", "North");
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, previous);

    EXPECT_FALSE(synced);
    for (SimSite& s : sites) EXPECT_TRUE(Calls(*s.site).empty()) << s.site->State().name;
    EXPECT_TRUE(Held(South(), "100").empty());
    bool named = false;
    for (const auto& [level, text] : frame.logs) named = named || text.find(Path()) != std::string::npos;
    EXPECT_TRUE(named);
    doc.EndJournal("failed");
}

}  // namespace
