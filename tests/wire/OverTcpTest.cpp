// A site's server connection over TCP: what arrives is what the site holds, in any fragment size,
// up to the largest list; a site that stops or falls silent fails the call and says why.
#include <cstring>

#include "WireFixture.h"
#include "com/Association.h"
#include "com/RpcError.h"
#include "proxy/Interfaces.h"
#include "sim/RecordBuilder.h"

namespace wiretest {
namespace {

using OverTcp = WireFixture;

void ExpectSameRecords(server::CZentServ& conn, sim::Site& site) {
    std::lock_guard lock(site.Mutex());
    ASSERT_EQ(size_t(conn.GetExtCount()), site.State().Records().size());
    for (const auto& [number, stored] : site.State().Records()) {
        server::ConstExtRec rec = conn.FindExtRec(number);
        ASSERT_TRUE(rec) << number;
        ASSERT_EQ(rec.size(), stored.bytes.size()) << number;
        EXPECT_EQ(std::memcmp(rec.data(), stored.bytes.data(), rec.size()), 0) << number;
    }
}

TEST_F(OverTcp, DownloadGivesTheRecordsTheSiteHolds) {
    auto site = MemorySite("North", 300);
    Serve(site, "127.0.0.101");
    conn = Connect("North", "127.0.0.101");
    ASSERT_TRUE(conn->Initialize()) << conn->GetLastError();
    EXPECT_TRUE(conn->VerifyPassword("pw"));
    EXPECT_FALSE(conn->VerifyPassword("wrong"));
    EXPECT_TRUE(conn->IsVersionSupported());
    const uint64_t placed = com::BytesPlacedDirectly();
    ASSERT_TRUE(conn->LoadExtensions());
    ExpectSameRecords(*conn, *site);
    // The list went from the socket into the connection's list buffer, not through a copy.
    EXPECT_EQ(com::BytesPlacedDirectly() - placed, 300u * 2400u + 2400u);  // and the record definition
    EXPECT_EQ(server::CZentServDcom::ListCapacity(), 1280000u);  // 720,000 bytes after two doublings
}

TEST_F(OverTcp, SmallFragmentsCarryRequestsAndRepliesWhole) {
    setenv("QOB_RPC_MAX_FRAGMENT", "1432", 1);
    com::RpcServerOptions small;
    small.maxFragment = 1432;
    auto site = MemorySite("North", 400);  // 960,000 bytes: some 680 reply fragments
    Serve(site, "127.0.0.102", small);
    conn = Connect("North", "127.0.0.102");
    ASSERT_TRUE(conn->Initialize()) << conn->GetLastError();
    ASSERT_TRUE(conn->LoadExtensions());
    ExpectSameRecords(*conn, *site);

    // A record of 2,400 bytes goes to the server in two fragments and comes back in place.
    sim::NewExtension ext;
    ext.number = "20000";
    ext.firstName = "Added";
    sim::Bytes record;
    std::string error;
    {
        std::lock_guard lock(site->Mutex());
        ASSERT_TRUE(sim::BuildExtRecord(ext, site->State().system, record, error)) << error;
    }
    auto* change = static_cast<server::CZentServDcom*>(conn.get())->GetChangeInterface();
    ASSERT_EQ(change->AddExtension(int32_t(record.size()), record.data()), com::S_OK);
    std::lock_guard lock(site->Mutex());
    auto it = site->State().Records().find("20000");
    ASSERT_NE(it, site->State().Records().end());
    EXPECT_EQ(it->second.bytes, record);
}

TEST_F(OverTcp, TheLargestListCrosses) {
    // 20,480 records of 4,000 bytes: 81,920,000 bytes, the largest capacity a connection offers.
    auto site = MemorySite("North", 20480, 4000);
    Serve(site, "127.0.0.103");
    server::CZentServDcom::SetListCapacity(server::CZentServDcom::kMaxListCapacity);
    conn = Connect("North", "127.0.0.103");
    ASSERT_TRUE(conn->Initialize()) << conn->GetLastError();
    ASSERT_TRUE(conn->LoadExtensions()) << conn->GetLastError();
    EXPECT_EQ(conn->GetExtCount(), 20480);
    ExpectSameRecords(*conn, *site);
}

TEST_F(OverTcp, ASiteThatStopsMidCallFailsTheCallAndSaysWhy) {
    auto site = MemorySite("North", 10);
    sim::SiteServer& server = Serve(site, "127.0.0.104");
    conn = Connect("North", "127.0.0.104");
    ASSERT_TRUE(conn->Initialize()) << conn->GetLastError();
    {
        std::lock_guard lock(site->Mutex());
        site->State().faults.delayMs = 1500;  // every call from now on waits
    }
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        server.Stop();
    });
    bool loaded = true;
    const auto took = Timed([&] { loaded = conn->LoadExtensions(); });
    stopper.join();
    EXPECT_FALSE(loaded);
    EXPECT_LT(took.count(), 1400);  // the break ends the call, not the server's delay
    EXPECT_TRUE(conn->ConnectionLost());
    EXPECT_EQ(conn->GetLastError().rfind("Lost the connection to server North while reading its record definition: 127.0.0.104 port ", 0), 0u)
        << conn->GetLastError();
    EXPECT_NE(conn->GetLastError().find("connection closed by the peer (hr = 0x800706be)"), std::string::npos)
        << conn->GetLastError();
}

TEST_F(OverTcp, ASilentSiteTimesOut) {
    setenv("QOB_CALL_TIMEOUT_MS", "400", 1);
    auto site = MemorySite("North", 10);
    Serve(site, "127.0.0.105");
    conn = Connect("North", "127.0.0.105");
    ASSERT_TRUE(conn->Initialize()) << conn->GetLastError();
    {
        std::lock_guard lock(site->Mutex());
        site->State().faults.delayMs = 2000;
    }
    bool loaded = true;
    const auto took = Timed([&] { loaded = conn->LoadExtensions(); });
    EXPECT_FALSE(loaded);
    EXPECT_GE(took.count(), 350);
    EXPECT_LT(took.count(), 1500);
    EXPECT_NE(conn->GetLastError().find("no answer within 400 ms"), std::string::npos) << conn->GetLastError();
}

TEST_F(OverTcp, AnUnreachableSiteFailsAtOnceWithTheReason) {
    conn = Connect("Far", "127.0.0.106");  // nothing listens there
    const auto took = Timed([&] { EXPECT_FALSE(conn->Initialize()); });
    EXPECT_LT(took.count(), 2000);
    EXPECT_EQ(conn->GetLastError(), "Failed to connect to server Far, hr = 0x800706ba\n"
                                    "cannot connect to 127.0.0.106 port 1135: Connection refused\n");
}

}  // namespace
}  // namespace wiretest
