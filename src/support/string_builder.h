// CStringBuilder: appends pieces to one growing text in amortised constant
// time per byte. Lines end in CR LF, as SOAP peers have always seen them.
#ifndef ORVEX_SUPPORT_STRING_BUILDER_H
#define ORVEX_SUPPORT_STRING_BUILDER_H

#include <orvex/cstring.h>

#include <string>

class CStringBuilder {
public:
    CStringBuilder() = default;
    // blockSize is a hint for the first reservation; growth is geometric.
    void Append(const char* text, int blockSize = 1024);
    void Append(const CString& text, int blockSize = 1024);
    void Append(const char* bytes, size_t length);
    void AppendLine(const char* text, int blockSize = 1024);
    void AppendLine(const CString& text, int blockSize = 1024);
    void GetString(CString& out) const;
    // Moves the text out; the builder is empty afterwards.
    void TakeString(CString& out);
    int GetLength() const { return static_cast<int>(m_text.size()); }
    void Reserve(size_t bytes) { m_text.reserve(bytes); }

private:
    void Hint(int blockSize);
    std::string m_text;
};

#endif
