// Which of a server's string bindings the client uses: the one naming the address the site was
// reached by, otherwise the first that accepts a connection.
#include "WireFixture.h"
#include "com/StringBindings.h"

namespace wiretest {
namespace {

using namespace com;

TEST(Bindings, TheAddressTheSiteWasReachedByComesFirstThenAddressesThenNames) {
    DualStringArray d;
    d.strings = {{kTowerTcp, "PBX-NORTH[49153]"},
                 {0x0008, "10.1.1.1[49153]"},  // not TCP
                 {kTowerTcp, "10.1.1.1"},      // no endpoint
                 {kTowerTcp, "10.1.1.2[49153]"},
                 {kTowerTcp, "10.1.1.1[49154]"},
                 {kTowerTcp, "10.1.1.3[0]"}};  // not a port
    const auto order = OrderTcpBindings(d, "10.1.1.1");
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(order[0], std::make_pair(std::string("10.1.1.1"), uint16_t(49154)));
    EXPECT_EQ(order[1], std::make_pair(std::string("10.1.1.2"), uint16_t(49153)));
    EXPECT_EQ(order[2], std::make_pair(std::string("PBX-NORTH"), uint16_t(49153)));
    // Host names compare without regard to case.
    EXPECT_EQ(OrderTcpBindings(d, "pbx-north")[0].first, "PBX-NORTH");
}

TEST(Bindings, OnlyAFewAreEverTried) {
    DualStringArray d;
    for (int i = 0; i < 100; ++i) d.strings.push_back({kTowerTcp, "10.2.0." + std::to_string(i) + "[5000]"});
    const auto order = OrderTcpBindings(d, "10.2.0.50");
    ASSERT_EQ(order.size(), kMaxBindingsTried);
    EXPECT_EQ(order[0].first, "10.2.0.50");
    EXPECT_EQ(order[1].first, "10.2.0.0");
}

using BindingFallback = WireFixture;

TEST_F(BindingFallback, TheFirstBindingThatConnectsIsUsed) {
    auto site = MemorySite("North", 5);
    servers.push_back(std::make_unique<sim::SiteServer>(site, "127.0.0.120"));
    sim::SiteServer& s = *servers.back();
    std::string error;
    ASSERT_TRUE(s.Start(kPort, error)) << error;
    // The objects are also reachable at a second address; the bindings name a dead one first and
    // do not name the address the site is reached by at all.
    uint16_t port = 0;
    ASSERT_TRUE(s.Server().Server().Listen("127.0.0.122", 0, &s.Server().Exporter(), port, error)) << error;
    DualStringArray bindings;
    bindings.strings = {{kTowerTcp, "127.0.0.121[" + std::to_string(port) + "]"},
                        {kTowerTcp, "127.0.0.122[" + std::to_string(port) + "]"}};
    s.Server().Exporter().SetBindings(bindings);
    s.RunInBackground();

    conn = Connect("North", "127.0.0.120");
    ASSERT_TRUE(conn->Initialize()) << conn->GetLastError();
    ASSERT_TRUE(conn->LoadExtensions()) << conn->GetLastError();
    EXPECT_EQ(conn->GetExtCount(), 5);
}

TEST_F(BindingFallback, NoBindingThatConnectsFailsTheFirstCall) {
    auto site = MemorySite("North", 5);
    servers.push_back(std::make_unique<sim::SiteServer>(site, "127.0.0.123"));
    sim::SiteServer& s = *servers.back();
    std::string error;
    ASSERT_TRUE(s.Start(kPort, error)) << error;
    DualStringArray bindings;
    bindings.strings = {{kTowerTcp, "127.0.0.124[1]"}, {kTowerTcp, "127.0.0.125[1]"}};
    s.Server().Exporter().SetBindings(bindings);
    s.RunInBackground();

    conn = Connect("North", "127.0.0.123");
    EXPECT_FALSE(conn->Initialize());
    EXPECT_TRUE(conn->ConnectionLost());
    EXPECT_NE(conn->GetLastError().find("cannot connect to 127.0.0.125 port 1"), std::string::npos) << conn->GetLastError();
}

}  // namespace
}  // namespace wiretest
