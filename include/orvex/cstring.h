// CString: the library's 8-bit string, in the process's code page.
//
// It holds any bytes, embedded zeros included; its characters are always
// followed by a zero byte, so GetString() can be handed to C code. Letter
// case is folded for ASCII letters only, so that comparisons do not depend
// on the process locale.
#ifndef ORVEX_CSTRING_H
#define ORVEX_CSTRING_H

#include <orvex/export.h>

#include <cstdarg>
#include <string>

class ORVEX_EXPORT CString {
public:
    CString() = default;
    CString(const char* text);  // NOLINT(google-explicit-constructor): null is the empty text
    CString(const char* bytes, int length);
    CString(char ch, int repeat);
    explicit CString(std::string text) : m_str(std::move(text)) {}

    // Wide text converted to the process's code page ('?' for what it lacks).
    static CString FromUTF16(const char16_t* text, size_t units);
    static CString FromUTF16(const std::u16string& text) { return FromUTF16(text.data(), text.size()); }
    // The text as UTF-16 (invalid bytes become U+FFFD).
    std::u16string AllocSysString() const;

    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    const char* GetString() const { return m_str.c_str(); }
    operator const char*() const { return m_str.c_str(); }  // NOLINT(google-explicit-constructor)
    const std::string& str() const { return m_str; }
    std::string& str() { return m_str; }

    char GetAt(int index) const { return m_str[static_cast<size_t>(index)]; }
    void SetAt(int index, char ch) { m_str[static_cast<size_t>(index)] = ch; }

    CString& operator=(const char* text);
    CString& operator=(char ch);
    CString& operator=(const std::u16string& wide) { return *this = FromUTF16(wide); }
    CString& operator+=(const CString& text) {
        m_str += text.m_str;
        return *this;
    }
    CString& operator+=(const char* text);
    CString& operator+=(char ch) {
        m_str += ch;
        return *this;
    }
    void Append(const char* bytes, int length);

    int Compare(const char* text) const;
    int CompareNoCase(const char* text) const;
    friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }
    friend bool operator!=(const CString& a, const CString& b) { return a.m_str != b.m_str; }
    friend bool operator<(const CString& a, const CString& b) { return a.m_str < b.m_str; }
    friend bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
    friend bool operator!=(const CString& a, const char* b) { return a.Compare(b) != 0; }
    friend bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
    friend bool operator!=(const char* a, const CString& b) { return b.Compare(a) != 0; }

    // Out-of-range counts and positions are clamped, never undefined.
    CString Left(int count) const;
    CString Right(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;

    // Positions, or -1 when absent; a start outside the text finds nothing.
    int Find(char ch, int start = 0) const;
    int Find(const char* sub, int start = 0) const;
    int ReverseFind(char ch) const;
    int FindOneOf(const char* chars) const;

    // Replacements return the number of occurrences replaced.
    int Replace(char oldCh, char newCh);
    int Replace(const char* oldText, const char* newText);
    int Remove(char ch);
    // Both return the new length.
    int Insert(int index, const char* text);
    int Insert(int index, char ch);
    int Delete(int index, int count = 1);

    CString& MakeLower();
    CString& MakeUpper();
    CString& MakeReverse();
    // White space is blank, tab, CR, LF, vertical tab and form feed.
    CString& Trim();
    CString& Trim(char target);
    CString& Trim(const char* targets);
    CString& TrimLeft();
    CString& TrimLeft(char target);
    CString& TrimLeft(const char* targets);
    CString& TrimRight();
    CString& TrimRight(char target);
    CString& TrimRight(const char* targets);

    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(const char* format, va_list args);
    void AppendFormatV(const char* format, va_list args);

    // Direct access for C-style fills: GetBuffer gives room for at least
    // minLength characters; ReleaseBuffer(-1) takes the length up to the first zero.
    char* GetBuffer(int minLength);
    char* GetBufferSetLength(int length);
    void ReleaseBuffer(int newLength = -1);

private:
    std::string m_str;
};

ORVEX_EXPORT CString operator+(const CString& a, const CString& b);
ORVEX_EXPORT CString operator+(const CString& a, const char* b);
ORVEX_EXPORT CString operator+(const char* a, const CString& b);
ORVEX_EXPORT CString operator+(const CString& a, char b);

#endif
