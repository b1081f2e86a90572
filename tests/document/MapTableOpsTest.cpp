// The map table editor's operations keep every site's routes consistent with the site list.
#include <gtest/gtest.h>

#include "document/MapTableOps.h"
#include "platform/CodePage.h"

namespace {

std::vector<std::string> RouteNames(const SiteRec& s) {
    std::vector<std::string> names;
    for (const MapEntry& e : s.Routes) names.push_back(e.Name);
    return names;
}

class MapTable : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetCodePage("WINDOWS-1252");
        for (auto [name, ip] : {std::pair{"A", 1u}, std::pair{"B", 2u}, std::pair{"C", 3u}})
            ASSERT_EQ(MapAddSite(doc, SiteEditValues{name, ip, "", ""}), MapEditResult::Changed);
    }
    void TearDown() override { platform::SetCodePage(""); }
    CQOBDoc doc;
};

TEST_F(MapTable, AddGivesEverySiteARouteToEveryOther) {
    ASSERT_EQ(MapAddSite(doc, SiteEditValues{"D", 4, "acct", "pw"}), MapEditResult::Changed);
    EXPECT_EQ(RouteNames(doc.m_sites[3]), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(RouteNames(doc.m_sites[0]), (std::vector<std::string>{"B", "C", "D"}));
    EXPECT_EQ(RouteNames(doc.m_sites[1]), (std::vector<std::string>{"A", "C", "D"}));
    EXPECT_EQ(RouteNames(doc.m_sites[2]), (std::vector<std::string>{"A", "B", "D"}));
    for (const SiteRec& s : doc.m_sites)
        for (const MapEntry& e : s.Routes) EXPECT_TRUE(e.VMAPostfix.empty() && e.FwdPattern.empty());
}

TEST_F(MapTable, AddAndEditRefuseAnAddressInUse) {
    EXPECT_EQ(MapAddSite(doc, SiteEditValues{"D", 2, "", ""}), MapEditResult::DuplicateIP);
    EXPECT_EQ(doc.m_sites.size(), 3u);
    EXPECT_EQ(RouteNames(doc.m_sites[0]).size(), 2u);
    EXPECT_EQ(MapEditMessage(MapEditResult::DuplicateIP),
              "There is duplicate IP address in all servers. Re-enter the IP address of the server.");
    EXPECT_EQ(MapEditSite(doc, 2, SiteEditValues{"C", 2, "", ""}), MapEditResult::DuplicateIP);
    EXPECT_EQ(doc.m_sites[2].IP, 3u);
    // Its own address is no duplicate, and an address already shared by a file's sites is kept
    // while another value changes.
    EXPECT_EQ(MapEditSite(doc, 2, SiteEditValues{"C", 3, "acct", ""}), MapEditResult::Changed);
    doc.m_sites[1].IP = 1;
    EXPECT_EQ(MapEditSite(doc, 1, SiteEditValues{"B", 1, "acct", ""}), MapEditResult::Changed);
}

// Every lookup by name ignores case and takes the first match, and the lists show names between
// tabs: a second "a", a blank name or one with a tab would make a site that cannot be reached.
TEST_F(MapTable, NamesAndAddressesThatWouldMakeASiteUnreachableAreRefused) {
    const std::pair<SiteEditValues, MapEditResult> refused[] = {
        {{"a", 9, "", ""}, MapEditResult::DuplicateName},
        {{" \t ", 9, "", ""}, MapEditResult::BlankName},
        {{"Tab\tName", 9, "", ""}, MapEditResult::ControlCharacter},
        {{"Line\nEnd", 9, "", ""}, MapEditResult::ControlCharacter},
        {{"Bell\x07", 9, "", ""}, MapEditResult::ControlCharacter},
        {{"D", 0, "", ""}, MapEditResult::BlankIP},
        {{"D", 0xFFFFFFFF, "", ""}, MapEditResult::BroadcastIP},
        {{"", 0, "", ""}, MapEditResult::BlankName},  // the name before the address, as the dialog
    };
    for (const auto& [values, result] : refused) {
        EXPECT_EQ(MapAddSite(doc, values), result) << values.Name;
        EXPECT_EQ(MapEditSite(doc, 1, values), result) << values.Name;
    }
    EXPECT_EQ(doc.m_sites.size(), 3u);
    EXPECT_EQ(doc.m_sites[1].Name, "B");
    EXPECT_EQ(doc.m_sites[1].IP, 2u);
    EXPECT_EQ(RouteNames(doc.m_sites[0]), (std::vector<std::string>{"B", "C"}));

    EXPECT_EQ(MapEditMessage(MapEditResult::DuplicateName),
              "There is another server with this name (letter case does not count). Re-enter the server name.");
    EXPECT_EQ(MapEditMessage(MapEditResult::BlankName), "Server Name is blank!\n  Re-enter.");
    EXPECT_EQ(MapEditMessage(MapEditResult::BlankIP), "IP address is blank. \n  Re-enter.");
    EXPECT_EQ(MapEditMessage(MapEditResult::BroadcastIP),
              "255.255.255.255 is not the address of a server. Re-enter the IP address.");
    EXPECT_EQ(MapEditMessage(MapEditResult::ControlCharacter),
              "The text contains a tab, a line end or another control character. Re-enter it without.");

    // A site may change the case of its own name; a routing value may not hold a tab either.
    EXPECT_EQ(MapEditSite(doc, 1, SiteEditValues{"b", 2, "", ""}), MapEditResult::Changed);
    EXPECT_EQ(MapSetRouteCell(doc, 0, "b", RouteColumn::MailSuffix, "x\ty"), MapEditResult::ControlCharacter);
    EXPECT_EQ(MapSetRouteCell(doc, 0, "b", RouteColumn::AccessCode, "8N\r"), MapEditResult::ControlCharacter);
    EXPECT_TRUE(doc.m_sites[0].Routes[0].VMAPostfix.empty());
}

TEST_F(MapTable, FieldsAreCutToTheirMaxima) {
    ASSERT_EQ(MapAddSite(doc, SiteEditValues{std::string(40, 'n'), 9, std::string(50, 'a'), std::string(16, 'p')}),
              MapEditResult::Changed);
    const SiteRec& s = doc.m_sites.back();
    EXPECT_EQ(s.Name.size(), 31u);
    EXPECT_EQ(s.MBAccount.size(), 49u);
    EXPECT_EQ(s.MBPassword, std::string(15, 'p'));
    EXPECT_EQ(doc.m_sites[0].Routes.back().Name.size(), 31u);
}

TEST_F(MapTable, RemoveUnlinksTheSiteFromEveryRouteChain) {
    ASSERT_EQ(MapRemoveSite(doc, 1), MapEditResult::Changed);
    ASSERT_EQ(doc.m_sites.size(), 2u);
    EXPECT_EQ(RouteNames(doc.m_sites[0]), (std::vector<std::string>{"C"}));
    EXPECT_EQ(RouteNames(doc.m_sites[1]), (std::vector<std::string>{"A"}));
    EXPECT_EQ(MapRemoveSite(doc, 2), MapEditResult::InvalidSelection);
    EXPECT_EQ(MapRemoveSite(doc, -1), MapEditResult::InvalidSelection);
    EXPECT_EQ(MapEditMessage(MapEditResult::InvalidSelection), "The selected server is invalid.");
}

TEST_F(MapTable, RenameFollowsExactNamesOnly) {
    doc.m_sites[2].Routes[1].Name = "b";  // C's route to B, differing in case
    ASSERT_EQ(MapEditSite(doc, 1, SiteEditValues{"B2", 2, "", ""}), MapEditResult::Changed);
    EXPECT_EQ(doc.m_sites[1].Name, "B2");
    EXPECT_EQ(RouteNames(doc.m_sites[0]), (std::vector<std::string>{"B2", "C"}));
    EXPECT_EQ(RouteNames(doc.m_sites[2]), (std::vector<std::string>{"A", "b"}));
    EXPECT_EQ(MapEditSite(doc, 1, SiteEditValues{"B2", 2, "", ""}), MapEditResult::Unchanged);
}

TEST_F(MapTable, CellEditsSetTheRouteAndTheToSitesTemplate) {
    bool modified = false;
    EXPECT_EQ(MapSetRouteCell(doc, 0, "C", RouteColumn::AccessCode, "8N", &modified), MapEditResult::Changed);
    EXPECT_TRUE(modified);
    EXPECT_EQ(doc.m_sites[0].Routes[1].FwdPattern, "8N");
    EXPECT_EQ(doc.m_sites[2].FWDTempl, "8N");
    // From B, the empty cell for C proposes that template; a filled cell proposes itself.
    EXPECT_EQ(MapProposeCellText(doc, "C", RouteColumn::AccessCode, " "), "8N");
    EXPECT_EQ(MapProposeCellText(doc, "C", RouteColumn::AccessCode, "7N"), "7N");
    EXPECT_EQ(MapProposeCellText(doc, "Nowhere", RouteColumn::AccessCode, ""), "");

    EXPECT_EQ(MapSetRouteCell(doc, 1, "c", RouteColumn::MailSuffix, std::string(70, 's'), &modified),
              MapEditResult::Changed);
    EXPECT_EQ(doc.m_sites[1].Routes[1].VMAPostfix.size(), 63u);
    EXPECT_EQ(doc.m_sites[2].VMATempl.size(), 63u);
    EXPECT_EQ(MapSetRouteCell(doc, 0, "C", RouteColumn::AccessCode, "8N", &modified), MapEditResult::Unchanged);
    EXPECT_FALSE(modified);
    EXPECT_EQ(MapSetRouteCell(doc, 0, "A", RouteColumn::AccessCode, "8N"), MapEditResult::NoSuchRoute);
    EXPECT_EQ(MapSetRouteCell(doc, 5, "A", RouteColumn::AccessCode, "8N"), MapEditResult::InvalidSelection);
}

TEST_F(MapTable, ValuesTheFileCannotHoldAreRefused) {
    EXPECT_EQ(MapAddSite(doc, SiteEditValues{"D", 9, "", std::string(3, '\x0A')}), MapEditResult::UnstorableText);
    EXPECT_EQ(MapAddSite(doc, SiteEditValues{"D", 9, "acct\r", ""}), MapEditResult::UnstorableText);
    EXPECT_EQ(doc.m_sites.size(), 3u);
    platform::SetCodePage("CP936");
    EXPECT_EQ(MapSetRouteCell(doc, 0, "B", RouteColumn::AccessCode, "8N\x81"), MapEditResult::UnstorableText);
    EXPECT_FALSE(MapEditMessage(MapEditResult::UnstorableText).empty());
}

}  // namespace
