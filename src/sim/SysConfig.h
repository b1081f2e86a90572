// The simulated server's system configuration: what GetSystemConfig and the tie-trunk methods
// answer, and the record length every ExtRec of the site has.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

inline constexpr std::size_t kMinRecordLength = 33;  // the extension number must fit
inline constexpr std::size_t kMaxRecordLength = 65535;
inline constexpr int32_t kMaxExtNumberLength = 16;
inline constexpr int32_t kMaxLocationCodeLength = 3;  // the client never sends longer codes
inline constexpr uint32_t kDefaultItgEntrySize = 520;  // what the client offers per entry
inline constexpr uint32_t kMaxItgEntrySize = 4096;

struct DialPlanEntry {
    char character = 0;
    int32_t digitClass = 0;
    bool operator==(const DialPlanEntry&) const = default;
};

// Tie-trunk routing: a table of 10^n equal entries; an entry whose first byte is not 0 is in use.
struct TieTrunk {
    int32_t locationCodeLength = 2;
    uint32_t entrySize = kDefaultItgEntrySize;
    std::set<std::string> usedCodes;  // each exactly locationCodeLength digits
    bool operator==(const TieTrunk&) const = default;
};

struct SysConfig {
    uint16_t version = 0x0480;
    std::string adminHash;  // 12-character password hash
    int32_t extNumberLength = 3;
    std::vector<DialPlanEntry> dialPlan;  // at most 16 entries
    std::optional<TieTrunk> tieTrunk;     // none: the site has no tie-trunk routing
    uint16_t recordLength = 2400;
    bool operator==(const SysConfig&) const = default;
};

// The 4096-byte SysConfigTable of the configuration.
std::vector<uint8_t> BuildSysConfigTable(const SysConfig& config);
// 10^n entries of entrySize bytes; used entries start with byte 1.
std::vector<uint8_t> BuildItgTable(const TieTrunk& trunk);
std::size_t ItgEntryCount(const TieTrunk& trunk);

// Validation shared by the command line and the state file; false with a message.
bool CheckSysConfig(const SysConfig& config, std::string& error);
bool CheckAdminHash(std::string_view hash, std::string& error);
// "8=1,9=6,5=5": dial characters with their digit classes.
bool ParseDialPlan(std::string_view text, std::vector<DialPlanEntry>& out, std::string& error);
// A location code of exactly n decimal digits.
bool IsLocationCode(std::string_view code, int32_t n);

}  // namespace sim
