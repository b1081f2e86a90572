// NDR 1.1 reader for one received stream, in the sender's data representation. Every count is
// checked against the bytes present and against the caller's capacity; the first failure sticks,
// so a routine may read on and test Ok() once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "com/Guid.h"
#include "com/NdrTypes.h"

namespace com {

class NdrReader {
public:
    // drep: the message's data representation word; an unsupported one fails the reader at once.
    NdrReader(const uint8_t* data, size_t length, uint32_t drep, size_t origin = 0);

    bool Ok() const { return m_error == NdrError::None; }
    NdrError Error() const { return m_error; }
    bool Fail(NdrError e);  // records e (if none yet), returns false
    size_t Position() const { return m_pos; }
    size_t Remaining() const { return m_len - m_pos; }
    bool BigEndian() const { return m_bigEndian; }

    bool Align(size_t n);
    bool Small(int8_t& v);
    bool Byte(uint8_t& v);
    bool Short(int16_t& v);
    bool Long(int32_t& v);
    bool ULong(uint32_t& v);
    bool Hyper(uint64_t& v);
    bool Guid(GUID& g);
    bool LongPair(int32_t& a, int32_t& b);
    bool View(const uint8_t*& p, size_t n);  // n raw bytes in place, no alignment
    // n bytes that belong to the stream but were delivered elsewhere: alignment goes on as if
    // they had been read here.
    void Skipped(size_t n) { m_origin += n; }

    // Conformant array of bytes or chars: the max count must not exceed capacity.
    bool ConformantBytesView(const uint8_t*& p, uint32_t& count, uint32_t capacity);
    bool ConformantBytes(uint8_t* dst, uint32_t capacity, uint32_t& count);
    // Max count of a conformant array of other elements: count <= capacity and count elements
    // of elementSize bytes present; the caller reads the elements.
    bool ConformantCount(uint32_t& count, uint32_t capacity, size_t elementSize);
    // Conformant varying string of chars: offset 0, actual count <= max count, 1 <= actual
    // count <= capacity, NUL at actual count - 1. p points at the units in place, count incl. NUL.
    bool StringView(const char*& p, uint32_t& count, uint32_t capacity);
    bool WString(std::u16string& out, uint32_t capacity);  // out without the NUL
    bool FixedChars(char* dst, size_t n);
    // Unique pointer to MInterfacePointer; null pointer gives objref == nullptr.
    bool InterfacePointer(const uint8_t*& objref, uint32_t& length, uint32_t capacity);

private:
    const uint8_t* Take(size_t n);
    bool StringHeader(uint32_t& actual, uint32_t capacity, size_t unit);

    const uint8_t* m_data;
    size_t m_len;
    size_t m_origin;
    size_t m_pos = 0;
    bool m_bigEndian = false;
    NdrError m_error = NdrError::None;
};

}  // namespace com
