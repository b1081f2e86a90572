// Sites served over TCP on loopback by zentsim in the test's own process, reached through the
// real runtime (activation, channels, pinging), the proxy library and a server connection.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "com/Pinger.h"
#include "com/ProxyLoader.h"
#include "com/ProxyRegistration.h"
#include "connection/SPDCOM.h"
#include "sim/SiteServer.h"
#include "sim/SiteSetup.h"
#include "support/NumberedSite.h"
#include "support/TempDir.h"

namespace wiretest {

// The resolver port every test site listens on (each test uses its own addresses).
constexpr uint16_t kPort = 1135;

struct NoOptions : server::IConnectionOptions {
    bool RelocateVM() const override { return false; }
    std::string DefaultMBUser() const override { return {}; }
    std::string DefaultMBPassword() const override { return {}; }
};

inline std::shared_ptr<sim::Site> MemorySite(const std::string& name, int records, uint16_t recordLength = 2400) {
    std::string error;
    auto site = NumberedSite(name, records, recordLength, error);
    EXPECT_TRUE(site) << error;
    return site;
}

class WireFixture : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QOB_REGISTRY_DIR", registry.path().c_str(), 1);
        setenv("QOB_RESOLVER_PORT", std::to_string(kPort).c_str(), 1);
        com::ResetProxyStubCache();
        ASSERT_TRUE(com::EnsureProxyLibraryRegistered());
        server::CZentServDcom::SetListCapacity(160000);
        com::SetPingingEnabled(true);
    }
    void TearDown() override {
        conn.reset();
        for (auto& s : servers) s->Stop();
        servers.clear();
        for (const char* v : {"QOB_CALL_TIMEOUT_MS", "QOB_PING_PERIOD_MS", "QOB_RPC_MAX_FRAGMENT", "QOB_CONNECT_TIMEOUT_MS"})
            unsetenv(v);
        com::SetPingingEnabled(true);
    }

    sim::SiteServer& Serve(const std::shared_ptr<sim::Site>& site, const std::string& address,
                           com::RpcServerOptions options = {}) {
        servers.push_back(std::make_unique<sim::SiteServer>(site, address, options));
        std::string error;
        EXPECT_TRUE(servers.back()->Start(kPort, error)) << error;
        servers.back()->RunInBackground();
        return *servers.back();
    }

    std::unique_ptr<server::CZentServ> Connect(const std::string& name, const std::string& address) {
        uint32_t ip = 0;
        inet_pton(AF_INET, address.c_str(), &ip);
        return server::CreateServer(name, ip, "pw", "", "", options);
    }

    template <class F>
    static std::chrono::milliseconds Timed(F&& f) {
        auto start = std::chrono::steady_clock::now();
        f();
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    }

    TempDir registry;
    NoOptions options;
    std::vector<std::unique_ptr<sim::SiteServer>> servers;
    std::unique_ptr<server::CZentServ> conn;
};

}  // namespace wiretest
