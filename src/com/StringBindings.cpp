#include "com/StringBindings.h"

#include <arpa/inet.h>
#include <strings.h>

#include "com/DcomIds.h"

namespace com {

std::vector<uint16_t> EncodeBindingUnits(const DualStringArray& a, uint16_t& securityOffset) {
    std::vector<uint16_t> u;
    for (const StringBinding& b : a.strings) {
        u.push_back(b.towerId);
        for (unsigned char c : b.networkAddress) u.push_back(c);
        u.push_back(0);
    }
    // Each section ends in a zero; an empty array is four zeros. Readers that walk the entries
    // (rather than skip wNumEntries) find the end right after the last terminator.
    if (a.strings.empty()) u.push_back(0);
    u.push_back(0);
    securityOffset = uint16_t(u.size());
    if (a.securityUnits.empty()) {
        u.push_back(0);
        if (a.strings.empty()) u.push_back(0);
    } else {
        u.insert(u.end(), a.securityUnits.begin(), a.securityUnits.end());
    }
    return u;
}

bool DecodeBindingUnits(const uint16_t* units, size_t count, uint16_t securityOffset, DualStringArray& out) {
    out = DualStringArray{};
    if (securityOffset > count) return false;
    size_t i = 0;
    while (i < securityOffset) {
        const uint16_t tower = units[i++];
        if (tower == 0) break;
        StringBinding b;
        b.towerId = tower;
        bool ended = false;
        while (i < securityOffset) {
            const uint16_t c = units[i++];
            if (c == 0) {
                ended = true;
                break;
            }
            b.networkAddress.push_back(c < 0x80 ? char(c) : '?');
        }
        if (!ended) return false;
        out.strings.push_back(std::move(b));
    }
    out.securityUnits.assign(units + securityOffset, units + count);
    return true;
}

void WriteDualStringArray(NdrWriter& w, const DualStringArray& a) {
    uint16_t offset = 0;
    const std::vector<uint16_t> u = EncodeBindingUnits(a, offset);
    w.ULong(uint32_t(u.size()));
    w.Short(int16_t(u.size()));
    w.Short(int16_t(offset));
    for (uint16_t v : u) w.Short(int16_t(v));
}

bool ReadDualStringArray(NdrReader& r, DualStringArray& out) {
    uint32_t max = 0;
    int16_t entries = 0, offset = 0;
    if (!r.ULong(max) || !r.Short(entries) || !r.Short(offset)) return false;
    if (max != uint16_t(entries) || max > kMaxBindingShorts) return r.Fail(NdrError::BadCount);
    if (uint64_t(max) * 2 > r.Remaining()) return r.Fail(NdrError::Truncated);
    std::vector<uint16_t> u(max);
    for (uint32_t i = 0; i < max; ++i) {
        int16_t v;
        if (!r.Short(v)) return false;
        u[i] = uint16_t(v);
    }
    if (!DecodeBindingUnits(u.data(), u.size(), uint16_t(offset), out)) return r.Fail(NdrError::BadCount);
    return true;
}

void WriteDualStringArrayPointer(NdrWriter& w, bool present, const DualStringArray& a) {
    w.ULong(present ? NDR_FIRST_REFERENT_ID : 0);
    if (present) WriteDualStringArray(w, a);
}

bool ReadDualStringArrayPointer(NdrReader& r, bool& present, DualStringArray& out) {
    uint32_t ref = 0;
    if (!r.ULong(ref)) return false;
    present = ref != 0;
    return !present || ReadDualStringArray(r, out);
}

bool SplitNetworkAddress(const std::string& address, std::string& host, uint16_t& port) {
    const size_t open = address.find('[');
    if (open == std::string::npos || open == 0 || address.back() != ']') return false;
    const std::string digits = address.substr(open + 1, address.size() - open - 2);
    if (digits.empty() || digits.size() > 5) return false;
    unsigned v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + unsigned(c - '0');
    }
    if (v == 0 || v > 65535) return false;
    host = address.substr(0, open);
    port = uint16_t(v);
    return true;
}

std::vector<std::pair<std::string, uint16_t>> OrderTcpBindings(const DualStringArray& bindings,
                                                               const std::string& reachedBy) {
    std::vector<std::pair<std::string, uint16_t>> exact, numeric, names;
    for (const StringBinding& b : bindings.strings) {
        std::string host;
        uint16_t port = 0;
        if (b.towerId != kTowerTcp || !SplitNetworkAddress(b.networkAddress, host, port)) continue;
        in_addr a{};
        if (strcasecmp(host.c_str(), reachedBy.c_str()) == 0) exact.emplace_back(host, port);
        else if (inet_pton(AF_INET, host.c_str(), &a) == 1) numeric.emplace_back(host, port);
        else names.emplace_back(host, port);  // a name costs a lookup: tried last
    }
    exact.insert(exact.end(), numeric.begin(), numeric.end());
    exact.insert(exact.end(), names.begin(), names.end());
    // Each one tried may cost a connect timeout; a server listing many is not followed far.
    if (exact.size() > kMaxBindingsTried) exact.resize(kMaxBindingsTried);
    return exact;
}

}  // namespace com
