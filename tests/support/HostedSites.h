// Simulated sites served in this process at 127.0.0.(20 + i), each with a connection through the
// real proxies and channel, and what their servers hold and answered: the fixture of the connection
// and relocation tests.
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
#include "support/SimRecords.h"
#include "support/TempDir.h"

class TestOptions : public server::IConnectionOptions {
public:
    bool RelocateVM() const override { return relocateVM; }
    bool Relocation() const override { return relocation; }
    std::string DefaultMBUser() const override { return defaultUser; }
    std::string DefaultMBPassword() const override { return defaultPassword; }
    std::string WorkDir() const override { return workDir; }
    bool relocateVM = false;
    bool relocation = true;
    std::string defaultUser, defaultPassword, workDir;
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

    // Site i at 127.0.0.(20 + i) (or at `address`), password "pw".
    Hosted& Site(sim::InitOptions o, const std::string& address = {}) {
        o.adminPassword = "pw";
        sim::SiteState state;
        std::string error;
        EXPECT_TRUE(sim::MakeSiteState(o, state, error)) << error;
        Hosted h;
        h.address = address.empty() ? "127.0.0." + std::to_string(20 + hosted.size()) : address;
        h.site = std::make_shared<sim::Site>(std::move(state));
        sim::HostSite(h.address, h.site);
        hosted.push_back(std::move(h));
        return hosted.back();
    }
    // Dial plan 8 -> class 1; every other first digit starts an extension.
    Hosted& Site(const std::string& name, uint16_t recordLength = 2400, uint16_t version = 0x0480,
                 const std::string& address = {}) {
        sim::InitOptions o;
        o.name = name;
        o.recordLength = recordLength;
        o.version = version;
        o.dialPlan = {{'8', 1}};
        return Site(o, address);
    }
    void Add(Hosted& h, sim::NewExtension e, std::vector<std::string> members = {}) {
        AddSimRecord(*h.site, std::move(e), std::move(members));
    }
    // Changes the site's state directly (what a server holds that no request makes).
    void Edit(Hosted& h, const std::function<void(sim::SiteState&)>& change) { EditSimState(*h.site, change); }
    static void EditRecord(Hosted& h, const std::string& number, const std::function<void(server::ExtRec)>& edit) {
        EditSimRecord(*h.site, number, edit);
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
    // A new connection to the site, made but not yet connected.
    server::CZentServ& Create(Hosted& h, const std::string& mbAccount = {}, const std::string& mbPassword = {}) {
        uint32_t ip = 0;
        inet_pton(AF_INET, h.address.c_str(), &ip);
        h.conn.reset();
        h.conn = server::CreateServer(h.site->State().name, ip, "pw", mbAccount, mbPassword, options);
        return *h.conn;
    }
    // A new connection, connected and loaded; the site's journal starts empty.
    server::CZentServ& Load(Hosted& h, const std::string& mbAccount = {}, const std::string& mbPassword = {}) {
        server::CZentServ& conn = Create(h, mbAccount, mbPassword);
        EXPECT_TRUE(conn.Initialize()) << conn.GetLastError();
        EXPECT_TRUE(conn.LoadExtensions());
        h.site->ClearCalls();
        return conn;
    }
    // With `applied`, the calls are carried out and only their answer is `hr` (a lost reply).
    void Fault(Hosted& h, const std::string& method, com::HRESULT hr, uint32_t after = 0, bool applied = false) {
        std::string error;
        ASSERT_TRUE(h.site->SetMethodFault(method, sim::MethodFault{hr, after, applied}, error)) << error;
    }
    static std::vector<uint8_t> Held(const Hosted& h, const std::string& number) {
        std::lock_guard lock(h.site->Mutex());
        const sim::Stored* s = h.site->State().FindRecord(number);
        return s ? std::vector<uint8_t>(s->bytes.begin(), s->bytes.end()) : std::vector<uint8_t>{};
    }
    static std::vector<uint8_t> HeldGroup(const Hosted& h, const std::string& number) {
        std::lock_guard lock(h.site->Mutex());
        const sim::Stored* s = h.site->State().FindWorkgroup(number);
        return s ? std::vector<uint8_t>(s->bytes.begin(), s->bytes.end()) : std::vector<uint8_t>{};
    }
    static bool HasGroup(const Hosted& h, const std::string& number) { return !HeldGroup(h, number).empty(); }
    static std::vector<std::string> Calls(const Hosted& h) {
        std::vector<std::string> out;
        for (const auto& c : h.site->Calls()) out.push_back(c.method);
        return out;
    }
    static int Count(const Hosted& h, const std::string& method) {
        int n = 0;
        for (const auto& c : h.site->Calls()) n += c.method == method;
        return n;
    }

    TempDir registry;
    TestOptions options;
    std::deque<Hosted> hosted;  // references stay valid as sites are added
};
