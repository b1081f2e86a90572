// How long a site keeps the objects a connection holds: as long as the connection lives and its
// references are pinged; released at once when the connection goes, and by the site when
// nobody pings them.
#include "WireFixture.h"
#include "com/RpcSettings.h"

namespace wiretest {
namespace {

using Lifetime = WireFixture;

void WaitPingPeriods(int periods) { std::this_thread::sleep_for(std::chrono::milliseconds(100 * periods)); }

TEST_F(Lifetime, DestroyingTheConnectionReleasesItsObjects) {
    auto site = MemorySite("North", 3);
    sim::SiteServer& server = Serve(site, "127.0.0.107");
    conn = Connect("North", "127.0.0.107");
    ASSERT_TRUE(conn->Initialize()) << conn->GetLastError();
    EXPECT_EQ(server.Server().Exporter().ObjectCount(), 1u);
    EXPECT_EQ(server.Server().Exporter().InterfaceCount(), 7u);
    conn.reset();
    EXPECT_EQ(server.Server().Exporter().InterfaceCount(), 0u);
    EXPECT_EQ(server.Server().Exporter().ObjectCount(), 0u);
    EXPECT_EQ(server.Server().Exporter().ObjectsCollected(), 0u);  // released, not collected
}

TEST_F(Lifetime, UnpingedObjectsAreReleasedBySite) {
    setenv("QOB_PING_PERIOD_MS", "100", 1);
    com::SetPingingEnabled(false);
    auto site = MemorySite("North", 3);
    sim::SiteServer& server = Serve(site, "127.0.0.108");
    conn = Connect("North", "127.0.0.108");
    ASSERT_TRUE(conn->Initialize()) << conn->GetLastError();
    WaitPingPeriods(int(com::kPingsMissed) * 2 + 2);
    EXPECT_EQ(server.Server().Exporter().ObjectCount(), 0u);
    EXPECT_EQ(server.Server().Exporter().ObjectsCollected(), 1u);
    // The connection's calls now reach an object the site no longer has.
    EXPECT_FALSE(conn->LoadExtensions());
    EXPECT_TRUE(conn->ConnectionLost());
    EXPECT_NE(conn->GetLastError().find("no longer holds the object"), std::string::npos) << conn->GetLastError();
    EXPECT_NE(conn->GetLastError().find("0x80010108"), std::string::npos) << conn->GetLastError();
}

TEST_F(Lifetime, PingedObjectsStay) {
    setenv("QOB_PING_PERIOD_MS", "100", 1);
    auto site = MemorySite("North", 3);
    sim::SiteServer& server = Serve(site, "127.0.0.109");
    const uint64_t before = com::PingsSent();
    conn = Connect("North", "127.0.0.109");
    ASSERT_TRUE(conn->Initialize()) << conn->GetLastError();
    WaitPingPeriods(int(com::kPingsMissed) * 2 + 2);
    EXPECT_GE(com::PingsSent() - before, 3u);
    EXPECT_EQ(server.Server().Exporter().ObjectCount(), 1u);
    EXPECT_EQ(server.Server().Exporter().ObjectsCollected(), 0u);
    EXPECT_TRUE(conn->LoadExtensions()) << conn->GetLastError();
}

}  // namespace
}  // namespace wiretest
