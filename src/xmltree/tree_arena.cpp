#include "xmltree/tree_arena.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr size_t kMaxBlock = 1u << 20;

}  // namespace

CXMLTreeArena::~CXMLTreeArena() {
    for (void* block : m_arrBlocks) std::free(block);
}

void* CXMLTreeArena::Take(size_t bytes, size_t align) {
    const uintptr_t next = (reinterpret_cast<uintptr_t>(m_pNext) + align - 1) & ~(align - 1);
    if (m_pNext != nullptr && next <= reinterpret_cast<uintptr_t>(m_pEnd) &&
        bytes <= static_cast<size_t>(reinterpret_cast<uintptr_t>(m_pEnd) - next)) {
        m_pNext = reinterpret_cast<char*>(next) + bytes;
        return reinterpret_cast<char*>(next);
    }
    // A request larger than a quarter block gets a block of its own, so that
    // the rest of the current one is not wasted. malloc aligns for anything.
    const bool own = bytes > m_nNextBlock / 4;
    const size_t size = own ? bytes : m_nNextBlock;
    m_arrBlocks.reserve(m_arrBlocks.size() + 1);
    void* block = std::malloc(size);
    if (block == nullptr) throw std::bad_alloc();
    m_arrBlocks.push_back(block);
    if (own) return block;
    m_pNext = static_cast<char*>(block) + bytes;
    m_pEnd = static_cast<char*>(block) + size;
    if (m_nNextBlock < kMaxBlock) m_nNextBlock *= 2;
    return block;
}

const char* CXMLTreeArena::Copy(std::string_view text) {
    if (text.empty()) return "";
    char* p = static_cast<char*>(Take(text.size() + 1, 1));
    std::memcpy(p, text.data(), text.size());
    p[text.size()] = '\0';
    return p;
}
