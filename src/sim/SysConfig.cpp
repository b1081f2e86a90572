#include "sim/SysConfig.h"

#include <charconv>

#include "server/RecordLayout.h"
#include "server/SysConfigTable.h"

namespace sim {

std::vector<uint8_t> BuildSysConfigTable(const SysConfig& config) {
    std::vector<uint8_t> table(server::syscfg::kSize, 0);
    server::SysConfigTable view(table.data(), table.size());
    view.SetServerVersion(config.version);
    view.SetAdminPassword(config.adminHash);
    view.SetExtNumberLength(config.extNumberLength);
    for (std::size_t i = 0; i < config.dialPlan.size() && i < server::syscfg::kDialPlanEntries; ++i)
        view.SetDialPlanEntry(i, config.dialPlan[i].character, config.dialPlan[i].digitClass);
    return table;
}

std::size_t ItgEntryCount(const TieTrunk& trunk) {
    std::size_t n = 1;
    for (int32_t i = 0; i < trunk.locationCodeLength; ++i) n *= 10;
    return n;
}

std::vector<uint8_t> BuildItgTable(const TieTrunk& trunk) {
    std::vector<uint8_t> table(ItgEntryCount(trunk) * trunk.entrySize, 0);
    for (const std::string& code : trunk.usedCodes) {
        std::size_t v = 0;
        std::from_chars(code.data(), code.data() + code.size(), v);
        if (v < ItgEntryCount(trunk) && trunk.entrySize) table[v * trunk.entrySize] = 1;
    }
    return table;
}

bool IsLocationCode(std::string_view code, int32_t n) {
    if (static_cast<int32_t>(code.size()) != n) return false;
    for (char c : code)
        if (c < '0' || c > '9') return false;
    return true;
}

bool CheckAdminHash(std::string_view hash, std::string& error) {
    // Two salt characters (kept as given, printable) and ten characters of the hash alphabet.
    auto inAlphabet = [](char c) {
        return c == '.' || c == '/' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    };
    bool ok = hash.size() == 12;
    for (std::size_t i = 0; ok && i < hash.size(); ++i)
        ok = i < 2 ? (hash[i] > ' ' && hash[i] < 0x7F) : inAlphabet(hash[i]);
    if (!ok) error = "administrator password hash must be 2 salt characters and 10 hash characters";
    return ok;
}

bool CheckSysConfig(const SysConfig& c, std::string& error) {
    if (c.recordLength < kMinRecordLength) {
        error = "record length must be at least " + std::to_string(kMinRecordLength);
        return false;
    }
    if (c.extNumberLength < 1 || c.extNumberLength > kMaxExtNumberLength) {
        error = "extension number length must be 1 to " + std::to_string(kMaxExtNumberLength);
        return false;
    }
    if (!c.adminHash.empty() && !CheckAdminHash(c.adminHash, error)) return false;
    if (c.dialPlan.size() > server::syscfg::kDialPlanEntries) {
        error = "the dial plan holds at most 16 entries";
        return false;
    }
    if (c.tieTrunk) {
        const TieTrunk& t = *c.tieTrunk;
        if (t.locationCodeLength < 0 || t.locationCodeLength > kMaxLocationCodeLength) {
            error = "location code length must be 0 to " + std::to_string(kMaxLocationCodeLength);
            return false;
        }
        if (t.entrySize < 1 || t.entrySize > kMaxItgEntrySize) {
            error = "tie-trunk entry size must be 1 to " + std::to_string(kMaxItgEntrySize);
            return false;
        }
        for (const std::string& code : t.usedCodes) {
            if (!IsLocationCode(code, t.locationCodeLength)) {
                error = "tie-trunk code \"" + code + "\" is not " + std::to_string(t.locationCodeLength) + " digits";
                return false;
            }
        }
    }
    return true;
}

bool ParseDialPlan(std::string_view text, std::vector<DialPlanEntry>& out, std::string& error) {
    out.clear();
    while (!text.empty()) {
        std::size_t comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        if (item.size() < 3 || item[1] != '=' || item[0] <= ' ' || static_cast<unsigned char>(item[0]) >= 0x7F) {
            error = "dial plan entry \"" + std::string(item) + "\" is not CHAR=CLASS";
            return false;
        }
        int32_t cls = 0;
        std::string_view num = item.substr(2);
        auto [p, ec] = std::from_chars(num.data(), num.data() + num.size(), cls);
        if (ec != std::errc() || p != num.data() + num.size()) {
            error = "dial plan entry \"" + std::string(item) + "\" has no integer class";
            return false;
        }
        out.push_back({item[0], cls});
    }
    if (out.size() > server::syscfg::kDialPlanEntries) {
        error = "the dial plan holds at most 16 entries";
        return false;
    }
    return true;
}

}  // namespace sim
