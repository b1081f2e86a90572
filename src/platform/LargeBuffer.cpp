#include "platform/LargeBuffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace platform {

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kAdviseFrom = 2 * kHugePage;
// Smaller blocks are cheap to get fresh; malloc keeps them itself.
constexpr size_t kKeepFrom = kAdviseFrom;
// A site's list and the reply carrying it: a few of each while sites load in parallel.
constexpr size_t kKeptBlocks = 8;
constexpr size_t kKeptBytesMost = size_t(512) << 20;

void AdviseHuge(void* p, size_t size) {
    if (size < kAdviseFrom) return;
    // Only whole huge pages inside the block can be backed by one; the advice is a hint.
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + size) & ~(kHugePage - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// Blocks of the same rounded size are interchangeable, so a list buffer and a reply buffer of
// about the same list share them.
size_t Rounded(size_t size) {
    if (size < kKeepFrom) return size ? size : 1;
    return (size + kHugePage - 1) & ~(kHugePage - 1);
}

struct Kept {
    void* block;
    size_t size;
};

class KeptBlocks {
public:
    // `advised`: the part of a fresh block that may be backed by huge pages; the rounding above
    // it stays in small pages, so a list that ends there does not fill a whole huge page more.
    void* Take(size_t size, size_t advised) {
        {
            std::lock_guard lock(m_mutex);
            // The smallest kept block that holds it, unless it is more than twice as large: a
            // small list should not pin a large block's memory.
            auto best = m_kept.end();
            for (auto it = m_kept.begin(); it != m_kept.end(); ++it)
                if (it->size >= size && it->size / 2 <= size && (best == m_kept.end() || it->size < best->size))
                    best = it;
            if (best != m_kept.end()) {
                void* p = best->block;
                m_bytes -= best->size;
                m_kept.erase(best);
                return p;
            }
        }
        void* p = std::aligned_alloc(kHugePage, size);
        if (p) AdviseHuge(p, advised);
        return p;
    }
    void Give(void* p, size_t size) {
        if (size > kKeptBytesMost) {
            std::free(p);
            return;
        }
        std::lock_guard lock(m_mutex);
        // The oldest go first: the newest are the sizes being asked for now.
        while (!m_kept.empty() && (m_kept.size() >= kKeptBlocks || m_bytes + size > kKeptBytesMost)) {
            std::free(m_kept.front().block);
            m_bytes -= m_kept.front().size;
            m_kept.erase(m_kept.begin());
        }
        m_kept.push_back({p, size});
        m_bytes += size;
    }
    void FreeAll() {
        std::lock_guard lock(m_mutex);
        for (const Kept& k : m_kept) std::free(k.block);
        m_kept.clear();
        m_bytes = 0;
    }
    size_t Bytes() {
        std::lock_guard lock(m_mutex);
        return m_bytes;
    }

private:
    std::mutex m_mutex;
    std::vector<Kept> m_kept;
    size_t m_bytes = 0;
};

KeptBlocks& Blocks() {
    static KeptBlocks* blocks = new KeptBlocks;  // never destroyed: buffers may outlive static destruction
    return *blocks;
}

}  // namespace

void* AllocateZeroed(size_t size) {
    void* p = std::calloc(size ? size : 1, 1);
    if (p) AdviseHuge(p, size);
    return p;
}

void* TakeBlock(size_t size) {
    const size_t rounded = Rounded(size);
    if (rounded < kKeepFrom) return std::malloc(rounded);
    return Blocks().Take(rounded, size);
}

void GiveBackBlock(void* block, size_t size) {
    if (!block) return;
    const size_t rounded = Rounded(size);
    if (rounded < kKeepFrom) {
        std::free(block);
        return;
    }
    Blocks().Give(block, rounded);
}

void FreeKeptBlocks() { Blocks().FreeAll(); }

size_t KeptBlockBytes() { return Blocks().Bytes(); }

}  // namespace platform
