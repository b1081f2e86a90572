// zentsim daemons that stop answering (SIGSTOP: the kernel still takes connections, nobody
// answers them), and several daemons worked on at once: a stopped site costs one budget, never
// more; an Abort ends a call to it at once; sites worked on side by side give what each gives.
#include <arpa/inet.h>

#include "E2EFixture.h"
#include "com/Pinger.h"
#include "com/ProxyLoader.h"
#include "com/ProxyRegistration.h"
#include "support/SiteWork.h"

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

struct NoOptions : server::IConnectionOptions {
    bool RelocateVM() const override { return false; }
    std::string DefaultMBUser() const override { return {}; }
    std::string DefaultMBPassword() const override { return {}; }
};

// A daemon stopped for as long as it lives; continued on every way out, so it can be ended. A test
// asserts Held() before it relies on the stop: the kernel stops the process after kill() returns.
class Stopped {
public:
    explicit Stopped(Daemon& d) : m_daemon(d), m_held(d.Process().Pause()) {}
    ~Stopped() { EXPECT_TRUE(m_daemon.Process().Resume()) << "zentsim " << m_daemon.Process().Pid(); }
    Stopped(const Stopped&) = delete;
    Stopped& operator=(const Stopped&) = delete;

    ::testing::AssertionResult Held() const { return m_held; }

private:
    Daemon& m_daemon;
    ::testing::AssertionResult m_held;
};

class StoppedSite : public E2E {
protected:
    void SetUp() override {
        E2E::SetUp();
        com::ResetProxyStubCache();
        ASSERT_TRUE(com::EnsureProxyLibraryRegistered());
    }
    void TearDown() override {
        conn.reset();
        for (const char* v : {"QOB_CONNECT_TIMEOUT_MS", "QOB_CALL_TIMEOUT_MS", "QOB_PING_PERIOD_MS"}) unsetenv(v);
    }

    // A site of `records` extensions served at `address`.
    Daemon& Serve(const std::string& name, const std::string& address, int records = 3) {
        InitSite(name);
        for (int i = 0; i < records; ++i)
            Run("zentsim", {"add", State(name), "--number", std::to_string(100 + i), "--type", "physical", "--first",
                            name + std::to_string(i)});
        return Start(name, address);
    }
    std::unique_ptr<server::CZentServ> Connect(const std::string& name, const std::string& address) {
        uint32_t ip = 0;
        inet_pton(AF_INET, address.c_str(), &ip);
        return server::CreateServer(name, ip, "pw-" + name, "", "", options);
    }
    // Until the pinger has sent `count` more pings than `before` (its sets known at their sites).
    static bool PingedSince(uint64_t before, uint64_t count) {
        const auto end = Clock::now() + std::chrono::seconds(10);
        while (com::PingsSent() < before + count && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return com::PingsSent() >= before + count;
    }
    template <class F>
    static long long Ms(F&& f) {
        const auto start = Clock::now();
        f();
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    }

    NoOptions options;
    std::unique_ptr<server::CZentServ> conn;
};

TEST_F(StoppedSite, ConnectingFailsWithinTheConnectBudget) {
    setenv("QOB_CONNECT_TIMEOUT_MS", "1000", 1);
    Daemon& d = Serve("North", "127.0.0.171");
    ASSERT_TRUE(d.Ready());
    Stopped stopped(d);
    ASSERT_TRUE(stopped.Held());
    conn = Connect("North", "127.0.0.171");
    bool initialized = true;
    const long long took = Ms([&] { initialized = conn->Initialize(); });
    EXPECT_FALSE(initialized);
    EXPECT_LT(took, 2000);
    EXPECT_EQ(conn->GetLastError(), "Failed to connect to server North, hr = 0x800706be\n"
                                    "127.0.0.171 port 1135: no answer to the bind within 1000 ms\n");
    EXPECT_LT(Ms([&] { conn.reset(); }), 500);
}

TEST_F(StoppedSite, AnAbortEndsTheCallInFlightAndTheSiteIsLost) {
    Daemon& d = Serve("North", "127.0.0.172");
    ASSERT_TRUE(d.Ready());
    conn = Connect("North", "127.0.0.172");
    ASSERT_TRUE(conn->Initialize()) << conn->GetLastError();
    Stopped stopped(d);
    ASSERT_TRUE(stopped.Held());
    bool loaded = true;
    long long took = 0;
    {
        std::jthread worker([&] { took = Ms([&] { loaded = conn->LoadExtensions(); }); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        conn->Abort();
    }
    EXPECT_FALSE(loaded);
    EXPECT_LT(took, 1300);  // 300 ms before the Abort, then at once
    EXPECT_TRUE(conn->ConnectionLost());
    EXPECT_NE(conn->GetLastError().find("the call was abandoned"), std::string::npos) << conn->GetLastError();
    // Later operations fail at once, naming the site; the teardown asks it nothing.
    EXPECT_LT(Ms([&] { EXPECT_FALSE(conn->LoadExtensions()); }), 100);
    EXPECT_EQ(conn->GetLastError().rfind("Lost the connection to server North while reading its record definition: ", 0), 0u)
        << conn->GetLastError();
    EXPECT_LT(Ms([&] { conn.reset(); }), 500);
}

TEST_F(StoppedSite, AnAbortEndsTheReleaseOfAConnectionBeingDestroyed) {
    setenv("QOB_CALL_TIMEOUT_MS", "20000", 1);
    Daemon& d = Serve("North", "127.0.0.170");
    ASSERT_TRUE(d.Ready());
    conn = Connect("North", "127.0.0.170");
    ASSERT_TRUE(conn->Initialize()) << conn->GetLastError();
    Stopped stopped(d);
    ASSERT_TRUE(stopped.Held());
    server::CZentServ* dying = conn.get();
    std::atomic<bool> gone{false};
    long long took = 0;
    {
        // The destructor waits on the stopped site's answer to its release meanwhile.
        std::jthread destroyer([&] {
            took = Ms([&] { conn.reset(); });
            gone = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_FALSE(gone) << "the connection went without waiting on its release";
        dying->Abort();
    }
    EXPECT_LT(took, 1300);
}

TEST_F(StoppedSite, ACallThatTimesOutCostsOneTimeoutAndTheTeardownNone) {
    setenv("QOB_CALL_TIMEOUT_MS", "1500", 1);
    Daemon& d = Serve("North", "127.0.0.173");
    ASSERT_TRUE(d.Ready());
    const uint64_t pings = com::PingsSent();
    conn = Connect("North", "127.0.0.173");
    ASSERT_TRUE(conn->Initialize()) << conn->GetLastError();
    ASSERT_TRUE(PingedSince(pings, 1));
    Stopped stopped(d);
    ASSERT_TRUE(stopped.Held());
    const long long took = Ms([&] { EXPECT_FALSE(conn->LoadExtensions()); });
    EXPECT_GE(took, 1400);
    EXPECT_LT(took, 3000);
    EXPECT_NE(conn->GetLastError().find("no answer within 1500 ms"), std::string::npos) << conn->GetLastError();
    EXPECT_LT(Ms([&] { EXPECT_FALSE(conn->LoadExtensions()); }), 100);
    EXPECT_LT(Ms([&] { conn.reset(); }), 1000);  // well inside the 1500 ms a release would wait
    // Its references were forgotten, not released: the pinger's goodbye does not wait for it either.
    EXPECT_LT(Ms([] { com::PingerShutdown(); }), 1000);
}

TEST_F(StoppedSite, ThePingersGoodbyeWaitsForAllStoppedSitesAtOnce) {
    setenv("QOB_PING_PERIOD_MS", "600000", 1);  // no ping but the first and the goodbye
    setenv("QOB_CALL_TIMEOUT_MS", "1000", 1);
    setenv("QOB_CONNECT_TIMEOUT_MS", "1000", 1);
    Daemon& a = Serve("North", "127.0.0.174");
    Daemon& b = Serve("South", "127.0.0.175");
    ASSERT_TRUE(a.Ready() && b.Ready());
    const uint64_t before = com::PingsSent();
    {
        auto north = Connect("North", "127.0.0.174");
        auto south = Connect("South", "127.0.0.175");
        ASSERT_TRUE(north->Initialize()) << north->GetLastError();
        ASSERT_TRUE(south->Initialize()) << south->GetLastError();
        ASSERT_TRUE(PingedSince(before, 2));  // both sets are known at their sites
    }
    // The references are released; the sites still have them in their ping sets.
    Stopped stopA(a), stopB(b);
    ASSERT_TRUE(stopA.Held());
    ASSERT_TRUE(stopB.Held());
    const long long took = Ms([] { com::PingerShutdown(); });
    EXPECT_GE(took, 900);   // it did wait for them
    EXPECT_LT(took, 1800);  // side by side, not one after the other
}

using ConcurrentDaemons = StoppedSite;

TEST_F(ConcurrentDaemons, SitesWorkedOnAtOnceGiveWhatOneAfterAnotherGives) {
    constexpr int kSites = 4;
    std::vector<std::string> names, addresses;
    for (int i = 0; i < kSites; ++i) {
        names.push_back("Site" + std::to_string(i));
        addresses.push_back("127.0.0." + std::to_string(176 + i));
        ASSERT_TRUE(Serve(names[i], addresses[i], 2 + 2 * i).Ready());
    }
    auto work = [&](int i) { return WorkOnSite(names[i], addresses[i], "pw-" + names[i], options); };
    std::vector<SiteOutcome> alone(kSites);
    for (int i = 0; i < kSites; ++i) {
        alone[i] = work(i);
        ASSERT_TRUE(alone[i].loaded) << alone[i].error;
        EXPECT_TRUE(alone[i].passwordAccepted && alone[i].versionSupported);
        EXPECT_EQ(alone[i].extensions, 2 + 2 * i);
    }
    ExpectAtOnceAsAlone(alone, work);
}

}  // namespace
}  // namespace e2e
