#include "proxy/Shapes.h"

#include <type_traits>
#include <utility>

namespace zent {

namespace {

constexpr ParamDesc In32{Kind::InI32};
constexpr ParamDesc InOut32{Kind::InOutI32};
constexpr ParamDesc Out32{Kind::OutI32};
constexpr ParamDesc Str{Kind::InString};
constexpr ParamDesc InOutStr{Kind::InOutString};
constexpr ParamDesc WStr{Kind::InWString};
constexpr ParamDesc Guid{Kind::InGuid};
constexpr ParamDesc I8{Kind::InI8};
constexpr ParamDesc I16{Kind::InI16};
constexpr ParamDesc Sink{Kind::InSink};
// Sized arrays take the index (0-based) of the parameter holding their count.
constexpr ParamDesc InBytes(int n) { return {Kind::InBytes, int8_t(n)}; }
constexpr ParamDesc OutBytes(int n) { return {Kind::OutBytes, int8_t(n)}; }
constexpr ParamDesc InOutBytes(int n) { return {Kind::InOutBytes, int8_t(n)}; }

}  // namespace

constexpr ShapeDesc kShapes[kShapeCount + 1] = {
    {},
    {"P1", 3, {In32, InOut32, OutBytes(1)}},
    {"P2", 2, {InOut32, OutBytes(0)}},
    {"P3", 4, {In32, In32, InOut32, OutBytes(2)}},
    {"P4", 4, {In32, InBytes(0), InOut32, OutBytes(2)}},
    {"P5", 1, {In32}},
    {"P6", 2, {In32, In32}},
    {"P7", 0, {}},
    {"P8", 1, {{Kind::OutU8}}},
    {"P9", 4, {I8, Str, Str, Str}},
    {"P10", 3, {Str, Out32, Out32}},
    {"P11", 2, {In32, Out32}},
    {"P12", 3, {{Kind::OutI8}, {Kind::OutPair}, {Kind::OutPair}}},
    {"P13", 2, {InOut32, {Kind::OutPairArray, 0}}},
    {"P14", 3, {In32, In32, {Kind::OutU8}}},
    {"P15", 2, {Str, {Kind::OutU8}}},
    {"P16", 3, {In32, Out32, Out32}},
    {"P17", 3, {{Kind::InU8}, InOut32, OutBytes(1)}},
    {"P18", 2, {In32, InOutBytes(0)}},
    {"P19", 3, {InOut32, OutBytes(0), In32}},
    {"P20", 2, {InOut32, InOutBytes(0)}},
    {"P21", 3, {In32, In32, InBytes(1)}},
    {"P22", 2, {In32, InBytes(0)}},
    {"P23", 3, {In32, InBytes(0), InBytes(0)}},
    {"P24", 3, {I8, {Kind::InPair}, {Kind::InPair}}},
    {"P25", 2, {InOut32, InBytes(0)}},
    {"P26", 1, {Out32}},
    {"P27", 3, {Out32, InOut32, OutBytes(1)}},
    {"P28", 3, {In32, In32, {Kind::InChars, 1}}},
    {"P29", 3, {In32, Sink, Out32}},
    {"P30", 2, {Sink, In32}},
    {"P31", 3, {Guid, InOutStr, InOut32}},
    {"P32", 4, {Guid, InOutStr, InOut32, OutBytes(2)}},
    {"P33", 7, {Guid, WStr, In32, In32, In32, InOut32, InOutBytes(5)}},
    {"P34", 7, {Guid, WStr, In32, In32, In32, In32, InBytes(5)}},
    {"P35", 3, {Str, InOut32, OutBytes(1)}},
    {"P36", 3, {Str, In32, InBytes(1)}},
    {"P37", 3, {I16, In32, InBytes(1)}},
    {"P38", 1, {I16}},
    {"P39", 2, {I16, Out32}},
    {"P40", 3, {I16, InOut32, OutBytes(1)}},
    {"P41", 2, {Str, Out32}},
    {"P42", 4, {Str, InOut32, {Kind::InRefI32}, OutBytes(2)}},
    {"P43", 4, {Str, In32, In32, InBytes(2)}},
    {"P44", 3, {Str, {Kind::InRefI32}, OutBytes(1)}},
    {"P45", 4, {In32, InBytes(0), In32, InBytes(2)}},
    {"P46", 2, {In32, OutBytes(0)}},
    {"P47", 1, {Str}},
    {"P48", 3, {In32, In32, Out32}},
    {"P49", 4, {In32, In32, In32, InBytes(2)}},
    {"P50", 1, {InOut32}},
    {"P51", 3, {InOut32, In32, InOutBytes(1)}},
    {"P52", 4, {{Kind::OutChar64}, InOut32, Out32, OutBytes(1)}},
    {"P53", 3, {In32, In32, InOutBytes(1)}},
};

// Compile-time agreement of every descriptor with the C++ signature of its shape: the same
// number of parameters, each of the type its kind stands for, and every count taken from an
// earlier long (the engines read the count before the array).
namespace {

template <class F> struct Signature;
template <class... A> struct Signature<com::HRESULT(A...)> {
    template <size_t... I>
    static constexpr bool Matches(const ShapeDesc& d, std::index_sequence<I...>) {
        return d.paramCount == sizeof...(A) && (TypeIs<A>(d.params[I].kind) && ...);
    }
    template <class T> static constexpr bool TypeIs(Kind k) {
        switch (k) {
#define QOB_KIND_CASE(k) \
    case Kind::k: return std::is_same_v<T, KindType<Kind::k>::type>;
            QOB_KIND_CASE(InI8) QOB_KIND_CASE(InU8) QOB_KIND_CASE(InI16) QOB_KIND_CASE(InI32)
            QOB_KIND_CASE(InPair) QOB_KIND_CASE(InGuid) QOB_KIND_CASE(InRefI32) QOB_KIND_CASE(InOutI32)
            QOB_KIND_CASE(OutI32) QOB_KIND_CASE(OutI8) QOB_KIND_CASE(OutU8) QOB_KIND_CASE(OutPair)
            QOB_KIND_CASE(InBytes) QOB_KIND_CASE(InChars) QOB_KIND_CASE(OutBytes) QOB_KIND_CASE(InOutBytes)
            QOB_KIND_CASE(OutPairArray) QOB_KIND_CASE(InString) QOB_KIND_CASE(InOutString)
            QOB_KIND_CASE(InWString) QOB_KIND_CASE(OutChar64) QOB_KIND_CASE(InSink)
#undef QOB_KIND_CASE
        }
        return false;
    }
    static constexpr bool Check(const ShapeDesc& d) { return Matches(d, std::index_sequence_for<A...>{}); }
};

constexpr bool CountsValid(const ShapeDesc& d) {
    for (size_t i = 0; i < d.paramCount; ++i) {
        const ParamDesc& p = d.params[i];
        if (IsArray(p.kind) != (p.count >= 0)) return false;
        if (p.count < 0) continue;
        if (size_t(p.count) >= i) return false;
        Kind c = d.params[size_t(p.count)].kind;
        if (c != Kind::InI32 && c != Kind::InOutI32 && c != Kind::InRefI32) return false;
    }
    return true;
}

#define QOB_CHECK_SHAPE(s)                                                                      \
    static_assert(Signature<com::HRESULT QOB_SIG_##s>::Check(kShapes[size_t(ShapeId::s)]) &&     \
                      CountsValid(kShapes[size_t(ShapeId::s)]),                                  \
                  "descriptor of " #s " disagrees with its signature");
QOB_SHAPE_IDS(QOB_CHECK_SHAPE)
#undef QOB_CHECK_SHAPE

}  // namespace

}  // namespace zent
