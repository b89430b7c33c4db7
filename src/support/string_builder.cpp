#include "support/string_builder.h"

#include <cstdlib>
#include <new>

CStringBuilder::~CStringBuilder() { std::free(m_pData); }

void CStringBuilder::Grow(size_t more) {
    const size_t need = m_nLength + more;
    if (need < m_nLength) throw std::bad_alloc();
    size_t capacity = m_nCapacity + m_nCapacity / 2;
    if (capacity < need) capacity = need;
    if (capacity < 64) capacity = 64;
    // The room past the text is never filled and a block without text never
    // copied; realloc moves a large block by remapping its pages.
    void* grown;
    if (m_nLength == 0) {
        std::free(m_pData);
        m_pData = nullptr;
        m_nCapacity = 0;
        grown = std::malloc(capacity);
    } else {
        grown = std::realloc(m_pData, capacity);
    }
    if (grown == nullptr) throw std::bad_alloc();
    m_pData = static_cast<char*>(grown);
    m_nCapacity = capacity;
}

void CStringBuilder::Hint(int blockSize) {
    if (m_nCapacity == 0 && blockSize > 0) Grow(static_cast<size_t>(blockSize));
}

void CStringBuilder::Append(const char* text, int blockSize) {
    Hint(blockSize);
    if (text != nullptr) Append(text, std::strlen(text));
}

void CStringBuilder::Append(const CString& text, int blockSize) {
    Hint(blockSize);
    Append(text.GetString(), static_cast<size_t>(text.GetLength()));
}

void CStringBuilder::Append(const char* bytes, size_t length) {
    if (bytes == nullptr || length == 0) return;
    std::memcpy(Room(length), bytes, length);
    m_nLength += length;
}

void CStringBuilder::AppendLine(const char* text, int blockSize) {
    Append(text, blockSize);
    Put("\r\n", 2);
}

void CStringBuilder::AppendLine(const CString& text, int blockSize) {
    Append(text, blockSize);
    Put("\r\n", 2);
}

void CStringBuilder::GetString(CString& out) const { out.str().assign(Data(), m_nLength); }

void CStringBuilder::TakeString(CString& out) {
    GetString(out);
    m_nLength = 0;
}

const char* CStringBuilder::GetText() {
    *Room(1) = '\0';
    return m_pData;
}
