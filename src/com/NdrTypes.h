// What the NDR writer and reader report, and how a failure maps to an HRESULT.
#pragma once

#include <cstdint>

#include "com/HResult.h"

namespace com {

enum class NdrError : uint8_t {
    None,
    Truncated,               // fewer bytes present than the data needs
    BadCount,                // a count, offset or length that NDR or the call does not allow
    BadString,               // a string that is empty, longer than its max count or not NUL-terminated
    CapacityExceeded,        // more elements than the receiving buffer holds
    UnsupportedIntegerFormat,
    UnsupportedCharFormat,   // EBCDIC
    UnsupportedFloatFormat,  // VAX, Cray, IBM
    Overflow,                // writer: more bytes than the buffer given
};

const char* NdrErrorText(NdrError e);
HRESULT NdrErrorToHResult(NdrError e);

// First unit of a unique pointer's referent ids, as the platform's NDR engine numbers them.
constexpr uint32_t NDR_FIRST_REFERENT_ID = 0x00020000;

}  // namespace com
