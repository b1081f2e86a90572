// The state file's JSON text: reading it with a clear error for anything malformed, and writing
// it (records and workgroups from cached fragments, so saving after each change stays cheap).
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "sim/SiteState.h"

namespace sim {

using Json = nlohmann::ordered_json;

inline constexpr std::string_view kStateFormat = "zentsim-state";
inline constexpr int kStateFormatVersion = 1;
inline constexpr std::size_t kMaxStateText = 512u << 20;

// Replaces state with the text's content; on failure state is unspecified and error names the
// problem ("records[3] (number 100): first_name: longer than 32 bytes").
bool ParseState(std::string_view text, SiteState& state, std::string& error);
std::string SerializeState(const SiteState& state);

// Pieces shared with the dump.
Json SystemToJson(const SysConfig& config);
Json MailboxToJson(const MailboxState& mailbox);
Json FaultsToJson(const Faults& faults);

}  // namespace sim
