// Interface pointers as call arguments over the network: this runtime passes none (no method the
// program calls takes one), so both ends refuse them.
#pragma once

#include "com/MarshalService.h"

namespace com {

IMarshalService* NetworkMarshalService();  // process-wide, never null

}  // namespace com
