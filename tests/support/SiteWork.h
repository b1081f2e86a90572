// What a command does with one site, start to end, through a connection of its own: connect,
// initialise, check the password and the version, load the lists, read them, destroy the
// connection. The concurrency tests run it for many sites at once on threads of their own and
// compare what each saw with what a run one site after another saw.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "connection/SPDCOM.h"

struct SiteOutcome {
    bool initialized = false;
    bool passwordAccepted = false;
    bool versionSupported = false;
    bool loaded = false;
    int extensions = 0;
    uint64_t recordsHash = 0;  // every number and record byte, in number order
    std::string error;

    bool operator==(const SiteOutcome&) const = default;
};

inline SiteOutcome WorkOnSite(const std::string& name, const std::string& address, const std::string& password,
                              const server::IConnectionOptions& options) {
    SiteOutcome out;
    uint32_t ip = 0;
    inet_pton(AF_INET, address.c_str(), &ip);
    std::unique_ptr<server::CZentServ> conn = server::CreateServer(name, ip, password, "", "", options);
    if (!conn) {
        out.error = "no connection made";
        return out;
    }
    out.initialized = conn->Initialize();
    out.passwordAccepted = out.initialized && conn->VerifyPassword(password);
    out.versionSupported = out.initialized && conn->IsVersionSupported();
    out.loaded = out.initialized && conn->LoadExtensions();
    out.extensions = conn->GetExtCount();
    uint64_t h = 14695981039346656037ull;  // FNV-1a
    auto mix = [&h](const uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    };
    for (const server::ExtSummary* s = conn->GetFirstExt(); s; s = conn->GetNextExt()) {
        const std::string_view number = server::FieldText(s->ExtensionNumber);
        mix(reinterpret_cast<const uint8_t*>(number.data()), number.size());
        if (server::ConstExtRec rec = conn->FindExtRec(number)) mix(rec.data(), rec.size());
    }
    out.recordsHash = h;
    if (!out.loaded) out.error = conn->GetLastError();
    return out;
}

// Runs every job on a thread of its own, all at once; returns when all are done.
inline void RunAtOnce(std::vector<std::function<void()>> jobs) {
    std::vector<std::jthread> threads;
    threads.reserve(jobs.size());
    for (auto& job : jobs) threads.emplace_back(std::move(job));
}

// `rounds` times every site worked on at once, each giving what it gave when worked on alone.
inline void ExpectAtOnceAsAlone(const std::vector<SiteOutcome>& alone, const std::function<SiteOutcome(int)>& work,
                                int rounds = 3) {
    const int sites = static_cast<int>(alone.size());
    for (int round = 0; round < rounds; ++round) {
        std::vector<SiteOutcome> together(alone.size());
        std::vector<std::function<void()>> jobs;
        for (int i = 0; i < sites; ++i) jobs.push_back([&, i] { together[i] = work(i); });
        RunAtOnce(std::move(jobs));
        for (int i = 0; i < sites; ++i) EXPECT_EQ(together[i], alone[i]) << "round " << round << ", site " << i;
    }
}
