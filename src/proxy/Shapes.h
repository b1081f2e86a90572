// The table of parameter shapes: one descriptor per shape, read by the generic proxy and stub
// routines. A descriptor lists the parameters in order with their NDR construct; a sized array
// names the parameter that holds its count (its value, or the value behind it).
#pragma once

#include <cstddef>
#include <cstdint>

#include "proxy/Interfaces.h"

namespace zent {

enum class Kind : uint8_t {
    InI8, InU8, InI16, InI32, InPair, InGuid,   // by value
    InRefI32,                                    // in long behind a reference pointer
    InOutI32, OutI32, OutI8, OutU8, OutPair,     // value behind a reference pointer
    InBytes, InChars, OutBytes, InOutBytes,      // conformant byte/char arrays
    OutPairArray,                                // conformant array of {long, long}
    InString, InOutString, InWString,            // conformant varying strings, NUL included
    OutChar64,                                   // fixed char[64], reply only
    InSink,                                      // IZentAdviseSink interface pointer (unique)
};

constexpr bool IsArray(Kind k) {
    return k == Kind::InBytes || k == Kind::InChars || k == Kind::OutBytes || k == Kind::InOutBytes ||
           k == Kind::OutPairArray;
}
constexpr bool SentInRequest(Kind k) {
    return !(k == Kind::OutI32 || k == Kind::OutI8 || k == Kind::OutU8 || k == Kind::OutPair ||
             k == Kind::OutBytes || k == Kind::OutPairArray || k == Kind::OutChar64);
}
constexpr bool SentInReply(Kind k) {
    return k == Kind::InOutI32 || k == Kind::OutI32 || k == Kind::OutI8 || k == Kind::OutU8 ||
           k == Kind::OutPair || k == Kind::OutBytes || k == Kind::InOutBytes || k == Kind::OutPairArray ||
           k == Kind::InOutString || k == Kind::OutChar64;
}

constexpr size_t kMaxParams = 7;

struct ParamDesc {
    Kind kind = Kind::InI32;
    int8_t count = -1;  // arrays: index of the parameter giving the count
};

struct ShapeDesc {
    const char* name = "";
    uint8_t paramCount = 0;
    ParamDesc params[kMaxParams] = {};
};

enum class ShapeId : uint8_t {
    None,
#define QOB_SHAPE_ENUM(s) s,
    QOB_SHAPE_IDS(QOB_SHAPE_ENUM)
#undef QOB_SHAPE_ENUM
    Count
};

constexpr size_t kShapeCount = size_t(ShapeId::Count) - 1;  // 53

// Indexed by ShapeId; entry 0 unused.
extern const ShapeDesc kShapes[kShapeCount + 1];
inline const ShapeDesc& Shape(ShapeId id) { return kShapes[size_t(id)]; }

// The C++ parameter type of each kind (what the signatures in ShapeSignatures.h use).
template <Kind K> struct KindType;
template <> struct KindType<Kind::InI8> { using type = int8_t; };
template <> struct KindType<Kind::InU8> { using type = uint8_t; };
template <> struct KindType<Kind::InI16> { using type = int16_t; };
template <> struct KindType<Kind::InI32> { using type = int32_t; };
template <> struct KindType<Kind::InPair> { using type = ZentLongPair; };
template <> struct KindType<Kind::InGuid> { using type = com::GUID; };
template <> struct KindType<Kind::InRefI32> { using type = const int32_t*; };
template <> struct KindType<Kind::InOutI32> { using type = int32_t*; };
template <> struct KindType<Kind::OutI32> { using type = int32_t*; };
template <> struct KindType<Kind::OutI8> { using type = int8_t*; };
template <> struct KindType<Kind::OutU8> { using type = uint8_t*; };
template <> struct KindType<Kind::OutPair> { using type = ZentLongPair*; };
template <> struct KindType<Kind::InBytes> { using type = const uint8_t*; };
template <> struct KindType<Kind::InChars> { using type = const char*; };
template <> struct KindType<Kind::OutBytes> { using type = uint8_t*; };
template <> struct KindType<Kind::InOutBytes> { using type = uint8_t*; };
template <> struct KindType<Kind::OutPairArray> { using type = ZentLongPair*; };
template <> struct KindType<Kind::InString> { using type = const char*; };
template <> struct KindType<Kind::InOutString> { using type = char*; };
template <> struct KindType<Kind::InWString> { using type = const char16_t*; };
template <> struct KindType<Kind::OutChar64> { using type = char*; };
template <> struct KindType<Kind::InSink> { using type = IZentAdviseSink*; };

}  // namespace zent
