// Several sites worked on at once, each connection on a thread of its own, give what one site
// after another gives; a connection that was aborted or lost asks its site nothing more.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "com/RpcError.h"
#include "support/HostedSites.h"
#include "support/SiteWork.h"

namespace {

constexpr int kSites = 8;
constexpr int kRounds = 3;

class ConcurrentSites : public HostedSites {
protected:
    // Sites of different sizes, each with a workgroup, so no two give the same lists.
    void MakeSites() {
        for (int i = 0; i < kSites; ++i) {
            Hosted& h = Site("Site" + std::to_string(i));
            for (int n = 0; n < 5 + 7 * i; ++n) Add(h, Ext(std::to_string(100 + n)));
            Add(h, Ext("900", "group"), {"100", "101"});
        }
    }
    SiteOutcome Work(int i) { return WorkOnSite("Site" + std::to_string(i), hosted[i].address, "pw", options); }
};

TEST_F(ConcurrentSites, SitesWorkedOnAtOnceGiveWhatOneAfterAnotherGives) {
    MakeSites();
    std::vector<SiteOutcome> alone(kSites);
    for (int i = 0; i < kSites; ++i) {
        alone[i] = Work(i);
        ASSERT_TRUE(alone[i].loaded) << alone[i].error;
        EXPECT_TRUE(alone[i].passwordAccepted && alone[i].versionSupported);
        EXPECT_EQ(alone[i].extensions, 6 + 7 * i);
    }
    ExpectAtOnceAsAlone(alone, [&](int i) { return Work(i); }, kRounds);
}

TEST_F(ConcurrentSites, OneSiteCalledFromSeveralThreadsKeepsItsStateWhole) {
    // Several connections to the same site at once: the site's one lock keeps every answer whole.
    Hosted& h = Site("North");
    for (int n = 0; n < 40; ++n) Add(h, Ext(std::to_string(100 + n)));
    const SiteOutcome alone = WorkOnSite("North", h.address, "pw", options);
    ASSERT_TRUE(alone.loaded) << alone.error;
    std::vector<SiteOutcome> together(6);
    std::vector<std::function<void()>> jobs;
    for (auto& out : together) jobs.push_back([&] { out = WorkOnSite("North", h.address, "pw", options); });
    RunAtOnce(std::move(jobs));
    for (const SiteOutcome& out : together) EXPECT_EQ(out, alone);
}

TEST_F(ConcurrentSites, AnAbortedConnectionAsksItsSiteNothingMore) {
    Hosted& h = Site("North");
    Add(h, Ext("100"));
    server::CZentServ& conn = Load(h);
    conn.Abort();
    conn.Abort();  // twice is as once
    EXPECT_TRUE(conn.ConnectionLost());
    EXPECT_FALSE(conn.LoadExtensions());
    EXPECT_TRUE(Calls(h).empty());
    EXPECT_EQ(conn.GetLastError().rfind("Lost the connection to server North while reading its record definition: ", 0), 0u) << conn.GetLastError();
    EXPECT_NE(conn.GetLastError().find("abandoned"), std::string::npos) << conn.GetLastError();
}

TEST_F(ConcurrentSites, AbortedBeforeConnectingItNeverConnects) {
    Hosted& h = Site("North");
    server::CZentServ& conn = Create(h);
    conn.Abort();
    EXPECT_FALSE(conn.Initialize());
    EXPECT_TRUE(Calls(h).empty());
    EXPECT_NE(conn.GetLastError().find("Lost the connection to server North"), std::string::npos) << conn.GetLastError();
}

TEST_F(ConcurrentSites, ATransportFailureLosesTheSiteForTheRestOfTheConnection) {
    Hosted& h = Site("North");
    Add(h, Ext("100"));
    server::CZentServ& conn = Create(h);
    ASSERT_TRUE(conn.Initialize()) << conn.GetLastError();
    Fault(h, "GetExtensionList", com::RPC_S_CALL_FAILED);
    EXPECT_FALSE(conn.LoadExtensions());
    EXPECT_TRUE(conn.ConnectionLost());
    // The site would answer now; the connection does not ask.
    std::string error;
    ASSERT_TRUE(h.site->SetMethodFault("GetExtensionList", std::nullopt, error)) << error;
    h.site->ClearCalls();
    EXPECT_FALSE(conn.LoadExtensions());
    EXPECT_TRUE(Calls(h).empty());
    EXPECT_EQ(conn.GetLastError().rfind("Lost the connection to server North while reading its record definition: ", 0), 0u) << conn.GetLastError();
    EXPECT_NE(conn.GetLastError().find("the call was not sent"), std::string::npos) << conn.GetLastError();
}

}  // namespace
