// Relocating an extension between simulated sites: what the new home's server holds afterwards.
// North is the old home (the source), South the new one (the destination).
#include <algorithm>
#include <cstring>

#include "support/HostedSites.h"

namespace {

using server::ConstExtRec;
namespace extrec = server::extrec;

class Relocate : public HostedSites {
protected:
    // Extension 100 physical on North, a forwarding copy on South; both loaded.
    void TwoSites(uint16_t southVersion = 0x0480, uint16_t northVersion = 0x0480) {
        north = &Site("North", 2400, northVersion);
        south = &Site("South", 2400, southVersion);
        Add(*north, Ext("100"));
        sim::NewExtension copy = Ext("100", "virtual");
        copy.forwarding = true;
        copy.fwdDial = "8100";
        Add(*south, copy);
    }
    void LoadBoth() {
        Load(*north);
        Load(*south);
    }
    bool Move(const std::string& number = "100", bool mailbox = false) {
        return south->conn->RelocateExt(number, north->conn.get(), mailbox);
    }
    static void SetU32(sim::SiteState& s, const std::string& number, size_t offset, uint32_t v) {
        auto& bytes = const_cast<sim::Bytes&>(s.FindRecord(number)->bytes);
        server::ExtRec(bytes.data(), bytes.size()).SetU32(offset, v);
    }
    static std::vector<std::string> Members(const std::vector<uint8_t>& group) {
        server::ConstWORKGRPREC w(group.data(), group.size());
        std::vector<std::string> out;
        for (size_t i = 0; i < w.MemberCount(); ++i) out.emplace_back(w.Member(i));
        return out;
    }

    Hosted* north = nullptr;
    Hosted* south = nullptr;
};

TEST_F(Relocate, TheRecordTakesOverTheOldHomesSettingsAndStopsForwardingInOneRequest) {
    TwoSites();
    Edit(*north, [](sim::SiteState& s) {
        auto& bytes = const_cast<sim::Bytes&>(s.FindRecord("100")->bytes);
        server::ExtRec r(bytes.data(), bytes.size());
        r.SetText({1442, 33}, "Front desk");   // the description
        r.SetU16(extrec::kOutCallWindowBegin, 800);
        r.SetU8(extrec::kInterCallDelay, 7);
        r.SetU32(1972, 0xABCD);                // a range of version 4.8
        r.SetExtName("Other");                  // names are not taken over
    });
    LoadBoth();
    const std::vector<uint8_t> source = Held(*north, "100");
    const std::vector<uint8_t> before = Held(*south, "100");

    ASSERT_TRUE(Move()) << south->conn->GetLastError();
    const std::vector<uint8_t> after = Held(*south, "100");
    const ConstExtRec r(after.data(), after.size()), was(before.data(), before.size());
    EXPECT_EQ(r.ExtPassword(), ConstExtRec(source.data(), source.size()).ExtPassword());
    EXPECT_EQ(r.Text({1442, 33}), "Front desk");
    EXPECT_EQ(r.U16(extrec::kOutCallWindowBegin), 800);
    EXPECT_EQ(r.U8(extrec::kInterCallDelay), 7);
    EXPECT_EQ(r.U32(1972), 0xABCDu);
    EXPECT_EQ(r.ExtName(), was.ExtName());
    EXPECT_EQ(r.ExtensionType(), was.ExtensionType());
    // The copy became the extension: it forwards no more.
    EXPECT_EQ(r.FwdDialString(), "");
    EXPECT_EQ(r.ForwardTarget(), extrec::kForwardStopped);
    EXPECT_EQ(r.ExtStatusFlagBank() & extrec::kStatusForwards, 0u);
    EXPECT_EQ(r.ExtFeatureFlagBank() & (extrec::kFeatureFwd10000 | extrec::kFeatureFwd40000), 0u);
    EXPECT_EQ(Count(*south, "ReplaceExtension"), 1);
    // The connection holds what the server got.
    EXPECT_EQ(std::memcmp(south->conn->FindExtRec("100").data(), after.data(), after.size()), 0);
    EXPECT_EQ(south->conn->GetLastError(), "");
}

// Every range the new home takes over whole (the flag words are merged bit by bit, below), the 480
// bytes at 592 among them, and the old home's ONA block arrive.
TEST_F(Relocate, EveryRangeAndTheOnaBlockArrive) {
    constexpr std::pair<size_t, size_t> kRanges[] = {
        {33, 13},    {112, 65},   {210, 66},   {276, 66},   {342, 28},   {391, 17},   {412, 4},    {434, 1},
        {435, 1},    {436, 1},    {440, 28},   {468, 28},   {580, 12},   {592, 480},  {1072, 4},   {1076, 2},
        {1080, 4},   {1084, 4},   {1088, 2},   {1090, 8},   {1098, 1},   {1099, 3},   {1102, 84},  {1186, 1},
        {1187, 2},   {1189, 2},   {1193, 17},  {1210, 1},   {1277, 1},   {1280, 4},   {1412, 4},   {1416, 4},
        {1420, 20},  {1440, 1},   {1441, 1},   {1442, 33},  {1475, 17},  {1492, 4},   {1496, 64},  {1560, 272},
        {1972, 4}};
    TwoSites();
    EditRecord(*north, "100", [&](server::ExtRec r) {
        for (const auto& [offset, length] : kRanges)
            for (size_t i = 0; i < length; ++i) r.SetU8(offset + i, uint8_t(0xA0 + (offset + i) % 0x50));
    });
    Edit(*north, [](sim::SiteState& s) { s.onaData["100"] = sim::Bytes{4, 5, 6}; });
    LoadBoth();
    const std::vector<uint8_t> source = Held(*north, "100"), before = Held(*south, "100");
    auto part = [](const std::vector<uint8_t>& r, size_t offset, size_t length) {
        return std::vector<uint8_t>(r.begin() + std::ptrdiff_t(offset), r.begin() + std::ptrdiff_t(offset + length));
    };
    for (const auto& [offset, length] : kRanges) ASSERT_NE(part(before, offset, length), part(source, offset, length));

    ASSERT_TRUE(Move()) << south->conn->GetLastError();
    const std::vector<uint8_t> after = Held(*south, "100");
    for (const auto& [offset, length] : kRanges)
        EXPECT_EQ(part(after, offset, length), part(source, offset, length)) << "range at " << offset;
    std::lock_guard lock(south->site->Mutex());
    EXPECT_EQ(south->site->State().onaData.at("100"), (sim::Bytes{4, 5, 6}));
}

TEST_F(Relocate, TheFlagWordsAreMergedBitByBit) {
    TwoSites();
    Edit(*north, [](sim::SiteState& s) {
        SetU32(s, "100", extrec::kExtStatusFlagBank, 0xFFFFFFFF);
        SetU32(s, "100", extrec::kExtFeatureFlagBank, 0);
    });
    Edit(*south, [](sim::SiteState& s) {
        SetU32(s, "100", extrec::kExtStatusFlagBank, 0);
        SetU32(s, "100", extrec::kExtFeatureFlagBank, 0xFFFFFFFF);
    });
    LoadBoth();
    ASSERT_TRUE(Move());
    // As sent (the server keeps its own member bit in step with the workgroups).
    const ConstExtRec r = south->conn->FindExtRec("100");
    EXPECT_EQ(r.ExtStatusFlagBank(), 0x03317804u);
    EXPECT_EQ(r.ExtFeatureFlagBank(), 0x2u | 0x100u | 0x10000u | 0x20000u | 0x40000u | 0x80000u);
}

TEST_F(Relocate, TheReplaceRequestIsTheRecordPairWhateverTheDataBlockSize) {
    TwoSites();
    Edit(*north, [](sim::SiteState& s) { s.extData["100"] = sim::ExtData{42, sim::Bytes(6000, 0x5A)}; });
    LoadBoth();
    ASSERT_TRUE(Move()) << south->conn->GetLastError();
    // The server takes a replace request of 2L + 4 = 4804 bytes only; the block arrives whole.
    std::lock_guard lock(south->site->Mutex());
    const auto it = south->site->State().extData.find("100");
    ASSERT_NE(it, south->site->State().extData.end());
    EXPECT_EQ(it->second.tag, 42);
    EXPECT_EQ(it->second.bytes, sim::Bytes(6000, 0x5A));
}

TEST_F(Relocate, AWorkgroupTakesTheOldHomesMembers) {
    north = &Site("North");
    south = &Site("South");
    for (const char* n : {"201", "202", "203"}) {
        Add(*north, Ext(n));
        Add(*south, Ext(n, "virtual"));
    }
    Add(*north, Ext("600", "group"), {"202", "203"});
    Add(*south, Ext("600", "group"), {"201", "202"});
    LoadBoth();
    ASSERT_TRUE(Move("600")) << south->conn->GetLastError();
    EXPECT_EQ(Count(*south, "ReplaceWorkgroup"), 1);
    EXPECT_EQ(Count(*south, "ChangeMembership"), 8);  // out: 201, 202; in: 202, 203; a pair each
    EXPECT_EQ(Members(std::vector<uint8_t>(south->conn->FindGroupRec("600").data(),
                                           south->conn->FindGroupRec("600").data() + 4300)),
              (std::vector<std::string>{"202", "203"}));
    std::vector<std::string> onServer = Members(HeldGroup(*south, "600"));
    std::sort(onServer.begin(), onServer.end());
    EXPECT_EQ(onServer, (std::vector<std::string>{"202", "203"}));
}

TEST_F(Relocate, ARefusedRewriteSendsNothingElseAndLeavesTheNewHomeAsItWas) {
    north = &Site("North");
    south = &Site("South");
    Add(*north, Ext("202"));
    Add(*south, Ext("202", "virtual"));
    Add(*north, Ext("600", "group"), {"202"});
    Add(*south, Ext("600", "group"));
    Edit(*north, [](sim::SiteState& s) {
        s.extData["600"] = sim::ExtData{1, sim::Bytes(10, 1)};
        s.onaData["600"] = sim::Bytes(5, 2);
        s.items[{4, 600}] = sim::Bytes{3, 3};
    });
    LoadBoth();
    const std::vector<uint8_t> record = Held(*south, "600"), group = HeldGroup(*south, "600");
    Fault(*south, "ReplaceExtension", com::E_FAIL);
    EXPECT_FALSE(Move("600", true));
    EXPECT_EQ(south->conn->GetLastError(), "Failed to call ReplaceExtension for extension 600(0x80004005).\n");
    EXPECT_EQ(Count(*south, "ReplaceWorkgroup") + Count(*south, "ChangeMembership"), 0);
    EXPECT_EQ(Count(*south, "WriteExtData") + Count(*south, "WriteItem") + Count(*south, "WriteONAData"), 0);
    EXPECT_EQ(Held(*south, "600"), record);
    EXPECT_EQ(HeldGroup(*south, "600"), group);
}

// What did not arrive after the record moved: one warning line per block, naming it; the
// relocation itself succeeded (the record is the extension now).
TEST_F(Relocate, BlocksThatDidNotArriveAreWarningsEach) {
    TwoSites();
    Edit(*north, [](sim::SiteState& s) {
        s.extData["100"] = sim::ExtData{1, sim::Bytes(10, 1)};
        s.onaData["100"] = sim::Bytes(5, 2);
        s.items[{4, 100}] = sim::Bytes{3, 3};
    });
    LoadBoth();
    Fault(*south, "WriteExtData", com::E_FAIL);
    Fault(*south, "WriteONAData", com::MakeHr(0x80070005));
    Fault(*south, "WriteItem", com::E_FAIL);
    EXPECT_TRUE(Move("100"));
    EXPECT_EQ(south->conn->GetLastError(),
              "Warning: The data block of extension 100 was not copied from North to South (0x80004005).\n"
              "Warning: The item of extension 100 was not copied from North to South (0x80004005).\n"
              "Warning: The ONA data of extension 100 was not copied from North to South (0x80070005).");
    EXPECT_EQ(south->site->State().extData.count("100") + south->site->State().onaData.count("100"), 0u);

    // Nothing to carry is no warning: no block on the old home.
    Edit(*north, [](sim::SiteState& s) {
        s.extData.clear();
        s.onaData.clear();
        s.items.clear();
    });
    EXPECT_TRUE(Move("100"));
    EXPECT_EQ(south->conn->GetLastError(), "");
}

TEST_F(Relocate, AShorterWorkgroupRecordIsMergedWithinItsLength) {
    north = &Site("North");
    south = &Site("South");
    Add(*north, Ext("600", "group"));
    for (const char* g : {"600", "700"}) Add(*south, Ext(g, "group"));
    Edit(*south, [](sim::SiteState& s) { s.faults.workgroupRecordLength = 3800; });
    LoadBoth();
    const server::ConstWORKGRPREC next = south->conn->FindGroupRec("700");
    ASSERT_EQ(next.size(), 3800u);
    const std::vector<uint8_t> before(next.data(), next.data() + next.size());
    ASSERT_TRUE(Move("600")) << south->conn->GetLastError();
    // The record behind 600's in the list buffer is untouched.
    const server::ConstWORKGRPREC after = south->conn->FindGroupRec("700");
    EXPECT_EQ(after.GroupNumber(), "700");
    EXPECT_EQ(std::vector<uint8_t>(after.data(), after.data() + after.size()), before);
}

TEST_F(Relocate, ItemsMoveOnlyBetweenEqualVersionsUnderTheirDecimalKey) {
    TwoSites();
    Add(*north, Ext("0205"));
    Add(*south, Ext("0205", "virtual"));
    Edit(*north, [](sim::SiteState& s) { s.items[{4, 205}] = sim::Bytes{1, 2, 3}; });
    LoadBoth();
    ASSERT_TRUE(Move("0205"));
    {
        std::lock_guard lock(south->site->Mutex());
        const auto it = south->site->State().items.find({4, 205});
        ASSERT_NE(it, south->site->State().items.end());
        EXPECT_EQ(it->second, (sim::Bytes{1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0}));  // with its 8 more bytes
    }
}

TEST_F(Relocate, OtherVersionsMoveNoItemAndKeepTheDestinationsVersionBlocks) {
    TwoSites(0x0480, 0x0470);
    Add(*north, Ext("600", "group"));
    Add(*south, Ext("600", "group"));
    Edit(*north, [](sim::SiteState& s) {
        s.items[{4, 100}] = sim::Bytes{9};
        auto& g = const_cast<sim::Bytes&>(s.FindWorkgroup("600")->bytes);
        server::WORKGRPREC(g.data(), g.size()).SetU32(4200, 0x1234);
        SetU32(s, "100", 1972, 0x5678);
    });
    LoadBoth();
    ASSERT_TRUE(Move());
    ASSERT_TRUE(Move("600"));
    EXPECT_EQ(Count(*north, "QueryItemSize"), 0);
    EXPECT_EQ(server::ConstWORKGRPREC(HeldGroup(*south, "600").data(), 4300).U32(4200), 0u);
    EXPECT_EQ(ConstExtRec(Held(*south, "100").data(), 2400).U32(1972), 0u);
}

TEST_F(Relocate, ItemsAreLeftAloneWhenTheOldHomeHasNothingOrTheKeyIsNoNumber) {
    TwoSites();
    Add(*north, Ext("20A"));
    Add(*south, Ext("20A", "virtual"));
    Edit(*south, [](sim::SiteState& s) {
        s.items[{4, 100}] = sim::Bytes{7, 7};
        s.items[{4, 20}] = sim::Bytes{8, 8};
    });
    Edit(*north, [](sim::SiteState& s) {
        s.items[{4, 100}] = sim::Bytes{};  // nothing to carry
        s.items[{4, 20}] = sim::Bytes{1};  // another extension's item
    });
    LoadBoth();
    ASSERT_TRUE(Move());       // an empty item is not written over the new home's
    ASSERT_TRUE(Move("20A"));  // "20A" is no key (not item 20)
    EXPECT_EQ(Count(*south, "WriteItem"), 0);
    std::lock_guard lock(south->site->Mutex());
    EXPECT_EQ(south->site->State().items.at({4, 100}), (sim::Bytes{7, 7}));
    EXPECT_EQ(south->site->State().items.at({4, 20}), (sim::Bytes{8, 8}));
}

TEST_F(Relocate, VoiceMailIsAStepOfTheNewerVersionOnly) {
    // 4.6 never copies a mailbox; 4.8 tries, and says why it did not (the shares were not checked).
    TwoSites(0x0460, 0x0460);
    LoadBoth();
    ASSERT_TRUE(Move("100", true));
    EXPECT_EQ(south->conn->GetLastError(), "");

    TearDown();
    hosted.clear();
    TwoSites(0x0480, 0x0480);
    LoadBoth();
    ASSERT_TRUE(Move("100", true));
    EXPECT_EQ(south->conn->GetLastError(),
              "Warning: The mailbox of extension 100 was not copied from North to South: the mailbox shares were not "
              "checked when the sites were downloaded (voice mail relocation was off then)");
}

TEST_F(Relocate, WithoutTheRecordNothingIsSent) {
    TwoSites();
    LoadBoth();
    EXPECT_FALSE(Move("999"));
    EXPECT_EQ(south->conn->GetLastError(), "Failed to find the extension record.\n");
    EXPECT_TRUE(Calls(*south).empty());
}

}  // namespace
