// A connection given up: an Abort from another thread ends the call in flight at once, whether
// it waits for an answer, a bind or a connect; a site lost to a timeout or an Abort is asked
// nothing more, and the connection then goes without releasing anything there.
#include "ScriptedPeer.h"
#include "WireFixture.h"
#include "support/Blackhole.h"

namespace wiretest {
namespace {

class Abort : public WireFixture {
protected:
    // Runs `call` on a thread of its own, aborts the connection after `after` ms, and says how long
    // the call took.
    std::chrono::milliseconds AbortDuring(const std::function<void()>& call, int after = 200) {
        std::chrono::milliseconds took{0};
        std::jthread worker([&] { took = Timed(call); });
        std::this_thread::sleep_for(std::chrono::milliseconds(after));
        conn->Abort();
        worker.join();
        return took;
    }
    void SlowDown(sim::Site& site, uint32_t ms) {
        std::lock_guard lock(site.Mutex());
        site.State().faults.delayMs = ms;
    }
};

TEST_F(Abort, EndsACallInFlightAtOnceAndTheSiteIsAskedNothingMore) {
    auto site = MemorySite("North", 10);
    sim::SiteServer& server = Serve(site, "127.0.0.150");
    conn = Connect("North", "127.0.0.150");
    ASSERT_TRUE(conn->Initialize()) << conn->GetLastError();
    SlowDown(*site, 2000);
    bool loaded = true;
    const auto took = AbortDuring([&] { loaded = conn->LoadExtensions(); });
    EXPECT_FALSE(loaded);
    EXPECT_LT(took.count(), 1000);
    EXPECT_TRUE(conn->ConnectionLost());
    EXPECT_EQ(conn->GetLastError().rfind("Lost the connection to server North while reading its record definition: 127.0.0.150 port ", 0), 0u)
        << conn->GetLastError();
    EXPECT_NE(conn->GetLastError().find(": the call was abandoned (hr = 0x800706be)"), std::string::npos)
        << conn->GetLastError();

    SlowDown(*site, 0);
    EXPECT_LT(Timed([&] { EXPECT_FALSE(conn->LoadExtensions()); }).count(), 100);
    EXPECT_EQ(conn->GetLastError().rfind("Lost the connection to server North while reading its record definition: ", 0), 0u) << conn->GetLastError();
    EXPECT_NE(conn->GetLastError().find("the call was not sent"), std::string::npos) << conn->GetLastError();
    // Gone without a release: the site keeps the objects until nobody pings them.
    EXPECT_LT(Timed([&] { conn.reset(); }).count(), 300);
    EXPECT_EQ(server.Server().Exporter().InterfaceCount(), 7u);
}

TEST_F(Abort, ATimedOutSiteIsNotWaitedOnAgain) {
    setenv("QOB_CALL_TIMEOUT_MS", "400", 1);
    auto site = MemorySite("North", 10);
    sim::SiteServer& server = Serve(site, "127.0.0.151");
    conn = Connect("North", "127.0.0.151");
    ASSERT_TRUE(conn->Initialize()) << conn->GetLastError();
    SlowDown(*site, 1500);
    EXPECT_FALSE(conn->LoadExtensions());
    // The next operation and the teardown each would wait a whole timeout if they asked again.
    EXPECT_LT(Timed([&] { EXPECT_FALSE(conn->LoadExtensions()); }).count(), 100);
    EXPECT_NE(conn->GetLastError().find("no answer within 400 ms; the call was not sent"), std::string::npos)
        << conn->GetLastError();
    EXPECT_LT(Timed([&] { conn.reset(); }).count(), 300);
    EXPECT_EQ(server.Server().Exporter().InterfaceCount(), 7u);
}

TEST_F(Abort, EndsAConnectNobodyAnswers) {
    Blackhole hole("127.0.0.152", kPort);
    ASSERT_TRUE(hole.Ready());
    conn = Connect("North", "127.0.0.152");
    bool initialized = true;
    const auto took = AbortDuring([&] { initialized = conn->Initialize(); });
    EXPECT_FALSE(initialized);
    EXPECT_LT(took.count(), 1000);  // not the connect budget of 10 s
    EXPECT_TRUE(conn->ConnectionLost());
    EXPECT_NE(conn->GetLastError().find("abandoned"), std::string::npos) << conn->GetLastError();
}

TEST_F(Abort, EndsABindNobodyAnswers) {
    ScriptedPeer silent("127.0.0.153", kPort, [](int fd) {
        while (!ScriptedPeer::ReadPdu(fd).empty()) {
        }
    });
    ASSERT_TRUE(silent.Listening());
    conn = Connect("North", "127.0.0.153");
    bool initialized = true;
    const auto took = AbortDuring([&] { initialized = conn->Initialize(); });
    EXPECT_FALSE(initialized);
    EXPECT_LT(took.count(), 1000);
    EXPECT_NE(conn->GetLastError().find("127.0.0.153 port 1135: the call was abandoned"), std::string::npos)
        << conn->GetLastError();
}

TEST_F(Abort, FromSeveralThreadsAtOnceWhileACallWaits) {
    auto site = MemorySite("North", 10);
    Serve(site, "127.0.0.154");
    for (int round = 0; round < 5; ++round) {
        conn = Connect("North", "127.0.0.154");
        ASSERT_TRUE(conn->Initialize()) << conn->GetLastError();
        SlowDown(*site, 2000);
        std::chrono::milliseconds took{0};
        {
            std::jthread worker([&] { took = Timed([&] { conn->LoadExtensions(); }); });
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::vector<std::jthread> aborters;
            for (int i = 0; i < 3; ++i) aborters.emplace_back([&] { conn->Abort(); });
        }
        EXPECT_LT(took.count(), 1000);
        EXPECT_TRUE(conn->ConnectionLost());
        SlowDown(*site, 0);
        conn.reset();
    }
}

}  // namespace
}  // namespace wiretest
