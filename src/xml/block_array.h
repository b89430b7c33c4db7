// An array of plain records that grows in fixed blocks: appending never
// moves what is there, so a large document's nodes are written once, and
// memory holds what was appended rather than twice that while a vector
// doubles. Indexing costs a shift and a mask.
#ifndef ORVEX_XML_BLOCK_ARRAY_H
#define ORVEX_XML_BLOCK_ARRAY_H

#include <cstddef>
#include <memory>
#include <type_traits>
#include <vector>

template <typename T, unsigned kBlockBits = 12>
class CBlockArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_default_constructible_v<T>);

public:
    static constexpr size_t kBlockSize = size_t{1} << kBlockBits;

    T& operator[](size_t i) { return m_blocks[i >> kBlockBits][i & (kBlockSize - 1)]; }
    const T& operator[](size_t i) const { return m_blocks[i >> kBlockBits][i & (kBlockSize - 1)]; }
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

    void push_back(const T& value) { emplace_back() = value; }

    // A new last record, left for the caller to write field by field.
    T& emplace_back() {
        // Blocks are left uninitialised: their pages are touched as records are written.
        if ((m_size >> kBlockBits) == m_blocks.size())
            m_blocks.emplace_back(new T[kBlockSize]);  // NOLINT(cppcoreguidelines-owning-memory)
        return (*this)[m_size++];
    }

    // Drops the records from n on; keeps the blocks for the next use.
    void truncate(size_t n) {
        if (n < m_size) m_size = n;
    }
    void clear() { m_size = 0; }
    // Gives every block back.
    void release() {
        m_blocks = std::vector<std::unique_ptr<T[]>>();
        m_size = 0;
    }

private:
    std::vector<std::unique_ptr<T[]>> m_blocks;
    size_t m_size = 0;
};

#endif
