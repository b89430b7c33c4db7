// CXMLTreeArena: the memory of one XML tree. Nodes and strings are carved
// from a few growing blocks and freed together with the root.
#ifndef ORVEX_XMLTREE_TREE_ARENA_H
#define ORVEX_XMLTREE_TREE_ARENA_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class CXMLTreeArena {
public:
    CXMLTreeArena() = default;
    ~CXMLTreeArena();
    CXMLTreeArena(const CXMLTreeArena&) = delete;
    CXMLTreeArena& operator=(const CXMLTreeArena&) = delete;

    // Room for an object of that alignment; throws std::bad_alloc when
    // memory runs out.
    void* Allocate(size_t bytes, size_t align = alignof(void*)) {
        // The bump inline, the new block out of line: a tree asks once per node.
        const uintptr_t next = (reinterpret_cast<uintptr_t>(m_pNext) + align - 1) & ~(align - 1);
        if (m_pNext != nullptr && next <= reinterpret_cast<uintptr_t>(m_pEnd) &&
            bytes <= static_cast<size_t>(reinterpret_cast<uintptr_t>(m_pEnd) - next)) {
            m_pNext = reinterpret_cast<char*>(next) + bytes;
            return reinterpret_cast<char*>(next);
        }
        return Take(bytes);
    }
    // A zero-terminated copy; the empty text costs nothing.
    const char* Copy(std::string_view text);
    // Keeps what nodes point into alive as long as the arena (the DOM text
    // that names and texts are taken from without a copy).
    void Keep(std::shared_ptr<const void> owner) { m_pKeep = std::move(owner); }

private:
    void* Take(size_t bytes);  // from a new block

    std::shared_ptr<const void> m_pKeep;
    std::vector<void*> m_arrBlocks;
    char* m_pNext = nullptr;
    char* m_pEnd = nullptr;
    size_t m_nNextBlock = 1024;  // small trees stay small; large ones double up to 1 MiB
};

#endif
