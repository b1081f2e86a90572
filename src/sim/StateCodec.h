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
// The largest state file read (and written); a larger one is refused before it is parsed.
inline constexpr std::size_t kMaxStateText = 256u << 20;

// Replaces state with the text's content; on failure state is unspecified and error names the
// problem ("records[3] (number 100): first_name: longer than 32 bytes"). The lists are read one
// element at a time, so the memory taken is about the state's own, not a tree of the text.
// The memory the records and workgroups of a state may take; a file asking for more is refused
// as it is read (a record of a few bytes in the file may ask for 65,535 in memory).
struct StateLimits {
    std::size_t maxSiteBytes = std::size_t(1) << 30;
};

bool ParseState(std::string_view text, SiteState& state, std::string& error, const StateLimits& limits = {});
std::string SerializeState(const SiteState& state);

// Pieces shared with the dump.
Json SystemToJson(const SysConfig& config);
Json MailboxToJson(const MailboxState& mailbox);
Json FaultsToJson(const Faults& faults);

}  // namespace sim
