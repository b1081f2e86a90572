// Sites served in process by zentsim, reached through the real proxy library and channel, and a
// document configured for them; the registry points at a fresh directory.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "com/ProxyLoader.h"
#include "com/ProxyRegistration.h"
#include "document/QOBDoc.h"
#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "platform/Strings.h"
#include "connection/SPDCOM.h"
#include "sim/SimHost.h"
#include "sim/SiteSetup.h"
#include "support/RecordingFrame.h"
#include "support/SimRecords.h"
#include "support/TempDir.h"

namespace downloadtest {

struct SimSite {
    std::string name;
    std::string address;
    std::shared_ptr<sim::Site> site;
};

class DownloadFixture : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetCodePage("WINDOWS-1252");
        platform::SetStringLanguage(platform::StringLanguage::English);
        setenv("QOB_REGISTRY_DIR", registry.path().c_str(), 1);
        com::ResetProxyStubCache();
        ASSERT_TRUE(com::EnsureProxyLibraryRegistered());
        server::CZentServDcom::SetListCapacity(160000);
        doc.SetWorkDir(work.path());
        doc.SetFrame(&frame);
        frame.answer = IDYES;
    }
    void TearDown() override {
        doc.OnCloseDocument();
        for (const SimSite& s : sites) sim::UnhostSite(s.address);
    }

    // A site served at 127.0.0.<n>, with password "pw" and the dial plan 8 -> class 1.
    sim::Site& AddSite(const std::string& name, uint16_t version = 0x0480, int32_t extLength = 3,
                       bool host = true) {
        sim::InitOptions o;
        o.name = name;
        o.version = version;
        o.adminPassword = "pw";
        o.extNumberLength = extLength;
        o.dialPlan = {{'8', 1}, {'9', 6}, {'5', 5}};
        sim::SiteState state;
        std::string error;
        EXPECT_TRUE(sim::MakeSiteState(o, state, error)) << error;
        auto site = std::make_shared<sim::Site>(std::move(state));
        const std::string address = "127.0.0." + std::to_string(sites.size() + 1);
        if (host) sim::HostSite(address, site);
        sites.push_back({name, address, site});

        SiteRec rec;
        rec.Name = name;
        inet_pton(AF_INET, address.c_str(), &rec.IP);
        rec.DayWhite = "pw";
        doc.m_sites.push_back(rec);
        doc.m_selServers.push_back(name);
        return *site;
    }

    // North, South and East, linked as LinkAll links them.
    void ThreeSites() {
        AddSite("North");
        AddSite("South");
        AddSite("East");
        LinkAll();
    }
    sim::Site& North() { return *sites[0].site; }
    sim::Site& South() { return *sites[1].site; }
    sim::Site& East() { return *sites[2].site; }

    // Routes between every pair: to site T the access code "8N" and the suffix "<t>.example".
    void LinkAll() {
        for (SiteRec& from : doc.m_sites) {
            from.Routes.clear();
            for (const SiteRec& to : doc.m_sites)
                if (&to != &from) from.Routes.push_back(MapEntry{to.Name, Lower(to.Name) + ".example", "8N"});
        }
    }

    static std::string Lower(std::string s) {
        for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        return s;
    }

    static void Add(sim::Site& site, sim::NewExtension ext, std::vector<std::string> members = {}) {
        AddSimRecord(site, std::move(ext), std::move(members));
    }
    static sim::NewExtension Ext(const std::string& number, const std::string& type = "physical",
                                 const std::string& last = "") {
        sim::NewExtension e;
        e.number = number;
        e.type = type;
        if (!last.empty()) e.lastName = last;
        return e;
    }
    // A correct forwarding copy of `number` homed at the site named `home`, as the routes give it.
    static sim::NewExtension Copy(const std::string& number, const std::string& home, const std::string& last = "") {
        sim::NewExtension e = Ext(number, "virtual", last);
        e.forwarding = true;
        e.fwdDial = "8" + number;
        e.fwdEmail = "ext" + number + "@" + Lower(home) + ".example";
        return e;
    }

    const server::ExtSummary& Row(const std::string& number) {
        const server::ExtSummary* row = doc.FindExtRow(number);
        EXPECT_NE(row, nullptr) << number;
        static const server::ExtSummary empty{};
        return row ? *row : empty;
    }
    static std::string Home(const server::ExtSummary& row) { return std::string(server::FieldText(row.HomeServer)); }

    bool Logged(uint32_t level, const std::string& text) const {
        for (const auto& [l, t] : frame.logs)
            if (l == level && t == text) return true;
        return false;
    }
    bool Shown(const std::string& text) const {
        for (const std::string& m : frame.messages)
            if (m == text) return true;
        return false;
    }

    // What a site's server holds under the number (nothing when it holds none).
    static std::vector<uint8_t> Held(sim::Site& site, const std::string& number) {
        std::lock_guard lock(site.Mutex());
        const sim::Stored* s = site.State().FindRecord(number);
        return s ? std::vector<uint8_t>(s->bytes.begin(), s->bytes.end()) : std::vector<uint8_t>{};
    }
    static server::ConstExtRec Rec(const std::vector<uint8_t>& bytes) { return {bytes.data(), bytes.size()}; }
    static void EditRecord(sim::Site& site, const std::string& number, const std::function<void(server::ExtRec)>& edit) {
        EditSimRecord(site, number, edit);
    }
    static bool HasGroup(sim::Site& site, const std::string& number) {
        std::lock_guard lock(site.Mutex());
        return site.State().FindWorkgroup(number) != nullptr;
    }
    // The calls a site answered since the last ForgetCalls, by method name.
    static std::vector<std::string> Calls(sim::Site& site) {
        std::vector<std::string> out;
        for (const auto& c : site.Calls()) out.push_back(c.method);
        return out;
    }
    void ForgetCalls() {
        for (SimSite& s : sites) s.site->ClearCalls();
    }
    static void Edit(sim::Site& site, const std::function<void(sim::SiteState&)>& change) { EditSimState(site, change); }
    // The method fails with hr from its call number after+1 on; with `applied` it is carried out
    // and only its answer is hr (a reply lost after the change).
    static void Fault(sim::Site& site, const std::string& method, com::HRESULT hr, uint32_t after = 0,
                      bool applied = false) {
        std::string error;
        ASSERT_TRUE(site.SetMethodFault(method, sim::MethodFault{hr, after, applied}, error)) << error;
    }
    bool LoggedPrefix(uint32_t level, const std::string& prefix) const {
        for (const auto& [l, t] : frame.logs)
            if (l == level && t.rfind(prefix, 0) == 0) return true;
        return false;
    }

    TempDir registry, work;
    RecordingFrame frame;
    CQOBDoc doc;
    std::vector<SimSite> sites;
};

}  // namespace downloadtest
