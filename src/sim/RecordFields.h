// The named fields of ExtRec and WORKGRPREC as JSON, for the state file and the dump. Decoding
// shows text in UTF-8 (converted from the code page); applying writes a field over the raw bytes
// only when its value differs from what the bytes decode to, so a hand edit takes effect and an
// untouched field leaves every byte as it was.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "server/ExtRec.h"
#include "server/WorkgrpRec.h"

namespace sim {

using Json = nlohmann::ordered_json;

// Type names of the stored ExtensionType codes 0..5; other codes stay numbers.
const char* ExtTypeName(uint8_t code);
bool ParseExtTypeName(std::string_view name, uint8_t& code);

// Every named field that lies inside the record.
Json DecodeExtFields(server::ConstExtRec rec);
// Applies the object's fields over rec; keys in `ignored` are skipped, any other unknown key, a
// value of the wrong kind or one that does not fit its field is an error.
bool ApplyExtFields(const Json& obj, server::ExtRec rec, std::initializer_list<std::string_view> ignored,
                    std::string& error);

// "number" and "members".
Json DecodeWorkgroupFields(server::ConstWORKGRPREC rec);
bool ApplyWorkgroupFields(const Json& obj, server::WORKGRPREC rec, std::initializer_list<std::string_view> ignored,
                          std::string& error);

}  // namespace sim
