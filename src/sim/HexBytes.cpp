#include "sim/HexBytes.h"

#include <charconv>

namespace sim {

namespace {

constexpr char kDigits[] = "0123456789abcdef";
constexpr std::size_t kMaxZeroGap = 8;  // zero bytes kept inside a run rather than starting a new one

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string HexEncode(std::span<const uint8_t> bytes) {
    std::string out;
    out.resize(bytes.size() * 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out[2 * i] = kDigits[bytes[i] >> 4];
        out[2 * i + 1] = kDigits[bytes[i] & 0xF];
    }
    return out;
}

bool HexDecode(std::string_view text, std::vector<uint8_t>& out) {
    if (text.size() % 2) return false;
    out.resize(text.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        int hi = HexValue(text[2 * i]), lo = HexValue(text[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        out[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    return true;
}

nlohmann::ordered_json EncodeRuns(std::span<const uint8_t> bytes) {
    nlohmann::ordered_json runs = nlohmann::ordered_json::array();
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        while (i < n && bytes[i] == 0) ++i;
        if (i == n) break;
        std::size_t start = i, end = i;  // end: one past the last non-zero byte of the run
        while (i < n) {
            if (bytes[i] != 0) {
                end = ++i;
                continue;
            }
            std::size_t z = i;
            while (z < n && bytes[z] == 0 && z - end < kMaxZeroGap) ++z;
            if (z == n || bytes[z] == 0) break;
            i = z;
        }
        i = end;
        runs.push_back(std::to_string(start) + ":" + HexEncode(bytes.subspan(start, end - start)));
    }
    return runs;
}

bool DecodeRuns(const nlohmann::ordered_json& runs, std::span<uint8_t> bytes, std::string& error) {
    if (!runs.is_array()) {
        error = "must be an array of \"OFFSET:HEX\" texts";
        return false;
    }
    std::vector<uint8_t> run;
    for (std::size_t k = 0; k < runs.size(); ++k) {
        const auto& item = runs[k];
        const std::string* text = item.get_ptr<const std::string*>();
        std::size_t colon = text ? text->find(':') : std::string::npos;
        std::size_t offset = 0;
        if (colon != std::string::npos) {
            auto [p, ec] = std::from_chars(text->data(), text->data() + colon, offset);
            if (ec != std::errc() || p != text->data() + colon || colon == 0) colon = std::string::npos;
        }
        if (colon == std::string::npos || !HexDecode(std::string_view(*text).substr(colon + 1), run)) {
            error = "run " + std::to_string(k) + " is not \"OFFSET:HEX\"";
            return false;
        }
        if (offset > bytes.size() || run.size() > bytes.size() - offset) {
            error = "run " + std::to_string(k) + " reaches past the record length " + std::to_string(bytes.size());
            return false;
        }
        std::copy(run.begin(), run.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    return true;
}

std::string Digest(std::span<const uint8_t> bytes) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes) {
        h ^= b;
        h *= 0x100000001b3ull;
    }
    uint8_t be[8];
    for (int i = 0; i < 8; ++i) be[i] = static_cast<uint8_t>(h >> (56 - 8 * i));
    return HexEncode(be);
}

}  // namespace sim
