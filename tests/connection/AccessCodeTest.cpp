// Forward access codes as the map table's check asks a site about them: the dial plan's class of
// the first character, and for tie trunks the location code against the site's table.
#include "support/HostedSites.h"

namespace {


class AccessCode : public HostedSites {
protected:
    // Dial plan 5 -> tie trunk; tie-trunk routing with n-digit location codes, entries of 100
    // bytes (not the 520 the connection offers per entry), `used` in use.
    Hosted& TieTrunkSite(int32_t n, std::set<std::string> used = {}) {
        sim::InitOptions o;
        o.name = "North";
        o.dialPlan = {{'5', 5}};
        o.locationCodeLength = n;
        o.tieTrunkCodes = std::move(used);
        Hosted& h = Site(o);
        Edit(h, [](sim::SiteState& s) { s.system.tieTrunk->entrySize = 100; });
        return h;
    }
};

TEST_F(AccessCode, TheClassOfTheFirstCharacterDecides) {
    sim::InitOptions o;
    o.name = "North";
    // The first entry of a character counts: 1 is class 6, not 0.
    o.dialPlan = {{'8', 1}, {'9', 6}, {'7', 0}, {'4', 2}, {'3', 3}, {'2', 4}, {'6', 7}, {'1', 6}, {'1', 0}};
    Hosted& h = Site(o);
    server::CZentServ& conn = Create(h);
    // Before the system configuration is read no character has a class.
    EXPECT_FALSE(conn.IsValidAccessCode("8N"));
    ASSERT_TRUE(conn.Initialize());
    for (const char* valid : {"8N", " 9N ", "1"}) EXPECT_TRUE(conn.IsValidAccessCode(valid)) << valid;
    for (const char* invalid : {"7N", "4", "3", "2", "6", "0N", "", "   "})
        EXPECT_FALSE(conn.IsValidAccessCode(invalid)) << invalid;
}

TEST_F(AccessCode, ALocationCodeMustNameAnEntryInUse) {
    Hosted& h = TieTrunkSite(2, {"12", "01"});
    server::CZentServ& conn = Create(h);
    ASSERT_TRUE(conn.Initialize());
    EXPECT_TRUE(conn.IsValidAccessCode("512"));
    EXPECT_TRUE(conn.IsValidAccessCode(" 501 "));
    EXPECT_FALSE(conn.IsValidAccessCode("562"));  // entry 62 is not in use
    EXPECT_FALSE(conn.IsValidAccessCode("5"));    // no location code
    EXPECT_FALSE(conn.IsValidAccessCode("51"));   // one digit where the site has two (entry 1 is in use)
    EXPECT_FALSE(conn.IsValidAccessCode("5120"));
    EXPECT_FALSE(conn.IsValidAccessCode("51200"));  // longer than any location code
    EXPECT_FALSE(conn.IsValidAccessCode("5a2"));
}

TEST_F(AccessCode, NoLocationCodeFitsALengthOfZero) {
    Hosted& h = TieTrunkSite(0, {""});  // the table's one entry is in use
    server::CZentServ& conn = Create(h);
    ASSERT_TRUE(conn.Initialize());
    EXPECT_FALSE(conn.IsValidAccessCode("50"));
    EXPECT_FALSE(conn.IsValidAccessCode("5"));
}

TEST_F(AccessCode, ASiteWithoutTieTrunkRoutingRefusesTheCode) {
    sim::InitOptions o;
    o.name = "North";
    o.dialPlan = {{'5', 5}};
    server::CZentServ& conn = Create(Site(o));
    ASSERT_TRUE(conn.Initialize());
    EXPECT_FALSE(conn.IsValidAccessCode("512"));  // GetLocationCodeLength answers E_FAIL
}

TEST_F(AccessCode, ATableThatCannotBeReadDoesNotBlameTheCode) {
    Hosted& h = TieTrunkSite(2, {"12"});
    server::CZentServ& conn = Create(h);
    ASSERT_TRUE(conn.Initialize());
    ASSERT_FALSE(conn.IsValidAccessCode("562"));

    // A size that is not a whole number of entries, or none at all.
    Edit(h, [](sim::SiteState& s) { s.faults.itgTableBytes = 10003; });
    EXPECT_TRUE(conn.IsValidAccessCode("562"));
    Edit(h, [](sim::SiteState& s) { s.faults.itgTableBytes = 0; });
    EXPECT_TRUE(conn.IsValidAccessCode("562"));
    Edit(h, [](sim::SiteState& s) { s.faults.itgTableBytes.reset(); });

    Fault(h, "GetITGTable", com::E_FAIL);
    EXPECT_TRUE(conn.IsValidAccessCode("562"));
    Fault(h, "GetLocationCodeLength", com::E_UNEXPECTED);
    EXPECT_TRUE(conn.IsValidAccessCode("562"));
    Fault(h, "GetLocationCodeLength", com::E_FAIL);
    EXPECT_FALSE(conn.IsValidAccessCode("512"));
}

TEST_F(AccessCode, ASiteWithoutTheTieTrunkInterfaceAcceptsAWellFormedCode) {
    Hosted& h = TieTrunkSite(2, {"12"});
    Edit(h, [](sim::SiteState& s) { s.faults.interfaces["IZentITGTableSetupI"] = sim::InterfaceAnswer::Absent; });
    server::CZentServ& conn = Create(h);
    ASSERT_TRUE(conn.Initialize());
    EXPECT_TRUE(conn.IsValidAccessCode("562"));
    // The form of the code is checked before the site is asked.
    EXPECT_FALSE(conn.IsValidAccessCode("5"));
    EXPECT_FALSE(conn.IsValidAccessCode("51234"));
    EXPECT_FALSE(conn.IsValidAccessCode("5a2"));
}

}  // namespace
