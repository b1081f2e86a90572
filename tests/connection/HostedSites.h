// Simulated sites served in this process, each with a connection made and loaded through the real
// proxies and channel: the connection tests' fixture.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "com/ProxyLoader.h"
#include "com/ProxyRegistration.h"
#include "connection/SPDCOM.h"
#include "platform/Strings.h"
#include "sim/SimHost.h"
#include "sim/SiteSetup.h"
#include "support/TempDir.h"

namespace connectiontest {

// The document's options as a connection reads them, as the test sets them.
class TestOptions : public server::IConnectionOptions {
public:
    bool RelocateVM() const override { return relocateVM; }
    std::string DefaultMBUser() const override { return user; }
    std::string DefaultMBPassword() const override { return password; }
    bool relocateVM = false;
    std::string user, password;
};

struct Hosted {
    std::string address;
    std::shared_ptr<sim::Site> site;
    std::unique_ptr<server::CZentServ> conn;
};

class HostedSites : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetStringLanguage(platform::StringLanguage::English);
        setenv("QOB_REGISTRY_DIR", registry.path().c_str(), 1);
        com::ResetProxyStubCache();
        ASSERT_TRUE(com::EnsureProxyLibraryRegistered());
        server::CZentServDcom::SetListCapacity(160000);
    }
    void TearDown() override {
        for (Hosted& h : hosted) {
            h.conn.reset();
            sim::UnhostSite(h.address);
        }
    }

    // Site i at 127.0.0.(20 + i), password "pw"; by default the dial plan 8 -> class 1.
    Hosted& Site(sim::InitOptions o) {
        o.adminPassword = "pw";
        sim::SiteState state;
        std::string error;
        EXPECT_TRUE(sim::MakeSiteState(o, state, error)) << error;
        Hosted h;
        h.address = "127.0.0." + std::to_string(20 + hosted.size());
        h.site = std::make_shared<sim::Site>(std::move(state));
        sim::HostSite(h.address, h.site);
        hosted.push_back(std::move(h));
        return hosted.back();
    }
    Hosted& Site(const std::string& name, uint16_t recordLength = 2400) {
        sim::InitOptions o;
        o.name = name;
        o.recordLength = recordLength;
        o.dialPlan = {{'8', 1}};
        return Site(o);
    }
    void Add(Hosted& h, sim::NewExtension e, std::vector<std::string> members = {}) {
        sim::AddOptions o;
        o.ext = std::move(e);
        o.members = std::move(members);
        std::string error;
        ASSERT_TRUE(h.site->Modify([&](sim::SiteState& s, std::string& m) { return sim::AddToSite(s, o, m); }, error))
            << error;
    }
    // Changes bytes of a record the site holds, as a server's own edit would.
    static void Edit(Hosted& h, const std::string& number, const std::function<void(server::ExtRec)>& edit) {
        std::string error;
        ASSERT_TRUE(h.site->Modify(
            [&](sim::SiteState& s, std::string& m) {
                const sim::Stored* held = s.FindRecord(number);
                if (!held) {
                    m = "no record " + number;
                    return false;
                }
                sim::Bytes bytes = held->bytes;
                edit(server::ExtRec(bytes.data(), bytes.size()));
                return s.ReplaceRecord(std::move(bytes), nullptr);
            },
            error))
            << error;
    }
    static sim::NewExtension Ext(const std::string& number, const std::string& type = "physical") {
        sim::NewExtension e;
        e.number = number;
        e.type = type;
        e.firstName = "Ann";
        e.lastName = "Lee";
        return e;
    }
    // A virtual extension that forwards calls by `dial` and voice mail to `mail`.
    static sim::NewExtension ForwardingCopy(const std::string& number, const std::string& dial, const std::string& mail) {
        sim::NewExtension e = Ext(number, "virtual");
        e.forwarding = true;
        e.fwdDial = dial;
        e.fwdEmail = mail;
        return e;
    }
    // A connection made but not yet connected.
    server::CZentServ& Create(Hosted& h) {
        uint32_t ip = 0;
        inet_pton(AF_INET, h.address.c_str(), &ip);
        h.conn = server::CreateServer(h.site->State().name, ip, "pw", "", "", options);
        return *h.conn;
    }
    // A connection made, initialised and loaded (loaded again, when the site has one already).
    server::CZentServ& Load(Hosted& h) {
        if (!h.conn) {
            EXPECT_TRUE(Create(h).Initialize()) << h.conn->GetLastError();
        }
        EXPECT_TRUE(h.conn->LoadExtensions());
        h.site->ClearCalls();
        return *h.conn;
    }
    void Fault(Hosted& h, const std::string& method, com::HRESULT hr) {
        std::string error;
        ASSERT_TRUE(h.site->SetMethodFault(method, sim::MethodFault{hr, 0}, error)) << error;
    }
    static std::vector<uint8_t> Held(const Hosted& h, const std::string& number) {
        std::lock_guard lock(h.site->Mutex());
        const sim::Stored* s = h.site->State().FindRecord(number);
        return s ? std::vector<uint8_t>(s->bytes.begin(), s->bytes.end()) : std::vector<uint8_t>{};
    }
    static bool HasGroup(const Hosted& h, const std::string& number) {
        std::lock_guard lock(h.site->Mutex());
        return h.site->State().FindWorkgroup(number) != nullptr;
    }
    static std::vector<std::string> Calls(const Hosted& h) {
        std::vector<std::string> out;
        for (const auto& c : h.site->Calls()) out.push_back(c.method);
        return out;
    }

    TempDir registry;
    TestOptions options;
    std::deque<Hosted> hosted;  // references stay valid as sites are added
};

}  // namespace connectiontest
