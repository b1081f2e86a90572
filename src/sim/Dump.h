// What `zentsim dump` prints: the state with every record's named fields decoded, workgroups with
// their members, data blocks by size, and a digest of each record's bytes (so two dumps agree
// only when no byte changed).
#pragma once

#include <nlohmann/json.hpp>

#include "sim/SiteState.h"

namespace sim {

nlohmann::ordered_json DumpState(const SiteState& state);

}  // namespace sim
