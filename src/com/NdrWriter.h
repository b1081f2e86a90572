// NDR 1.1 writer: little-endian, every primitive aligned to its size relative to the stream
// origin, padding bytes zero. Without a buffer it only counts, so one routine both sizes and
// writes a message.
#pragma once

#include <cstddef>
#include <cstdint>

#include "com/Guid.h"
#include "com/NdrTypes.h"

namespace com {

class NdrWriter {
public:
    // Sizing writer: counts bytes, stores nothing.
    NdrWriter() = default;
    // origin = offset of buf within the NDR stream (alignment counts from the stream's start).
    NdrWriter(uint8_t* buf, size_t capacity, size_t origin = 0) : m_buf(buf), m_cap(capacity), m_origin(origin) {}

    bool Ok() const { return m_error == NdrError::None; }
    NdrError Error() const { return m_error; }
    size_t Size() const { return m_pos; }

    void Align(size_t n);
    void Small(int8_t v) { Put8(uint8_t(v)); }
    void Byte(uint8_t v) { Put8(v); }
    void Short(int16_t v);
    void Long(int32_t v) { ULong(uint32_t(v)); }
    void ULong(uint32_t v);
    void Hyper(uint64_t v);
    void Raw(const void* data, size_t n);  // no alignment
    // n bytes that are already in place at the current position (written there by someone else).
    void Skip(size_t n) { Reserve(n); }
    void Guid(const GUID& g);              // {long, short, short, byte[8]}, 4-aligned
    void LongPair(int32_t a, int32_t b);   // simple struct of two longs

    // Conformant array of bytes or chars: max count (long), then the elements.
    void ConformantBytes(const void* data, uint32_t count);
    // Conformant varying string: max count, offset 0, actual count, then the units incl. NUL.
    // count includes the NUL, which is written whatever text[count-1] holds.
    void String(const char* text, uint32_t count);
    void WString(const char16_t* text, uint32_t count);
    // Fixed array of chars.
    void FixedChars(const char* text, size_t n) { Raw(text, n); }
    // Unique pointer to MInterfacePointer{ulCntData, abData[ulCntData]} (a conformant struct:
    // max count first). objref null = the null pointer (referent id 0).
    void InterfacePointer(const uint8_t* objref, uint32_t length);

private:
    uint8_t* Reserve(size_t n);
    void Put8(uint8_t v);

    uint8_t* m_buf = nullptr;
    size_t m_cap = 0;
    size_t m_origin = 0;
    size_t m_pos = 0;
    uint32_t m_nextReferent = NDR_FIRST_REFERENT_ID;
    NdrError m_error = NdrError::None;
};

}  // namespace com
