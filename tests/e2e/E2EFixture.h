// Three sites as zentsim daemons on 127.0.0.21-23, made with zentsim's own command line, and a
// working directory whose Plexar.xml names them with full routes, made with qob-cli's; the same
// three set up for relocation.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/Processes.h"
#include "support/TempDir.h"

namespace e2e {

using ::Background;
using ::Daemon;
using ::Lines;
using ::Slurp;

constexpr uint16_t kPort = 1135;

class E2E : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QOB_REGISTRY_DIR", registry.path().c_str(), 1);
        setenv("QOB_RESOLVER_PORT", std::to_string(kPort).c_str(), 1);
        for (const char* v : {"QOB_CALL_TIMEOUT_MS", "QOB_PING_PERIOD_MS", "QOB_RPC_MAX_FRAGMENT"}) unsetenv(v);
    }

    // Runs a program and expects it to succeed.
    ProgramResult Run(const std::string& program, const std::vector<std::string>& args) {
        ProgramResult r = RunProgram(program, args, scratch.path());
        EXPECT_EQ(r.exitCode, 0) << program << " " << (args.empty() ? "" : args[0]) << ": " << r.err;
        return r;
    }

    std::string State(const std::string& name) const { return scratch.file(name + ".json"); }

    void InitSite(const std::string& name) {
        Run("zentsim", {"init", State(name), "--name", name, "--admin-password", "pw-" + name, "--dial-plan", "8=1"});
    }

    // North holds 100, 101 and 102; 100 has correct forwarding copies on South and East; South
    // holds 200, East 300 with another name than South's copy of it.
    void MakeNetwork() {
        for (const char* s : {"North", "South", "East"}) InitSite(s);
        const std::string n = State("North"), s = State("South"), e = State("East");
        Run("zentsim", {"add", n, "--number", "100", "--type", "physical", "--first", "Ann", "--last", "Lee"});
        Run("zentsim", {"add", n, "--number", "101", "--type", "physical", "--first", "Bob"});
        Run("zentsim", {"add", n, "--number", "102", "--type", "ip", "--first", "Di\tTab"});
        for (const std::string& copy : {s, e})
            Run("zentsim", {"add", copy, "--number", "100", "--type", "virtual", "--forwarding", "--fwd-dial", "8100",
                            "--fwd-email", "ext100@north.example"});
        Run("zentsim", {"add", s, "--number", "200", "--type", "physical", "--first", "Cy"});
        Run("zentsim", {"add", s, "--number", "300", "--type", "virtual", "--last", "Old"});
        Run("zentsim", {"add", e, "--number", "300", "--type", "physical", "--last", "New"});
        Site("North", "127.0.0.21");
        Site("South", "127.0.0.22");
        Site("East", "127.0.0.23");
        Routes({"North", "South", "East"});
    }

    // A route from every site to every other, set in this order, its suffix the target's name.
    void Routes(const std::vector<std::string>& sites) {
        for (const std::string& from : sites)
            for (const std::string& to : sites) {
                if (from == to) continue;
                std::string suffix = to + ".example";
                for (char& c : suffix) c = char(std::tolower(static_cast<unsigned char>(c)));
                Run("qob-cli", {"--dir", work.path(), "route", "set", from, to, "--fwd", "8N", "--suffix", suffix});
            }
    }

    void Site(const std::string& name, const std::string& address) {
        Run("qob-cli", {"--dir", work.path(), "site", "add", name, address});
    }

    Daemon& Start(const std::string& name, const std::string& address, std::vector<std::string> extra = {}) {
        daemons.push_back(std::make_unique<Daemon>(State(name), address, kPort, scratch.path(), std::move(extra)));
        EXPECT_TRUE(daemons.back()->Ready()) << daemons.back()->Process().Err();
        return *daemons.back();
    }
    void StartAll() {
        Start("North", "127.0.0.21");
        Start("South", "127.0.0.22");
        Start("East", "127.0.0.23");
    }

    std::vector<std::string> DownloadArgs(const std::vector<std::string>& sites) const {
        std::vector<std::string> a{"--dir", work.path(), "download"};
        a.insert(a.end(), sites.begin(), sites.end());
        for (const std::string& s : sites) a.insert(a.end(), {"--password", s + "=pw-" + s});
        a.push_back("--yes");
        return a;
    }

    TempDir registry, scratch, work;
    std::vector<std::unique_ptr<Daemon>> daemons;
};

inline const std::map<std::string, std::string> kAddress = {
    {"North", "127.0.0.21"}, {"South", "127.0.0.22"}, {"East", "127.0.0.23"}};

// North, South and East at kAddress with routes everywhere and relocation on (without mailboxes),
// their daemons started one by one.
class RelocatingE2E : public E2E {
protected:
    // Made and configured; no records yet.
    void RelocatingSites() {
        std::vector<std::string> names;
        for (const auto& [name, ip] : kAddress) {
            InitSite(name);
            Site(name, ip);
            names.push_back(name);
        }
        Routes(names);
        Run("qob-cli", {"--dir", work.path(), "options", "set", "--relocation", "1", "--relocate-vm", "0"});
    }
    // A data block for the number on the site, written into its state file before its daemon starts.
    void DataBlock(const std::string& site, const std::string& number) {
        nlohmann::json state = nlohmann::json::parse(Slurp(State(site)));
        state["ext_data"] = nlohmann::json::array({{{"number", number}, {"tag", 7}, {"hex", "0102030405"}}});
        std::ofstream(State(site)) << state.dump();
    }
    void StartSite(const std::string& name, std::vector<std::string> extra = {}) {
        running[name] = &Start(name, kAddress.at(name), std::move(extra));
    }

    std::map<std::string, Daemon*> running;
};

}  // namespace e2e
