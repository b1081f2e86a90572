// `zentsim serve --latency-ms N [--jitter-ms J]`: every reply and every accepted connection of a
// daemon waits as across a wide-area network, one connection's wait never holding another's, and
// values out of range are refused before anything is served.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "com/Activation.h"
#include "com/ProxyLoader.h"
#include "com/ProxyRegistration.h"
#include "com/RpcPdu.h"
#include "com/TcpStream.h"
#include "proxy/Interfaces.h"
#include "support/Processes.h"
#include "support/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint16_t kPort = 1135;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class Latency : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QOB_REGISTRY_DIR", registry.path().c_str(), 1);
        setenv("QOB_RESOLVER_PORT", std::to_string(kPort).c_str(), 1);
        com::ResetProxyStubCache();
        ASSERT_TRUE(com::EnsureProxyLibraryRegistered());
    }

    // A served site with `extra` options; the daemon is stopped by its PID when the test ends.
    Daemon& Serve(const std::string& address, std::vector<std::string> extra = {}) {
        const std::string state = scratch.file(address + ".json");
        EXPECT_EQ(RunProgram("zentsim", {"init", state, "--name", "North", "--admin-password", "pw"}, scratch.path())
                      .exitCode,
                  0);
        daemons.push_back(std::make_unique<Daemon>(state, address, kPort, scratch.path(), std::move(extra)));
        EXPECT_TRUE(daemons.back()->Ready()) << daemons.back()->Process().Err();
        return *daemons.back();
    }

    // How long each of `calls` GetSystemConfig calls on one activation of the site took, in ms.
    static std::vector<double> CallTimes(const std::string& address, int calls) {
        com::MULTI_QI qi;
        qi.pIID = &IID_IZentGetI;
        EXPECT_EQ(com::CoCreateInstanceEx(CLSID_ZentServer, address, &qi, 1), com::S_OK);
        std::vector<double> times;
        if (!qi.pItf) return times;
        auto* get = static_cast<IZentGetI*>(qi.pItf);
        std::vector<uint8_t> config(4096);
        for (int i = 0; i < calls; ++i) {
            int32_t length = 4096;
            const auto start = Clock::now();
            EXPECT_EQ(get->GetSystemConfig(&length, config.data()), com::S_OK);
            times.push_back(MsSince(start));
        }
        get->Release();
        return times;
    }

    TempDir registry, scratch;
    std::vector<std::unique_ptr<Daemon>> daemons;
};

TEST_F(Latency, EveryCallTakesTheLatencyMoreAndJitterVariesIt) {
    Serve("127.0.1.3");
    Serve("127.0.1.4", {"--latency-ms", "50"});
    Serve("127.0.1.5", {"--latency-ms", "50", "--jitter-ms", "200"});

    const std::vector<double> plain = CallTimes("127.0.1.3", 5);
    const std::vector<double> slow = CallTimes("127.0.1.4", 5);
    const std::vector<double> jittered = CallTimes("127.0.1.5", 10);
    ASSERT_EQ(plain.size(), 5u);
    ASSERT_EQ(slow.size(), 5u);
    ASSERT_EQ(jittered.size(), 10u);
    const double plainFastest = *std::min_element(plain.begin(), plain.end());
    for (double t : slow) {
        EXPECT_GE(t, 50.0);
        EXPECT_GE(t, plainFastest + 49.0);
    }
    double sum = 0;
    for (double t : jittered) {
        EXPECT_GE(t, 50.0);
        sum += t;
    }
    // Ten extras drawn from 0 to 200 ms average 100 ms; below 30 ms is nearly four standard
    // deviations away.
    EXPECT_GE(sum / double(jittered.size()), 80.0);

    // What the daemon answered is counted and said when it stops.
    Daemon& counted = *daemons[1];
    ASSERT_EQ(counted.Stop(), 0);
    const std::vector<std::string> out = Lines(counted.Process().Out());
    ASSERT_EQ(out.size(), 2u) << counted.Process().Out();
    unsigned requests = 0, connections = 0, binds = 0, alters = 0;
    ASSERT_EQ(std::sscanf(out[1].c_str(), "zentsim: answered %u requests on %u connections (%u binds, %u alter_contexts)",
                          &requests, &connections, &binds, &alters),
              4)
        << out[1];
    EXPECT_GE(requests, 6u);  // the activation and the five calls at least
    EXPECT_GE(connections, 2u);  // the resolver's and the objects'
    EXPECT_EQ(binds, connections);
}

// Two clients bind at once: each waits for its own connection and bind reply (2 x 400 ms), not
// for the other's as well.
TEST_F(Latency, OneConnectionsWaitDoesNotHoldAnother) {
    Serve("127.0.1.6", {"--latency-ms", "400"});
    std::vector<double> took(2, 0.0);
    std::vector<std::thread> clients;
    for (int i = 0; i < 2; ++i)
        clients.emplace_back([&took, i] {
            const auto start = Clock::now();
            std::string error;
            auto stream = com::TcpStream::Connect("127.0.1.6", kPort, 10000, error);
            if (!stream) return;
            com::rpc::BindBody bind;
            bind.maxXmitFrag = bind.maxRecvFrag = 5840;
            bind.contexts.push_back({0, com::rpc::SyntaxId{}, {com::rpc::kNdrSyntax}});
            std::vector<uint8_t> pdu;
            com::rpc::EncodeBind(com::rpc::PduType::Bind, 1, bind, pdu);
            uint8_t header[com::rpc::kHeaderSize];
            if (stream->Write(pdu.data(), pdu.size(), com::DeadlineIn(10000)) != com::StreamStatus::Ok ||
                stream->Read(header, sizeof header, com::DeadlineIn(10000)) != com::StreamStatus::Ok)
                return;
            com::rpc::PduHeader h;
            if (com::rpc::DecodeHeader(header, sizeof header, h) == com::rpc::PduError::None &&
                h.type == com::rpc::PduType::BindAck)
                took[i] = MsSince(start);
        });
    for (std::thread& t : clients) t.join();
    for (double t : took) {
        EXPECT_GE(t, 800.0);
        EXPECT_LT(t, 1000.0);  // in turn, the second would take at least 1200 ms
    }
}

TEST_F(Latency, ValuesOutOfRangeAreRefused) {
    const std::string state = scratch.file("refused.json");
    ASSERT_EQ(RunProgram("zentsim", {"init", state, "--name", "North"}, scratch.path()).exitCode, 0);
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--latency-ms", "-1"}, "--latency-ms must be 0 to 2000 (milliseconds)"},
        {{"--latency-ms", "2001"}, "--latency-ms must be 0 to 2000"},
        {{"--latency-ms", "50ms"}, "--latency-ms must be 0 to 2000"},
        {{"--latency-ms", ""}, "--latency-ms must be 0 to 2000"},
        {{"--jitter-ms", "10"}, "--jitter-ms goes with --latency-ms"},
        {{"--latency-ms", "10", "--jitter-ms", "2001"}, "--jitter-ms must be 0 to 2000 (milliseconds)"},
        {{"--latency-ms", "10", "--jitter-ms", "x"}, "--jitter-ms must be 0 to 2000"},
    };
    for (const auto& [options, expected] : refused) {
        std::vector<std::string> args{"serve", state, "--address", "127.0.1.7", "--port", std::to_string(kPort)};
        args.insert(args.end(), options.begin(), options.end());
        Background serve("zentsim", args, scratch.path(), "refused");  // one that serves is killed at the end
        EXPECT_EQ(serve.Wait(std::chrono::seconds(10)), 2) << expected;
        EXPECT_NE(serve.Err().find(expected), std::string::npos) << "expected: " << expected << "\ngot: " << serve.Err();
    }
}

}  // namespace
