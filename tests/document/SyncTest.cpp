// Synchronising numbers across simulated sites: what every site's server holds afterwards, what
// the merged row says, and what is logged.
#include "DownloadFixture.h"

using namespace downloadtest;
namespace exttype = server::exttype;
namespace extrec = server::extrec;

namespace {

class Sync : public DownloadFixture {
protected:
    void Download() {
        ASSERT_TRUE(doc.Download());
        ForgetCalls();
        frame.logs.clear();
        frame.updates.clear();
    }
    // Nothing was sent to any server since the download (loading calls are forgotten there).
    bool NothingSent() {
        for (SimSite& s : sites)
            if (!Calls(*s.site).empty()) return false;
        return true;
    }
    // A forwarding copy on `site` that forwards to `home` by 8<number> and its mail suffix.
    void ExpectCopyOf(sim::Site& site, const std::string& number, const std::string& home, uint8_t type) {
        const std::vector<uint8_t> held = Held(site, number);
        ASSERT_FALSE(held.empty()) << number;
        const server::ConstExtRec r = Rec(held);
        EXPECT_EQ(r.ExtensionType(), type);
        EXPECT_EQ(r.FwdDialString(), "8" + number);
        EXPECT_EQ(r.FwdEmailAddr(), "ext" + number + "@" + Lower(home) + ".example");
        EXPECT_EQ(r.ForwardTarget(), extrec::kForwardToDialString);
        EXPECT_TRUE(r.ExtStatusFlagBank() & extrec::kStatusForwards);
        EXPECT_EQ(r.ExtFeatureFlagBank() & extrec::kForwardingCopyMask, extrec::kForwardingCopyMask);
    }
    // South has no route to North: the sync fails as a whole wherever South stands, the walk goes
    // on past it, and the row stays as it was.
    void ExpectNoRouteFailure() {
        LinkAll();
        SiteRec& south = doc.m_sites[size_t(doc.GetSiteIndex("South"))];
        std::erase_if(south.Routes, [](const MapEntry& e) { return e.Name == "North"; });
        sim::Site& north = Named("North");
        Add(north, Ext("100"));
        Download();
        EXPECT_FALSE(doc.SyncExtension("100", "North"));
        EXPECT_TRUE(Logged(LOG_ERROR, "\tSync failed: Could not find the TO server North in Map Table Entry Chain."));
        EXPECT_TRUE(Logged(LOG_ERROR, "Failed to sync extension 100."));
        EXPECT_TRUE(Held(Named("South"), "100").empty());
        ExpectCopyOf(Named("East"), "100", "North", exttype::kVirtual);
        EXPECT_EQ(Row("100").SyncStatus, 0);
        EXPECT_TRUE(frame.updates.empty());
    }
    sim::Site& Named(const std::string& name) { return *sites[size_t(doc.GetSiteIndex(name))].site; }
    // Three sites, 100 at home on North and forwarding copies of it on South and East: where a
    // move starts from. With `dataBlock`, North holds a data block of 100 to carry along.
    void HomeOnNorthCopiesElsewhere(bool dataBlock = false) {
        ThreeSites();
        Add(North(), Ext("100"));
        Add(South(), Copy("100", "North"));
        Add(East(), Copy("100", "North"));
        if (dataBlock) Edit(North(), [](sim::SiteState& s) { s.extData["100"] = sim::ExtData{7, sim::Bytes(16, 0x42)}; });
    }
    // Three sites, 100 at home on North and a stale copy of it on South (it forwards by another code).
    void HomeOnNorthStaleCopyOnSouth() {
        ThreeSites();
        Add(North(), Ext("100"));
        sim::NewExtension stale = Copy("100", "North");
        stale.fwdDial = "9100";
        Add(South(), stale);
    }
    // After a new download, the number is Synchronized with that home.
    void ExpectSynchronizedAfterDownload(const std::string& number, const std::string& home) {
        ASSERT_TRUE(doc.Download());
        EXPECT_EQ(Row(number).SyncStatus, 1) << number;
        EXPECT_EQ(Home(Row(number)), home) << number;
    }
};

TEST_F(Sync, ASiteWithoutTheNumberGetsAForwardingCopy) {
    ThreeSites();
    sim::NewExtension ann = Ext("100", "physical", "Lee");
    ann.firstName = "Ann";
    Add(North(), ann);
    Download();
    const std::vector<uint8_t> homeBefore = Held(North(), "100");

    ASSERT_TRUE(doc.SyncExtension("100", "North"));
    ExpectCopyOf(South(), "100", "North", exttype::kVirtual);
    ExpectCopyOf(East(), "100", "North", exttype::kVirtual);
    EXPECT_EQ(Rec(Held(South(), "100")).ExtFirstName(), "Ann");
    EXPECT_EQ(Rec(Held(South(), "100")).ExtPassword(), Rec(homeBefore).ExtPassword());
    // The home is rewritten as it was.
    EXPECT_EQ(Calls(North()), std::vector<std::string>{"ReplaceExtension"});
    EXPECT_EQ(Held(North(), "100"), homeBefore);

    const auto& row = Row("100");
    EXPECT_EQ(row.SyncStatus, 1);
    EXPECT_EQ(Home(row), "North");
    EXPECT_EQ(row.ExtensionType, exttype::kPhysical);
    EXPECT_EQ(frame.updates, (std::vector<std::pair<int, std::string>>{{UPDATE_ROW_REFRESH, "100"}}));
    EXPECT_TRUE(Logged(LOG_INFO, "Sync extension 100 to server North..."));
    EXPECT_TRUE(Logged(LOG_WARNING, "\tAdd extension 100 successfully.\n"));
    EXPECT_TRUE(Logged(LOG_INFO, "Sync successfully - extension 100."));
    // The connections' summaries follow.
    EXPECT_EQ(server::FieldText(doc.FindServer("South")->FindExt("100")->HomeServer), "North");
    ExpectSynchronizedAfterDownload("100", "North");
}

TEST_F(Sync, AGroupGetsGroupPilotsWithTheirWorkgroups) {
    ThreeSites();
    Add(North(), Ext("200"));
    Add(North(), Ext("600", "group"), {"200"});
    Download();
    ASSERT_TRUE(doc.SyncExtension("600", "North"));
    ExpectCopyOf(South(), "600", "North", exttype::kWorkgroup);
    EXPECT_TRUE(HasGroup(South(), "600"));
    EXPECT_EQ(Calls(South()), (std::vector<std::string>{"AddExtension", "AddWorkgroup"}));
    EXPECT_EQ(Row("600").ExtensionType, exttype::kWorkgroup);
    ExpectSynchronizedAfterDownload("600", "North");
}

TEST_F(Sync, AnExistingCopyIsRewrittenWithTheRoutesValuesKeepingTypeAndNames) {
    ThreeSites();
    Add(North(), Ext("100", "physical", "Lee"));
    EditRecord(North(), "100", [](server::ExtRec r) { r.SetExtPassword("HOMEhash0001"); });
    sim::NewExtension stale = Ext("100", "virtual", "LEE");
    stale.forwarding = true;
    stale.fwdDial = "9100";
    stale.fwdEmail = "old@elsewhere";
    Add(South(), stale);
    Download();
    ASSERT_NE(Rec(Held(South(), "100")).ExtPassword(), "HOMEhash0001");
    ASSERT_TRUE(doc.SyncExtension("100", "North"));
    ExpectCopyOf(South(), "100", "North", exttype::kVirtual);
    EXPECT_EQ(Rec(Held(South(), "100")).ExtName(), "LEE");
    // The copy takes the home's password hash, as a new copy does.
    EXPECT_EQ(Rec(Held(South(), "100")).ExtPassword(), "HOMEhash0001");
    EXPECT_EQ(Calls(South()), std::vector<std::string>{"ReplaceExtension"});
}

// A copy site that refuses the rewrite fails the number: the row is not marked Synchronized. (A
// refused new copy: Parallel.ASiteThatFailsLeavesTheOthersDone.)
TEST_F(Sync, ARefusedRewriteOfACopyFailsTheNumber) {
    HomeOnNorthStaleCopyOnSouth();
    Download();
    const std::vector<uint8_t> before = Held(South(), "100");
    Fault(South(), "ReplaceExtension", com::E_FAIL);
    EXPECT_FALSE(doc.SyncExtension("100", "North"));
    EXPECT_EQ(Held(South(), "100"), before);
    EXPECT_TRUE(LoggedPrefix(LOG_ERROR, "\tSync failed: Failed to modify extension 100 in server South.\t"));
    EXPECT_TRUE(Logged(LOG_ERROR, "Failed to sync extension 100."));
    EXPECT_EQ(Row("100").SyncStatus, 0);
    EXPECT_TRUE(frame.updates.empty());
}

// The home refuses its own rewrite: the number fails before any other site is sent anything, also
// when the home stands last in the site order.
TEST_F(Sync, ARefusedHomeRewriteTouchesNoOtherSite) {
    ThreeSites();
    Add(East(), Ext("100"));
    Add(South(), Copy("100", "North"));  // to be rewritten; North lacks the number
    Download();
    const std::vector<uint8_t> southBefore = Held(South(), "100");
    Fault(East(), "ReplaceExtension", com::E_FAIL);
    EXPECT_FALSE(doc.SyncExtension("100", "East"));
    EXPECT_TRUE(Held(North(), "100").empty());
    EXPECT_EQ(Held(South(), "100"), southBefore);
    EXPECT_TRUE(Calls(North()).empty() && Calls(South()).empty());
    EXPECT_TRUE(LoggedPrefix(LOG_ERROR, "\tSync failed: Failed to modify extension 100 in server East.\t"));
    EXPECT_EQ(Row("100").SyncStatus, 0);
    EXPECT_TRUE(frame.updates.empty());
}

TEST_F(Sync, AnEmptyMailNameGivesAnEmptyMailForward) {
    ThreeSites();
    sim::NewExtension quiet = Ext("100");
    quiet.email = "";
    Add(North(), quiet);
    Download();
    ASSERT_TRUE(doc.SyncExtension("100", "North"));
    EXPECT_EQ(Rec(Held(South(), "100")).FwdEmailAddr(), "");
}

TEST_F(Sync, TheMailForwardOfANewCopyUsesTheHomesMailName) {
    ThreeSites();
    sim::NewExtension ann = Ext("100");
    ann.email = "ann";
    Add(North(), ann);
    sim::NewExtension other = Ext("100", "virtual");
    other.email = "ANN";  // the merged row takes the last site's spelling
    Add(East(), other);
    Download();
    ASSERT_EQ(server::FieldText(Row("100").EMailName), "ANN");
    ASSERT_TRUE(doc.SyncExtension("100", "North"));
    EXPECT_EQ(Rec(Held(South(), "100")).FwdEmailAddr(), "ann@north.example");
}

TEST_F(Sync, ASiteWithoutARouteFailsTheSyncWhenItStandsLast) {
    AddSite("North");
    AddSite("East");
    AddSite("South");
    ExpectNoRouteFailure();
}

TEST_F(Sync, ASiteWithoutARouteFailsTheSyncWhenItStandsFirst) {
    AddSite("South");
    AddSite("North");
    AddSite("East");
    ExpectNoRouteFailure();
}

// A downloaded site that the map table no longer names fails the number wherever it stands in
// the site order (first, in the middle, last); it is sent nothing.
TEST_F(Sync, ASiteMissingFromTheMapTableFailsTheSyncWhereverItStands) {
    ThreeSites();
    Add(South(), Ext("100"));
    Add(North(), Ext("101"));
    Add(North(), Ext("102"));
    Download();
    const std::vector<SiteRec> configured = doc.m_sites;
    const struct {
        const char* number;
        const char* home;
        size_t missing;
    } cases[] = {{"100", "South", 0}, {"101", "North", 1}, {"102", "North", 2}};
    for (const auto& c : cases) {
        const std::string missing = sites[c.missing].name;
        SCOPED_TRACE(missing);
        ASSERT_EQ(Row(c.number).SyncStatus, 0);
        doc.m_sites = configured;
        doc.m_sites.erase(doc.m_sites.begin() + std::ptrdiff_t(c.missing));
        EXPECT_FALSE(doc.SyncExtension(c.number, c.home));
        EXPECT_TRUE(Logged(LOG_ERROR, "\tSync failed: Could not find the FROM server " + missing + " in Map Table."));
        EXPECT_TRUE(Held(*sites[c.missing].site, c.number).empty());
        EXPECT_EQ(Row(c.number).SyncStatus, 0);
    }
    doc.m_sites = configured;
    EXPECT_TRUE(frame.updates.empty());
}

// The home itself missing from the map table: it is not written, and nobody becomes its copy.
TEST_F(Sync, AHomeMissingFromTheMapTableTouchesNoSite) {
    ThreeSites();
    Add(North(), Ext("101"));
    Download();
    const std::vector<SiteRec> configured = doc.m_sites;
    doc.m_sites.erase(doc.m_sites.begin());
    EXPECT_FALSE(doc.SyncExtension("101", "North"));
    doc.m_sites = configured;
    EXPECT_TRUE(Logged(LOG_ERROR, "\tSync failed: Could not find the FROM server North in Map Table."));
    EXPECT_TRUE(NothingSent());
    EXPECT_TRUE(Held(South(), "101").empty() && Held(East(), "101").empty());
}

TEST_F(Sync, AHomeMovedWithoutRelocationTurnsTheCopyIntoTheExtension) {
    HomeOnNorthCopiesElsewhere();
    doc.m_bRelocation = false;
    Download();
    ASSERT_EQ(Row("100").SyncStatus, 1);

    ASSERT_TRUE(doc.SyncExtension("100", "South"));
    const std::vector<uint8_t> held = Held(South(), "100");
    const server::ConstExtRec own = Rec(held);
    EXPECT_EQ(own.ForwardTarget(), extrec::kForwardStopped);
    EXPECT_FALSE(own.ExtStatusFlagBank() & extrec::kStatusForwards);
    EXPECT_EQ(own.FwdMailOptions(), 1);
    ExpectCopyOf(North(), "100", "South", exttype::kPhysical);  // the old home keeps its type, now forwarding
    ExpectCopyOf(East(), "100", "South", exttype::kVirtual);
    EXPECT_FALSE(LoggedPrefix(LOG_INFO, "Relocate extension"));
    EXPECT_EQ(Home(Row("100")), "South");
    EXPECT_EQ(Row("100").ExtensionType, exttype::kPhysical);
}

// An unsynchronised number moved onto a site whose record is a stale copy (it forwards by another
// code): that site ends as the real extension, and every other site forwards to it.
TEST_F(Sync, AStaleCopyChosenAsHomeBecomesTheExtension) {
    HomeOnNorthStaleCopyOnSouth();
    Download();
    ASSERT_EQ(Row("100").SyncStatus, 0);
    ASSERT_EQ(Home(Row("100")), "North");

    ASSERT_TRUE(doc.SyncExtension("100", "South"));
    const std::vector<uint8_t> held = Held(South(), "100");
    const server::ConstExtRec own = Rec(held);
    EXPECT_EQ(own.ForwardTarget(), extrec::kForwardStopped);
    EXPECT_FALSE(own.ExtStatusFlagBank() & extrec::kStatusForwards);
    ExpectCopyOf(North(), "100", "South", exttype::kPhysical);
    ExpectCopyOf(East(), "100", "South", exttype::kVirtual);
    ExpectSynchronizedAfterDownload("100", "South");
}

// Another site's wireless handset of the number is left as it is: the number fails, nothing is sent.
TEST_F(Sync, AWirelessExtensionElsewhereIsNeverTurnedIntoACopy) {
    ThreeSites();
    Add(North(), Ext("100"));
    Add(East(), Ext("100", "wireless"));
    Download();
    const std::vector<uint8_t> before = Held(East(), "100");
    EXPECT_FALSE(doc.SyncExtension("100", "North"));
    EXPECT_TRUE(NothingSent());
    EXPECT_EQ(Held(East(), "100"), before);
    EXPECT_TRUE(Logged(LOG_ERROR, "\tSync failed: Extension 100 is a wireless extension in server East, which cannot be "
                                  "turned into a forwarding copy."));
}

// The new home refuses the relocation's rewrite: nothing is left changed anywhere (calls to the
// number at South still forward to North), and running the move again finishes it.
TEST_F(Sync, ARefusedRelocationChangesNothingAndItsRetryFinishesTheMove) {
    HomeOnNorthCopiesElsewhere(true);
    Download();
    const std::vector<uint8_t> northBefore = Held(North(), "100");
    const std::vector<uint8_t> southBefore = Held(South(), "100");
    const std::vector<uint8_t> eastBefore = Held(East(), "100");

    // North comes first in the list, but the new home South is handled first.
    Fault(South(), "ReplaceExtension", com::E_FAIL);
    EXPECT_FALSE(doc.SyncExtension("100", "South"));
    EXPECT_TRUE(Logged(LOG_INFO, "Relocate extension 100 from North to South without copy mailbox..."));
    EXPECT_TRUE(LoggedPrefix(LOG_ERROR, "\tSync failed: Failed to relocate extension 100 in server South.\t"));
    EXPECT_EQ(Calls(South()), std::vector<std::string>{"ReplaceExtension"});
    EXPECT_EQ(Held(South(), "100"), southBefore);
    EXPECT_EQ(Held(North(), "100"), northBefore);
    EXPECT_EQ(Held(East(), "100"), eastBefore);
    EXPECT_EQ(Home(Row("100")), "North");
    ExpectSynchronizedAfterDownload("100", "North");

    std::string error;
    ASSERT_TRUE(South().SetMethodFault("ReplaceExtension", std::nullopt, error));
    bool complete = false;
    ASSERT_TRUE(doc.SyncExtension("100", "South", &complete));
    EXPECT_TRUE(complete);
    const std::vector<uint8_t> moved = Held(South(), "100");
    EXPECT_EQ(Rec(moved).ForwardTarget(), extrec::kForwardStopped);
    EXPECT_EQ(South().State().extData.at("100").bytes, sim::Bytes(16, 0x42));
    ExpectCopyOf(North(), "100", "South", exttype::kPhysical);
    ExpectCopyOf(East(), "100", "South", exttype::kVirtual);
    ExpectSynchronizedAfterDownload("100", "South");
}

// A move whose data block is refused: every site points at the new home, but the number is not
// done: a warning names the block and the outcome is not success.
TEST_F(Sync, ARelocatedBlockThatDidNotArriveLeavesTheNumberIncomplete) {
    HomeOnNorthCopiesElsewhere(true);
    Download();
    Fault(South(), "WriteExtData", com::E_FAIL);
    // The command does not count it as done; the row is synchronised all the same.
    std::vector<CQOBDoc::SyncRequest> list{{"100", "South"}};
    EXPECT_FALSE(doc.SyncNumbers(list));
    EXPECT_TRUE(list[0].ok);
    EXPECT_FALSE(list[0].complete);
    EXPECT_TRUE(Logged(LOG_WARNING,
                       "\tWarning: The data block of extension 100 was not copied from North to South (0x80004005)."));
    EXPECT_TRUE(Logged(LOG_WARNING, "Sync incomplete - extension 100 now lives on South, but not everything of it "
                                    "arrived there (see the warnings above)."));
    EXPECT_FALSE(LoggedPrefix(LOG_INFO, "Sync successfully"));
    EXPECT_EQ(South().State().extData.count("100"), 0u);
    EXPECT_EQ(North().State().extData.count("100"), 1u);  // nothing is removed from the old home
    ExpectCopyOf(North(), "100", "South", exttype::kPhysical);
    EXPECT_EQ(Home(Row("100")), "South");
}

// A site that stored a new copy but whose answer was lost: the outcome says the change may have
// been applied, and a new download shows the copy as the site holds it.
TEST_F(Sync, ALostAnswerIsReportedAsMayHaveBeenApplied) {
    ThreeSites();
    Add(North(), Ext("100"));
    Download();
    Fault(South(), "AddExtension", com::RPC_S_CALL_FAILED, 0, true);
    EXPECT_FALSE(doc.SyncExtension("100", "North"));
    EXPECT_TRUE(LoggedPrefix(LOG_ERROR, "\tSync uncertain: The answer of server South was lost while extension 100 was "
                                        "changed there: the change may have been applied."));
    EXPECT_FALSE(LoggedPrefix(LOG_ERROR, "\tSync failed: Failed to add extension 100 to server South"));
    EXPECT_TRUE(Logged(LOG_ERROR, "Sync uncertain - extension 100: download the sites again to see what they hold."));
    ExpectCopyOf(South(), "100", "North", exttype::kVirtual);  // stored all the same
    ExpectCopyOf(East(), "100", "North", exttype::kVirtual);
    std::string error;
    ASSERT_TRUE(South().SetMethodFault("AddExtension", std::nullopt, error));
    ExpectSynchronizedAfterDownload("100", "North");
}

// Moved to South and back to North in one run: each call starts from what the one before left
// (the merged row and every site's summary name the new home), so North ends as the extension and
// the others forward to it; no two sites forward to each other.
TEST_F(Sync, MovedAwayAndBackInOneRunLeavesOneHome) {
    HomeOnNorthCopiesElsewhere();
    Download();
    auto summaryHomes = [&] {
        std::vector<std::string> homes;
        for (const auto& conn : doc.m_servers) homes.emplace_back(server::FieldText(conn->FindExt("100")->HomeServer));
        return homes;
    };
    ASSERT_TRUE(doc.SyncExtension("100", "South"));
    EXPECT_EQ(Home(Row("100")), "South");
    EXPECT_EQ(summaryHomes(), std::vector<std::string>(3, "South"));
    ExpectCopyOf(North(), "100", "South", exttype::kPhysical);

    ASSERT_TRUE(doc.SyncExtension("100", "North"));
    EXPECT_EQ(Home(Row("100")), "North");
    EXPECT_EQ(summaryHomes(), std::vector<std::string>(3, "North"));
    const std::vector<uint8_t> home = Held(North(), "100");
    EXPECT_EQ(Rec(home).ForwardTarget(), extrec::kForwardStopped);
    EXPECT_FALSE(Rec(home).ExtStatusFlagBank() & extrec::kStatusForwards);
    ExpectCopyOf(South(), "100", "North", exttype::kVirtual);
    ExpectCopyOf(East(), "100", "North", exttype::kVirtual);
    ExpectSynchronizedAfterDownload("100", "North");
}

TEST_F(Sync, SynchronisingAgainToTheSameHomeRelocatesNothing) {
    HomeOnNorthCopiesElsewhere();
    Download();
    ASSERT_TRUE(doc.SyncExtension("100", "North"));
    EXPECT_FALSE(LoggedPrefix(LOG_INFO, "Relocate extension"));
}

TEST_F(Sync, WhatMayNotBeSynchronisedIsRefusedWithNothingSent) {
    ThreeSites();
    Add(North(), Ext("100", "physical", "Lee"));
    Add(South(), Copy("100", "North", "Other"));
    Add(North(), Ext("200"));
    Add(South(), Ext("200"));
    Add(North(), Ext("300"));
    Add(South(), Ext("300", "group"));
    Add(North(), Ext("700", "application"));
    Add(South(), Copy("700", "North"));
    Add(North(), Ext("701"));
    Add(East(), Ext("701", "application"));
    Download();
    const std::vector<uint8_t> app700 = Held(North(), "700"), app701 = Held(East(), "701");

    EXPECT_FALSE(doc.SyncExtension("100", "North"));
    EXPECT_TRUE(Logged(LOG_ERROR, "\tExtension 100 have different last name in different servers."));
    EXPECT_FALSE(doc.SyncExtension("200", "North"));
    EXPECT_TRUE(Logged(LOG_ERROR,
                       "\tSync failed: Extension 200 is a physical or IP extension on more than one server and "
                       "cannot be synchronized."));
    EXPECT_FALSE(doc.SyncExtension("300", "North"));
    EXPECT_TRUE(Logged(LOG_ERROR,
                       "\tSync failed: Extension 300 is an extension on one server and a group on another and "
                       "cannot be synchronized."));
    // An application is never rewritten, as the home or as another site's record, whoever is
    // named the home.
    for (const char* home : {"North", "South", "East"}) {
        EXPECT_FALSE(doc.SyncExtension("700", home)) << home;
        EXPECT_FALSE(doc.SyncExtension("701", home)) << home;
    }
    EXPECT_TRUE(Logged(LOG_ERROR,
                       "\tSync failed: Extension 700 is an application on some server and cannot be synchronized."));
    EXPECT_EQ(Held(North(), "700"), app700);
    EXPECT_EQ(Held(East(), "701"), app701);
    EXPECT_FALSE(doc.SyncExtension("999", "North"));
    EXPECT_TRUE(Logged(LOG_ERROR, "Failed to find extension 999."));
    EXPECT_FALSE(doc.SyncExtension("100", "West"));
    EXPECT_TRUE(NothingSent());
}

TEST_F(Sync, TheHomeNameInAnotherCaseIsTheSite) {
    ThreeSites();
    Add(North(), Ext("100"));
    Download();
    ASSERT_TRUE(doc.SyncExtension("100", " nORTH "));
    EXPECT_EQ(Home(Row("100")), "North");
    EXPECT_EQ(server::FieldText(doc.FindServer("East")->FindExt("100")->HomeServer), "North");
    ExpectCopyOf(East(), "100", "North", exttype::kVirtual);
}

TEST_F(Sync, AForwardNumberLongerThanARecordHoldsIsNotSent) {
    AddSite("North", 0x0480, 6);
    AddSite("South", 0x0480, 6);
    AddSite("East", 0x0480, 6);
    LinkAll();
    for (MapEntry& route : doc.m_sites[1].Routes) route.FwdPattern = "81234567890123N";  // 14 + 6 = 20
    Add(North(), Ext("123456"));
    Download();
    EXPECT_FALSE(doc.SyncExtension("123456", "North"));
    EXPECT_TRUE(Logged(LOG_ERROR,
                       "\tSync failed: The forward number 81234567890123123456 of extension 123456 in server South is "
                       "longer than 19 characters."));
    EXPECT_TRUE(Calls(South()).empty());
    ExpectCopyOf(East(), "123456", "North", exttype::kVirtual);
}

}  // namespace
