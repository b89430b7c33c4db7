// CXMLTreeArena: the memory of one XML tree. Nodes and strings are carved
// from a few growing blocks and freed together with the root.
#ifndef ORVEX_XMLTREE_TREE_ARENA_H
#define ORVEX_XMLTREE_TREE_ARENA_H

#include <cstddef>
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
    void* Allocate(size_t bytes, size_t align = alignof(void*)) { return Take(bytes, align); }
    // A zero-terminated copy; the empty text costs nothing.
    const char* Copy(std::string_view text);
    // Keeps what nodes point into alive as long as the arena (the DOM text
    // that names and texts are taken from without a copy).
    void Keep(std::shared_ptr<const void> owner) { m_pKeep = std::move(owner); }

private:
    void* Take(size_t bytes, size_t align);

    std::shared_ptr<const void> m_pKeep;
    std::vector<void*> m_arrBlocks;
    char* m_pNext = nullptr;
    char* m_pEnd = nullptr;
    size_t m_nNextBlock = 1024;  // small trees stay small; large ones double up to 1 MiB
};

#endif
