// Byte blocks as JSON text: dense hex for opaque data blocks, and sparse "OFFSET:HEX" runs for
// records, which are mostly zero and must stay small and readable in the state file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim {

std::string HexEncode(std::span<const uint8_t> bytes);
// False for an odd length or a character that is not a hex digit.
bool HexDecode(std::string_view text, std::vector<uint8_t>& out);

// The non-zero stretches of bytes as ["OFFSET:HEX", ...]; short zero gaps stay inside a run.
nlohmann::ordered_json EncodeRuns(std::span<const uint8_t> bytes);
// Writes the runs over bytes (already sized and zero-filled). Runs may not reach past the end.
bool DecodeRuns(const nlohmann::ordered_json& runs, std::span<uint8_t> bytes, std::string& error);

// FNV-1a 64 of the bytes as 16 hex digits: lets a dump show that unnamed bytes are unchanged.
std::string Digest(std::span<const uint8_t> bytes);

}  // namespace sim
