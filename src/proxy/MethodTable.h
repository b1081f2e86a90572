// Per interface, its own methods (number 3 and up) with shape, name and stub thunk.
#pragma once

#include <cstdint>

#include "proxy/StubEngine.h"

namespace zent {

struct MethodEntry {
    uint32_t number;
    ShapeId shape;
    const char* name;
    StubThunk thunk;
};

// The own methods of table entry index, kInterfaceTable[index].methodCount - 3 of them.
const MethodEntry* MethodsOf(int index);

}  // namespace zent
