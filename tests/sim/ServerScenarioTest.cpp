// The simulated server as a client sees it: every call goes proxy -> NDR -> in-process channel ->
// stub -> server object and back.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "SimFixture.h"
#include "server/ExtRec.h"
#include "server/RecordLayout.h"
#include "server/ServProv.h"
#include "server/SysConfigTable.h"
#include "server/WorkgrpRec.h"
#include "sim/SimServer.h"

using namespace com;
using sim::Bytes;

namespace {

namespace rq = server::request;

class Scenario : public ::testing::Test {
protected:
    void SetUp() override {
        simtest::UseFreshRegistry(registry);
        site = simtest::MakeSite(dir);
        ASSERT_TRUE(site);
    }

    std::unique_ptr<simtest::Connection> Connect() {
        auto c = simtest::Connect(site);
        EXPECT_EQ(c->hr, S_OK);
        return c;
    }
    std::vector<std::string> Journal() const {
        std::vector<std::string> names;
        for (const sim::CallRecord& r : site->Calls()) names.push_back(r.method);
        return names;
    }
    // A record as a client makes one: the site's length, the number, the type.
    Bytes ClientRecord(const std::string& number, uint8_t type = server::exttype::kVirtual) const {
        Bytes b(site->State().system.recordLength, 0);
        server::ExtRec r(b.data(), b.size());
        r.SetRecordSize(uint16_t(b.size()));
        r.SetExtensionNumber(number);
        r.SetExtensionType(type);
        r.SetConfiguredLineType(server::extrec::kLineTypeCreated);
        return b;
    }
    Bytes ExtensionList(IZentGetI* get, HRESULT& hr, int32_t capacity = 160000) {
        Bytes buf(std::size_t(capacity), 0);
        int32_t n = capacity;
        hr = get->GetExtensionList(&n, buf.data());
        buf.resize(SUCCEEDED(hr) ? std::size_t(n) : 0);
        return buf;
    }
    uint32_t StatusOf(const std::string& number) {
        std::lock_guard lock(site->Mutex());
        const sim::Stored* s = site->State().FindRecord(number);
        return s ? server::ConstExtRec(s->bytes.data(), s->bytes.size()).ExtStatusFlagBank() : 0xFFFFFFFFu;
    }
    HRESULT Membership(IZentChangeI* change, const std::string& ext, const std::string& group, int32_t op) {
        uint8_t block[rq::kMembershipSize] = {};
        server::StoreFieldText(block + rq::kMembershipExtension.offset, rq::kMembershipExtension.width, ext);
        server::StoreFieldText(block + rq::kMembershipGroup.offset, rq::kMembershipGroup.width, group);
        server::ExtRec(block, sizeof block).SetI32(rq::kMembershipOperation, op);
        return change->ChangeMembership(int32_t(sizeof block), block);
    }

    TempDir registry, dir;
    std::shared_ptr<sim::Site> site;
};

TEST_F(Scenario, ConnectionReadsConfigurationAndRecordLength) {
    auto c = Connect();
    for (const MULTI_QI& r : c->results) EXPECT_TRUE(r.pItf);
    uint8_t table[4096];
    int32_t n = sizeof table;
    ASSERT_EQ(c->get->GetSystemConfig(&n, table), S_OK);
    ASSERT_EQ(n, 4096);
    server::ConstSysConfigTable cfg(table, sizeof table);
    EXPECT_EQ(cfg.ServerVersion(), 0x0480);
    EXPECT_EQ(cfg.ExtNumberLength(), 3);
    EXPECT_EQ(cfg.DigitClass('8'), 1);
    EXPECT_EQ(cfg.DigitClass('5'), 5);
    EXPECT_EQ(server::CZentServ::PasswordCompare(std::string(cfg.AdminPassword()).c_str(), "secret"), 0);
    n = 100;
    EXPECT_EQ(c->get->GetSystemConfig(&n, table), E_OUTOFMEMORY);

    Bytes buf(160000);
    n = int32_t(buf.size());
    ASSERT_EQ(c->get->GetRecordDefinition(1, &n, buf.data()), S_OK);
    EXPECT_EQ(n, 2400);
    n = int32_t(buf.size());
    EXPECT_EQ(c->get->GetRecordDefinition(2, &n, buf.data()), E_INVALIDARG);
    site->State().faults.recordDefinitionFillsCapacity = true;
    n = int32_t(buf.size());
    ASSERT_EQ(c->get->GetRecordDefinition(1, &n, buf.data()), S_OK);
    EXPECT_EQ(n, 160000);  // the client reads this as "no record came"
}

TEST_F(Scenario, ExtensionListDoublesUntilItFitsAndIsSorted) {
    for (int i = 0; i < 100; ++i) simtest::Add(*site, std::to_string(500 + i));
    simtest::Add(*site, "1000");
    simtest::Add(*site, "20");
    auto c = Connect();
    // The client's loop: double the capacity on E_OUTOFMEMORY while it stays below 64 MiB.
    std::vector<int32_t> tried;
    HRESULT hr = E_OUTOFMEMORY;
    Bytes list;
    for (int32_t capacity = 160000; hr == E_OUTOFMEMORY && capacity < 0x4000000; capacity *= 2) {
        tried.push_back(capacity);
        list = ExtensionList(c->get.Get(), hr, capacity);
    }
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(tried, (std::vector<int32_t>{160000, 320000}));
    ASSERT_EQ(list.size(), 102u * 2400);
    std::vector<std::string> numbers;
    for (std::size_t k = 0; k < 102; ++k) numbers.emplace_back(server::ConstExtRec(list.data() + k * 2400, 2400).ExtensionNumber());
    EXPECT_EQ(numbers.front(), "1000");
    EXPECT_EQ(numbers[1], "20");
    EXPECT_EQ(numbers.back(), "599");
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
}

TEST_F(Scenario, ExtensionListFaultRunsTheClientOutOfCapacity) {
    std::string error;
    ASSERT_TRUE(site->SetMethodFault("GetExtensionList", sim::MethodFault{E_OUTOFMEMORY, 0, false}, error)) << error;
    auto c = Connect();
    int calls = 0;
    HRESULT hr = E_OUTOFMEMORY;
    int32_t capacity = 160000;
    for (; hr == E_OUTOFMEMORY && capacity < 0x4000000; capacity *= 2, ++calls) ExtensionList(c->get.Get(), hr, capacity);
    EXPECT_EQ(calls, 9);  // 160000 .. 40960000
    EXPECT_EQ(capacity, 81920000);
    EXPECT_EQ(Journal(), std::vector<std::string>(9, "GetExtensionList"));
}

TEST_F(Scenario, ListLengthFaultsLeaveARemainder) {
    simtest::Add(*site, "100");
    simtest::Add(*site, "300", "group", {"100"});
    site->State().faults.extensionListExtraBytes = 7;
    site->State().faults.workgroupListExtraBytes = 3;
    auto c = Connect();
    HRESULT hr;
    EXPECT_EQ(ExtensionList(c->get.Get(), hr).size(), 2u * 2400 + 7);
    Bytes groups(2 * 4300);
    int32_t n = int32_t(groups.size());
    ASSERT_EQ(c->get->GetWorkgroupList(&n, groups.data()), S_OK);
    EXPECT_EQ(n, 4300 + 3);
}

TEST_F(Scenario, AddingAGroupCopyAnswersAsTheClientExpects) {
    auto c = Connect();
    Bytes pilot = ClientRecord("300", server::exttype::kWorkgroup);
    ASSERT_EQ(c->change->AddExtension(int32_t(pilot.size()), pilot.data()), S_OK);
    EXPECT_EQ(c->change->AddExtension(int32_t(pilot.size()), pilot.data()), sim::kAlreadyExists);
    EXPECT_EQ(c->change->AddExtension(2399, pilot.data()), E_INVALIDARG);

    uint8_t create[rq::kWorkgroupCreateSize] = {};
    std::memcpy(create, "300", 3);
    ASSERT_EQ(c->change->AddWorkgroup(int32_t(sizeof create), create), S_OK);
    server::ConstWORKGRPREC w(create + rq::kWorkgroupCreateRecord, 4300);
    EXPECT_EQ(w.GroupNumber(), "300");
    EXPECT_EQ(w.RecordSize(), 4300);
    EXPECT_EQ(w.MemberCount(), 0u);
    EXPECT_EQ(c->change->AddWorkgroup(int32_t(sizeof create), create), sim::kAlreadyExists);
    std::memcpy(create, "301", 3);
    EXPECT_EQ(c->change->AddWorkgroup(int32_t(sizeof create), create), sim::kNotFound);  // no pilot

    uint8_t reply[1024];
    int32_t n = sizeof reply;
    EXPECT_EQ(c->control->ResetExtension(3, reinterpret_cast<const uint8_t*>("300"), &n, reply), S_OK);
    n = sizeof reply;
    EXPECT_EQ(c->control->ResetExtension(3, reinterpret_cast<const uint8_t*>("999"), &n, reply), sim::kNotFound);

    const auto journal = Journal();
    ASSERT_GE(journal.size(), 6u);
    EXPECT_EQ(journal[0], "AddExtension");
    EXPECT_EQ(journal[3], "AddWorkgroup");
    EXPECT_EQ(journal[6], "ResetExtension");
    Bytes groups(4300);
    n = 4300;
    ASSERT_EQ(c->get->GetWorkgroupList(&n, groups.data()), S_OK);
    EXPECT_EQ(server::ConstWORKGRPREC(groups.data(), 4300).GroupNumber(), "300");
}

TEST_F(Scenario, ReplaceTakesTheTwoHalvesRequestOnly) {
    simtest::Add(*site, "100");
    simtest::Add(*site, "300", "group", {"100"});
    auto c = Connect();
    const std::size_t L = 2400;
    Bytes held;
    {
        std::lock_guard lock(site->Mutex());
        held = site->State().FindRecord("100")->bytes;
    }
    Bytes q(rq::ReplaceSize(L));
    std::memcpy(q.data(), held.data(), L);
    std::memcpy(q.data() + L, held.data(), L);
    server::ExtRec(q.data() + 2 * L, 4).SetI32(0, 1);
    server::ExtRec fresh(q.data(), L);
    fresh.SetExtName("Moved");
    fresh.SetBits(server::extrec::kExtStatusFlagBank, server::extrec::kStatusGroupMember, false);  // stale client copy
    EXPECT_EQ(c->change->ReplaceExtension(int32_t(2 * L), q.data()), E_INVALIDARG);
    server::ExtRec(q.data() + 2 * L, 4).SetI32(0, 0);
    EXPECT_EQ(c->change->ReplaceExtension(int32_t(q.size()), q.data()), E_INVALIDARG);
    server::ExtRec(q.data() + 2 * L, 4).SetI32(0, 1);
    ASSERT_EQ(c->change->ReplaceExtension(int32_t(q.size()), q.data()), S_OK);
    {
        std::lock_guard lock(site->Mutex());
        server::ConstExtRec now(site->State().FindRecord("100")->bytes.data(), L);
        EXPECT_EQ(now.ExtName(), "Moved");
        EXPECT_TRUE(now.ExtStatusFlagBank() & server::extrec::kStatusGroupMember);  // still a member of 300
    }
    fresh.SetExtensionNumber("101");
    server::ExtRec(q.data() + L, L).SetExtensionNumber("101");
    EXPECT_EQ(c->change->ReplaceExtension(int32_t(q.size()), q.data()), sim::kNotFound);
}

TEST_F(Scenario, MembershipPairsKeepTheMemberBitInStep) {
    simtest::Add(*site, "10");
    simtest::Add(*site, "100");
    simtest::Add(*site, "300", "group", {"100"});
    auto c = Connect();
    ASSERT_EQ(StatusOf("10") & 0x2, 0u);
    EXPECT_EQ(Membership(c->change.Get(), "10", "300", rq::kMembershipAdd), S_OK);
    EXPECT_EQ(Membership(c->change.Get(), "", "300", rq::kMembershipClose), E_FAIL);  // as the client expects
    EXPECT_EQ(StatusOf("10") & 0x2, 0x2u);
    // Adding again changes nothing; removing matches the number exactly (100 stays).
    EXPECT_EQ(Membership(c->change.Get(), "10", "300", rq::kMembershipAdd), S_OK);
    EXPECT_EQ(Membership(c->change.Get(), "", "300", rq::kMembershipClose), E_FAIL);
    EXPECT_EQ(Membership(c->change.Get(), "10", "300", rq::kMembershipRemove), S_OK);
    EXPECT_EQ(Membership(c->change.Get(), "", "300", rq::kMembershipClose), S_OK);
    EXPECT_EQ(Membership(c->change.Get(), "10", "300", rq::kMembershipRemove), sim::kNotFound);
    EXPECT_EQ(Membership(c->change.Get(), "", "300", rq::kMembershipClose), E_UNEXPECTED);  // nothing open
    EXPECT_EQ(StatusOf("10") & 0x2, 0u);
    EXPECT_EQ(StatusOf("100") & 0x2, 0x2u);
    {
        std::lock_guard lock(site->Mutex());
        server::ConstWORKGRPREC w(site->State().FindWorkgroup("300")->bytes.data(), 4300);
        ASSERT_EQ(w.MemberCount(), 1u);
        EXPECT_EQ(w.Member(0), "100");
    }
    EXPECT_EQ(Membership(c->change.Get(), "999", "300", rq::kMembershipAdd), sim::kNotFound);
    EXPECT_EQ(Membership(c->change.Get(), "10", "301", rq::kMembershipAdd), sim::kNotFound);
    EXPECT_EQ(Membership(c->change.Get(), "10", "300", 7), E_INVALIDARG);
    uint8_t shortBlock[47] = {};
    EXPECT_EQ(c->change->ChangeMembership(47, shortBlock), E_INVALIDARG);

    // ReplaceWorkgroup with another member list moves the bits; DeleteWorkgroup clears them.
    Bytes w;
    {
        std::lock_guard lock(site->Mutex());
        w = site->State().FindWorkgroup("300")->bytes;
    }
    server::WORKGRPREC(w.data(), w.size()).SetMember(0, "10");
    ASSERT_EQ(c->change->ReplaceWorkgroup(4300, w.data()), S_OK);
    EXPECT_EQ(StatusOf("10") & 0x2, 0x2u);
    EXPECT_EQ(StatusOf("100") & 0x2, 0u);
    EXPECT_EQ(c->change->ReplaceWorkgroup(4299, w.data()), E_INVALIDARG);
    uint8_t key[17] = "300";
    ASSERT_EQ(c->del->DeleteWorkgroup(17, key), S_OK);
    EXPECT_EQ(StatusOf("10") & 0x2, 0u);
    EXPECT_EQ(c->del->DeleteWorkgroup(17, key), sim::kNotFound);
}

TEST_F(Scenario, DeletingRemovesRecordAndItsData) {
    simtest::Add(*site, "100");
    simtest::Add(*site, "300", "group", {"100"});
    auto c = Connect();
    const uint8_t data[] = {1, 2, 3};
    ASSERT_EQ(c->okl->WriteExtData("100", 5, 3, data), S_OK);
    ASSERT_EQ(c->ona->WriteONAData("100", 3, data), S_OK);
    Bytes rec = ClientRecord("100"), out(2400);
    int32_t n = 2400;
    ASSERT_EQ(c->del->DeleteExtension(2400, rec.data(), &n, out.data()), S_OK);
    EXPECT_EQ(n, 2400);
    EXPECT_EQ(server::ConstExtRec(out.data(), 2400).ExtensionType(), server::exttype::kPhysical);  // as it was held
    int32_t size = -1;
    EXPECT_EQ(c->okl->QueryExtDataSize("100", &size), sim::kNotFound);
    n = 2400;
    EXPECT_EQ(c->del->DeleteExtension(2400, rec.data(), &n, out.data()), sim::kNotFound);
    Bytes pilot = ClientRecord("300");
    n = 2400;
    EXPECT_EQ(c->del->DeleteExtension(2400, pilot.data(), &n, out.data()), sim::kInUse);  // its group first
    n = 100;
    EXPECT_EQ(c->del->DeleteExtension(2400, pilot.data(), &n, out.data()), E_INVALIDARG);
}

TEST_F(Scenario, MethodFaultStrikesAfterTheGivenCalls) {
    simtest::Add(*site, "100");
    std::string error;
    ASSERT_TRUE(site->SetMethodFault("ResetExtension", sim::MethodFault{E_FAIL, 2, false}, error));
    ASSERT_TRUE(site->SetMethodFault("GetSystemConfig", sim::MethodFault{RPC_S_CALL_FAILED, 0, false}, error));
    auto c = Connect();
    uint8_t reply[1024];
    std::vector<HRESULT> results;
    for (int i = 0; i < 4; ++i) {
        int32_t n = sizeof reply;
        results.push_back(c->control->ResetExtension(3, reinterpret_cast<const uint8_t*>("100"), &n, reply));
    }
    EXPECT_EQ(results, (std::vector<HRESULT>{S_OK, S_OK, E_FAIL, E_FAIL}));
    uint8_t table[4096];
    int32_t n = sizeof table;
    EXPECT_EQ(c->get->GetSystemConfig(&n, table), RPC_S_CALL_FAILED);
    // Clearing a fault and setting it again starts its count afresh.
    ASSERT_TRUE(site->SetMethodFault("ResetExtension", sim::MethodFault{E_FAIL, 1, false}, error));
    n = sizeof reply;
    EXPECT_EQ(c->control->ResetExtension(3, reinterpret_cast<const uint8_t*>("100"), &n, reply), S_OK);
    EXPECT_FALSE(site->SetMethodFault("Method3", sim::MethodFault{}, error));
}

TEST_F(Scenario, AbsentAndEmptyInterfacesAnswerActivationDifferently) {
    site->State().faults.interfaces["IZentDeleteI"] = sim::InterfaceAnswer::Absent;
    site->State().faults.interfaces["IZentONAI"] = sim::InterfaceAnswer::Empty;
    auto c = simtest::Connect(site);
    EXPECT_EQ(c->hr, CO_S_NOTALLINTERFACES);
    EXPECT_EQ(c->results[4].hr, E_NOINTERFACE);
    EXPECT_FALSE(c->del);
    EXPECT_EQ(c->results[5].hr, S_OK);  // success with an empty reference
    EXPECT_FALSE(c->ona);
    EXPECT_TRUE(c->okl && c->get && c->change);

    ComPtr<sim::CSimServer> server(sim::CSimServer::Create(site));
    void* itf = nullptr;
    EXPECT_EQ(server->QueryInterface(IID_IZentDeleteI, &itf), E_NOINTERFACE);
    EXPECT_EQ(server->ActivationAnswer(IID_IZentONAI), sim::InterfaceAnswer::Empty);
    EXPECT_EQ(server->ActivationAnswer(IID_IZentGetI), sim::InterfaceAnswer::Present);
}

TEST_F(Scenario, MailboxShareAnswersZeroInUseOrRefused) {
    auto c = Connect();
    EXPECT_EQ(c->control->MailboxShare(1, "Tarn_ZentMailBox", "%ZentMailBox%", "operator"), 0);
    EXPECT_EQ(c->control->MailboxShare(1, "Tarn_ZentMailBox", "%ZentMailBox%", "Operator"), 0);
    EXPECT_EQ(c->control->MailboxShare(1, "Tarn_ZentMailBox", "%ZentMailBox%", "someone"), 170);
    {
        std::string error;
        auto reloaded = sim::Site::Open(site->Path(), error);
        ASSERT_TRUE(reloaded) << error;
        EXPECT_TRUE(reloaded->State().mailbox.open);
        EXPECT_EQ(reloaded->State().mailbox.account, "operator");
    }
    EXPECT_EQ(c->control->MailboxShare(0, "Tarn_ZentMailBox", "%ZentMailBox%", "operator"), 0);
    EXPECT_EQ(c->control->MailboxShare(2, "Tarn_ZentMailBox", "%ZentMailBox%", "operator"), E_INVALIDARG);
    site->State().mailbox.allowedAccounts = {"operator"};
    EXPECT_EQ(c->control->MailboxShare(1, "Tarn_ZentMailBox", "%ZentMailBox%", "someone"), 1326);
    site->State().faults.mailboxShareAnswer = 170;
    EXPECT_EQ(c->control->MailboxShare(1, "Tarn_ZentMailBox", "%ZentMailBox%", "operator"), 170);
}

TEST_F(Scenario, TieTrunkTableHasTenToTheNEntries) {
    auto c = Connect();
    int32_t n = 0;
    ASSERT_EQ(c->itg->GetLocationCodeLength(&n), S_OK);
    EXPECT_EQ(n, 2);
    Bytes table(100 * 520);
    int32_t size = int32_t(table.size());
    ASSERT_EQ(c->itg->GetITGTable(&size, table.data()), S_OK);
    ASSERT_EQ(size, 100 * 520);
    for (int v = 0; v < 100; ++v) EXPECT_EQ(table[std::size_t(size) * v / 100] != 0, v == 12) << v;
    size = 1000;
    EXPECT_EQ(c->itg->GetITGTable(&size, table.data()), E_OUTOFMEMORY);

    site->State().system.tieTrunk.reset();
    EXPECT_EQ(c->itg->GetLocationCodeLength(&n), E_FAIL);
    size = int32_t(table.size());
    EXPECT_EQ(c->itg->GetITGTable(&size, table.data()), E_FAIL);
}

TEST_F(Scenario, DataBlocksAndItemsTravelAsOpaqueBytes) {
    simtest::Add(*site, "205");
    auto c = Connect();
    Bytes block(6000);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i * 7);
    ASSERT_EQ(c->okl->WriteExtData("205", 42, int32_t(block.size()), block.data()), S_OK);
    EXPECT_EQ(c->okl->WriteExtData("999", 0, 1, block.data()), sim::kNotFound);
    int32_t size = 0;
    ASSERT_EQ(c->okl->QueryExtDataSize("205", &size), S_OK);
    EXPECT_EQ(size, 6000);
    ASSERT_EQ(c->okl->QueryExtBufferSize("205", &size), S_OK);
    EXPECT_EQ(size, 6000);
    Bytes back(6000);
    int32_t tag = 0;
    const int32_t want = 6000;
    ASSERT_EQ(c->okl->ReadExtData("205", &tag, &want, back.data()), S_OK);
    EXPECT_EQ(tag, 42);
    EXPECT_EQ(back, block);
    const int32_t tooSmall = 100;
    EXPECT_EQ(c->okl->ReadExtData("205", &tag, &tooSmall, back.data()), E_OUTOFMEMORY);

    const uint8_t item[] = {9, 8, 7, 6};
    ASSERT_EQ(c->okl->WriteItem(4, 205, 4, item), S_OK);
    ASSERT_EQ(c->okl->QueryItemSize(4, 205, &size), S_OK);
    EXPECT_EQ(size, 4);
    uint8_t itemBack[12] = {};
    size = sizeof itemBack;
    ASSERT_EQ(c->okl->ReadItem(4, 205, &size, itemBack), S_OK);
    EXPECT_EQ(size, 4);
    EXPECT_EQ(std::memcmp(itemBack, item, 4), 0);
    EXPECT_EQ(c->okl->QueryItemSize(4, 206, &size), sim::kNotFound);

    ASSERT_EQ(c->ona->WriteONAData("205", 4, item), S_OK);
    uint8_t ona[1024];
    size = sizeof ona;
    ASSERT_EQ(c->ona->ReadONAData("205", &size, ona), S_OK);
    EXPECT_EQ(size, 4);
    size = sizeof ona;
    EXPECT_EQ(c->ona->ReadONAData("206", &size, ona), sim::kNotFound);
}

TEST_F(Scenario, EveryOtherMethodIsNotImplemented) {
    auto c = Connect();
    uint8_t buf[64];
    int32_t n = sizeof buf;
    EXPECT_EQ(c->get->Method3(&n, buf), E_NOTIMPL);
    EXPECT_EQ(c->control->Method24(), E_NOTIMPL);
    n = sizeof buf;
    int32_t out = 0;
    char text[64];
    EXPECT_EQ(c->okl->Method53(text, &n, &out, buf), E_NOTIMPL);
    ComPtr<IZentDumpI> dump;
    MULTI_QI qi{&IID_IZentDumpI};
    ASSERT_EQ(sim::ActivateSite(site, &qi, 1), S_OK);
    simtest::Take(dump, qi.pItf);
    n = sizeof buf;
    EXPECT_EQ(dump->Method5(1, buf, &n, buf), E_NOTIMPL);
}

TEST_F(Scenario, StateSurvivesARestart) {
    simtest::Add(*site, "100");
    {
        auto c = Connect();
        Bytes pilot = ClientRecord("300", server::exttype::kWorkgroup);
        pilot[2000] = 0xAB;  // an unnamed byte
        ASSERT_EQ(c->change->AddExtension(2400, pilot.data()), S_OK);
        uint8_t create[rq::kWorkgroupCreateSize] = {'3', '0', '0'};
        ASSERT_EQ(c->change->AddWorkgroup(int32_t(sizeof create), create), S_OK);
        ASSERT_EQ(Membership(c->change.Get(), "100", "300", rq::kMembershipAdd), S_OK);
        const uint8_t data[] = {0, 1, 0, 2};
        ASSERT_EQ(c->okl->WriteExtData("100", -3, 4, data), S_OK);
        ASSERT_EQ(c->okl->WriteItem(4, 100, 4, data), S_OK);
        ASSERT_EQ(c->control->MailboxShare(1, "Tarn_ZentMailBox", "%ZentMailBox%", "op"), 0);
    }
    std::string error;
    auto restarted = sim::Site::Open(site->Path(), error);
    ASSERT_TRUE(restarted) << error;
    EXPECT_EQ(restarted->DumpText(), site->DumpText());
    HRESULT hr1, hr2;
    auto before = ExtensionList(simtest::Connect(site)->get.Get(), hr1);
    auto after = ExtensionList(simtest::Connect(restarted)->get.Get(), hr2);
    EXPECT_EQ(hr1, S_OK);
    EXPECT_EQ(before, after);
    EXPECT_EQ(after[2400 + 2000], 0xAB);
}

TEST_F(Scenario, AFailedSaveIsAFailureAndChangesNothing) {
    std::filesystem::create_directory(dir.file("gone"));
    auto doomed = simtest::MakeSite(dir, "gone/site.json");
    std::filesystem::remove_all(dir.file("gone"));
    auto c = simtest::Connect(doomed);
    Bytes rec = ClientRecord("100");
    EXPECT_EQ(c->change->AddExtension(2400, rec.data()), sim::kSaveFailed);
    EXPECT_NE(doomed->LastSaveError().find("gone/site.json"), std::string::npos);
    std::lock_guard lock(doomed->Mutex());
    EXPECT_FALSE(doomed->State().FindRecord("100"));
}

TEST_F(Scenario, ConcurrentClientsEachGetTheirChangesIn) {
    simtest::Add(*site, "300", "group");
    auto work = [&](int base) {
        auto c = simtest::Connect(site);
        for (int i = 0; i < 20; ++i) {
            Bytes rec = ClientRecord(std::to_string(base + i));
            EXPECT_EQ(c->change->AddExtension(2400, rec.data()), S_OK);
            EXPECT_EQ(Membership(c->change.Get(), std::to_string(base + i), "300", rq::kMembershipAdd), S_OK);
            EXPECT_EQ(Membership(c->change.Get(), "", "300", rq::kMembershipClose), E_FAIL);  // pairs are per client
        }
    };
    std::thread a(work, 100), b(work, 200);
    a.join();
    b.join();
    std::lock_guard lock(site->Mutex());
    EXPECT_EQ(site->State().Records().size(), 41u);
    EXPECT_EQ(server::ConstWORKGRPREC(site->State().FindWorkgroup("300")->bytes.data(), 4300).MemberCount(), 40u);
}

TEST_F(Scenario, HostedSiteIsActivatedByMachineName) {
    site->State().faults.interfaces["IZentOKLInterface"] = sim::InterfaceAnswer::Absent;
    sim::HostSite("127.0.0.2", site);
    MULTI_QI qi[2] = {{&IID_IZentGetI}, {&IID_IZentOKLInterface}};
    ASSERT_EQ(CoCreateInstanceEx(CLSID_ZentServer, "127.0.0.2", qi, 2), CO_S_NOTALLINTERFACES);
    EXPECT_EQ(qi[1].hr, E_NOINTERFACE);
    ComPtr<IZentGetI> get;
    simtest::Take(get, qi[0].pItf);
    uint8_t table[4096];
    int32_t n = sizeof table;
    EXPECT_EQ(get->GetSystemConfig(&n, table), S_OK);
    MULTI_QI other{&IID_IZentGetI};
    EXPECT_EQ(CoCreateInstanceEx(IID_IZentGetI, "127.0.0.2", &other, 1), REGDB_E_CLASSNOTREG);
    sim::UnhostSite("127.0.0.2");
    EXPECT_TRUE(FAILED(CoCreateInstanceEx(CLSID_ZentServer, "127.0.0.2", &other, 1)));
}

TEST(SimServerDirect, BadArgumentsAreFailuresNotCrashes) {
    auto site = std::make_shared<sim::Site>(sim::SiteState{});
    site->State().system.recordLength = 2400;
    ComPtr<sim::CSimServer> s(sim::CSimServer::Create(site));
    int32_t n = -5;
    uint8_t buf[16];
    EXPECT_EQ(s->GetExtensionList(nullptr, buf), E_POINTER);
    EXPECT_EQ(s->GetExtensionList(&n, buf), E_INVALIDARG);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(s->AddExtension(2400, nullptr), E_POINTER);
    EXPECT_EQ(s->WriteExtData(nullptr, 0, 4, buf), E_INVALIDARG);
    EXPECT_EQ(s->WriteItem(4, 1, -1, buf), E_INVALIDARG);
    EXPECT_EQ(s->WriteItem(4, 1, 4, nullptr), E_INVALIDARG);
    EXPECT_EQ(s->QueryExtDataSize("12345678901234567890", &n), E_INVALIDARG);
    EXPECT_EQ(s->MailboxShare(1, nullptr, "", ""), E_POINTER);
    EXPECT_EQ(s->ResetExtension(0, buf, &n, buf), E_INVALIDARG);
}

}  // namespace
