// GUIDs as the remote-object runtime keeps them: Data1..Data3 are host integers, and the
// "binary form" is the 16 bytes with Data1..Data3 little-endian, as stored and as sent in NDR.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace com {

struct GUID {
    uint32_t Data1 = 0;
    uint16_t Data2 = 0;
    uint16_t Data3 = 0;
    uint8_t Data4[8] = {};
};

using IID = GUID;
using CLSID = GUID;
using REFIID = const GUID&;
using REFCLSID = const GUID&;

constexpr GUID MakeGuid(uint32_t d1, uint16_t d2, uint16_t d3, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3,
                        uint8_t b4, uint8_t b5, uint8_t b6, uint8_t b7) {
    return GUID{d1, d2, d3, {b0, b1, b2, b3, b4, b5, b6, b7}};
}

constexpr GUID GUID_NULL{};

// The 16-byte binary form (Data1..Data3 little-endian).
void GuidToBytes(const GUID& g, uint8_t out[16]);
GUID GuidFromBytes(const uint8_t in[16]);

// Byte-wise comparison of the binary forms: <0, 0, >0.
int GuidCompare(const GUID& a, const GUID& b);

constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
std::string GuidToString(const GUID& g);
// Accepts the braced form in either case; false on anything else.
bool GuidFromString(std::string_view text, GUID& out);

}  // namespace com
