#include "platform/LargeBuffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace platform {

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kAdviseFrom = 2 * kHugePage;
}  // namespace

void* AllocateZeroed(size_t size) {
    void* p = std::calloc(size ? size : 1, 1);
    if (p && size >= kAdviseFrom) {
        // Only whole huge pages inside the block can be backed by one; the advice is a hint.
        const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + kHugePage - 1) & ~(kHugePage - 1);
        const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + size) & ~(kHugePage - 1);
        if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
    return p;
}

}  // namespace platform
