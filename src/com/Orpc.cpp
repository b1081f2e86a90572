#include "com/Orpc.h"

#include <atomic>

#include "com/RandomId.h"

namespace com {
namespace {

// More extents than any peer sends; a larger count is refused rather than walked.
constexpr uint32_t kMaxExtents = 64;

// The ORPC_EXTENT_ARRAY behind a non-null extensions pointer: its size, then a unique pointer to
// an array of unique pointers to ORPC_EXTENT {GUID id; long size; byte data[conformance]}.
bool SkipExtentArray(NdrReader& r) {
    uint32_t size = 0, reserved = 0, arrayRef = 0;
    if (!r.ULong(size) || !r.ULong(reserved) || !r.ULong(arrayRef)) return false;
    if (arrayRef == 0) return true;
    uint32_t count = 0;
    if (!r.ULong(count)) return false;
    if (count > kMaxExtents || count < size) return r.Fail(NdrError::BadCount);
    uint32_t present = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t ref = 0;
        if (!r.ULong(ref)) return false;
        if (ref) ++present;
    }
    for (uint32_t i = 0; i < present; ++i) {
        uint32_t conformance = 0, dataSize = 0;
        GUID id;
        const uint8_t* data;
        if (!r.ULong(conformance) || !r.Guid(id) || !r.ULong(dataSize)) return false;
        if (dataSize > conformance) return r.Fail(NdrError::BadCount);
        if (!r.View(data, conformance)) return false;
    }
    return true;
}

}  // namespace

void WriteOrpcThis(NdrWriter& w, const OrpcThis& t) {
    w.Short(int16_t(t.version.major));
    w.Short(int16_t(t.version.minor));
    w.ULong(t.flags);
    w.ULong(t.reserved1);
    w.Guid(t.cid);
    w.ULong(0);  // no extensions
}

void WriteOrpcThat(NdrWriter& w, const OrpcThat& t) {
    w.ULong(t.flags);
    w.ULong(0);
}

bool ReadOrpcThis(NdrReader& r, OrpcThis& t) {
    int16_t major = 0, minor = 0;
    uint32_t ext = 0;
    if (!r.Short(major) || !r.Short(minor) || !r.ULong(t.flags) || !r.ULong(t.reserved1) || !r.Guid(t.cid) ||
        !r.ULong(ext))
        return false;
    t.version = {uint16_t(major), uint16_t(minor)};
    t.hasExtensions = ext != 0;
    return !t.hasExtensions || SkipExtentArray(r);
}

bool ReadOrpcThat(NdrReader& r, OrpcThat& t) {
    uint32_t ext = 0;
    if (!r.ULong(t.flags) || !r.ULong(ext)) return false;
    t.hasExtensions = ext != 0;
    return !t.hasExtensions || SkipExtentArray(r);
}

long OrpcThatLength(const uint8_t* data, size_t n, uint32_t drep) {
    NdrReader r(data, n, drep);
    OrpcThat t;
    if (ReadOrpcThat(r, t)) return long(r.Position());
    return r.Error() == NdrError::Truncated ? 0 : -1;
}

GUID NewCausalityId() {
    // Unique, not secret: a random base drawn once, and a counter in its last six bytes (one
    // system call per process instead of one per call; the variant byte stays as it was).
    static const GUID base = RandomGuid();
    static std::atomic<uint64_t> next{0};
    GUID id = base;
    uint64_t n = next.fetch_add(1, std::memory_order_relaxed);
    for (int i = 2; i < 8; ++i) id.Data4[i] ^= uint8_t(n >> (8 * (i - 2)));
    return id;
}

}  // namespace com
