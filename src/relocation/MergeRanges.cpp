// What a relocated extension or workgroup takes over from its old home's record: byte ranges at
// the same offsets on both sides, some of them bit by bit. Only the bytes both records have are
// touched (servers report their own record lengths).
#include <algorithm>
#include <cstring>

#include "relocation/Reloc.h"
#include "server/ServProv.h"

namespace relocation {
namespace {

struct Range {
    size_t offset;
    size_t length;
    uint32_t fromSource = 0;  // for a masked u8 or u32: the bits that come from the source
    bool masked = false;
    bool v48 = false;  // only on version 4.8 servers of the same version
};

constexpr Range Bytes(size_t offset, size_t length, bool v48 = false) { return {offset, length, 0, false, v48}; }
constexpr Range Masked(size_t offset, size_t length, uint32_t fromSource) { return {offset, length, fromSource, true}; }

constexpr Range kExtRanges[] = {
    Bytes(33, 13),   Bytes(112, 65),  Bytes(210, 66),  Bytes(276, 66),   Bytes(342, 28),   Bytes(391, 17),
    Masked(408, 4, 0xFFF0FEFD),       Bytes(412, 4, true),               Masked(420, 4, 0x03317804),
    Bytes(434, 1),   Bytes(435, 1),   Bytes(436, 1),   Bytes(440, 28),   Bytes(468, 28),   Bytes(580, 12),
    Bytes(592, 480), Bytes(1072, 4),  Bytes(1076, 2),  Bytes(1080, 4),   Bytes(1084, 4),   Bytes(1088, 2),
    Bytes(1090, 8),  Bytes(1098, 1),  Bytes(1099, 3),  Bytes(1102, 84),  Bytes(1186, 1),   Bytes(1187, 2),
    Bytes(1189, 2),  Bytes(1193, 17), Bytes(1210, 1),  Bytes(1277, 1),   Bytes(1280, 4),   Bytes(1412, 4),
    Bytes(1416, 4),  Bytes(1420, 20), Bytes(1440, 1),  Bytes(1441, 1),   Bytes(1442, 33),  Bytes(1475, 17),
    Bytes(1492, 4),  Bytes(1496, 64), Bytes(1560, 272), Bytes(1972, 4, true),
};

constexpr Range kGroupRanges[] = {
    Bytes(33, 1),     Bytes(1128, 28),  Bytes(1156, 1),  Masked(1157, 1, 0xDE), Bytes(1164, 4),   Bytes(1168, 4),
    Bytes(1176, 28),  Bytes(1204, 28),  Bytes(1232, 4),  Bytes(1236, 4),        Bytes(1240, 4),   Masked(1244, 1, 0x03),
    Bytes(1248, 28),  Bytes(1276, 2),   Bytes(1310, 297), Bytes(1607, 2176),    Bytes(3784, 4),   Bytes(3788, 4),
    Bytes(3792, 4),   Bytes(3796, 4),   Bytes(3800, 17, true), Bytes(3820, 20, true), Bytes(3840, 4, true),
    Bytes(3844, 356, true), Bytes(4200, 4, true),
};

uint32_t Read(const uint8_t* p, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= uint32_t(p[i]) << (8 * i);
    return v;
}

void Write(uint8_t* p, size_t n, uint32_t v) {
    for (size_t i = 0; i < n; ++i) p[i] = uint8_t(v >> (8 * i));
}

template <size_t N>
void Merge(uint8_t* to, size_t toSize, const uint8_t* from, size_t fromSize, const Range (&ranges)[N], bool with48) {
    const size_t common = std::min(toSize, fromSize);
    for (const Range& r : ranges) {
        if (r.v48 && !with48) continue;
        if (r.offset >= common) continue;
        const size_t length = std::min(r.length, common - r.offset);
        if (!r.masked) {
            std::memcpy(to + r.offset, from + r.offset, length);
        } else if (length == r.length) {
            const uint32_t mine = Read(to + r.offset, length), theirs = Read(from + r.offset, length);
            Write(to + r.offset, length, (theirs & r.fromSource) | (mine & ~r.fromSource));
        }
    }
}

}  // namespace

void CReloc::MergeExtRanges(server::ExtRec copy, server::CZentServ* source, bool v48) {
    if (!copy || !source) return;
    const server::ConstExtRec from = source->FindExtRec(copy.ExtensionNumber());
    if (!from) return;
    Merge(copy.data(), copy.size(), from.data(), from.size(), kExtRanges, v48 && SameVersion(source));
}

void CReloc::MergeGroupRanges(server::WORKGRPREC copy, server::CZentServ* source, bool v48) {
    if (!copy || !source) return;
    const server::ConstWORKGRPREC from = source->FindGroupRec(copy.GroupNumber());
    if (!from) return;
    Merge(copy.data(), copy.size(), from.data(), from.size(), kGroupRanges, v48 && SameVersion(source));
}

}  // namespace relocation
