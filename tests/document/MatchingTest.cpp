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

}  // namespace
