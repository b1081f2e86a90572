#include "com/ObjRef.h"

namespace com {

namespace {

void Put16(std::vector<uint8_t>& o, uint16_t v) {
    o.push_back(uint8_t(v));
    o.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& o, uint32_t v) {
    for (int i = 0; i < 4; ++i) o.push_back(uint8_t(v >> (8 * i)));
}
void Put64(std::vector<uint8_t>& o, uint64_t v) {
    for (int i = 0; i < 8; ++i) o.push_back(uint8_t(v >> (8 * i)));
}
void PutGuid(std::vector<uint8_t>& o, const GUID& g) {
    uint8_t b[16];
    GuidToBytes(g, b);
    o.insert(o.end(), b, b + 16);
}

uint64_t Get(const uint8_t* p, int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= uint64_t(p[i]) << (8 * i);
    return v;
}

constexpr size_t kFixedSize = 4 + 4 + 16 + 40 + 4;  // up to and including the DUALSTRINGARRAY counts

}  // namespace

ObjRefStandard MakeObjRefStandard(REFIID iid, const STDOBJREF& std) {
    ObjRefStandard r;
    r.iid = iid;
    r.std = std;
    r.bindings = {0, 0, 0, 0};
    r.securityOffset = 2;
    return r;
}

void EncodeObjRef(const ObjRefStandard& ref, std::vector<uint8_t>& out) {
    out.clear();
    out.reserve(kFixedSize + ref.bindings.size() * 2);
    Put32(out, OBJREF_SIGNATURE);
    Put32(out, OBJREF_STANDARD);
    PutGuid(out, ref.iid);
    Put32(out, ref.std.flags);
    Put32(out, ref.std.cPublicRefs);
    Put64(out, ref.std.oxid);
    Put64(out, ref.std.oid);
    PutGuid(out, ref.std.ipid);
    Put16(out, uint16_t(ref.bindings.size()));
    Put16(out, ref.securityOffset);
    for (uint16_t u : ref.bindings) Put16(out, u);
}

bool DecodeObjRef(const uint8_t* p, size_t length, ObjRefStandard& out) {
    if (!p || length < kFixedSize) return false;
    if (Get(p, 4) != OBJREF_SIGNATURE || Get(p + 4, 4) != OBJREF_STANDARD) return false;
    out.iid = GuidFromBytes(p + 8);
    out.std.flags = uint32_t(Get(p + 24, 4));
    out.std.cPublicRefs = uint32_t(Get(p + 28, 4));
    out.std.oxid = Get(p + 32, 8);
    out.std.oid = Get(p + 40, 8);
    out.std.ipid = GuidFromBytes(p + 48);
    size_t entries = size_t(Get(p + 64, 2));
    out.securityOffset = uint16_t(Get(p + 66, 2));
    if (length != kFixedSize + entries * 2 || out.securityOffset > entries) return false;
    out.bindings.resize(entries);
    for (size_t i = 0; i < entries; ++i) out.bindings[i] = uint16_t(Get(p + kFixedSize + 2 * i, 2));
    return true;
}

}  // namespace com
