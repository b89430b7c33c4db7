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

// The current block cannot hold the request; malloc aligns for anything.
void* CXMLTreeArena::Take(size_t bytes) {
    // A request larger than a quarter block gets a block of its own, so that
    // the rest of the current one is not wasted.
    const bool own = bytes > m_nNextBlock / 4;
    const size_t size = own ? bytes : m_nNextBlock;
    // Room first, so that the push cannot fail after malloc; doubled, so that
    // a tree of many blocks does not copy the list once per block.
    if (m_arrBlocks.size() == m_arrBlocks.capacity()) m_arrBlocks.reserve(2 * m_arrBlocks.size() + 16);
    void* block = std::malloc(size);
    if (block == nullptr) throw std::bad_alloc();
    m_arrBlocks.push_back(block);
    // Blocks grow with every request that needed a new one, own blocks too:
    // else a tree whose nodes each ask a quarter block (ten children) would
    // take a block per node for ever.
    if (m_nNextBlock < kMaxBlock) m_nNextBlock *= 2;
    if (own) return block;
    m_pNext = static_cast<char*>(block) + bytes;
    m_pEnd = static_cast<char*>(block) + size;
    return block;
}

const char* CXMLTreeArena::Copy(std::string_view text) {
    if (text.empty()) return "";
    char* p = static_cast<char*>(Allocate(text.size() + 1, 1));
    std::memcpy(p, text.data(), text.size());
    p[text.size()] = '\0';
    return p;
}
