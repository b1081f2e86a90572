// Matching the sites' lists into one row per number, on simulated servers.
#include "DownloadFixture.h"

using namespace downloadtest;
namespace exttype = server::exttype;

namespace {

class Matching : public DownloadFixture {
protected:
    void TwoSites() {
        AddSite("North");
        AddSite("South");
        LinkAll();
    }
    // A correct forwarding copy to `home` held as a record of another type.
    static sim::NewExtension CopyAs(const std::string& type, const std::string& number, const std::string& home) {
        sim::NewExtension e = Copy(number, home);
        e.type = type;
        return e;
    }
    // The names given; a copy's mail address follows its e-mail name.
    static sim::NewExtension Named(sim::NewExtension e, const std::string& first, const std::string& last,
                                   const std::string& email) {
        e.firstName = first;
        e.lastName = last;
        e.email = email;
        if (e.fwdEmail) e.fwdEmail = email + e.fwdEmail->substr(e.fwdEmail->find('@'));
        return e;
    }
};

TEST_F(Matching, OneSiteOnly) {
    sim::Site& north = AddSite("North");
    Add(north, Ext("100"));
    Add(north, Ext("101", "virtual"));
    ASSERT_TRUE(doc.Download());
    const auto& row = Row("100");
    EXPECT_EQ(row.SyncStatus, 0);
    EXPECT_EQ(Home(row), "North");
    EXPECT_EQ(row.ExtCount, 1);
    EXPECT_TRUE(Logged(LOG_DETAIL, "\tMatch extension 100.: Unsynchronized."));
}

TEST_F(Matching, PhysicalOnTwoSitesHasNoHome) {
    TwoSites();
    Add(*sites[0].site, Ext("100"));
    Add(*sites[1].site, Ext("100"));
    ASSERT_TRUE(doc.Download());
    const auto& row = Row("100");
    EXPECT_EQ(row.ExtCount, 2);
    EXPECT_EQ(row.SyncStatus, 0);
    EXPECT_EQ(Home(row), "Unknown");
}

TEST_F(Matching, PhysicalWithACorrectForwardingCopyIsSynchronized) {
    TwoSites();
    Add(*sites[0].site, Ext("100", "physical", "Smith"));
    Add(*sites[1].site, Copy("100", "North", "Smith"));
    ASSERT_TRUE(doc.Download());
    const auto& row = Row("100");
    EXPECT_EQ(row.SyncStatus, 1);
    EXPECT_EQ(Home(row), "North");
    EXPECT_EQ(row.ExtCount, 1);
    EXPECT_EQ(row.ExtensionType, exttype::kPhysical);
    EXPECT_TRUE(Logged(LOG_DETAIL, "\tMatch extension 100.: Synchronized to North"));
    EXPECT_TRUE(doc.IsSynchronizedAll("100", "north"));
    EXPECT_FALSE(doc.IsSynchronizedAll("100", "South"));
    // The copy's summary now names its home.
    EXPECT_EQ(server::FieldText(doc.FindServer(" SOUTH ")->FindExt("100")->HomeServer), "North");
    // Synchronisable only towards another home.
    EXPECT_FALSE(doc.IsSynchronizable("100", "North"));
    EXPECT_TRUE(doc.IsSynchronizable("100", "South"));
    EXPECT_FALSE(doc.IsSynchronizable("100", "Unknown"));
}

TEST_F(Matching, ADifferingLastNameBreaksTheSynchronisation) {
    TwoSites();
    Add(*sites[0].site, Ext("100", "physical", "Smith"));
    Add(*sites[1].site, Copy("100", "North", "Jones"));
    ASSERT_TRUE(doc.Download());
    const auto& row = Row("100");
    EXPECT_EQ(row.SyncStatus, 0);
    EXPECT_EQ(Home(row), "Unknown");
    EXPECT_EQ(server::FieldText(row.ExtName), "XXXXXXX");
    EXPECT_EQ(doc.CompareExtNames("100") & 0x222, 0x20u);
}

TEST_F(Matching, ACopyPointingElsewhereOrWithoutItsMailAddressIsNotSynchronized) {
    TwoSites();
    Add(*sites[0].site, Ext("100"));
    sim::NewExtension wrongDial = Copy("100", "North");
    wrongDial.fwdDial = "9100";
    Add(*sites[1].site, wrongDial);
    Add(*sites[0].site, Ext("200"));
    sim::NewExtension wrongMail = Copy("200", "North");
    wrongMail.fwdEmail = "ext200@elsewhere.example";
    Add(*sites[1].site, wrongMail);
    ASSERT_TRUE(doc.Download());
    EXPECT_EQ(Row("100").SyncStatus, 0);
    EXPECT_EQ(Home(Row("100")), "North");  // the one physical holder
    EXPECT_EQ(Row("200").SyncStatus, 0);
}

TEST_F(Matching, VirtualEverywhereStaysVirtualWithNoHome) {
    TwoSites();
    Add(*sites[0].site, Ext("300", "virtual"));
    Add(*sites[1].site, Ext("300", "virtual"));
    ASSERT_TRUE(doc.Download());
    const auto& row = Row("300");
    EXPECT_EQ(row.ExtensionType, exttype::kVirtual);
    EXPECT_EQ(Home(row), "Unknown");
    EXPECT_EQ(row.SyncStatus, 0);
}

TEST_F(Matching, VirtualOnTheHomeButAGroupElsewhereIsAGroup) {
    TwoSites();
    Add(*sites[0].site, Ext("400", "virtual"));
    Add(*sites[1].site, Ext("400", "group"));
    ASSERT_TRUE(doc.Download());
    const auto& row = Row("400");
    EXPECT_EQ(row.ExtensionType, exttype::kWorkgroup);
    EXPECT_EQ(row.GroupCount, 1);
    EXPECT_EQ(Home(row), "South");
}

TEST_F(Matching, NumbersMergeInCharacterOrder) {
    TwoSites();
    Add(*sites[0].site, Ext("100"));
    Add(*sites[1].site, Ext("1000"));
    Add(*sites[0].site, Ext("99"));
    ASSERT_TRUE(doc.Download());
    std::vector<std::string> order;
    for (const auto& [code, hint] : frame.updates)
        if (code == UPDATE_ROW_ADDED) order.push_back(hint);
    EXPECT_EQ(order, (std::vector<std::string>{"100", "1000", "99"}));
}

TEST_F(Matching, ANumberAboveEveryDigitIsMergedAndTheMergeEnds) {
    // A misconfigured server may send numbers that sort above "9999999999999999".
    TwoSites();
    Add(*sites[0].site, Ext("A100"));
    Add(*sites[1].site, Ext("~7"));
    Add(*sites[1].site, Ext("9999999999999999"));
    ASSERT_TRUE(doc.Download());
    EXPECT_EQ(doc.m_extList.size(), 3u);
    EXPECT_NE(doc.FindExtRow("A100"), nullptr);
    EXPECT_NE(doc.FindExtRow("~7"), nullptr);
    EXPECT_EQ(Home(Row("9999999999999999")), "South");
}

TEST_F(Matching, AGroupWithItsAgents) {
    TwoSites();
    sim::Site& north = *sites[0].site;
    Add(north, Ext("101"));
    Add(north, Ext("102"));
    Add(north, Ext("500", "group"), {"101", "102"});
    ASSERT_TRUE(doc.Download());
    std::vector<std::string> agents{"stale"};
    EXPECT_EQ(doc.GetGroupAgents("500", "North", agents), 2);
    EXPECT_EQ(agents, (std::vector<std::string>{"101", "102"}));
    EXPECT_EQ(doc.GetGroupAgents("500", "South", agents), 0);
    EXPECT_EQ(doc.GetGroupAgents("101", "North", agents), 0);  // not a group
    EXPECT_EQ(Row("500").GroupCount, 1);
}

TEST_F(Matching, CountsPerType) {
    TwoSites();
    Add(*sites[0].site, Ext("600", "application"));
    Add(*sites[1].site, Ext("600", "virtual"));
    ASSERT_TRUE(doc.Download());
    EXPECT_EQ(doc.CountExtType("600", exttype::kApplication), 1);
    EXPECT_EQ(doc.CountExtType("600", 6), 2);
    EXPECT_FALSE(doc.IsSynchronizable("600", "North"));  // an application somewhere
    doc.UpdateExtRows({"600", "nope"});
    EXPECT_EQ(frame.updates.back(), (std::pair<int, std::string>{UPDATE_ROW_REFRESH, "600"}));
}

TEST_F(Matching, AVirtualRowTakesTheTypeTheCountsGiveIt) {
    ThreeSites();
    // 300: virtual everywhere stays virtual. 301 to 303: a virtual home whose copies are of
    // other types; the synchronised row first takes the home's type.
    for (sim::Site* s : {&North(), &South(), &East()}) Add(*s, Ext("300", "virtual"));
    Add(North(), Ext("301", "virtual"));
    Add(South(), CopyAs("physical", "301", "North"));
    Add(East(), Copy("301", "North"));
    Add(North(), Ext("302", "virtual"));
    Add(South(), CopyAs("group", "302", "North"));
    Add(East(), Copy("302", "North"));
    Add(North(), Ext("303", "virtual"));
    Add(South(), CopyAs("physical", "303", "North"));
    Add(East(), CopyAs("group", "303", "North"));
    ASSERT_TRUE(doc.Download());

    const struct {
        const char* number;
        uint8_t type;
        int extCount, groupCount;
    } expected[] = {
        {"300", exttype::kVirtual, 0, 0},
        {"301", exttype::kPhysical, 1, 0},
        {"302", exttype::kWorkgroup, 0, 1},
        {"303", exttype::kVirtual, 1, 1},  // both counts: the type stays
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.number);
        const auto& row = Row(e.number);
        EXPECT_EQ(row.ExtensionType, e.type);
        EXPECT_EQ(row.ExtCount, e.extCount);
        EXPECT_EQ(row.GroupCount, e.groupCount);
    }
    EXPECT_EQ(Home(Row("300")), "Unknown");
    for (const char* synchronized : {"301", "302", "303"}) {
        EXPECT_EQ(Row(synchronized).SyncStatus, 1) << synchronized;
        EXPECT_EQ(Home(Row(synchronized)), "North") << synchronized;
    }
}

TEST_F(Matching, IpExtensionsCountAsExtensions) {
    TwoSites();
    Add(North(), Ext("400", "ip"));
    Add(South(), Ext("400"));
    Add(North(), Ext("401", "ip"));
    Add(South(), Ext("401", "virtual"));
    Add(North(), Ext("402", "ip"));
    Add(South(), Copy("402", "North"));
    ASSERT_TRUE(doc.Download());
    EXPECT_EQ(Row("400").ExtCount, 2);
    EXPECT_EQ(Home(Row("400")), "Unknown");
    // The one site that holds it as an extension is its home.
    EXPECT_EQ(Row("401").ExtCount, 1);
    EXPECT_EQ(Home(Row("401")), "North");
    EXPECT_EQ(Row("401").ExtensionType, exttype::kIp);
    EXPECT_EQ(Row("401").SyncStatus, 0);
    EXPECT_EQ(Row("402").SyncStatus, 1);
    EXPECT_EQ(Row("402").ExtensionType, exttype::kIp);
}

TEST_F(Matching, ANumberTwoSitesHoldAsExtensionsIsNeverSynchronized) {
    TwoSites();
    // South's records would be correct forwarding copies, but they are extensions themselves.
    Add(North(), Ext("500"));
    Add(South(), CopyAs("physical", "500", "North"));
    Add(North(), Ext("501", "ip"));
    Add(South(), CopyAs("physical", "501", "North"));
    // An extension on one site and a group on the other: no single holder either.
    Add(North(), Ext("502"));
    Add(South(), Ext("502", "group"));
    ASSERT_TRUE(doc.Download());
    for (const char* number : {"500", "501", "502"}) {
        SCOPED_TRACE(number);
        EXPECT_EQ(Row(number).SyncStatus, 0);
        EXPECT_EQ(Home(Row(number)), "Unknown");
        EXPECT_TRUE(Logged(LOG_DETAIL, "\tMatch extension " + std::string(number) + ".: Unsynchronized."));
    }
    EXPECT_EQ(Row("500").ExtCount, 2);
    EXPECT_EQ(Row("501").ExtCount, 2);
}

TEST_F(Matching, NamesThatDifferOnlyInLetterCaseAreTheSame) {
    TwoSites();
    Add(North(), Named(Ext("600"), "Ann", "Lee", "ann"));
    Add(South(), Named(Copy("600", "North"), "ANN", "lee", "ANN"));
    ASSERT_TRUE(doc.Download());
    EXPECT_EQ(doc.CompareExtNames("600"), 0u);
    EXPECT_TRUE(Logged(LOG_DETAIL, "Compare extension 600 name result : 0x0 \n"));
    const auto& row = Row("600");
    EXPECT_EQ(row.SyncStatus, 1);
    EXPECT_EQ(server::FieldText(row.ExtFirstName), "Ann");  // the home's
    EXPECT_EQ(server::FieldText(row.ExtName), "Lee");
}

TEST_F(Matching, EachDifferingNameIsMaskedAndTheNumberLosesItsHome) {
    TwoSites();
    // Each copy would match but for its names; its mail address follows its own e-mail name.
    const struct {
        const char* number;
        const char *first, *last, *email;
        uint32_t flags;
    } cases[] = {
        {"601", "Bob", "Lee", "ann", 0x2},
        {"602", "Ann", "Ray", "ann", 0x20},
        {"603", "Ann", "Lee", "bob", 0x200},
        {"604", "Bob", "Ray", "bob", 0x222},
    };
    for (const auto& c : cases) {
        Add(North(), Named(Ext(c.number), "Ann", "Lee", "ann"));
        Add(South(), Named(Copy(c.number, "North"), c.first, c.last, c.email));
    }
    ASSERT_TRUE(doc.Download());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_EQ(doc.CompareExtNames(c.number), c.flags);
        const auto& row = Row(c.number);
        EXPECT_EQ(server::FieldText(row.ExtFirstName), c.flags & 0x2 ? "XXXXXXX" : "Ann");
        EXPECT_EQ(server::FieldText(row.ExtName), c.flags & 0x20 ? "XXXXXXX" : "Lee");
        EXPECT_EQ(server::FieldText(row.EMailName), c.flags & 0x200 ? "XXXXXXX" : "ann");
        EXPECT_EQ(Home(row), "Unknown");
        EXPECT_EQ(row.SyncStatus, 0);
        EXPECT_FALSE(doc.IsSynchronizedAll(c.number, "North"));
    }
}

TEST_F(Matching, AMissingNameOrNumberIsOnlyLogged) {
    ThreeSites();
    // 610: the last site lacks the first name; 611: the middle one lacks the last name, and the
    // first and the last compare with each other; 612: the home, last, lacks the e-mail name.
    Add(North(), Named(Ext("610"), "Ann", "Lee", "ann"));
    Add(South(), Named(Copy("610", "North"), "Ann", "Lee", "ann"));
    Add(East(), Named(Copy("610", "North"), "", "Lee", "ann"));
    Add(North(), Named(Ext("611"), "Ann", "Lee", "ann"));
    Add(South(), Named(Copy("611", "North"), "Ann", "", "ann"));
    Add(East(), Named(Copy("611", "North"), "Ann", "LEE", "ann"));
    Add(North(), Named(Copy("612", "East"), "Ann", "Lee", "ann"));
    Add(South(), Named(Copy("612", "East"), "Ann", "Lee", "ann"));
    Add(East(), Named(Ext("612"), "Ann", "Lee", ""));
    // 613: a site that lacks a name another site after it has.
    Add(North(), Named(Copy("613", "South"), "", "Lee", "ann"));
    Add(South(), Named(Ext("613"), "Ann", "Lee", "ann"));
    Add(East(), Named(Copy("613", "South"), "Ann", "Lee", "ann"));
    // 614: held by North only.
    Add(North(), Ext("614"));
    ASSERT_TRUE(doc.Download());

    EXPECT_EQ(doc.CompareExtNames("610"), 0x1u);
    EXPECT_EQ(doc.CompareExtNames("611"), 0x10u);
    EXPECT_EQ(doc.CompareExtNames("612"), 0x100u);
    EXPECT_EQ(doc.CompareExtNames("613"), 0x0u);
    EXPECT_EQ(doc.CompareExtNames("614"), 0x111u);
    EXPECT_TRUE(Logged(LOG_DETAIL, "Compare extension 614 name result : 0x111 \n"));
    EXPECT_EQ(Home(Row("610")), "North");
    EXPECT_EQ(Home(Row("611")), "North");
    EXPECT_EQ(Home(Row("612")), "East");
    EXPECT_EQ(Home(Row("613")), "South");
    for (const char* number : {"610", "611", "612", "613"}) EXPECT_EQ(Row(number).SyncStatus, 1) << number;
    EXPECT_EQ(Home(Row("614")), "North");
    EXPECT_EQ(Row("614").SyncStatus, 0);
}

TEST_F(Matching, WhichNumbersMayBeCheckedForSynchronisation) {
    TwoSites();
    using Refusal = CQOBDoc::SyncRefusal;
    Add(North(), Ext("700", "application"));
    Add(South(), Ext("700", "virtual"));
    Add(North(), Ext("701"));
    Add(South(), Ext("701"));
    Add(North(), Ext("702", "ip"));
    Add(South(), Ext("702"));
    Add(North(), Ext("703"));
    Add(South(), Ext("703", "group"));
    Add(North(), Ext("704", "ip"));
    Add(South(), Ext("704", "group"));
    Add(North(), Ext("705", "group"));
    Add(South(), Ext("705", "group"));
    Add(North(), Ext("706", "virtual"));
    Add(South(), Ext("706", "group"));
    Add(North(), Ext("707"));
    Add(South(), Copy("707", "North"));
    Add(North(), Ext("708"));
    ASSERT_TRUE(doc.Download());

    EXPECT_EQ(doc.WhyNotSynchronizable("999", "North"), Refusal::NoRow);
    EXPECT_EQ(doc.WhyNotSynchronizable("708", "Unknown"), Refusal::NoHome);
    EXPECT_EQ(doc.WhyNotSynchronizable("700", "North"), Refusal::Application);
    EXPECT_EQ(doc.WhyNotSynchronizable("701", "North"), Refusal::SeveralExtensions);
    EXPECT_EQ(doc.WhyNotSynchronizable("702", "North"), Refusal::SeveralExtensions);
    EXPECT_EQ(doc.WhyNotSynchronizable("703", "North"), Refusal::ExtensionAndGroup);
    EXPECT_EQ(doc.WhyNotSynchronizable("704", "North"), Refusal::ExtensionAndGroup);
    EXPECT_EQ(doc.WhyNotSynchronizable("705", "North"), Refusal::None);  // groups alone
    EXPECT_EQ(doc.WhyNotSynchronizable("706", "South"), Refusal::None);
    // Already synchronised to exactly that home; any other home (the text compared exactly), or a
    // number not synchronised to its home, may be checked.
    EXPECT_EQ(doc.WhyNotSynchronizable("707", "North"), Refusal::AlreadySynchronized);
    EXPECT_EQ(doc.WhyNotSynchronizable("707", "South"), Refusal::None);
    EXPECT_EQ(doc.WhyNotSynchronizable("707", "north"), Refusal::None);
    EXPECT_EQ(doc.WhyNotSynchronizable("708", "North"), Refusal::None);
    EXPECT_FALSE(doc.IsSynchronizable("707", "North"));
    EXPECT_TRUE(doc.IsSynchronizable("708", "North"));
}

TEST_F(Matching, TheSynchronisedTestUsesTheHomeSitesOwnName) {
    TwoSites();
    Add(North(), Ext("800"));
    Add(South(), Copy("800", "North"));
    ASSERT_TRUE(doc.Download());
    // A home typed in another letter case finds the routes to that site...
    EXPECT_TRUE(doc.IsSynchronizedAll("800", " nORTH "));
    EXPECT_FALSE(doc.IsSynchronizedAll("800", "West"));
    // ...while the route lookups themselves compare the site they lead to exactly.
    ASSERT_NE(doc.GetFwdPattern("SOUTH", "North"), nullptr);
    EXPECT_EQ(*doc.GetFwdPattern("SOUTH", "North"), "8N");
    EXPECT_EQ(doc.GetFwdPattern("South", "north"), nullptr);
    ASSERT_NE(doc.GetVMAPostfix("south", "North"), nullptr);
    EXPECT_EQ(*doc.GetVMAPostfix("south", "North"), "north.example");
    EXPECT_EQ(doc.GetVMAPostfix("South", "NORTH"), nullptr);
}

}  // namespace
