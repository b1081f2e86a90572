// Deleting a number on every downloaded site, with either scope: what the servers hold afterwards,
// what becomes of the merged row, and the question asked first.
#include "DownloadFixture.h"

using namespace downloadtest;
namespace exttype = server::exttype;

namespace {

constexpr int kVirtualOnly = 0;
constexpr int kEverything = 1;

class Delete : public DownloadFixture {
protected:
    void Download() {
        ASSERT_TRUE(doc.Download());
        frame.logs.clear();
        frame.updates.clear();
    }
    bool Gone(sim::Site& site, const std::string& number) { return Held(site, number).empty(); }
    // The number physical on North with forwarding copies on South and East.
    void Synchronised(const std::string& number = "100") {
        ThreeSites();
        Add(North(), Ext(number));
        Add(South(), Copy(number, "North"));
        Add(East(), Copy(number, "North"));
        Download();
        ASSERT_EQ(Row(number).SyncStatus, 1);
    }
};

TEST_F(Delete, EverythingRemovesEveryRecordAndTheRow) {
    Synchronised();
    frame.deleteScope = kEverything;
    EXPECT_TRUE(doc.DeleteEverywhere("100"));
    EXPECT_TRUE(Gone(North(), "100") && Gone(South(), "100") && Gone(East(), "100"));
    EXPECT_EQ(doc.FindExtRow("100"), nullptr);
    EXPECT_TRUE(Logged(LOG_INFO, "Delete extension 100 in South."));
    EXPECT_TRUE(Logged(LOG_INFO, "Deletion process completed for 100"));
    ASSERT_EQ(frame.prompts.size(), 1u);
    EXPECT_EQ(frame.prompts[0].question, "Do you want to delete extension 100 in all sites?");
    EXPECT_EQ(frame.prompts[0].virtualOnly, "Delete all virtual extensions only");
    EXPECT_EQ(frame.prompts[0].everything, "Delete all extensions");
}

TEST_F(Delete, VirtualOnlyKeepsTheHomeAndTheRowStaysUnsynchronized) {
    Synchronised();
    frame.deleteScope = kVirtualOnly;
    EXPECT_FALSE(doc.DeleteEverywhere("100"));
    EXPECT_FALSE(Gone(North(), "100"));
    EXPECT_TRUE(Gone(South(), "100") && Gone(East(), "100"));
    EXPECT_EQ(Row("100").SyncStatus, 0);
    EXPECT_EQ(Home(Row("100")), "Unknown");
    EXPECT_EQ(frame.updates, (std::vector<std::pair<int, std::string>>{{UPDATE_ROW_TEXT, "100"}}));
}

TEST_F(Delete, VirtualOnlyKeepsAVirtualHome) {
    // After a relocation the home may hold the extension as a virtual record.
    ThreeSites();
    Add(North(), Ext("100", "virtual"));
    Add(South(), Copy("100", "North"));
    Add(East(), Copy("100", "North"));
    Download();
    ASSERT_EQ(Row("100").SyncStatus, 1);
    frame.deleteScope = kVirtualOnly;
    EXPECT_FALSE(doc.DeleteEverywhere("100"));
    EXPECT_FALSE(Gone(North(), "100"));
    EXPECT_TRUE(Gone(South(), "100") && Gone(East(), "100"));
    EXPECT_NE(doc.FindExtRow("100"), nullptr);
}

TEST_F(Delete, AGroupEverywhereOrItsPilotsKept) {
    ThreeSites();
    for (sim::Site* s : {&North(), &South(), &East()}) Add(*s, Ext("600", "group"));
    Download();
    ASSERT_EQ(Row("600").GroupCount, 3);
    frame.deleteScope = kVirtualOnly;
    EXPECT_FALSE(doc.DeleteEverywhere("600"));
    EXPECT_TRUE(HasGroup(South(), "600"));
    EXPECT_EQ(frame.prompts[0].question, "Do you want to delete group 600 in all sites?");
    EXPECT_EQ(frame.prompts[0].everything, "Delete all extensions and groups");

    frame.deleteScope = kEverything;
    EXPECT_TRUE(doc.DeleteEverywhere("600"));
    for (sim::Site* s : {&North(), &South(), &East()}) {
        EXPECT_TRUE(Gone(*s, "600"));
        EXPECT_FALSE(HasGroup(*s, "600"));
    }
    EXPECT_EQ(doc.FindExtRow("600"), nullptr);
}

TEST_F(Delete, ANumberHeldOnlyAsCopiesGoesWithEitherScope) {
    ThreeSites();
    Add(South(), Ext("100", "virtual"));
    Add(East(), Ext("100", "virtual"));
    Add(South(), Ext("101", "virtual"));
    Download();
    frame.deleteScope = kVirtualOnly;
    EXPECT_TRUE(doc.DeleteEverywhere("100"));
    EXPECT_TRUE(Gone(South(), "100") && Gone(East(), "100"));
    frame.deleteScope = kEverything;
    EXPECT_TRUE(doc.DeleteEverywhere("101"));
    EXPECT_EQ(doc.FindExtRow("101"), nullptr);
}

TEST_F(Delete, WirelessIsRefusedAsARowAndSkippedAsASite) {
    // South first, so the merged row takes North's type (physical) and may be deleted.
    AddSite("South");
    AddSite("North");
    AddSite("East");
    LinkAll();
    Add(*sites[0].site, Ext("100", "wireless"));
    Add(*sites[1].site, Ext("100"));
    Add(*sites[2].site, Ext("100", "virtual"));
    Add(*sites[1].site, Ext("300", "wireless"));
    Download();
    frame.deleteScope = kEverything;

    EXPECT_FALSE(doc.DeleteEverywhere("300"));
    EXPECT_TRUE(Logged(LOG_ERROR, "Extension 300 is the Extension type that cannot be handled with this tool."));
    EXPECT_TRUE(frame.prompts.empty());

    EXPECT_FALSE(doc.DeleteEverywhere("100"));
    EXPECT_TRUE(Logged(LOG_ERROR, "Extension 100 is the Extension type that cannot be handled with this tool."));
    EXPECT_FALSE(Gone(*sites[0].site, "100"));
    EXPECT_TRUE(Gone(*sites[1].site, "100") && Gone(*sites[2].site, "100"));
    EXPECT_NE(doc.FindExtRow("100"), nullptr);  // South still holds it
}

// A copy that stays must not forward to a deleted home: the home is kept, the other copies go.
TEST_F(Delete, ARefusingCopyKeepsTheRowAndTheHome) {
    Synchronised();
    Fault(South(), "DeleteExtension", com::E_FAIL);
    frame.deleteScope = kEverything;
    EXPECT_FALSE(doc.DeleteEverywhere("100"));
    EXPECT_TRUE(Logged(LOG_INFO, "Cannot delete extension 100 in South: hr = 80004005"));
    EXPECT_TRUE(Logged(LOG_ERROR, "\tExtension 100 is kept in North: not every forwarding copy of it could be deleted."));
    EXPECT_TRUE(Logged(LOG_ERROR, "Extension 100 was not deleted everywhere: it is still on the sites named above."));
    EXPECT_FALSE(Gone(South(), "100"));
    EXPECT_FALSE(Gone(North(), "100"));
    EXPECT_TRUE(Gone(East(), "100"));
    EXPECT_EQ(Home(Row("100")), "Unknown");
}

// A group whose pilot is refused on one site keeps its workgroup there, and the row stays.
TEST_F(Delete, AGroupKeepsPilotAndWorkgroupTogether) {
    ThreeSites();
    for (sim::Site* s : {&North(), &South(), &East()}) Add(*s, Ext("600", "group"));
    Download();
    Fault(South(), "DeleteExtension", com::E_FAIL);
    frame.deleteScope = kEverything;
    bool complete = true;
    EXPECT_FALSE(doc.DeleteEverywhere("600", &complete));
    EXPECT_FALSE(complete);
    EXPECT_TRUE(Logged(LOG_INFO, "Cannot delete extension 600 in South: hr = 80004005; its workgroup was put back as it was"));
    EXPECT_FALSE(Gone(South(), "600"));
    EXPECT_TRUE(HasGroup(South(), "600"));
    EXPECT_TRUE(Gone(North(), "600") && Gone(East(), "600"));
    EXPECT_NE(doc.FindExtRow("600"), nullptr);
}

// A copy deleted whose answer was lost: the outcome says it may have been deleted, and the
// number is not reported as gone.
TEST_F(Delete, ALostAnswerSaysTheDeletionMayHaveBeenMade) {
    Synchronised();
    Fault(South(), "DeleteExtension", com::RPC_S_CALL_FAILED, 0, true);
    frame.deleteScope = kEverything;
    bool complete = true;
    EXPECT_FALSE(doc.DeleteEverywhere("100", &complete));
    EXPECT_FALSE(complete);
    EXPECT_TRUE(LoggedPrefix(LOG_INFO, "Extension 100 may have been deleted in South: the answer was lost (hr = 800706be"));
    EXPECT_TRUE(Gone(South(), "100"));   // the site did delete it
    EXPECT_FALSE(Gone(North(), "100"));  // the home stays while a copy is uncertain
    EXPECT_NE(doc.FindExtRow("100"), nullptr);
}

TEST_F(Delete, CancelledOrUnknownDeletesNothing) {
    Synchronised();
    frame.deleteScope = -1;
    EXPECT_FALSE(doc.DeleteEverywhere("100"));
    EXPECT_TRUE(Logged(LOG_INFO, "Deleting extension 100 is cancelled."));
    EXPECT_FALSE(doc.DeleteEverywhere("555"));
    EXPECT_TRUE(Logged(LOG_ERROR, "Cannot find extension 555 to be deleted."));
    EXPECT_FALSE(Gone(North(), "100") || Gone(South(), "100") || Gone(East(), "100"));
    EXPECT_EQ(Row("100").SyncStatus, 1);
}

}  // namespace
