// The download's checks, site by site, against simulated servers through the real proxies.
#include "DownloadFixture.h"

#include "relocation/Reloc.h"
#include "connection/SPDCOM.h"

using namespace downloadtest;

namespace {

class Download : public DownloadFixture {};

TEST_F(Download, NoSiteSelectedGivesAnEmptyList) {
    EXPECT_TRUE(doc.Download());
    EXPECT_TRUE(doc.m_extList.empty());
    EXPECT_TRUE(doc.m_bDownloaded);
}

TEST_F(Download, UnknownSiteIsLoggedAndNothingStays) {
    AddSite("North");
    doc.m_selServers.push_back("Nowhere");
    EXPECT_FALSE(doc.Download());
    EXPECT_TRUE(Logged(LOG_ERROR, "Could not find server Nowhere in Map Table."));
    EXPECT_TRUE(doc.m_servers.empty());
    EXPECT_FALSE(doc.m_bDownloaded);
}

TEST_F(Download, FailedActivationReportsTheConnectionsLastError) {
    AddSite("North");
    AddSite("South", 0x0480, 3, /*host=*/false);
    setenv("QOB_RESOLVER_PORT", "1", 1);  // nobody listens there
    EXPECT_FALSE(doc.Download());
    unsetenv("QOB_RESOLVER_PORT");
    const std::string error = "Failed to connect to server South, hr = 0x800706ba\n"
                              "cannot connect to 127.0.0.2 port 1: Connection refused\n";
    EXPECT_TRUE(Logged(LOG_ERROR, error));
    EXPECT_TRUE(Shown(error));
    EXPECT_TRUE(doc.m_servers.empty());
}

TEST_F(Download, WrongPasswordFailsOnlyWhenChecked) {
    AddSite("North");
    doc.m_sites[0].DayWhite = "wrong";
    EXPECT_FALSE(doc.Download());
    EXPECT_TRUE(Logged(LOG_ERROR, "Invalid password for server North."));
    EXPECT_TRUE(Shown("Failed to verify password when connect server North."));

    // The download after a synchronisation does not check passwords.
    frame.messages.clear();
    doc.m_bVerifyPassword = false;
    EXPECT_TRUE(doc.Download());
    EXPECT_TRUE(frame.messages.empty());
    EXPECT_FALSE(doc.m_bVerifyPassword);
}

TEST_F(Download, PasswordsAreCheckedUntilEverySiteIsConnected) {
    AddSite("North");
    AddSite("South");
    ASSERT_TRUE(doc.m_bVerifyPassword);
    // A download that gives up leaves the check on for the next one.
    doc.m_sites[1].DayWhite = "wrong";
    EXPECT_FALSE(doc.Download());
    EXPECT_TRUE(doc.m_bVerifyPassword);

    doc.m_sites[1].DayWhite = "pw";
    ASSERT_TRUE(doc.Download());
    EXPECT_FALSE(doc.m_bVerifyPassword);
    // The next download of the same selection (the reload after a synchronisation) does not
    // check them, even when the passwords are gone by then.
    doc.m_sites[0].DayWhite.clear();
    doc.m_sites[1].DayWhite = "wrong";
    frame.messages.clear();
    EXPECT_TRUE(doc.Download());
    EXPECT_TRUE(frame.messages.empty());
}

TEST_F(Download, VersionsAndTheirRelocators) {
    AddSite("V46", 0x0460);
    AddSite("V47", 0x0470);
    AddSite("V48", 0x0480);
    AddSite("V50", 0x0500);
    ASSERT_TRUE(doc.Download());
    auto reloc = [&](int i) { return static_cast<server::CZentServDcom*>(doc.m_servers[i].get())->GetRelocator(); };
    EXPECT_NE(dynamic_cast<relocation::CReloc46*>(reloc(0)), nullptr);
    EXPECT_NE(dynamic_cast<relocation::CReloc48*>(reloc(1)), nullptr);
    EXPECT_NE(dynamic_cast<relocation::CReloc48*>(reloc(2)), nullptr);
    EXPECT_NE(dynamic_cast<relocation::CReloc48*>(reloc(3)), nullptr);
}

TEST_F(Download, VersionOutsideTheRegistryRangeIsRefused) {
    AddSite("New", 0x0501);
    EXPECT_FALSE(doc.Download());
    const std::string text = "The Version of ZentWare in server New is not supported by this utility.";
    EXPECT_TRUE(Logged(LOG_ERROR, text));
    EXPECT_TRUE(Shown(text));

    // The machine's registry can widen the range.
    ASSERT_TRUE(platform::RegSetValue(platform::RegRoot::LocalMachine, "SOFTWARE\\Korvex\\TarnManager\\",
                                      "VersionHigh", platform::RegValue::Dword(0x0600)));
    doc.m_bVerifyPassword = true;
    EXPECT_TRUE(doc.Download());
}

TEST_F(Download, MailboxIsCheckedOnlyWhenBothRelocationOptionsAreSet) {
    sim::Site& north = AddSite("North");
    doc.m_bRelocation = true;
    doc.m_bRelocateVM = false;
    EXPECT_TRUE(doc.Download());
    // Relocation off, voice mail on: mailboxes are not moved, so the share is neither opened on the
    // server nor checked.
    doc.m_bRelocation = false;
    doc.m_bRelocateVM = true;
    EXPECT_TRUE(doc.Download());
    bool shared = false;
    for (const auto& call : north.Calls()) shared = shared || call.method == "MailboxShare";
    EXPECT_FALSE(shared);

    // Both on: the server shares it, and the check reaches for it (there is no SMB server here).
    doc.m_bRelocation = true;
    frame.messages.clear();
    EXPECT_FALSE(doc.Download());
    for (const auto& call : north.Calls()) shared = shared || call.method == "MailboxShare";
    EXPECT_TRUE(shared);
    ASSERT_EQ(frame.messages.size(), 1u);
    EXPECT_EQ(frame.messages[0],
              "The operator password is not right for site North.\n Please make sure that mailbox operator and "
              "password  for site North is right.");
}

TEST_F(Download, MailboxInUseFailsTheConnection) {
    sim::Site& north = AddSite("North");
    std::string error;
    ASSERT_TRUE(north.Modify(
        [](sim::SiteState& s, std::string&) {
            s.faults.mailboxShareAnswer = 170;
            return true;
        },
        error));
    doc.m_bRelocateVM = true;
    EXPECT_FALSE(doc.Download());
    EXPECT_TRUE(Shown("The mailbox being used by another user for site North."));
}

TEST_F(Download, AServerWithoutTheControlInterfaceCannotShareItsMailboxes) {
    sim::Site& north = AddSite("North");
    std::string error;
    ASSERT_TRUE(north.Modify(
        [](sim::SiteState& s, std::string&) {
            s.faults.interfaces["IZentControlI"] = sim::InterfaceAnswer::Absent;
            return true;
        },
        error));
    doc.m_bRelocateVM = true;
    EXPECT_FALSE(doc.Download());
    EXPECT_TRUE(Shown("Server North has no IZentControlI interface, through which it would share its mailboxes."))
        << (frame.messages.empty() ? "" : frame.messages[0]);
}

TEST_F(Download, DifferentLengthsAnsweredNoKeepTheConnections) {
    AddSite("North", 0x0480, 3);
    AddSite("South", 0x0480, 4);
    Add(*sites[0].site, Ext("100"));
    ASSERT_TRUE(doc.Download());  // Yes: goes on
    ASSERT_TRUE(doc.FindExtRow("100"));
    ASSERT_EQ(frame.messages.size(), 1u);
    EXPECT_EQ(frame.messages[0], "The selected systems have different extension number length. \nDo you want to continue?");

    frame.answer = IDNO;
    Add(*sites[0].site, Ext("200"));
    EXPECT_FALSE(doc.Download());
    EXPECT_EQ(doc.m_servers.size(), 2u);
    EXPECT_FALSE(doc.m_bDownloaded);
    EXPECT_EQ(doc.FindExtRow("200"), nullptr);  // the list is as it was
    EXPECT_NE(doc.FindExtRow("100"), nullptr);
}

TEST_F(Download, MapTableErrorsAreCountedAndCanStopTheDownload) {
    AddSite("North");
    AddSite("South");
    LinkAll();
    doc.m_sites[0].Routes[0].VMAPostfix = "  ";   // North to South: empty suffix
    doc.m_sites[0].Routes[0].FwdPattern = "7N";  // 7 starts an extension on North
    doc.m_sites[1].Routes[0].FwdPattern = "512";  // tie trunk without tie-trunk routing on South
    frame.answer = IDNO;
    EXPECT_FALSE(doc.Download());
    EXPECT_TRUE(Logged(LOG_INFO, "Map Table Warning: Mail Forwarding Suffix (  ) from North to South is invalid!"));
    EXPECT_TRUE(Logged(LOG_INFO, "Map Table Warning: Forward Access Code (7N) from North to South is invalid!"));
    EXPECT_TRUE(Logged(LOG_INFO, "Map Table Warning: Forward Access Code (512) from South to North is invalid!"));
    ASSERT_FALSE(frame.messages.empty());
    EXPECT_EQ(frame.messages.back(),
              "There are 3 error(s) in Map Information Table. Please refer the Log View for the detail.\nDo you want to continue?");
    EXPECT_EQ(frame.captions.back(), "Warning");
    EXPECT_EQ(doc.m_servers.size(), 2u);
    EXPECT_FALSE(doc.m_bDownloaded);
}

TEST_F(Download, TieTrunkAccessCodesFollowTheLocationTable) {
    AddSite("North");
    AddSite("South");
    std::string error;
    ASSERT_TRUE(sites[0].site->Modify(
        [](sim::SiteState& s, std::string&) {
            s.system.tieTrunk = sim::TieTrunk{2, sim::kDefaultItgEntrySize, {"12"}};
            return true;
        },
        error));
    LinkAll();
    doc.m_sites[0].Routes[0].FwdPattern = "512";  // location 12 is in use
    ASSERT_TRUE(doc.Download());
    EXPECT_EQ(doc.CheckMapTable(), 0);
    doc.m_sites[0].Routes[0].FwdPattern = "513";  // not in use
    EXPECT_EQ(doc.CheckMapTable(), 1);
    doc.m_sites[0].Routes[0].FwdPattern = "5";  // no location code
    EXPECT_EQ(doc.CheckMapTable(), 1);
    doc.m_sites[0].Routes[0].FwdPattern = "5a1";
    EXPECT_EQ(doc.CheckMapTable(), 1);
}

TEST_F(Download, ListThatCannotBeLoadedFailsTheDownload) {
    AddSite("North");
    sim::Site& south = AddSite("South");
    std::string error;
    ASSERT_TRUE(south.SetMethodFault("GetExtensionList", sim::MethodFault{com::E_FAIL, 0, false}, error)) << error;
    EXPECT_FALSE(doc.Download());
    EXPECT_TRUE(Logged(LOG_INFO, "Searching all extensions in South..."));
    EXPECT_TRUE(Logged(LOG_ERROR, "Failed to load extensions information from South."));
    EXPECT_TRUE(Shown("Failed to load extension data in server South."));
    EXPECT_TRUE(doc.m_servers.empty());
}

TEST_F(Download, LogsTheSizeOfEverySite) {
    sim::Site& north = AddSite("North");
    Add(north, Ext("100"));
    Add(north, Ext("101"));
    ASSERT_TRUE(doc.Download());
    EXPECT_TRUE(Logged(LOG_DETAIL,
                       "Server North has 2 extension(s). Extension number have 3 digits, and extension record length "
                       "is 2400 bytes."));
    EXPECT_TRUE(Logged(LOG_INFO, "Begin to match these extensions..."));
    EXPECT_TRUE(Logged(LOG_INFO, "End to match these extensions."));
    EXPECT_EQ(frame.status, "Ready for synchronization");
}

}  // namespace
