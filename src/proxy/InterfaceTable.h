// The interface table in lookup order and the fixed binary search over it.
#pragma once

#include <cstdint>

#include "com/Guid.h"

namespace zent {

constexpr int kInterfaceCount = 16;
constexpr uint32_t kBaseMethodCount = 3;  // QueryInterface, AddRef, Release

struct InterfaceEntry {
    const char* name;
    com::IID iid;
    uint32_t methodCount;  // including the three base methods
};

extern const InterfaceEntry kInterfaceTable[kInterfaceCount];

// True and the table index when iid is one of the sixteen.
bool LookupInterface(const com::IID& iid, int& index);

}  // namespace zent
