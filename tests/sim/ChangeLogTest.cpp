// The change log beside a served site's state file: every request's changes come back after a
// restart, whether the log was folded, cut short by a kill, or left behind by a fold that was
// itself cut short; damage with acknowledged changes behind it is reported, never skipped.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "SimFixture.h"
#include "server/ExtRec.h"
#include "server/RecordLayout.h"
#include "sim/ChangeLog.h"
#include "sim/StateCodec.h"
#include "support/RunProgram.h"

namespace {

namespace fs = std::filesystem;
using namespace com;
namespace rq = server::request;
using sim::Bytes;
using sim::LogChange;
using sim::LogKind;

class ChangeLog : public ::testing::Test {
protected:
    void SetUp() override {
        simtest::UseFreshRegistry(registry);
        site = simtest::MakeSite(dir);
        ASSERT_TRUE(site);
        simtest::Add(*site, "100");
        c = simtest::Connect(site);
        ASSERT_EQ(c->hr, S_OK);
    }

    Bytes ClientRecord(const std::string& number, uint8_t type = server::exttype::kVirtual) const {
        Bytes b(2400, 0);
        server::ExtRec r(b.data(), b.size());
        r.SetRecordSize(uint16_t(b.size()));
        r.SetExtensionNumber(number);
        r.SetExtensionType(type);
        r.SetConfiguredLineType(server::extrec::kLineTypeCreated);
        return b;
    }
    HRESULT AddExtension(const std::string& number, uint8_t type = server::exttype::kVirtual) {
        Bytes rec = ClientRecord(number, type);
        return c->change->AddExtension(2400, rec.data());
    }
    HRESULT Membership(const std::string& ext, const std::string& group, int32_t op) {
        uint8_t block[rq::kMembershipSize] = {};
        server::StoreFieldText(block + rq::kMembershipExtension.offset, rq::kMembershipExtension.width, ext);
        server::StoreFieldText(block + rq::kMembershipGroup.offset, rq::kMembershipGroup.width, group);
        server::ExtRec(block, sizeof block).SetI32(rq::kMembershipOperation, op);
        return c->change->ChangeMembership(int32_t(sizeof block), block);
    }
    // Replaces the record with one whose unnamed byte 2000 is `mark`.
    HRESULT Replace(const std::string& number, uint8_t mark) {
        Bytes fresh;
        {
            std::lock_guard lock(site->Mutex());
            fresh = site->State().FindRecord(number)->bytes;
        }
        Bytes request = fresh;
        request[2000] = mark;
        request.insert(request.end(), fresh.begin(), fresh.end());
        request.resize(rq::ReplaceSize(2400));
        server::ExtRec(request.data(), request.size()).SetI32(2 * 2400, rq::kReplaceTrailer);
        return c->change->ReplaceExtension(int32_t(request.size()), request.data());
    }
    static std::shared_ptr<sim::Site> Reopen(const std::string& path) {
        std::string error;
        auto s = sim::Site::Open(path, error);
        EXPECT_TRUE(s) << error;
        return s;
    }
    static bool Has(const std::shared_ptr<sim::Site>& s, const std::string& number) {
        std::lock_guard lock(s->Mutex());
        return s->State().FindRecord(number) != nullptr;
    }
    std::string LogFile() const { return dir.file("site.json.log"); }

    TempDir registry, dir;
    std::shared_ptr<sim::Site> site;
    std::unique_ptr<simtest::Connection> c;
};

TEST_F(ChangeLog, EveryKindOfChangeComesBackFromTheLogAndFromTheFoldedState) {
    simtest::Add(*site, "300", "group", {"100"});
    const std::string folded = dir.Read("site.json");
    const uint8_t data[] = {9, 8, 7, 6, 5};
    ASSERT_EQ(Replace("100", 0xAB), S_OK);  // logged with its member bit
    ASSERT_EQ(AddExtension("101"), S_OK);
    ASSERT_EQ(AddExtension("102"), S_OK);
    ASSERT_EQ(AddExtension("301", server::exttype::kWorkgroup), S_OK);
    uint8_t create[rq::kWorkgroupCreateSize] = {'3', '0', '1'};
    ASSERT_EQ(c->change->AddWorkgroup(int32_t(sizeof create), create), S_OK);
    ASSERT_EQ(Membership("102", "301", rq::kMembershipAdd), S_OK);
    ASSERT_EQ(Membership("", "301", rq::kMembershipClose), E_FAIL);
    for (const char* n : {"101", "102"}) {
        ASSERT_EQ(c->okl->WriteExtData(n, -3, 5, data), S_OK);
        ASSERT_EQ(c->ona->WriteONAData(n, 4, data), S_OK);
    }
    ASSERT_EQ(c->okl->WriteItem(4, 100, 3, data), S_OK);
    ASSERT_EQ(c->okl->WriteItem(4, 101, 2, data), S_OK);
    ASSERT_EQ(c->control->MailboxShare(1, "Tarn_ZentMailBox", "%ZentMailBox%", "op"), 0);
    uint8_t out[2400];
    int32_t outLength = 2400;
    ASSERT_EQ(c->del->DeleteExtension(2400, ClientRecord("101").data(), &outLength, out), S_OK);  // its data goes too
    uint8_t key[rq::kWorkgroupKeySize] = {'3', '0', '0'};
    ASSERT_EQ(c->del->DeleteWorkgroup(int32_t(sizeof key), key), S_OK);  // 100 is no member any more
    const std::string held = site->DumpText();

    EXPECT_EQ(dir.Read("site.json"), folded) << "a change rewrote the state file";
    ASSERT_TRUE(fs::exists(LogFile()));
    EXPECT_EQ(Reopen(site->Path())->DumpText(), held);
    ProgramResult dump = RunProgram("zentsim", {"dump", site->Path()}, dir.path());
    EXPECT_EQ(dump.exitCode, 0) << dump.err;
    EXPECT_EQ(dump.out, held);

    // A fold cut short after the new state file and before the log went: the log replays over a
    // state that holds its changes already, to the same state.
    const std::string log = dir.Read("site.json.log");
    std::string error;
    ASSERT_TRUE(site->Fold(error)) << error;
    EXPECT_FALSE(fs::exists(LogFile()));
    EXPECT_EQ(site->LogBytes(), 0u);
    {
        std::lock_guard lock(site->Mutex());
        EXPECT_EQ(dir.Read("site.json"), sim::SerializeState(site->State()));
    }
    EXPECT_EQ(Reopen(site->Path())->DumpText(), held);
    dir.Write("site.json.log", log);
    EXPECT_EQ(Reopen(site->Path())->DumpText(), held);
}

TEST_F(ChangeLog, ATornLastEntryIsDroppedAndTheNextChangeFollowsTheLastWholeOne) {
    ASSERT_EQ(AddExtension("101"), S_OK);
    ASSERT_EQ(AddExtension("102"), S_OK);
    const std::size_t whole = site->LogBytes();
    ASSERT_EQ(AddExtension("103"), S_OK);
    const std::string log = dir.Read("site.json.log");
    ASSERT_EQ(log.size(), site->LogBytes());
    site.reset();
    c.reset();

    // Cut in its frame, in its payload, one byte short; or damaged where it ends the file.
    std::string damagedLast = log;
    damagedLast[whole + 40] ^= 0x20;
    for (const std::string& torn : {log.substr(0, whole + 1), log.substr(0, whole + 11), log.substr(0, whole + 500),
                                    log.substr(0, log.size() - 1), damagedLast}) {
        dir.Write("site.json.log", torn);
        auto s = Reopen(dir.file("site.json"));
        ASSERT_TRUE(s);
        EXPECT_TRUE(Has(s, "101") && Has(s, "102")) << torn.size();
        EXPECT_FALSE(Has(s, "103")) << torn.size();
    }
    // Zeros the file system gave the file where the data never arrived.
    dir.Write("site.json.log", log + std::string(4096, '\0'));
    EXPECT_TRUE(Has(Reopen(dir.file("site.json")), "103"));

    dir.Write("site.json.log", log.substr(0, log.size() - 7));
    site = Reopen(dir.file("site.json"));
    c = simtest::Connect(site);
    ASSERT_EQ(AddExtension("104"), S_OK);
    auto after = Reopen(site->Path());
    EXPECT_TRUE(Has(after, "102") && Has(after, "104"));
    EXPECT_FALSE(Has(after, "103"));
    EXPECT_EQ(dir.Read("site.json.log").size(), site->LogBytes());

    // A torn entry longer than the next one: what the next leaves of it must not read as damage.
    const Bytes block(20000, 0x5A);
    ASSERT_EQ(c->okl->WriteExtData("104", 1, int32_t(block.size()), block.data()), S_OK);
    const std::string longer = dir.Read("site.json.log");
    c.reset();
    site.reset();
    dir.Write("site.json.log", longer.substr(0, longer.size() - 7));
    site = Reopen(dir.file("site.json"));
    c = simtest::Connect(site);
    ASSERT_EQ(AddExtension("105"), S_OK);
    after = Reopen(site->Path());
    ASSERT_TRUE(after);
    EXPECT_TRUE(Has(after, "105"));
    EXPECT_EQ(after->State().extData.count("104"), 0u);
}

TEST_F(ChangeLog, DamageWithEntriesBehindItNamesTheLogAndTheOffset) {
    ASSERT_EQ(AddExtension("101"), S_OK);
    ASSERT_EQ(AddExtension("102"), S_OK);
    const std::string log = dir.Read("site.json.log");
    struct Damage {
        std::size_t at;
        std::string message;
    };
    for (const Damage& d : {Damage{sim::kLogHeaderSize + sim::kLogFrameSize + 100, "offset 16: entry checksum does not match"},
                            Damage{sim::kLogHeaderSize + 1, "offset 16: entry length is damaged"},
                            Damage{2, "offset 0: not a zentsim change log"}}) {
        std::string damaged = log;
        damaged[d.at] ^= 0x01;
        dir.Write("site.json.log", damaged);
        std::string error;
        EXPECT_FALSE(sim::Site::Open(site->Path(), error)) << d.message;
        EXPECT_EQ(error.rfind(LogFile() + ": " + d.message, 0), 0u) << error;
        ProgramResult dump = RunProgram("zentsim", {"dump", site->Path()}, dir.path());
        EXPECT_EQ(dump.exitCode, 1);
        EXPECT_NE(dump.err.find(d.message), std::string::npos) << dump.err;
    }
}

TEST_F(ChangeLog, TheLogIsFoldedOnceItOutgrowsItsLimit) {
    ASSERT_EQ(AddExtension("101"), S_OK);
    EXPECT_GT(site->LogBytes(), 0u);  // one change is not worth a rewrite
    EXPECT_EQ(dir.Read("site.json").find("\"101\""), std::string::npos);

    site->SetLogFloor(8000);
    const std::size_t limit = [&] {
        std::lock_guard lock(site->Mutex());
        return site->LogLimit();
    }();
    EXPECT_GE(limit, 8000u);
    int changes = 1;
    while (site->LogBytes() != 0 && changes < 40) {
        ASSERT_EQ(AddExtension(std::to_string(101 + changes)), S_OK);
        ++changes;
        if (site->LogBytes() != 0) {
            EXPECT_LE(site->LogBytes(), limit);
        }
    }
    EXPECT_EQ(site->LogBytes(), 0u) << "never folded";
    EXPECT_FALSE(fs::exists(LogFile()));
    EXPECT_NE(dir.Read("site.json").find("\"" + std::to_string(100 + changes) + "\""), std::string::npos);
    ASSERT_EQ(AddExtension("200"), S_OK);
    EXPECT_TRUE(fs::exists(LogFile()));
    EXPECT_TRUE(Has(Reopen(site->Path()), "200"));
}

// The command line works on the state with its log: a change folds it, a new state drops it.
TEST_F(ChangeLog, CommandsSeeTheLogAndANewStateDropsIt) {
    ASSERT_EQ(AddExtension("101"), S_OK);
    c.reset();
    site.reset();
    const std::string path = dir.file("site.json");
    ProgramResult r = RunProgram("zentsim", {"add", path, "--number", "102", "--type", "physical"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(fs::exists(LogFile()));
    const std::string text = dir.Read("site.json");
    EXPECT_NE(text.find("\"101\""), std::string::npos);
    EXPECT_NE(text.find("\"102\""), std::string::npos);

    site = Reopen(path);
    c = simtest::Connect(site);
    ASSERT_EQ(AddExtension("103"), S_OK);
    r = RunProgram("zentsim", {"init", path, "--name", "Again", "--force"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(fs::exists(LogFile()));
    EXPECT_FALSE(Has(Reopen(path), "103"));
}

// What a change failing to reach the log leaves: nothing, in memory or on disk, not even the
// part of its entry that was written; the next change goes where it would have gone.
TEST_F(ChangeLog, AChangeTheLogCannotTakeIsRolledBack) {
    ASSERT_EQ(AddExtension("101"), S_OK);
    const std::size_t before = site->LogBytes();
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto handler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = before + 1000;  // part of the next entry fits
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const HRESULT hr = AddExtension("102");
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, handler);
    EXPECT_EQ(hr, sim::kSaveFailed);
    EXPECT_NE(site->LastSaveError().find(LogFile()), std::string::npos) << site->LastSaveError();
    EXPECT_FALSE(Has(site, "102"));
    EXPECT_EQ(fs::file_size(LogFile()), before);
    ASSERT_EQ(AddExtension("103"), S_OK);
    auto after = Reopen(site->Path());
    EXPECT_TRUE(Has(after, "101") && Has(after, "103"));
    EXPECT_FALSE(Has(after, "102"));
}

// A change whose entry the log's reader would refuse (a text past its limit) writes the whole
// state instead, so it is never acknowledged and then lost at the next start.
TEST_F(ChangeLog, AChangeTooLargeForAnEntryIsWrittenToTheStateFile) {
    const std::string path(70000, 'p');
    ASSERT_EQ(c->control->MailboxShare(1, "Tarn_ZentMailBox", path.c_str(), "op"), 0);
    EXPECT_EQ(site->LogBytes(), 0u);
    auto after = Reopen(site->Path());
    ASSERT_TRUE(after);
    EXPECT_EQ(after->State().mailbox.path, path);
    ASSERT_EQ(c->control->MailboxShare(0, "", "", "op"), 0);
    EXPECT_GT(site->LogBytes(), 0u);
    EXPECT_FALSE(Reopen(site->Path())->State().mailbox.open);
}

TEST(ChangeLogCodec, EntriesComeBackAsWrittenAndBadOnesAreRefused) {
    std::vector<LogChange> all;
    for (LogKind k : {LogKind::PutRecord, LogKind::RemoveRecord, LogKind::PutWorkgroup, LogKind::RemoveWorkgroup,
                      LogKind::PutExtData, LogKind::RemoveExtData, LogKind::PutOnaData, LogKind::RemoveOnaData,
                      LogKind::PutItem, LogKind::RemoveItem, LogKind::Mailbox}) {
        LogChange c;
        c.kind = k;
        if (k == LogKind::RemoveRecord || k == LogKind::RemoveWorkgroup || k == LogKind::PutExtData ||
            k == LogKind::RemoveExtData || k == LogKind::PutOnaData || k == LogKind::RemoveOnaData)
            c.number = "1234";
        if (k == LogKind::PutItem || k == LogKind::RemoveItem) c.item = {-7, 0x7FFFFFFF};
        if (k == LogKind::PutExtData) c.tag = -3;
        if (k == LogKind::PutRecord || k == LogKind::PutWorkgroup || k == LogKind::PutExtData ||
            k == LogKind::PutOnaData || k == LogKind::PutItem)
            c.bytes = Bytes(k == LogKind::PutWorkgroup ? sim::kWorkgroupLength : 70, uint8_t(k));
        if (k == LogKind::Mailbox) c.mailbox = {true, "share", "C:\\x", "op", {"op", "admin"}};
        all.push_back(std::move(c));
    }
    const std::string log = sim::LogHeader() + sim::EncodeLogEntry(all) + sim::EncodeLogEntry({});
    sim::LogScan scan;
    std::string error;
    ASSERT_TRUE(sim::ScanLog(log, scan, error)) << error;
    ASSERT_EQ(scan.payloads.size(), 2u);
    EXPECT_EQ(scan.validLength, log.size());
    std::vector<LogChange> back;
    ASSERT_TRUE(sim::DecodeLogPayload(scan.payloads[0], back, error)) << error;
    EXPECT_EQ(back, all);

    // Payloads: a byte patched at `at` to `value`, each refused with a reason.
    const std::string entry = sim::EncodeLogEntry({all[4]});  // ext data: kind, number, tag, bytes
    const Bytes good(entry.begin() + sim::kLogFrameSize, entry.end());
    const std::pair<std::size_t, uint8_t> patches[] = {
        {0, 0}, {0, 12},                 // no such kind
        {1, 17},                         // a number longer than any
        {5, ' '},                        // not a valid number
        {13, 0xFF},                      // a block longer than the payload
        {16, 0x7F},                      // a block longer than any (length 0x7F000046)
    };
    for (auto [at, value] : patches) {
        Bytes bad = good;
        bad[at] = value;
        back.clear();
        error.clear();
        EXPECT_FALSE(sim::DecodeLogPayload(bad, back, error)) << at;
        EXPECT_FALSE(error.empty());
    }
    back.clear();
    EXPECT_FALSE(sim::DecodeLogPayload(std::span(good).first(good.size() - 1), back, error));

    // A record of another length than the site's, or with a number no site takes, is not applied.
    sim::SiteState state;
    state.system.recordLength = 2400;
    LogChange record;
    record.kind = LogKind::PutRecord;
    record.bytes = Bytes(70, 0);
    EXPECT_FALSE(sim::ApplyLogChanges(state, {record}, error));
    EXPECT_NE(error.find("another length"), std::string::npos) << error;
    record.bytes = Bytes(2400, 0);
    EXPECT_FALSE(sim::ApplyLogChanges(state, {record}, error));
    EXPECT_NE(error.find("valid number"), std::string::npos) << error;
}

}  // namespace
