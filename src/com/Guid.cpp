#include "com/Guid.h"

#include <cstdio>
#include <cstring>

namespace com {

void GuidToBytes(const GUID& g, uint8_t out[16]) {
    out[0] = uint8_t(g.Data1);
    out[1] = uint8_t(g.Data1 >> 8);
    out[2] = uint8_t(g.Data1 >> 16);
    out[3] = uint8_t(g.Data1 >> 24);
    out[4] = uint8_t(g.Data2);
    out[5] = uint8_t(g.Data2 >> 8);
    out[6] = uint8_t(g.Data3);
    out[7] = uint8_t(g.Data3 >> 8);
    std::memcpy(out + 8, g.Data4, 8);
}

GUID GuidFromBytes(const uint8_t in[16]) {
    GUID g;
    g.Data1 = uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
    g.Data2 = uint16_t(in[4] | in[5] << 8);
    g.Data3 = uint16_t(in[6] | in[7] << 8);
    std::memcpy(g.Data4, in + 8, 8);
    return g;
}

int GuidCompare(const GUID& a, const GUID& b) {
    uint8_t x[16], y[16];
    GuidToBytes(a, x);
    GuidToBytes(b, y);
    return std::memcmp(x, y, 16);
}

std::string GuidToString(const GUID& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", unsigned(g.Data1),
                  unsigned(g.Data2), unsigned(g.Data3), g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                  g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads 2*n hex digits at text[pos] into an integer.
bool ReadHex(std::string_view text, size_t pos, int digits, uint32_t& out) {
    out = 0;
    for (int i = 0; i < digits; ++i) {
        int v = HexValue(text[pos + i]);
        if (v < 0) return false;
        out = out << 4 | uint32_t(v);
    }
    return true;
}

}  // namespace

bool GuidFromString(std::string_view t, GUID& out) {
    if (t.size() != 38 || t[0] != '{' || t[37] != '}' || t[9] != '-' || t[14] != '-' || t[19] != '-' || t[24] != '-')
        return false;
    GUID g;
    uint32_t v;
    if (!ReadHex(t, 1, 8, v)) return false;
    g.Data1 = v;
    if (!ReadHex(t, 10, 4, v)) return false;
    g.Data2 = uint16_t(v);
    if (!ReadHex(t, 15, 4, v)) return false;
    g.Data3 = uint16_t(v);
    static constexpr size_t kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(t, kBytePos[i], 2, v)) return false;
        g.Data4[i] = uint8_t(v);
    }
    out = g;
    return true;
}

}  // namespace com
