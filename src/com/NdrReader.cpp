#include "com/NdrReader.h"

#include <cstring>

namespace com {

const char* NdrErrorText(NdrError e) {
    switch (e) {
    case NdrError::None: return "no error";
    case NdrError::Truncated: return "the NDR data ends before the value it should hold";
    case NdrError::BadCount: return "an NDR count, offset or length is not allowed here";
    case NdrError::BadString: return "an NDR string is empty, exceeds its max count or lacks its NUL";
    case NdrError::CapacityExceeded: return "an NDR array holds more elements than the receiving buffer";
    case NdrError::UnsupportedIntegerFormat: return "unsupported NDR integer format in the data representation";
    case NdrError::UnsupportedCharFormat: return "unsupported NDR character format (only ASCII is accepted, not EBCDIC)";
    case NdrError::UnsupportedFloatFormat: return "unsupported NDR floating-point format (only IEEE is accepted)";
    case NdrError::Overflow: return "the NDR data does not fit its buffer";
    }
    return "unknown NDR error";
}

HRESULT NdrErrorToHResult(NdrError e) {
    switch (e) {
    case NdrError::None: return S_OK;
    case NdrError::UnsupportedIntegerFormat:
    case NdrError::UnsupportedCharFormat:
    case NdrError::UnsupportedFloatFormat: return RPC_S_UNSUPPORTED_TRANS_SYN;
    case NdrError::Overflow: return RPC_S_INVALID_BOUND;
    default: return RPC_X_BAD_STUB_DATA;
    }
}

NdrReader::NdrReader(const uint8_t* data, size_t length, uint32_t drep, size_t origin)
    : m_data(data), m_len(data ? length : 0), m_origin(origin) {
    uint32_t integer = (drep >> 4) & 0xF, character = drep & 0xF, floating = (drep >> 8) & 0xFF;
    if (integer > 1)
        Fail(NdrError::UnsupportedIntegerFormat);
    else if (character != 0)
        Fail(NdrError::UnsupportedCharFormat);
    else if (floating != 0)
        Fail(NdrError::UnsupportedFloatFormat);
    m_bigEndian = integer == 0;
}

bool NdrReader::Fail(NdrError e) {
    if (m_error == NdrError::None) m_error = e;
    return false;
}

const uint8_t* NdrReader::Take(size_t n) {
    if (!Ok()) return nullptr;
    if (n > m_len - m_pos) {
        Fail(NdrError::Truncated);
        return nullptr;
    }
    const uint8_t* p = m_data + m_pos;
    m_pos += n;
    return p;
}

bool NdrReader::Align(size_t n) {
    size_t pad = (n - (m_origin + m_pos) % n) % n;
    return pad == 0 ? Ok() : Take(pad) != nullptr;
}

bool NdrReader::Small(int8_t& v) {
    const uint8_t* p = Take(1);
    if (!p) return false;
    v = int8_t(*p);
    return true;
}

bool NdrReader::Byte(uint8_t& v) {
    const uint8_t* p = Take(1);
    if (!p) return false;
    v = *p;
    return true;
}

bool NdrReader::Short(int16_t& v) {
    if (!Align(2)) return false;
    const uint8_t* p = Take(2);
    if (!p) return false;
    v = int16_t(m_bigEndian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]));
    return true;
}

bool NdrReader::ULong(uint32_t& v) {
    if (!Align(4)) return false;
    const uint8_t* p = Take(4);
    if (!p) return false;
    v = m_bigEndian ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                    : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    return true;
}

bool NdrReader::Long(int32_t& v) {
    uint32_t u;
    if (!ULong(u)) return false;
    v = int32_t(u);
    return true;
}

bool NdrReader::Hyper(uint64_t& v) {
    if (!Align(8)) return false;
    const uint8_t* p = Take(8);
    if (!p) return false;
    v = 0;
    for (int i = 0; i < 8; ++i) v |= uint64_t(p[m_bigEndian ? 7 - i : i]) << (8 * i);
    return true;
}

bool NdrReader::Guid(GUID& g) {
    uint32_t d1;
    int16_t d2, d3;
    const uint8_t* d4;
    if (!ULong(d1) || !Short(d2) || !Short(d3) || !View(d4, 8)) return false;
    g.Data1 = d1;
    g.Data2 = uint16_t(d2);
    g.Data3 = uint16_t(d3);
    std::memcpy(g.Data4, d4, 8);
    return true;
}

bool NdrReader::LongPair(int32_t& a, int32_t& b) { return Long(a) && Long(b); }

bool NdrReader::View(const uint8_t*& p, size_t n) {
    p = Take(n);
    return p != nullptr;
}

bool NdrReader::ConformantBytesView(const uint8_t*& p, uint32_t& count, uint32_t capacity) {
    if (!ULong(count)) return false;
    if (count > capacity) return Fail(NdrError::CapacityExceeded);
    return View(p, count);
}

bool NdrReader::ConformantBytes(uint8_t* dst, uint32_t capacity, uint32_t& count) {
    const uint8_t* p;
    if (!ConformantBytesView(p, count, capacity)) return false;
    if (count) std::memcpy(dst, p, count);
    return true;
}

bool NdrReader::ConformantCount(uint32_t& count, uint32_t capacity, size_t elementSize) {
    if (!ULong(count)) return false;
    if (count > capacity) return Fail(NdrError::CapacityExceeded);
    if (uint64_t(count) * elementSize > Remaining()) return Fail(NdrError::Truncated);
    return true;
}

bool NdrReader::StringHeader(uint32_t& actual, uint32_t capacity, size_t unit) {
    uint32_t max, offset;
    if (!ULong(max) || !ULong(offset) || !ULong(actual)) return false;
    if (offset != 0) return Fail(NdrError::BadCount);
    if (actual == 0 || actual > max) return Fail(NdrError::BadString);
    if (actual > capacity) return Fail(NdrError::CapacityExceeded);
    if (uint64_t(actual) * unit > Remaining()) return Fail(NdrError::Truncated);
    return true;
}

bool NdrReader::StringView(const char*& p, uint32_t& count, uint32_t capacity) {
    const uint8_t* units;
    if (!StringHeader(count, capacity, 1) || !View(units, count)) return false;
    if (units[count - 1] != 0) return Fail(NdrError::BadString);
    p = reinterpret_cast<const char*>(units);
    return true;
}

bool NdrReader::WString(std::u16string& out, uint32_t capacity) {
    uint32_t count;
    const uint8_t* u;
    if (!StringHeader(count, capacity, 2) || !View(u, size_t(count) * 2)) return false;
    if (u[2 * count - 2] != 0 || u[2 * count - 1] != 0) return Fail(NdrError::BadString);
    out.resize(count - 1);
    for (uint32_t i = 0; i + 1 < count; ++i)
        out[i] = char16_t(m_bigEndian ? (u[2 * i] << 8 | u[2 * i + 1]) : (u[2 * i + 1] << 8 | u[2 * i]));
    return true;
}

bool NdrReader::FixedChars(char* dst, size_t n) {
    const uint8_t* p;
    if (!View(p, n)) return false;
    std::memcpy(dst, p, n);
    return true;
}

bool NdrReader::InterfacePointer(const uint8_t*& objref, uint32_t& length, uint32_t capacity) {
    objref = nullptr;
    length = 0;
    uint32_t referent, max, cnt;
    if (!ULong(referent)) return false;
    if (referent == 0) return true;
    if (!ULong(max) || !ULong(cnt)) return false;
    if (cnt != max) return Fail(NdrError::BadCount);
    if (cnt > capacity) return Fail(NdrError::CapacityExceeded);
    if (!View(objref, cnt)) return false;
    length = cnt;
    return true;
}

}  // namespace com

