#include "support/string_builder.h"

#include <cstring>

void CStringBuilder::Hint(int blockSize) {
    if (m_text.capacity() == 0 && blockSize > 0) m_text.reserve(static_cast<size_t>(blockSize));
}

void CStringBuilder::Append(const char* text, int blockSize) {
    Hint(blockSize);
    if (text != nullptr) m_text.append(text);
}

void CStringBuilder::Append(const CString& text, int blockSize) {
    Hint(blockSize);
    m_text.append(text.str());
}

void CStringBuilder::Append(const char* bytes, size_t length) {
    if (bytes != nullptr) m_text.append(bytes, length);
}

void CStringBuilder::AppendLine(const char* text, int blockSize) {
    Append(text, blockSize);
    m_text.append("\r\n", 2);
}

void CStringBuilder::AppendLine(const CString& text, int blockSize) {
    Append(text, blockSize);
    m_text.append("\r\n", 2);
}

void CStringBuilder::GetString(CString& out) const { out = CString(m_text); }

void CStringBuilder::TakeString(CString& out) {
    out.str().swap(m_text);
    m_text.clear();
}
