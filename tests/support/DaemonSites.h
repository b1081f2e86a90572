// Two sites served by zentsim daemons on loopback addresses of the test's choosing, and a working
// directory whose Plexar.xml names them with routes both ways, both made with the programs' own
// command lines. A site can be stopped with SIGSTOP (a server that accepts connections and never
// answers); it is continued on every path before its daemon is ended.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "support/Processes.h"
#include "support/TempDir.h"

class DaemonSites {
public:
    struct Site {
        std::string name, address;
        std::unique_ptr<Daemon> daemon;
        bool stopped = false;
    };

    // `port` is the resolver port every daemon listens on (each on its own address); `workDir` the
    // directory for Plexar.xml (empty: one of its own).
    DaemonSites(std::vector<std::pair<std::string, std::string>> sites, uint16_t port, const std::string& workDir = {})
        : dir(workDir.empty() ? work.path() : workDir), m_port(port) {
        setenv("QOB_RESOLVER_PORT", std::to_string(port).c_str(), 1);
        for (auto& [name, address] : sites) {
            auto site = std::make_unique<Site>();
            site->name = name;
            site->address = address;
            m_sites.push_back(std::move(site));
        }
    }
    ~DaemonSites() {
        for (auto& s : m_sites) Continue(*s);
    }

    // Made and served; the configuration written. False (with the failure recorded) otherwise.
    bool Start() {
        for (auto& s : m_sites) {
            const std::string state = scratch.file(s->name + ".json");
            if (!Ok(RunProgram("zentsim", {"init", state, "--name", s->name, "--admin-password", "pw-" + s->name,
                                           "--dial-plan", "8=1"},
                               scratch.path())))
                return false;
            for (int n = 100; n < 110; ++n)
                if (!Ok(RunProgram("zentsim", {"add", state, "--number", std::to_string(n + (&s == &m_sites[0] ? 0 : 100)),
                                               "--type", "physical"},
                                   scratch.path())))
                    return false;
            if (!Ok(Cli({"site", "add", s->name, s->address}))) return false;
        }
        for (auto& from : m_sites)
            for (auto& to : m_sites)
                if (from != to && !Ok(Cli({"route", "set", from->name, to->name, "--fwd", "8N", "--suffix", "x.example"})))
                    return false;
        for (auto& s : m_sites) {
            s->daemon = std::make_unique<Daemon>(scratch.file(s->name + ".json"), s->address, m_port, scratch.path());
            if (!s->daemon->Ready()) {
                ADD_FAILURE() << "zentsim did not come up on " << s->address << ": " << s->daemon->Process().Err();
                return false;
            }
        }
        return true;
    }

    Site& operator[](size_t i) { return *m_sites[i]; }
    // The daemon keeps its connections and takes new ones into the kernel's queue, but answers nothing.
    // True once the kernel shows it stopped.
    ::testing::AssertionResult Stop(Site& s) {
        if (!s.daemon) return ::testing::AssertionFailure() << s.name << " has no daemon";
        if (s.stopped) return ::testing::AssertionSuccess();
        s.stopped = true;  // continued at the end even when the stop did not show in time
        return s.daemon->Process().Pause() << " (" << s.name << ")";
    }
    void Continue(Site& s) {
        if (s.daemon && s.stopped) {
            EXPECT_TRUE(s.daemon->Process().Resume()) << s.name;
        }
        s.stopped = false;
    }

    // qob-cli in the working directory.
    ProgramResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--dir", dir});
        return RunProgram("qob-cli", args, scratch.path());
    }

    TempDir scratch, work;
    const std::string dir;  // where Plexar.xml is

private:
    static bool Ok(const ProgramResult& r) {
        if (r.exitCode == 0) return true;
        ADD_FAILURE() << r.err;
        return false;
    }

    uint16_t m_port;
    std::vector<std::unique_ptr<Site>> m_sites;
};
