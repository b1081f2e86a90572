// Generic argument sets for any method: built from the shape descriptor, callable through the
// method table's typed thunks, and described and filled the same way on both ends of a call.
#pragma once

#include <cstdint>
#include <string>

#include "proxy/MethodTable.h"
#include "proxy/Shapes.h"

namespace shapetest {

struct ArgSet {
    const zent::ShapeDesc* shape = nullptr;
    zent::StubSlot slots[zent::kMaxParams];
    const void* args[zent::kMaxParams] = {};  // what a typed method's parameters would be
    IZentAdviseSink* sink = nullptr;

    ArgSet() = default;
    ArgSet(const ArgSet& o);
    ArgSet& operator=(const ArgSet&) = delete;
    void Bind();  // points ptr and args at this set's own storage
};

// Deterministic arguments for method `number` of interface `index`; `capacity` sizes the out
// arrays (through in/out lengths) and `garbage` fills out-only storage.
void Generate(ArgSet& set, const zent::ShapeDesc& shape, int index, uint32_t number, uint32_t capacity,
              uint8_t garbage = 0xEE);

// Text of everything the request carries, read from a typed call's argument addresses.
std::string DescribeIn(const zent::ShapeDesc& shape, const void* const* args);

// What the test server does: fills the reply parameters from the request's, and the result.
com::HRESULT FillOut(const zent::ShapeDesc& shape, const void* const* args, uint32_t seed, bool callBack);

// Differences between the expected and the actual reply parameters ("" when equal).
std::string CompareOut(const ArgSet& expected, const ArgSet& actual);

// The expected outcome: a copy of the sent set as the stub would see it (out-only storage
// zeroed), run through FillOut.
com::HRESULT Expect(const ArgSet& sent, ArgSet& expected, uint32_t seed);

}  // namespace shapetest
