// One site of the network and its routes to the other sites (the map table).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Field maxima in characters, terminating zero excluded; longer text is cut wherever it enters.
constexpr size_t kMaxSiteName = 31;
constexpr size_t kMaxVMATempl = 63;
constexpr size_t kMaxFWDTempl = 15;
constexpr size_t kMaxDayWhite = 15;
constexpr size_t kMaxMBAccount = 49;
constexpr size_t kMaxMBPassword = 15;
constexpr size_t kMaxVMAPostfix = 63;
constexpr size_t kMaxFwdPattern = 15;

// Copies `text` cut to `max` characters into `field`.
inline void SetField(std::string& field, std::string_view text, size_t max) {
    field.assign(text.substr(0, max));
}
// Appends `text` and cuts the field back to `max` characters.
inline void AppendField(std::string& field, std::string_view text, size_t max) {
    if (field.size() < max) field.append(text.substr(0, max - field.size()));
}

// One route from the owning site to another site.
struct MapEntry {
    std::string Name;        // the "To Server"
    std::string VMAPostfix;  // Mail Forwarding Suffix
    std::string FwdPattern;  // Forward Access Code; N (either case) marks the extension number
};

struct SiteRec {
    std::string Name;
    uint32_t IP = 0;  // IPv4 address in network byte order; 0 when never set
    std::string VMATempl;
    std::string FWDTempl;
    std::string DayWhite;  // the server password
    std::string MBAccount;
    std::string MBPassword;
    std::vector<MapEntry> Routes;  // in the order read or added; lookups take the first match
};

// Dotted decimal text of an address in network byte order ("0.0.0.0" when never set).
std::string IPToText(uint32_t ip);
// Parses dotted text as the platform's inet_addr does; unparsable text gives 255.255.255.255.
uint32_t IPFromText(const std::string& text);
// Strict parse for input typed by a user: exactly four decimal numbers 0 to 255.
bool ParseDottedIP(const std::string& text, uint32_t& ip);
