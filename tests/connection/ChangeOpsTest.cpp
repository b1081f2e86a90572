// The connection's change operations against simulated sites: what each sends, what the server
// then holds, and what the connection keeps when the server refuses.
#include <cstring>

#include "server/WorkgrpRec.h"
#include "support/HostedSites.h"

namespace {

using server::ConstExtRec;
using server::ExtSummary;
using server::FieldText;
using server::StoreFieldText;
namespace extrec = server::extrec;

class ChangeOps : public HostedSites {
protected:
    // The site with the group 600 of 201 and 202, loaded.
    server::CZentServ& LoadGroup600(Hosted& site) {
        Add(site, Ext("201"));
        Add(site, Ext("202"));
        Add(site, Ext("600", "group"), {"201", "202"});
        return Load(site);
    }
    // A forwarding copy of `number` as synchronisation hands it to AddExt.
    static ExtSummary Copy(const std::string& number, const std::string& dial, const std::string& mail,
                           uint8_t type = server::exttype::kVirtual) {
        ExtSummary s{};
        s.ExtensionType = type;
        StoreFieldText(s.ExtensionNumber, number);
        StoreFieldText(s.ExtFirstName, "Ann");
        StoreFieldText(s.ExtName, "Lee");
        StoreFieldText(s.EMailName, "ann");
        StoreFieldText(s.ExtPassword, "ABcdefghijkl");
        StoreFieldText(s.HomeServer, "North");
        StoreFieldText(s.FwdDialString, dial);
        StoreFieldText(s.FwdEmailAddr, mail);
        return s;
    }
};

TEST_F(ChangeOps, AForwardingCopyIsMadeAsTheHomeRecordAndTheSummarySay) {
    Hosted& north = Site("North");
    Hosted& south = Site("South");
    sim::NewExtension home = Ext("100");
    Add(north, home);
    {
        // Bits a copy takes over from its home record.
        std::lock_guard lock(north.site->Mutex());
        auto& bytes = const_cast<sim::Bytes&>(north.site->State().FindRecord("100")->bytes);
        server::ExtRec r(bytes.data(), bytes.size());
        r.SetBits(extrec::kExtStatusFlagBank, extrec::kStatusMatchBit, true);
        r.SetBits(extrec::kExtFeatureFlagBank, extrec::kFeatureHomeBit, true);
        r.SetU32(extrec::kHomeWord412, 0x1234);
    }
    Add(south, Ext("200"));
    server::CZentServ& n = Load(north);
    server::CZentServ& s = Load(south);

    const ExtSummary copy = Copy("100", "812345678901234567890", "ann@north.example");
    ASSERT_TRUE(s.AddExt(&copy, &n)) << s.GetLastError();
    EXPECT_EQ(Calls(south), (std::vector<std::string>{"AddExtension"}));

    const std::vector<uint8_t> held = Held(south, "100");
    ASSERT_EQ(held.size(), 2400u);
    ConstExtRec r(held.data(), held.size());
    EXPECT_EQ(r.ExtensionType(), server::exttype::kVirtual);
    EXPECT_EQ(r.ConfiguredLineType(), 0x43);
    EXPECT_EQ(r.RecordVersion(), 0x0480);
    EXPECT_EQ(r.RecordSize(), 2400);
    EXPECT_EQ(r.ExtFirstName(), "Ann");
    EXPECT_EQ(r.EMailName(), "ann");
    EXPECT_EQ(r.ExtPassword(), "ABcdefghijkl");
    EXPECT_EQ(r.Text(extrec::kNumberCopy), "100");
    EXPECT_EQ(r.FwdDialString(), "8123456789012345678");  // 19 of the 21 characters
    EXPECT_EQ(r.FwdEmailAddr(), "ann@north.example");
    EXPECT_EQ(r.ExtFeatureFlagBank(), 0x608u | 0x20050004u | 0x1u);
    EXPECT_EQ(r.ExtStatusFlagBank(), 0x80u | 0x200000u);
    EXPECT_EQ(r.ForwardTarget(), 7u);
    EXPECT_EQ(r.FwdMailOptions(), 0);
    EXPECT_EQ(r.U32(extrec::kHomeWord412), 0x1234u);
    EXPECT_EQ(r.U32(440), 3u);
    EXPECT_EQ(r.U32(468), 3u);
    EXPECT_EQ(r.U16(1076), 100);
    EXPECT_EQ(r.U32(1084), 50000u);
    EXPECT_EQ(r.U32(1376), 0xFFu);
    EXPECT_EQ(r.U8(1210), 10);
    for (size_t off : {429, 430, 431, 1090, 1091, 2261, 2262, 2263}) EXPECT_EQ(r.U8(off), 0xFF) << off;
    EXPECT_EQ(r.U8(428), 0);

    // The connection keeps what the server holds, behind the record it loaded (spare capacity of
    // the list buffer), and the summary it was given.
    ConstExtRec kept = s.FindExtRec("100");
    ASSERT_TRUE(kept);
    EXPECT_EQ(std::memcmp(kept.data(), held.data(), held.size()), 0);
    EXPECT_EQ(kept.data(), s.FindExtRec("200").data() + 2400);
    EXPECT_EQ(std::memcmp(s.FindExt("100"), &copy, sizeof copy), 0);
    EXPECT_EQ(s.GetLastError(), "Add extension 100 successfully.\n");
}

TEST_F(ChangeOps, AnEmptyMailNameStaysEmptyAndAGroupGetsItsWorkgroup) {
    Hosted& north = Site("North");
    Hosted& south = Site("South");
    Add(north, Ext("100"));
    Add(north, Ext("600", "group"), {"100"});
    server::CZentServ& n = Load(north);
    server::CZentServ& s = Load(south);

    ExtSummary plain = Copy("100", "8100", "");
    StoreFieldText(plain.EMailName, "");
    ASSERT_TRUE(s.AddExt(&plain, &n));
    EXPECT_EQ(ConstExtRec(Held(south, "100").data(), 2400).EMailName(), "");

    south.site->ClearCalls();
    const ExtSummary group = Copy("600", "8600", "ann@north.example", server::exttype::kWorkgroup);
    ASSERT_TRUE(s.AddExt(&group, &n)) << s.GetLastError();
    EXPECT_EQ(Calls(south), (std::vector<std::string>{"AddExtension", "AddWorkgroup"}));
    const std::vector<uint8_t> pilot = Held(south, "600");
    EXPECT_EQ(ConstExtRec(pilot.data(), pilot.size()).ExtensionType(), server::exttype::kWorkgroup);
    EXPECT_TRUE(ConstExtRec(pilot.data(), pilot.size()).ExtFeatureFlagBank() & extrec::kFeatureGroup);
    EXPECT_TRUE(HasGroup(south, "600"));
    EXPECT_EQ(s.FindGroupRec("600").GroupNumber(), "600");
    EXPECT_EQ(s.GetLastError(), "Add group 600 successfully.\n");
}

TEST_F(ChangeOps, AddingIsRefusedOrFailsWithoutLeavingAnythingHeld) {
    Hosted& north = Site("North");
    Hosted& south = Site("South");
    Add(north, Ext("812"));
    Add(north, Ext("100"));
    Add(north, Ext("600", "group"));
    server::CZentServ& n = Load(north);
    server::CZentServ& s = Load(south);

    // A first digit that starts an access code on this site: nothing is sent.
    const ExtSummary access = Copy("812", "8812", "");
    EXPECT_FALSE(s.AddExt(&access, &n));
    EXPECT_EQ(s.GetLastError(), "First digit not in extension dial plan.\n");
    EXPECT_TRUE(Calls(south).empty());
    // The home must hold the record it is the home of.
    const ExtSummary stranger = Copy("300", "8300", "");
    EXPECT_FALSE(s.AddExt(&stranger, &n));
    EXPECT_TRUE(Calls(south).empty());

    Fault(south, "AddExtension", com::E_FAIL);
    const ExtSummary copy = Copy("100", "8100", "");
    EXPECT_FALSE(s.AddExt(&copy, &n));
    EXPECT_EQ(s.GetLastError(), "Failed to call AddExtension for extension 100(0x80004005).\n");
    EXPECT_FALSE(s.FindExtRec("100"));
    EXPECT_EQ(s.FindExt("100"), nullptr);

    // A pilot whose workgroup the server refuses stays added and held, without a workgroup.
    std::string error;
    ASSERT_TRUE(south.site->SetMethodFault("AddExtension", std::nullopt, error));
    Fault(south, "AddWorkgroup", com::E_FAIL);
    const ExtSummary group = Copy("600", "8600", "", server::exttype::kWorkgroup);
    EXPECT_FALSE(s.AddExt(&group, &n));
    EXPECT_EQ(s.GetLastError(), "Failed to call AddWorkgroup for extension 600(0x80004005).\n");
    EXPECT_TRUE(s.FindExtRec("600"));
    EXPECT_FALSE(s.FindGroupRec("600"));
    EXPECT_EQ(s.FindExt("600"), nullptr);

    // A reset the server refuses (asked for when its answer did not carry the record) is only a
    // warning.
    Edit(south, [](sim::SiteState& st) { st.faults.addReplyBlank = true; });
    Fault(south, "ResetExtension", com::E_FAIL);
    EXPECT_TRUE(s.AddExt(&copy, &n));
    EXPECT_EQ(s.GetLastError(), "Warning: Failed to reset new extension 100.\n");
}

// What the server answers to an add is the record it holds, which need not be the one sent: the
// connection keeps that and asks nothing more. An answer without the record leaves the connection
// with what it sent, and the new extension is reset.
TEST_F(ChangeOps, TheServersAnswerIsTheRecordKept) {
    Hosted& north = Site("North");
    Hosted& south = Site("South");
    Add(north, Ext("100"));
    Add(north, Ext("102"));
    // South's group 600 lists 100 before South has it: the server marks the new record a member.
    Add(south, Ext("101"));
    Add(south, Ext("600", "group"), {"101"});
    Edit(south, [](sim::SiteState& st) {
        sim::Bytes w = st.FindWorkgroup("600")->bytes;
        server::WORKGRPREC(w.data(), w.size()).SetMember(0, "100");
        ASSERT_TRUE(st.ReplaceWorkgroup(std::move(w), nullptr));
    });
    server::CZentServ& n = Load(north);
    server::CZentServ& s = Load(south);

    const ExtSummary copy = Copy("100", "8100", "ann@north.example");
    ASSERT_TRUE(s.AddExt(&copy, &n)) << s.GetLastError();
    EXPECT_EQ(Calls(south), (std::vector<std::string>{"AddExtension"}));
    const std::vector<uint8_t> held = Held(south, "100");
    ASSERT_EQ(held.size(), 2400u);
    EXPECT_TRUE(ConstExtRec(held.data(), held.size()).ExtStatusFlagBank() & extrec::kStatusGroupMember);
    EXPECT_EQ(std::memcmp(s.FindExtRec("100").data(), held.data(), held.size()), 0);

    south.site->ClearCalls();
    Edit(south, [](sim::SiteState& st) { st.faults.addReplyBlank = true; });
    const ExtSummary other = Copy("102", "8102", "ann@north.example");
    ASSERT_TRUE(s.AddExt(&other, &n)) << s.GetLastError();
    EXPECT_EQ(Calls(south), (std::vector<std::string>{"AddExtension", "ResetExtension"}));
    const std::vector<uint8_t> sent = Held(south, "102");
    ASSERT_EQ(sent.size(), 2400u);
    EXPECT_EQ(std::memcmp(s.FindExtRec("102").data(), sent.data(), sent.size()), 0);
    EXPECT_EQ(s.FindExtRec("102").ExtensionNumber(), "102");
}

TEST_F(ChangeOps, RecordsOfOtherLengthsAreWrittenOnlyInsideThem) {
    Hosted& north = Site("North", 1300);
    Hosted& south = Site("South", 1300);
    Add(north, Ext("100"));
    server::CZentServ& n = Load(north);
    server::CZentServ& s = Load(south);
    const ExtSummary copy = Copy("100", "8100", "ann@north.example");
    ASSERT_TRUE(s.AddExt(&copy, &n)) << s.GetLastError();
    const std::vector<uint8_t> held = Held(south, "100");
    ASSERT_EQ(held.size(), 1300u);
    EXPECT_EQ(ConstExtRec(held.data(), held.size()).FwdEmailAddr(), "ann@north.example");
    EXPECT_EQ(ConstExtRec(held.data(), held.size()).RecordSize(), 1300);

    // Too short for the fields of a copy: refused with the reason, nothing sent.
    Hosted& east = Site("East", 1000);
    server::CZentServ& e = Load(east);
    EXPECT_FALSE(e.AddExt(&copy, &n));
    EXPECT_NE(e.GetLastError().find("1000 bytes long"), std::string::npos) << e.GetLastError();
    EXPECT_TRUE(Calls(east).empty());
}

TEST_F(ChangeOps, ReplacingRewritesACopyOrMakesItTheSitesOwnAgain) {
    Hosted& north = Site("North");
    Hosted& south = Site("South");
    Add(north, Ext("100"));
    Add(south, ForwardingCopy("100", "9100", "old@elsewhere"));
    server::CZentServ& n = Load(north);
    server::CZentServ& s = Load(south);
    const std::vector<uint8_t> before = Held(south, "100");

    // From another site: forwarding values and password from the summary, names kept.
    ExtSummary rewrite = *s.FindExt("100");
    StoreFieldText(rewrite.FwdDialString, "8100");
    StoreFieldText(rewrite.FwdEmailAddr, "ann@north.example");
    StoreFieldText(rewrite.ExtPassword, "ZZcdefghijkl");
    StoreFieldText(rewrite.ExtFirstName, "Other");
    ASSERT_TRUE(s.ReplaceExt(&rewrite, &n)) << s.GetLastError();
    EXPECT_EQ(Calls(south), std::vector<std::string>{"ReplaceExtension"});
    std::vector<uint8_t> held = Held(south, "100");
    ConstExtRec r(held.data(), held.size());
    EXPECT_EQ(r.FwdDialString(), "8100");
    EXPECT_EQ(r.FwdEmailAddr(), "ann@north.example");
    EXPECT_EQ(r.ExtPassword(), "ZZcdefghijkl");
    EXPECT_EQ(r.ExtFirstName(), ConstExtRec(before.data(), before.size()).ExtFirstName());
    EXPECT_EQ(std::memcmp(s.FindExtRec("100").data(), held.data(), held.size()), 0);
    EXPECT_EQ(s.GetLastError(), "Modify extension 100 successfully.\n");

    // Its own source and its own name as home: sent with both halves equal, nothing changes.
    south.site->ClearCalls();
    ExtSummary same = *s.FindExt("100");
    StoreFieldText(same.HomeServer, "South");
    ASSERT_TRUE(s.ReplaceExt(&same, &s));
    EXPECT_EQ(Calls(south), std::vector<std::string>{"ReplaceExtension"});
    EXPECT_EQ(Held(south, "100"), held);

    // Its own source with another home: the copy stops forwarding.
    StoreFieldText(same.HomeServer, "North");
    ASSERT_TRUE(s.ReplaceExt(&same, &s));
    held = Held(south, "100");
    ConstExtRec own(held.data(), held.size());
    EXPECT_EQ(own.ExtStatusFlagBank() & extrec::kStatusForwards, 0u);
    EXPECT_EQ(own.ForwardTarget(), 10u);
    EXPECT_EQ(own.FwdDialString(), "");
    EXPECT_EQ(own.U8(extrec::kFwdDialClearMark), 0xFF);
    EXPECT_EQ(own.ExtFeatureFlagBank() & 0x50000u, 0u);
    EXPECT_EQ(own.FwdMailOptions(), 1);

    // Anything but S_OK fails and leaves the held record as it was.
    Fault(south, "ReplaceExtension", com::MakeHr(1));
    EXPECT_FALSE(s.ReplaceExt(&rewrite, &n));
    EXPECT_EQ(s.GetLastError(), "Failed to call ReplaceExtension for extension 100(0x1).\n");
    EXPECT_EQ(std::memcmp(s.FindExtRec("100").data(), held.data(), held.size()), 0);
}

TEST_F(ChangeOps, AGroupsPilotAndWorkgroupGoTogetherOrNotAtAll) {
    Hosted& south = Site("South");
    server::CZentServ& s = LoadGroup600(south);
    const ExtSummary group = *s.FindExt("600");
    const std::vector<uint8_t> groupBefore = HeldGroup(south, "600");

    // The workgroup is refused: the pilot is not asked for, and both stay on the site and held.
    Fault(south, "DeleteWorkgroup", com::E_FAIL);
    EXPECT_FALSE(s.DeleteExt(&group));
    EXPECT_EQ(s.GetLastError(), "hr = 80004005");
    EXPECT_EQ(Calls(south), std::vector<std::string>{"DeleteWorkgroup"});
    EXPECT_FALSE(Held(south, "600").empty());
    EXPECT_EQ(HeldGroup(south, "600"), groupBefore);
    EXPECT_TRUE(s.FindExtRec("600"));
    EXPECT_TRUE(s.FindGroupRec("600"));
    EXPECT_NE(s.FindExt("600"), nullptr);
    std::string error;
    ASSERT_TRUE(south.site->SetMethodFault("DeleteWorkgroup", std::nullopt, error));

    // The server takes the workgroup first; the pilot is then refused: the workgroup is put back
    // with its settings and members, so no pilot is left without its group.
    Fault(south, "DeleteExtension", com::E_FAIL);
    EXPECT_FALSE(s.DeleteExt(&group));
    EXPECT_EQ(s.GetLastError(), "hr = 80004005; its workgroup was put back as it was");
    EXPECT_EQ(HeldGroup(south, "600"), groupBefore);
    EXPECT_TRUE(s.FindGroupRec("600"));
    EXPECT_NE(s.FindExt("600"), nullptr);

    // The retry deletes both.
    ASSERT_TRUE(south.site->SetMethodFault("DeleteExtension", std::nullopt, error));
    south.site->ClearCalls();
    EXPECT_TRUE(s.DeleteExt(&group)) << s.GetLastError();
    EXPECT_EQ(Calls(south), (std::vector<std::string>{"DeleteWorkgroup", "DeleteExtension"}));
    EXPECT_TRUE(Held(south, "600").empty());
    EXPECT_FALSE(HasGroup(south, "600"));
    EXPECT_FALSE(s.FindExtRec("600"));
    EXPECT_EQ(s.FindExt("600"), nullptr);
}

// An undo of a group's deletion: the pilot back first, then the workgroup created again with the
// settings and members the journal held.
TEST_F(ChangeOps, ADeletedGroupIsRestoredWithItsWorkgroupAsItWas) {
    Hosted& south = Site("South");
    server::CZentServ& s = LoadGroup600(south);
    const ExtSummary group = *s.FindExt("600");
    const std::vector<uint8_t> pilotBefore = Held(south, "600"), groupBefore = HeldGroup(south, "600");
    ASSERT_TRUE(s.DeleteExt(&group)) << s.GetLastError();
    ASSERT_FALSE(HasGroup(south, "600"));
    south.site->ClearCalls();

    ASSERT_TRUE(s.RestoreExtRec("600", pilotBefore)) << s.GetLastError();
    ASSERT_TRUE(s.RestoreGroupRec("600", groupBefore)) << s.GetLastError();
    const std::vector<std::string> calls = Calls(south);
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 3),
              (std::vector<std::string>{"AddExtension", "AddWorkgroup", "ReplaceWorkgroup"}));
    EXPECT_EQ(Held(south, "600"), pilotBefore);
    EXPECT_EQ(HeldGroup(south, "600"), groupBefore);
    ASSERT_TRUE(s.FindGroupRec("600"));
    EXPECT_EQ(s.FindGroupRec("600").MemberCount(), 2u);
}

TEST_F(ChangeOps, AWorkgroupThatCannotBePutBackIsSaidSo) {
    Hosted& south = Site("South");
    Add(south, Ext("600", "group"));
    server::CZentServ& s = Load(south);
    const ExtSummary group = *s.FindExt("600");
    Fault(south, "DeleteExtension", com::E_FAIL);
    Fault(south, "AddWorkgroup", com::E_FAIL);
    EXPECT_FALSE(s.DeleteExt(&group));
    EXPECT_EQ(s.GetLastError(), "hr = 80004005; its workgroup was deleted and could not be created again (hr = 80004005)");
    EXPECT_FALSE(HasGroup(south, "600"));
    EXPECT_FALSE(s.FindGroupRec("600"));
    EXPECT_TRUE(s.FindExtRec("600"));

    // The retry goes on with the pilot alone.
    std::string error;
    ASSERT_TRUE(south.site->SetMethodFault("DeleteExtension", std::nullopt, error));
    south.site->ClearCalls();
    EXPECT_TRUE(s.DeleteExt(&group)) << s.GetLastError();
    EXPECT_EQ(Calls(south), std::vector<std::string>{"DeleteExtension"});
}

TEST_F(ChangeOps, AMemberLeavesEveryGroupThatListsIt) {
    Hosted& south = Site("South");
    Add(south, Ext("10"));
    Add(south, Ext("100"));
    Add(south, Ext("600", "group"), {"10", "100"});
    Add(south, Ext("700", "group"), {"100"});
    {
        std::lock_guard lock(south.site->Mutex());
        auto& bytes = const_cast<sim::Bytes&>(south.site->State().FindRecord("10")->bytes);
        server::ExtRec(bytes.data(), bytes.size()).SetBits(extrec::kExtStatusFlagBank, extrec::kStatusGroupMember, true);
    }
    server::CZentServ& s = Load(south);
    const ExtSummary ten = *s.FindExt("10");
    ASSERT_TRUE(s.DeleteExt(&ten)) << s.GetLastError();
    // One pair for each entry that starts with 10: 10 and 100 of group 600, 100 of group 700.
    EXPECT_EQ(Calls(south), (std::vector<std::string>{"DeleteExtension", "ChangeMembership", "ChangeMembership",
                                                      "ChangeMembership", "ChangeMembership", "ChangeMembership",
                                                      "ChangeMembership"}));
}

TEST_F(ChangeOps, AddingToAGroupMarksTheMemberWhenTheServerSaysSo) {
    Hosted& south = Site("South");
    Add(south, Ext("100"));
    Add(south, Ext("600", "group"));
    server::CZentServ& s = Load(south);
    auto& dcom = static_cast<server::CZentServDcom&>(s);
    dcom.AddToGroup("100", "600");
    EXPECT_EQ(Calls(south), (std::vector<std::string>{"ChangeMembership", "ChangeMembership"}));
    EXPECT_TRUE(s.FindExtRec("100").ExtStatusFlagBank() & extrec::kStatusGroupMember);
    dcom.AddToGroup("100", "999");  // no such workgroup held: nothing sent
    EXPECT_EQ(Calls(south).size(), 2u);
}

TEST_F(ChangeOps, APlanRecordsTheRequestsAndSendsNothing) {
    Hosted& north = Site("North");
    Hosted& south = Site("South");
    Add(north, Ext("100"));
    Add(south, Ext("200"));
    server::CZentServ& n = Load(north);
    server::CZentServ& s = Load(south);
    server::CChangePlan plan;
    s.SetPlan(&plan);
    const ExtSummary copy = Copy("100", "8100", "ann@north.example");
    ASSERT_TRUE(s.AddExt(&copy, &n));
    const ExtSummary two = *s.FindExt("200");
    ASSERT_TRUE(s.DeleteExt(&two));
    EXPECT_TRUE(Calls(south).empty());
    EXPECT_TRUE(Held(south, "100").empty());
    EXPECT_FALSE(Held(south, "200").empty());
    ASSERT_EQ(plan.Calls().size(), 2u);
    EXPECT_EQ(plan.Calls()[0].method, "AddExtension");
    EXPECT_EQ(plan.Calls()[1].method, "DeleteExtension");
    EXPECT_EQ(plan.Calls()[0].site, "South");

    // The planned record is the one a real run sends.
    s.SetPlan(nullptr);
    ASSERT_TRUE(s.AddExt(&copy, &n));
    EXPECT_EQ(plan.Calls()[0].data, Held(south, "100"));
}

}  // namespace
