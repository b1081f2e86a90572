// Zero-filled heap blocks for buffers that may hold tens of megabytes (a site's whole extension
// list, the reply that carries it). Such a block is filled page by page as the bytes arrive;
// asking for huge pages turns thousands of page faults into a few dozen. Untouched pages still
// cost nothing, so a block sized for the largest list stays cheap for a small one.
#pragma once

#include <cstddef>

namespace platform {

// calloc() with the huge-page advice for large blocks; release with std::free. Null when the
// memory is not there.
void* AllocateZeroed(size_t size);

}  // namespace platform
