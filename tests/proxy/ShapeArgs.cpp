#include "ShapeArgs.h"

#include <cstring>

namespace shapetest {

using zent::Kind;
using zent::ShapeDesc;

namespace {

template <class T> T Arg(const void* a) { return *static_cast<const T*>(a); }

bool IsCountOf(const ShapeDesc& s, size_t i) {
    for (size_t j = 0; j < s.paramCount; ++j)
        if (s.params[j].count == int(i)) return true;
    return false;
}

// The current element count of array parameter i, from its count parameter.
uint32_t CountOf(const ShapeDesc& s, size_t i, const void* const* args) {
    size_t c = size_t(s.params[i].count);
    int32_t v = s.params[c].kind == Kind::InI32 ? Arg<int32_t>(args[c]) : *Arg<const int32_t*>(args[c]);
    return v < 0 ? 0 : uint32_t(v);
}

size_t ElementSize(Kind k) { return k == Kind::OutPairArray ? 8 : 1; }

}  // namespace

ArgSet::ArgSet(const ArgSet& o) : shape(o.shape), sink(o.sink) {
    for (size_t i = 0; i < zent::kMaxParams; ++i) {
        const zent::StubSlot& a = o.slots[i];
        zent::StubSlot& b = slots[i];
        b.i32 = a.i32, b.i16 = a.i16, b.i8 = a.i8, b.u8 = a.u8, b.guid = a.guid, b.pair = a.pair;
        b.count = a.count, b.buffer = a.buffer, b.wide = a.wide;
    }
    Bind();
}

void ArgSet::Bind() {
    for (size_t i = 0; shape && i < shape->paramCount; ++i) {
        zent::StubSlot& s = slots[i];
        switch (shape->params[i].kind) {
        case Kind::InI8: args[i] = &s.i8; continue;
        case Kind::InU8: args[i] = &s.u8; continue;
        case Kind::InI16: args[i] = &s.i16; continue;
        case Kind::InI32: args[i] = &s.i32; continue;
        case Kind::InPair: args[i] = &s.pair; continue;
        case Kind::InGuid: args[i] = &s.guid; continue;
        case Kind::InRefI32: case Kind::InOutI32: case Kind::OutI32: s.ptr = &s.i32; break;
        case Kind::OutI8: s.ptr = &s.i8; break;
        case Kind::OutU8: s.ptr = &s.u8; break;
        case Kind::OutPair: s.ptr = &s.pair; break;
        case Kind::InWString: s.ptr = s.wide.data(); break;
        case Kind::InSink: s.ptr = sink; break;
        default: s.ptr = s.buffer.data(); break;
        }
        args[i] = &s.ptr;
    }
}

void Generate(ArgSet& set, const ShapeDesc& shape, int index, uint32_t number, uint32_t capacity, uint8_t garbage) {
    set.shape = &shape;
    const int32_t base = index * 1000 + int32_t(number) * 10;
    for (size_t i = 0; i < shape.paramCount; ++i) {
        zent::StubSlot& s = set.slots[i];
        const int32_t v = base + int32_t(i);
        switch (shape.params[i].kind) {
        case Kind::InI8: s.i8 = int8_t(-(v % 100)); break;
        case Kind::InU8: s.u8 = uint8_t(0x80 | (v & 0x7F)); break;
        case Kind::InI16: s.i16 = int16_t(-v); break;
        case Kind::InI32: case Kind::InRefI32: s.i32 = IsCountOf(shape, i) ? int32_t(3 + i) : v; break;
        case Kind::InOutI32: s.i32 = IsCountOf(shape, i) ? int32_t(capacity) : -v; break;
        case Kind::OutI32: s.i32 = int32_t(0xEEEEEEEE); break;
        case Kind::OutI8: s.i8 = int8_t(garbage); break;
        case Kind::OutU8: s.u8 = garbage; break;
        case Kind::InPair: s.pair = {v, -v}; break;
        case Kind::OutPair: s.pair = {int32_t(0xEEEEEEEE), int32_t(0xEEEEEEEE)}; break;
        case Kind::InGuid: s.guid = com::MakeGuid(uint32_t(v), 0x1234, uint16_t(i), 1, 2, 3, 4, 5, 6, 7, uint8_t(number)); break;
        case Kind::InString: case Kind::InOutString: {
            std::string t = "s" + std::to_string(index) + "-" + std::to_string(number) + "-" + std::to_string(i);
            s.buffer.assign(t.begin(), t.end());
            s.buffer.push_back(0);
            break;
        }
        case Kind::InWString: s.wide = u"w\u00e9\u4e2d" + std::u16string(i, u'x'); break;
        case Kind::OutChar64: s.buffer.assign(64, garbage); break;
        case Kind::InSink: break;
        default: break;  // arrays below, once their counts are known
        }
    }
    set.Bind();
    for (size_t i = 0; i < shape.paramCount; ++i) {
        Kind k = shape.params[i].kind;
        if (!zent::IsArray(k)) continue;
        zent::StubSlot& s = set.slots[i];
        uint32_t n = CountOf(shape, i, set.args);
        s.buffer.assign(size_t(n) * ElementSize(k) + 1, garbage);
        if (k == Kind::InBytes || k == Kind::InChars || k == Kind::InOutBytes)
            for (uint32_t b = 0; b < n; ++b) s.buffer[b] = uint8_t(b * 7 + i + number);
    }
    set.Bind();
}

std::string DescribeIn(const ShapeDesc& s, const void* const* args) {
    std::string d;
    for (size_t i = 0; i < s.paramCount; ++i) {
        const void* a = args[i];
        d += '|';
        switch (s.params[i].kind) {
        case Kind::InI8: d += std::to_string(Arg<int8_t>(a)); break;
        case Kind::InU8: d += std::to_string(Arg<uint8_t>(a)); break;
        case Kind::InI16: d += std::to_string(Arg<int16_t>(a)); break;
        case Kind::InI32: d += std::to_string(Arg<int32_t>(a)); break;
        case Kind::InRefI32: case Kind::InOutI32: d += std::to_string(*Arg<const int32_t*>(a)); break;
        case Kind::InPair: {
            ZentLongPair p = Arg<ZentLongPair>(a);
            d += std::to_string(p.first) + "," + std::to_string(p.second);
            break;
        }
        case Kind::InGuid: d += com::GuidToString(Arg<com::GUID>(a)); break;
        case Kind::InBytes: case Kind::InChars: case Kind::InOutBytes: {
            const uint8_t* p = Arg<const uint8_t*>(a);
            for (uint32_t k = 0, n = CountOf(s, i, args); k < n; ++k) d += std::to_string(p[k]) + ".";
            break;
        }
        case Kind::InString: case Kind::InOutString: d += Arg<const char*>(a); break;
        case Kind::InWString:
            for (const char16_t* w = Arg<const char16_t*>(a); *w; ++w) d += std::to_string(unsigned(*w)) + ".";
            break;
        case Kind::InSink: d += Arg<IZentAdviseSink*>(a) ? "sink" : "null"; break;
        default: d += '-'; break;
        }
    }
    return d;
}

com::HRESULT FillOut(const ShapeDesc& s, const void* const* args, uint32_t seed, bool callBack) {
    for (size_t i = 0; i < s.paramCount; ++i) {
        const void* a = args[i];
        Kind k = s.params[i].kind;
        switch (k) {
        case Kind::InOutI32: {
            int32_t* p = Arg<int32_t*>(a);
            if (IsCountOf(s, i))
                *p = seed % 5 == 0 ? 0 : *p > 2 ? *p - 2 : *p;  // fewer filled than the capacity, now and then none
            else
                *p = int32_t(uint32_t(*p) * 3u + 1u);
            break;
        }
        case Kind::OutI32: *Arg<int32_t*>(a) = int32_t(seed * 31 + i); break;
        case Kind::OutI8: *Arg<int8_t*>(a) = int8_t(-int(seed % 100)); break;
        case Kind::OutU8: *Arg<uint8_t*>(a) = uint8_t(0xF0 | i); break;
        case Kind::OutPair: *Arg<ZentLongPair*>(a) = {int32_t(seed), -int32_t(i)}; break;
        case Kind::OutBytes: case Kind::InOutBytes: {
            uint8_t* p = Arg<uint8_t*>(a);
            for (uint32_t b = 0, n = CountOf(s, i, args); b < n; ++b) p[b] = uint8_t((p[b] ^ 0x5A) + seed + b);
            break;
        }
        case Kind::OutPairArray: {
            auto* p = Arg<ZentLongPair*>(a);
            for (uint32_t b = 0, n = CountOf(s, i, args); b < n; ++b) p[b] = {int32_t(seed + b), -int32_t(b)};
            break;
        }
        case Kind::InOutString: {
            char* p = Arg<char*>(a);
            size_t n = std::strlen(p);
            for (size_t c = 0; c < n; ++c) p[c] = char(p[c] >= 'a' && p[c] <= 'z' ? p[c] - 32 : p[c]);
            p[n / 2] = 0;
            break;
        }
        case Kind::OutChar64: std::memcpy(Arg<char*>(a), "chars", 5); break;  // the rest stays as the stub gave it
        case Kind::InSink:
            if (IZentAdviseSink* sink = Arg<IZentAdviseSink*>(a); sink && callBack) {
                static const char kChars[] = "cb!";
                sink->Method3(int32_t(seed), 3, kChars);  // a call back through the sink's own proxy
            }
            break;
        default: break;
        }
    }
    static constexpr com::HRESULT kResults[] = {com::S_OK, com::S_FALSE, com::E_FAIL, com::MakeHr(0x8007000E)};
    return kResults[seed % 4];
}

com::HRESULT Expect(const ArgSet& sent, ArgSet& expected, uint32_t seed) {
    const ShapeDesc& s = *sent.shape;
    for (size_t i = 0; i < s.paramCount; ++i) {
        zent::StubSlot& slot = expected.slots[i];
        switch (s.params[i].kind) {
        case Kind::OutI32: slot.i32 = 0; break;
        case Kind::OutI8: slot.i8 = 0; break;
        case Kind::OutU8: slot.u8 = 0; break;
        case Kind::OutPair: slot.pair = {}; break;
        case Kind::OutBytes: case Kind::OutPairArray: case Kind::OutChar64:
            std::fill(slot.buffer.begin(), slot.buffer.end(), 0);
            break;
        default: break;
        }
    }
    return FillOut(s, expected.args, seed, false);
}

std::string CompareOut(const ArgSet& e, const ArgSet& a) {
    const ShapeDesc& s = *e.shape;
    std::string diff;
    for (size_t i = 0; i < s.paramCount; ++i) {
        const zent::StubSlot& x = e.slots[i];
        const zent::StubSlot& y = a.slots[i];
        bool same = true;
        switch (s.params[i].kind) {
        case Kind::InOutI32: case Kind::OutI32: same = x.i32 == y.i32; break;
        case Kind::OutI8: same = x.i8 == y.i8; break;
        case Kind::OutU8: same = x.u8 == y.u8; break;
        case Kind::OutPair: same = x.pair.first == y.pair.first && x.pair.second == y.pair.second; break;
        case Kind::OutChar64: same = std::memcmp(x.buffer.data(), y.buffer.data(), 64) == 0; break;
        case Kind::InOutString: same = std::strcmp((const char*)x.buffer.data(), (const char*)y.buffer.data()) == 0; break;
        case Kind::OutBytes: case Kind::InOutBytes: case Kind::OutPairArray: {
            size_t n = CountOf(s, i, e.args) * ElementSize(s.params[i].kind);
            same = std::memcmp(x.buffer.data(), y.buffer.data(), n) == 0;
            break;
        }
        default: break;
        }
        if (!same) diff += " parameter " + std::to_string(i + 1);
    }
    return diff;
}

}  // namespace shapetest
