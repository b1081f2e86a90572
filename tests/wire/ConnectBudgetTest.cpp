// How long connecting to a site may take: connecting and binding share one budget
// (QOB_CONNECT_TIMEOUT_MS), and so do all the addresses a server names, however many of them
// nobody answers at.
#include <functional>

#include "ScriptedPeer.h"
#include "WireFixture.h"
#include "com/StringBindings.h"
#include "com/TcpStream.h"
#include "support/Blackhole.h"

namespace wiretest {
namespace {

using namespace com;

class ConnectBudget : public WireFixture {
protected:
    // A site whose objects the server says are reachable at `bindings` only; `before` runs
    // before it serves (and may add bindings).
    sim::SiteServer& ServeWithBindings(const std::string& address, std::vector<std::string> bindings,
                                       const std::function<void(sim::SiteServer&, std::vector<std::string>&)>& before = {}) {
        servers.push_back(std::make_unique<sim::SiteServer>(MemorySite("North", 5), address));
        sim::SiteServer& s = *servers.back();
        std::string error;
        EXPECT_TRUE(s.Start(kPort, error)) << error;
        if (before) before(s, bindings);
        DualStringArray d;
        for (const std::string& b : bindings) d.strings.push_back({kTowerTcp, b});
        s.Server().Exporter().SetBindings(d);
        s.RunInBackground();
        return s;
    }
};

TEST_F(ConnectBudget, EightUnreachableAddressesEndWithinOneBudget) {
    setenv("QOB_CONNECT_TIMEOUT_MS", "1000", 1);
    std::vector<std::unique_ptr<Blackhole>> holes;
    std::vector<std::string> bindings;
    for (int i = 0; i < 8; ++i) {
        holes.push_back(std::make_unique<Blackhole>("127.0.0." + std::to_string(131 + i)));
        ASSERT_TRUE(holes.back()->Ready());
        bindings.push_back(holes.back()->Binding());
    }
    sim::SiteServer& s = ServeWithBindings("127.0.0.130", bindings);
    conn = Connect("North", "127.0.0.130");
    bool initialized = true;
    const auto took = Timed([&] { initialized = conn->Initialize(); });
    EXPECT_FALSE(initialized);
    EXPECT_GE(took.count(), 900);
    EXPECT_LT(took.count(), 2000);  // one budget, not one each
    EXPECT_TRUE(conn->ConnectionLost());
    const std::string error = conn->GetLastError();
    EXPECT_EQ(error.rfind("Lost the connection to server North while reading its system configuration: ", 0), 0u) << error;
    for (int i = 0; i < 8; ++i)
        EXPECT_NE(error.find("connecting to 127.0.0." + std::to_string(131 + i) + " port " +
                             std::to_string(holes[i]->Port()) + " timed out"),
                  std::string::npos)
            << error;
    // Nothing to release at an exporter nobody reached: the connection goes at once.
    EXPECT_LT(Timed([&] { conn.reset(); }).count(), 300);
    EXPECT_EQ(s.Server().Exporter().InterfaceCount(), 7u);
}

TEST_F(ConnectBudget, AnUnreachableFirstAddressHoldsUpTheNextOnlyAMoment) {
    setenv("QOB_CONNECT_TIMEOUT_MS", "5000", 1);
    Blackhole hole("127.0.0.141");
    ASSERT_TRUE(hole.Ready());
    // The objects are reachable at a second address, which the bindings name after the silent one.
    ServeWithBindings("127.0.0.140", {hole.Binding()}, [](sim::SiteServer& s, std::vector<std::string>& bindings) {
        uint16_t port = 0;
        std::string error;
        EXPECT_TRUE(s.Server().Server().Listen("127.0.0.142", 0, &s.Server().Exporter(), port, error)) << error;
        bindings.push_back("127.0.0.142[" + std::to_string(port) + "]");
    });
    conn = Connect("North", "127.0.0.140");
    bool initialized = false;
    const auto took = Timed([&] { initialized = conn->Initialize(); });
    ASSERT_TRUE(initialized) << conn->GetLastError();
    EXPECT_LT(took.count(), 2500);  // the second was started while the first kept silent
    ASSERT_TRUE(conn->LoadExtensions()) << conn->GetLastError();
    EXPECT_EQ(conn->GetExtCount(), 5);
}

TEST_F(ConnectBudget, ASiteThatNeverAnswersTheBindFailsWithinTheBudget) {
    setenv("QOB_CONNECT_TIMEOUT_MS", "800", 1);
    setenv("QOB_CALL_TIMEOUT_MS", "20000", 1);
    // Takes the connection and the bind, and says nothing.
    ScriptedPeer silent("127.0.0.143", kPort, [](int fd) {
        while (!ScriptedPeer::ReadPdu(fd).empty()) {
        }
    });
    ASSERT_TRUE(silent.Listening());
    conn = Connect("North", "127.0.0.143");
    bool initialized = true;
    const auto took = Timed([&] { initialized = conn->Initialize(); });
    EXPECT_FALSE(initialized);
    EXPECT_GE(took.count(), 700);
    EXPECT_LT(took.count(), 1800);
    EXPECT_EQ(conn->GetLastError(), "Failed to connect to server North, hr = 0x800706be\n"
                                    "127.0.0.143 port 1135: no answer to the bind within 800 ms\n");
    EXPECT_TRUE(conn->ConnectionLost());
}

TEST_F(ConnectBudget, TheFirstOfSeveralAddressesThatAnswerIsTaken) {
    std::vector<std::unique_ptr<ScriptedPeer>> peers;
    for (const char* a : {"127.0.0.144", "127.0.0.145"})
        peers.push_back(std::make_unique<ScriptedPeer>(a, 1137, [](int) {}));
    std::string error;
    size_t chosen = 9;
    auto stream = TcpStream::ConnectFirst({{"127.0.0.146", 1}, {"127.0.0.144", 1137}, {"127.0.0.145", 1137}},
                                          DeadlineIn(2000), error, &chosen);
    ASSERT_TRUE(stream) << error;
    EXPECT_EQ(chosen, 1u);
}

}  // namespace
}  // namespace wiretest
