// Zero-filled memory blocks that grow without copying. Small blocks live on
// the heap; large ones are anonymous mappings whose address range grows
// geometrically, so that a block grown by many small steps is moved
// (page tables only, never its bytes) O(log n) times, and only the pages
// actually used become resident.
#ifndef ORVEX_PLATFORM_BLOCK_MEMORY_H
#define ORVEX_PLATFORM_BLOCK_MEMORY_H

#include <cstddef>

namespace blockmem {

// Returns a block of newSize usable bytes holding the first `used` bytes of
// block (null for a new one). Bytes from `used` up to newSize are zero.
// oldSize is the block's current usable size (0 for a new one).
// Throws std::bad_alloc when memory runs out.
unsigned char* Grow(unsigned char* block, size_t used, size_t oldSize, size_t newSize);
void Free(unsigned char* block);

}  // namespace blockmem

#endif
