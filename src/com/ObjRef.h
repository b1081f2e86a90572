// OBJREF of the standard kind, the bytes inside a marshaled interface pointer. All fields are
// little-endian whatever the data representation of the call around them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "com/Guid.h"

namespace com {

constexpr uint32_t OBJREF_SIGNATURE = 0x574F454D;  // "MEOW"
constexpr uint32_t OBJREF_STANDARD = 0x1;

struct STDOBJREF {
    uint32_t flags = 0;
    uint32_t cPublicRefs = 0;
    uint64_t oxid = 0;
    uint64_t oid = 0;
    GUID ipid;
};

struct ObjRefStandard {
    IID iid;
    STDOBJREF std;
    // DUALSTRINGARRAY: string bindings, then security bindings from securityOffset, 16-bit units.
    std::vector<uint16_t> bindings;
    uint16_t securityOffset = 0;
};

// An empty DUALSTRINGARRAY: no string bindings, no security bindings (two terminators each).
ObjRefStandard MakeObjRefStandard(REFIID iid, const STDOBJREF& std);

void EncodeObjRef(const ObjRefStandard& ref, std::vector<uint8_t>& out);
// False unless the bytes are one complete, consistent OBJREF_STANDARD.
bool DecodeObjRef(const uint8_t* data, size_t length, ObjRefStandard& out);

}  // namespace com
