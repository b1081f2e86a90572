// Identifiers that must not repeat or be guessed: causality ids, IPIDs, OIDs, OXIDs, ping sets.
#pragma once

#include <cstdint>

#include "com/Guid.h"

namespace com {

GUID RandomGuid();      // a version 4 UUID
uint64_t RandomU64();   // never 0

}  // namespace com
