// One connection against one simulated site, through the real proxies and channel.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include "com/ProxyLoader.h"
#include "com/ProxyRegistration.h"
#include "platform/Strings.h"
#include "relocation/Reloc.h"
#include "connection/SPDCOM.h"
#include "sim/SimHost.h"
#include "sim/SiteSetup.h"
#include "support/TempDir.h"
#include "support/HostedSites.h"

namespace {

// One site at 127.0.0.9 and its connection, made but not yet connected.
class Connection : public HostedSites {
protected:
    void TearDown() override {
        conn.reset();
        sim::UnhostSite("127.0.0.9");
        server::CZentServDcom::SetListCapacity(160000);
        HostedSites::TearDown();
    }

    sim::Site& Host(uint16_t recordLength = 2400, uint16_t version = 0x0480) {
        sim::InitOptions o;
        o.name = "North";
        o.adminPassword = "pw";
        o.version = version;
        o.recordLength = recordLength;
        o.dialPlan = {{'8', 1}};
        sim::SiteState state;
        std::string error;
        EXPECT_TRUE(sim::MakeSiteState(o, state, error)) << error;
        site = std::make_shared<sim::Site>(std::move(state));
        sim::HostSite("127.0.0.9", site);
        uint32_t ip = 0;
        inet_pton(AF_INET, "127.0.0.9", &ip);
        conn = server::CreateServer("North", ip, "pw", "  operator ", " mbpw ", options);
        return *site;
    }
    void Add(const std::string& number, const std::string& type = "physical", std::vector<std::string> members = {}) {
        sim::NewExtension e;
        e.number = number;
        e.type = type;
        AddSimRecord(*site, std::move(e), std::move(members));
    }
    void Fault(std::function<void(sim::Faults&)> f) {
        std::string error;
        ASSERT_TRUE(site->Modify(
            [&](sim::SiteState& s, std::string&) {
                f(s.faults);
                return true;
            },
            error));
    }
    int Calls(const std::string& method) const {
        int n = 0;
        for (const auto& c : site->Calls()) n += c.method == method;
        return n;
    }

    std::shared_ptr<sim::Site> site;
    std::unique_ptr<server::CZentServ> conn;
};

TEST_F(Connection, ConnectsChecksAndLoads) {
    Host();
    Add("100");
    Add("101");
    Add("500", "group", {"100", "101"});
    ASSERT_TRUE(conn->Initialize()) << conn->GetLastError();
    EXPECT_EQ(conn->GetAddress(), "127.0.0.9");
    EXPECT_EQ(conn->GetMailboxAccount(), "operator");  // trimmed
    EXPECT_EQ(conn->GetMailboxPassword(), "mbpw");
    EXPECT_TRUE(conn->VerifyPassword("pw"));
    EXPECT_FALSE(conn->VerifyPassword("PW"));
    EXPECT_TRUE(conn->IsVersionSupported());
    EXPECT_EQ(Calls("GetSystemConfig"), 1);  // read once, kept
    ASSERT_TRUE(conn->LoadExtensions());
    EXPECT_EQ(conn->GetExtCount(), 3);
    uint16_t version = 0, length = 0;
    conn->GetVersionInfo(version, length);
    EXPECT_EQ(version, 0x0480);
    EXPECT_EQ(length, 2400);
    std::vector<std::string> members{"x"};
    EXPECT_EQ(conn->GetGroupMembers("500", members), 2);
    EXPECT_EQ(members, (std::vector<std::string>{"x", "100", "101"}));  // appended, not cleared
    EXPECT_EQ(conn->GetGroupMembers("999", members), 0);

    std::vector<std::string> walked;
    for (auto* s = conn->GetFirstExt(); s; s = conn->GetNextExt()) walked.emplace_back(server::FieldText(s->ExtensionNumber));
    EXPECT_EQ(walked, (std::vector<std::string>{"100", "101", "500"}));
    EXPECT_EQ(conn->GetNextExt(), nullptr);
}

TEST_F(Connection, RecordLengthOfTheServerIsUsed) {
    Host(1800);
    Add("100");
    Add("200");
    ASSERT_TRUE(conn->Initialize());
    ASSERT_TRUE(conn->LoadExtensions());
    EXPECT_EQ(conn->GetExtCount(), 2);
    EXPECT_EQ(conn->FindExtRec("200").size(), 1800u);
}

TEST_F(Connection, EmptyServerHasNoFirstExtension) {
    Host();
    ASSERT_TRUE(conn->Initialize());
    ASSERT_TRUE(conn->LoadExtensions());
    EXPECT_EQ(conn->GetFirstExt(), nullptr);
}

TEST_F(Connection, OutOfMemoryDoublesTheSharedCapacityUpToItsLimit) {
    Host();
    Add("100");
    Fault([](sim::Faults& f) { f.methods["GetExtensionList"] = sim::MethodFault{com::E_OUTOFMEMORY, 0, false}; });
    ASSERT_TRUE(conn->Initialize());
    EXPECT_FALSE(conn->LoadExtensions());
    EXPECT_EQ(Calls("GetExtensionList"), 9);  // 160000 ... 40960000
    EXPECT_EQ(server::CZentServDcom::ListCapacity(), 81920000u);
    // The next load offers the kept capacity once; another refusal does not grow it further.
    EXPECT_FALSE(conn->LoadExtensions());
    EXPECT_EQ(Calls("GetExtensionList"), 10);
    EXPECT_EQ(server::CZentServDcom::ListCapacity(), 81920000u);
    EXPECT_FALSE(conn->LoadExtensions());
    EXPECT_EQ(server::CZentServDcom::ListCapacity(), 81920000u);
    // And a list that fits is then carried at that capacity: later downloads still work.
    Fault([](sim::Faults& f) { f.methods.erase("GetExtensionList"); });
    ASSERT_TRUE(conn->LoadExtensions());
    EXPECT_EQ(conn->GetExtCount(), 1);
}

TEST_F(Connection, ACapacityTooSmallForTheListIsDoubledUntilItFits) {
    Host();
    for (int i = 0; i < 100; ++i) Add(std::to_string(100 + i));  // 240000 bytes
    ASSERT_TRUE(conn->Initialize());
    ASSERT_TRUE(conn->LoadExtensions());
    EXPECT_EQ(conn->GetExtCount(), 100);
    EXPECT_EQ(server::CZentServDcom::ListCapacity(), 320000u);
}

// A site loaded before in this process is offered room for its last list and a quarter more: a
// list that grew past the shared capacity meanwhile (a synchronisation's copies) still comes in
// one call.
TEST_F(Connection, ASiteLoadedBeforeIsAskedOnceForAListThatGrew) {
    Host();
    for (int i = 0; i < 130; ++i) Add(std::to_string(100 + i));  // 312,000 bytes
    ASSERT_TRUE(conn->Initialize());
    ASSERT_TRUE(conn->LoadExtensions());
    EXPECT_EQ(Calls("GetExtensionList"), 2);  // 160,000 bytes, then 320,000
    EXPECT_EQ(server::CZentServDcom::ListCapacity(), 320000u);

    for (int i = 130; i < 150; ++i) Add(std::to_string(100 + i));  // 360,000 bytes
    site->ClearCalls();
    ASSERT_TRUE(conn->LoadExtensions());
    EXPECT_EQ(conn->GetExtCount(), 150);
    EXPECT_EQ(Calls("GetExtensionList"), 1);
    EXPECT_EQ(server::CZentServDcom::ListCapacity(), 320000u);  // what one site saw is its own

    // A fresh process knows no site.
    server::CZentServDcom::SetListCapacity(160000);
    site->ClearCalls();
    ASSERT_TRUE(conn->LoadExtensions());
    EXPECT_EQ(Calls("GetExtensionList"), 3);
}

TEST_F(Connection, BadListsAreRefusedWhole) {
    Host();
    Add("100");
    Fault([](sim::Faults& f) { f.extensionListExtraBytes = 7; });
    ASSERT_TRUE(conn->Initialize());
    EXPECT_FALSE(conn->LoadExtensions());
    EXPECT_EQ(conn->GetExtCount(), 0);

    Fault([](sim::Faults& f) {
        f.extensionListExtraBytes = 0;
        f.recordDefinitionFillsCapacity = true;
    });
    EXPECT_FALSE(conn->LoadExtensions());
}

TEST_F(Connection, MissingAndEmptyInterfaces) {
    Host();
    Fault([](sim::Faults& f) { f.interfaces["IZentONAI"] = sim::InterfaceAnswer::Absent; });
    EXPECT_TRUE(conn->Initialize());
    EXPECT_EQ(conn->GetONAInterface(), nullptr);

    conn.reset();
    Host();
    Fault([](sim::Faults& f) { f.interfaces["IZentOKLInterface"] = sim::InterfaceAnswer::Empty; });
    EXPECT_FALSE(conn->Initialize());
    EXPECT_EQ(conn->GetLastError(), "Failed to connect to server North: it gave no IZentOKLInterface interface.\n");
}

TEST_F(Connection, EveryFailedInitializeSaysWhy) {
    Host();
    Fault([](sim::Faults& f) { f.methods["GetSystemConfig"] = sim::MethodFault{com::E_FAIL, 0, false}; });
    EXPECT_FALSE(conn->Initialize());
    EXPECT_EQ(conn->GetLastError(), "Failed to get the system configuration of server North.\n");

    conn.reset();
    Host();
    Fault([](sim::Faults& f) { f.interfaces["IZentGetI"] = sim::InterfaceAnswer::Absent; });
    EXPECT_FALSE(conn->Initialize());
    EXPECT_EQ(conn->GetLastError(), "Failed to connect to server North: it gave no IZentGetI interface.\n");

    // None of the interfaces: the code's meaning follows it, once.
    conn.reset();
    Host();
    Fault([](sim::Faults& f) {
        for (const char* name : {"IZentControlI", "IZentGetI", "IZentChangeI", "IZentITGTableSetupI", "IZentDeleteI",
                                 "IZentONAI", "IZentOKLInterface"})
            f.interfaces[name] = sim::InterfaceAnswer::Absent;
    });
    EXPECT_FALSE(conn->Initialize());
    EXPECT_EQ(conn->GetLastError(), "Failed to connect to server North, hr = 0x80004002\n"
                                    "the server answered with none of the interfaces asked for (E_NOINTERFACE)\n");
}

TEST_F(Connection, UnreachableServerSetsTheLastError) {
    // Nothing listens on this port of this address: the network says why.
    setenv("QOB_RESOLVER_PORT", "1", 1);
    uint32_t ip = 0;
    inet_pton(AF_INET, "127.0.0.77", &ip);
    conn = server::CreateServer("Far", ip, "pw", "", "", options);
    EXPECT_FALSE(conn->Initialize());
    unsetenv("QOB_RESOLVER_PORT");
    EXPECT_EQ(conn->GetLastError(),
              "Failed to connect to server Far, hr = 0x800706ba\ncannot connect to 127.0.0.77 port 1: Connection refused\n");
}

TEST_F(Connection, VoiceMailShareFollowsTheOptionOnVersion48) {
    Host();
    options.relocateVM = false;
    ASSERT_TRUE(conn->Initialize());
    EXPECT_EQ(Calls("MailboxShare"), 0);
    conn.reset();
    EXPECT_EQ(Calls("MailboxShare"), 0);

    Host();
    options.relocateVM = true;
    ASSERT_TRUE(conn->Initialize());
    EXPECT_EQ(Calls("MailboxShare"), 1);
    EXPECT_EQ(site->State().mailbox.account, "operator");
    conn.reset();  // closing stops the sharing
    EXPECT_EQ(Calls("MailboxShare"), 1 + 1);
}

TEST_F(Connection, VoiceMailShareRefusalsGiveTheirMessages) {
    options.relocateVM = true;
    Host();
    Fault([](sim::Faults& f) { f.mailboxShareAnswer = 170; });
    EXPECT_FALSE(conn->Initialize());
    EXPECT_EQ(conn->GetLastError(), "The mailbox being used by another user for site North.");

    conn.reset();
    Host();
    Fault([](sim::Faults& f) { f.mailboxShareAnswer = 1326; });
    EXPECT_FALSE(conn->Initialize());
    EXPECT_EQ(conn->GetLastError(), "The mailbox operator name is not right for site North.");
}

TEST_F(Connection, Version46NeverTouchesTheShare) {
    options.relocateVM = true;
    Host(2400, 0x0460);
    ASSERT_TRUE(conn->Initialize());
    EXPECT_EQ(Calls("MailboxShare"), 0);
    auto* dcom = static_cast<server::CZentServDcom*>(conn.get());
    EXPECT_NE(dynamic_cast<relocation::CReloc46*>(dcom->GetRelocator()), nullptr);
}

TEST_F(Connection, AccessCodesByDigitClass) {
    Host();
    ASSERT_TRUE(conn->Initialize());
    EXPECT_TRUE(conn->IsValidAccessCode(" 8N "));
    EXPECT_FALSE(conn->IsValidAccessCode("7N"));  // starts an extension
    EXPECT_FALSE(conn->IsValidAccessCode("   "));
    EXPECT_TRUE(conn->IsValidMailSuffix(" x "));
    EXPECT_FALSE(conn->IsValidMailSuffix("  "));
}

}  // namespace
