// CStringBuilder: appends pieces to one growing text in amortised constant
// time per byte. Lines end in CR LF, as SOAP peers have always seen them.
#ifndef ORVEX_SUPPORT_STRING_BUILDER_H
#define ORVEX_SUPPORT_STRING_BUILDER_H

#include <orvex/cstring.h>

#include <cstddef>
#include <cstring>

class CStringBuilder {
public:
    CStringBuilder() = default;
    ~CStringBuilder();
    CStringBuilder(const CStringBuilder&) = delete;
    CStringBuilder& operator=(const CStringBuilder&) = delete;

    // blockSize is a hint for the first reservation; growth is geometric.
    void Append(const char* text, int blockSize = 1024);
    void Append(const CString& text, int blockSize = 1024);
    void Append(const char* bytes, size_t length);
    void AppendLine(const char* text, int blockSize = 1024);
    void AppendLine(const CString& text, int blockSize = 1024);
    void GetString(CString& out) const;
    // Copies the text out; the builder is empty afterwards and keeps its block.
    void TakeString(CString& out);
    int GetLength() const { return static_cast<int>(m_nLength); }
    void Reserve(size_t bytes) {
        if (bytes > m_nCapacity) Grow(bytes - m_nLength);
    }

    // Writing in place, for writers that know a bound before they know the
    // bytes: one size check per piece and no zero-fill of the room handed out.
    char* Room(size_t n) {
        if (n > m_nCapacity - m_nLength) Grow(n);
        return m_pData + m_nLength;
    }
    // Takes n bytes of the last Room into the text.
    void Commit(size_t n) { m_nLength += n; }
    // Copies without a library call for the short pieces tags and values are.
    void Put(const char* bytes, size_t n) {
        char* to = Room(n);
        if (n <= 16)
            CopyShort(to, bytes, n);
        else
            std::memcpy(to, bytes, n);
        m_nLength += n;
    }
    // Empties the text; the block stays for the next one.
    void Clear() { m_nLength = 0; }
    size_t Length() const { return m_nLength; }
    const char* Data() const { return m_pData != nullptr ? m_pData : ""; }
    // The text followed by a zero byte, valid until the builder next changes.
    const char* GetText();

    // Up to 16 bytes as two overlapping word copies.
    static void CopyShort(char* to, const char* from, size_t n) {
        if (n >= 8) {
            char head[8];
            char tail[8];
            std::memcpy(head, from, 8);
            std::memcpy(tail, from + n - 8, 8);
            std::memcpy(to, head, 8);
            std::memcpy(to + n - 8, tail, 8);
        } else if (n >= 4) {
            char head[4];
            char tail[4];
            std::memcpy(head, from, 4);
            std::memcpy(tail, from + n - 4, 4);
            std::memcpy(to, head, 4);
            std::memcpy(to + n - 4, tail, 4);
        } else if (n > 0) {
            to[0] = from[0];
            to[n / 2] = from[n / 2];
            to[n - 1] = from[n - 1];
        }
    }

private:
    void Hint(int blockSize);
    void Grow(size_t more);

    char* m_pData = nullptr;
    size_t m_nLength = 0;
    size_t m_nCapacity = 0;
};

#endif
