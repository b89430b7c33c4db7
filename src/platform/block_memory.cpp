#include "platform/block_memory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>

namespace blockmem {
namespace {

// Each block starts with a header that says how it was obtained.
struct Header {
    size_t mapped;  // length of the mapping, 0 for a heap block
    size_t pad;     // keeps the data 16-byte aligned
};
constexpr size_t kHeader = sizeof(Header);
constexpr size_t kMapThreshold = 256 * 1024;
constexpr size_t kPage = 4096;

Header* HeaderOf(unsigned char* block) { return reinterpret_cast<Header*>(block - kHeader); }
unsigned char* DataOf(void* base) { return static_cast<unsigned char*>(base) + kHeader; }
size_t RoundToPages(size_t n) { return (n + kPage - 1) / kPage * kPage; }

unsigned char* Map(size_t length) {
    void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) throw std::bad_alloc();
    // Large blocks fill with large pages where the system offers them: far
    // fewer page faults for a block that is written through once.
    madvise(base, length, MADV_HUGEPAGE);
    static_cast<Header*>(base)->mapped = length;
    return DataOf(base);
}

}  // namespace

unsigned char* Grow(unsigned char* block, size_t used, size_t oldSize, size_t newSize) {
    if (block == nullptr) {
        if (newSize < kMapThreshold) {
            void* base = std::calloc(1, kHeader + newSize);
            if (base == nullptr) throw std::bad_alloc();
            return DataOf(base);
        }
        return Map(RoundToPages(kHeader + newSize));  // fresh mappings read as zero
    }
    Header* h = HeaderOf(block);
    if (h->mapped == 0) {
        if (newSize < kMapThreshold) {
            void* base = std::realloc(h, kHeader + newSize);
            if (base == nullptr) throw std::bad_alloc();
            unsigned char* data = DataOf(base);
            std::memset(data + used, 0, newSize - used);
            return data;
        }
        unsigned char* data = Map(RoundToPages(kHeader + newSize * 2));
        std::memcpy(data, block, used);
        std::free(h);
        return data;
    }
    // A mapping: everything past oldSize was never written and reads as zero.
    std::memset(block + used, 0, oldSize - used);
    if (kHeader + newSize <= h->mapped) return block;
    const size_t want = RoundToPages(kHeader + newSize * 2);
    void* base = mremap(h, h->mapped, want, MREMAP_MAYMOVE);
    if (base == MAP_FAILED) throw std::bad_alloc();
    madvise(base, want, MADV_HUGEPAGE);
    static_cast<Header*>(base)->mapped = want;
    return DataOf(base);
}

void Free(unsigned char* block) {
    if (block == nullptr) return;
    Header* h = HeaderOf(block);
    if (h->mapped == 0)
        std::free(h);
    else
        munmap(h, h->mapped);
}

}  // namespace blockmem
