// Marshaling of interface pointers inside one process: a marshaled object goes into a table and
// its OBJREF_STANDARD names the table entry; unmarshaling connects a proxy to it through its own
// in-process channel, so calls on it are marshaled like any other.
#pragma once

#include "com/MarshalService.h"

namespace com {

IMarshalService* InProcMarshalService();  // process-wide, never null

// Object exporter id that in-process OBJREFs carry.
constexpr uint64_t kInProcOxid = 0x0000000000000001ull;

}  // namespace com
