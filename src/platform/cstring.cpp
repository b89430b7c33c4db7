#include <orvex/cstring.h>

#include "platform/ascii.h"
#include "platform/code_page.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kWhiteSpace = " \t\r\n\v\f";

size_t Clamp(int value, size_t limit) {
    if (value < 0) return 0;
    return std::min(static_cast<size_t>(value), limit);
}

}  // namespace

CString::CString(const char* text) {
    if (text != nullptr) m_str = text;
}

CString::CString(const char* bytes, int length) {
    if (bytes != nullptr && length > 0) m_str.assign(bytes, static_cast<size_t>(length));
}

CString::CString(char ch, int repeat) {
    if (repeat > 0) m_str.assign(static_cast<size_t>(repeat), ch);
}

CString CString::FromUTF16(const char16_t* text, size_t units) {
    return CString(codepage::FromUtf16(text, units));
}

std::u16string CString::AllocSysString() const { return codepage::ToUtf16(m_str.data(), m_str.size()); }

CString& CString::operator=(const char* text) {
    if (text == nullptr)
        m_str.clear();
    else
        m_str = text;
    return *this;
}

CString& CString::operator=(char ch) {
    m_str.assign(1, ch);
    return *this;
}

CString& CString::operator+=(const char* text) {
    if (text != nullptr) m_str += text;
    return *this;
}

void CString::Append(const char* bytes, int length) {
    if (bytes != nullptr && length > 0) m_str.append(bytes, static_cast<size_t>(length));
}

int CString::Compare(const char* text) const {
    const int r = std::strcmp(m_str.c_str(), text != nullptr ? text : "");
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CString::CompareNoCase(const char* text) const {
    const char* b = text != nullptr ? text : "";
    if (codepage::CharLengths() != nullptr) return codepage::CompareNoCase(m_str.c_str(), b);
    // Byte by byte where no byte below 0x80 is part of a longer character: the common case, kept tight.
    for (const char* a = m_str.c_str();; ++a, ++b) {
        const auto ca = static_cast<unsigned char>(ascii::Lower(*a));
        const auto cb = static_cast<unsigned char>(ascii::Lower(*b));
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
}

CString CString::Left(int count) const { return CString(m_str.substr(0, Clamp(count, m_str.size()))); }

CString CString::Right(int count) const {
    const size_t n = Clamp(count, m_str.size());
    return CString(m_str.substr(m_str.size() - n));
}

CString CString::Mid(int first) const { return CString(m_str.substr(Clamp(first, m_str.size()))); }

CString CString::Mid(int first, int count) const {
    const size_t start = Clamp(first, m_str.size());
    return CString(m_str.substr(start, Clamp(count, m_str.size() - start)));
}

int CString::Find(char ch, int start) const {
    if (start < 0 || static_cast<size_t>(start) >= m_str.size()) return -1;
    const size_t pos = m_str.find(ch, static_cast<size_t>(start));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(const char* sub, int start) const {
    if (sub == nullptr || start < 0 || static_cast<size_t>(start) > m_str.size()) return -1;
    const size_t pos = m_str.find(sub, static_cast<size_t>(start));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(char ch) const {
    const size_t pos = m_str.rfind(ch);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::FindOneOf(const char* chars) const {
    if (chars == nullptr) return -1;
    const size_t pos = m_str.find_first_of(chars);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::Replace(char oldCh, char newCh) {
    int count = 0;
    for (char& c : m_str) {
        if (c == oldCh) {
            c = newCh;
            ++count;
        }
    }
    return count;
}

int CString::Replace(const char* oldText, const char* newText) {
    if (oldText == nullptr || *oldText == '\0') return 0;
    const size_t oldLen = std::strlen(oldText);
    size_t pos = m_str.find(oldText, 0, oldLen);
    if (pos == std::string::npos) return 0;
    const char* repl = newText != nullptr ? newText : "";
    const size_t replLen = std::strlen(repl);
    // One pass into a new string: linear however many occurrences there are.
    std::string out;
    out.reserve(m_str.size());
    size_t from = 0;
    int count = 0;
    while (pos != std::string::npos) {
        out.append(m_str, from, pos - from);
        out.append(repl, replLen);
        from = pos + oldLen;
        ++count;
        pos = m_str.find(oldText, from, oldLen);
    }
    out.append(m_str, from, std::string::npos);
    m_str.swap(out);
    return count;
}

int CString::Remove(char ch) {
    const size_t before = m_str.size();
    m_str.erase(std::remove(m_str.begin(), m_str.end(), ch), m_str.end());
    return static_cast<int>(before - m_str.size());
}

int CString::Insert(int index, const char* text) {
    if (text != nullptr) m_str.insert(Clamp(index, m_str.size()), text);
    return GetLength();
}

int CString::Insert(int index, char ch) {
    m_str.insert(Clamp(index, m_str.size()), 1, ch);
    return GetLength();
}

int CString::Delete(int index, int count) {
    if (index >= 0 && count > 0 && static_cast<size_t>(index) < m_str.size())
        m_str.erase(static_cast<size_t>(index), static_cast<size_t>(count));
    return GetLength();
}

CString& CString::MakeLower() {
    codepage::FoldCase(m_str.data(), m_str.size(), false);
    return *this;
}

CString& CString::MakeUpper() {
    codepage::FoldCase(m_str.data(), m_str.size(), true);
    return *this;
}

CString& CString::MakeReverse() {
    std::reverse(m_str.begin(), m_str.end());
    return *this;
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }
CString& CString::Trim(char target) { return TrimRight(target).TrimLeft(target); }
CString& CString::Trim(const char* targets) { return TrimRight(targets).TrimLeft(targets); }
CString& CString::TrimLeft() { return TrimLeft(kWhiteSpace); }
CString& CString::TrimRight() { return TrimRight(kWhiteSpace); }

CString& CString::TrimLeft(char target) {
    const char targets[2] = {target, '\0'};
    return TrimLeft(targets);
}

CString& CString::TrimRight(char target) {
    const char targets[2] = {target, '\0'};
    return TrimRight(targets);
}

CString& CString::TrimLeft(const char* targets) {
    if (targets == nullptr) return *this;
    const size_t pos = m_str.find_first_not_of(targets);
    m_str.erase(0, pos == std::string::npos ? m_str.size() : pos);
    return *this;
}

CString& CString::TrimRight(const char* targets) {
    if (targets == nullptr) return *this;
    const size_t pos = m_str.find_last_not_of(targets);
    m_str.erase(pos == std::string::npos ? 0 : pos + 1);
    return *this;
}

void CString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::AppendFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    AppendFormatV(format, args);
    va_end(args);
}

void CString::FormatV(const char* format, va_list args) {
    m_str.clear();
    AppendFormatV(format, args);
}

void CString::AppendFormatV(const char* format, va_list args) {
    if (format == nullptr) return;
    char small[256];
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof small) {
        m_str.append(small, static_cast<size_t>(n));
        return;
    }
    const size_t old = m_str.size();
    m_str.resize(old + static_cast<size_t>(n) + 1);
    std::vsnprintf(&m_str[old], static_cast<size_t>(n) + 1, format, args);
    m_str.resize(old + static_cast<size_t>(n));
}

char* CString::GetBuffer(int minLength) {
    if (minLength > 0 && static_cast<size_t>(minLength) > m_str.size())
        m_str.resize(static_cast<size_t>(minLength));
    return m_str.data();
}

char* CString::GetBufferSetLength(int length) {
    m_str.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return m_str.data();
}

void CString::ReleaseBuffer(int newLength) {
    if (newLength < 0)
        m_str.resize(std::strlen(m_str.c_str()));
    else
        m_str.resize(std::min(static_cast<size_t>(newLength), m_str.size()));
}

CString operator+(const CString& a, const CString& b) {
    CString r(a);
    r += b;
    return r;
}

CString operator+(const CString& a, const char* b) {
    CString r(a);
    r += b;
    return r;
}

CString operator+(const char* a, const CString& b) {
    CString r(a);
    r += b;
    return r;
}

CString operator+(const CString& a, char b) {
    CString r(a);
    r += b;
    return r;
}
