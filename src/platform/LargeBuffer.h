// Heap blocks for buffers that may hold tens of megabytes (a site's whole extension list, the
// reply that carries it). Fresh memory costs a page fault and the kernel's zeroing per page, and
// such a buffer is freed and asked for again at every load: a few freed blocks are kept and
// handed out again, not zeroed, to whoever asks for about their size next. Large blocks are
// aligned to huge pages and advised as such (thousands of page faults become a few dozen).
#pragma once

#include <cstddef>

namespace platform {

// calloc() with the huge-page advice for large blocks; release with std::free. Null when the
// memory is not there.
void* AllocateZeroed(size_t size);

// A block of at least `size` bytes whose content is undefined (a kept block holds what its last
// user left there): only for memory that is written before it is read. Release with
// GiveBackBlock and the same size. Null when the memory is not there.
void* TakeBlock(size_t size);
// Keeps the block for a later TakeBlock, or frees it when enough are kept.
void GiveBackBlock(void* block, size_t size);
// Frees every kept block (tests, and a program about to become idle for long).
void FreeKeptBlocks();
// The bytes kept now.
size_t KeptBlockBytes();

}  // namespace platform
