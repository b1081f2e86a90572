// Several sites served over TCP in this process, each worked on through a connection of its own
// on a thread of its own, all at once: every site gives what it gives alone, and the pinger keeps
// up with references added and dropped from all those threads.
#include "WireFixture.h"
#include "support/SiteWork.h"

namespace wiretest {
namespace {

constexpr int kSites = 6;

using ConcurrentTcp = WireFixture;

TEST_F(ConcurrentTcp, SitesWorkedOnAtOnceGiveWhatOneAfterAnotherGives) {
    setenv("QOB_PING_PERIOD_MS", "50", 1);  // the pinger busy with the sets meanwhile
    std::vector<std::string> addresses;
    for (int i = 0; i < kSites; ++i) {
        addresses.push_back("127.0.0." + std::to_string(160 + i));
        Serve(MemorySite("Site" + std::to_string(i), 20 + 15 * i), addresses.back());
    }
    auto work = [&](int i) { return WorkOnSite("Site" + std::to_string(i), addresses[i], "pw", options); };
    std::vector<SiteOutcome> alone(kSites);
    for (int i = 0; i < kSites; ++i) {
        alone[i] = work(i);
        ASSERT_TRUE(alone[i].loaded) << alone[i].error;
        EXPECT_EQ(alone[i].extensions, 20 + 15 * i);
    }
    ExpectAtOnceAsAlone(alone, work);
    // Every connection released what it held at its site.
    for (auto& s : servers) EXPECT_EQ(s->Server().Exporter().InterfaceCount(), 0u);
}

}  // namespace
}  // namespace wiretest
