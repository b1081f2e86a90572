#include "com/NdrWriter.h"

#include <cstring>
#include <limits>

namespace com {

uint8_t* NdrWriter::Reserve(size_t n) {
    if (m_error != NdrError::None) return nullptr;
    // Every NDR length is a 32-bit count; a stream above that cannot be described.
    if (n > std::numeric_limits<uint32_t>::max() - m_pos || (m_buf && n > m_cap - m_pos)) {
        m_error = NdrError::Overflow;
        return nullptr;
    }
    uint8_t* p = m_buf ? m_buf + m_pos : nullptr;
    m_pos += n;
    return p;
}

void NdrWriter::Put8(uint8_t v) {
    if (uint8_t* p = Reserve(1)) *p = v;
}

void NdrWriter::Align(size_t n) {
    size_t pad = (n - (m_origin + m_pos) % n) % n;
    if (pad == 0) return;
    if (uint8_t* p = Reserve(pad)) std::memset(p, 0, pad);
}

void NdrWriter::Short(int16_t v) {
    Align(2);
    if (uint8_t* p = Reserve(2)) {
        p[0] = uint8_t(v);
        p[1] = uint8_t(uint16_t(v) >> 8);
    }
}

void NdrWriter::ULong(uint32_t v) {
    Align(4);
    if (uint8_t* p = Reserve(4)) {
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
        p[2] = uint8_t(v >> 16);
        p[3] = uint8_t(v >> 24);
    }
}

void NdrWriter::Hyper(uint64_t v) {
    Align(8);
    if (uint8_t* p = Reserve(8))
        for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}

void NdrWriter::Raw(const void* data, size_t n) {
    if (n == 0) return;
    if (uint8_t* p = Reserve(n)) std::memcpy(p, data, n);
}

void NdrWriter::Guid(const GUID& g) {
    uint8_t b[16];
    GuidToBytes(g, b);  // the binary form is exactly the little-endian NDR struct
    Align(4);
    Raw(b, 16);
}

void NdrWriter::LongPair(int32_t a, int32_t b) {
    Long(a);
    Long(b);
}

void NdrWriter::ConformantBytes(const void* data, uint32_t count) {
    ULong(count);
    Raw(data, count);
}

void NdrWriter::String(const char* text, uint32_t count) {
    ULong(count);
    ULong(0);
    ULong(count);
    if (count == 0) return;
    Raw(text, count - 1);
    Put8(0);
}

void NdrWriter::WString(const char16_t* text, uint32_t count) {
    ULong(count);
    ULong(0);
    ULong(count);
    if (count == 0) return;
    if (uint64_t(count) * 2 > std::numeric_limits<uint32_t>::max()) {
        m_error = NdrError::Overflow;
        return;
    }
    uint8_t* p = Reserve(size_t(count) * 2);
    if (!p) return;
    for (uint32_t i = 0; i + 1 < count; ++i) {
        p[2 * i] = uint8_t(text[i]);
        p[2 * i + 1] = uint8_t(uint16_t(text[i]) >> 8);
    }
    p[2 * count - 2] = 0;
    p[2 * count - 1] = 0;
}

void NdrWriter::InterfacePointer(const uint8_t* objref, uint32_t length) {
    if (!objref) {
        ULong(0);
        return;
    }
    ULong(m_nextReferent);
    m_nextReferent += 4;
    ULong(length);  // conformance of abData
    ULong(length);  // ulCntData
    Raw(objref, length);
}

}  // namespace com
