// Making and filling sites the way `zentsim init` and `zentsim add` do; tests use the same calls.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/RecordBuilder.h"
#include "sim/SiteState.h"

namespace sim {

struct InitOptions {
    std::string name;
    uint16_t version = 0x0480;
    std::optional<std::string> adminPassword;  // clear text, hashed; neither: the empty password
    std::optional<std::string> adminHash;      // a ready 12-character hash
    int32_t extNumberLength = 3;
    std::vector<DialPlanEntry> dialPlan;
    std::optional<int32_t> locationCodeLength;  // tie-trunk routing with this location code length
    std::set<std::string> tieTrunkCodes;        // location codes in use
    uint16_t recordLength = 2400;
};

bool MakeSiteState(const InitOptions& options, SiteState& out, std::string& error);

struct AddOptions {
    NewExtension ext;
    std::vector<std::string> members;  // for a group: existing extensions
};

// Adds the record (and for a group its WORKGRPREC); nothing changes when it fails.
bool AddToSite(SiteState& state, const AddOptions& options, std::string& error);

}  // namespace sim
