// The process's 8-bit code page: UTF-8 unless ORVEX_CODEPAGE names another
// iconv encoding (for example CP1252). Read once, at first use.
#ifndef ORVEX_PLATFORM_CODE_PAGE_H
#define ORVEX_PLATFORM_CODE_PAGE_H

#include <atomic>
#include <cstddef>
#include <cstring>
#include <string>

namespace codepage {

// The iconv name of the code page in force.
const std::string& Name();
bool IsUtf8();

// 8-bit text to UTF-16; bytes the code page cannot decode become U+FFFD.
std::u16string ToUtf16(const char* bytes, size_t length);
// UTF-16 to 8-bit text; characters the code page lacks become '?'.
std::string FromUtf16(const char16_t* units, size_t count);

// 8-bit text to well-formed UTF-8 and back, for libraries that speak UTF-8.
std::string ToUtf8(const char* bytes, size_t length);
std::string FromUtf8(const char* bytes, size_t length);

namespace detail {
// What CharLengths gives, or kUnread until the code page has been read.
extern std::atomic<const unsigned char*> g_pCharLengths;
extern const unsigned char kUnread[1];
const unsigned char* ReadCharLengths();
}  // namespace detail

// For a code page whose multi-byte characters may hold bytes below 0x80
// (Shift-JIS, GBK, Big5, UHC, GB18030): the length of the character each
// byte starts, 1 or, for a lead byte, 2 to 4. Null where no byte below 0x80
// is ever part of a longer character (UTF-8, the single-byte code pages,
// EUC), so that ASCII can be found byte by byte. Inline: case-free
// comparisons ask on every call.
inline const unsigned char* CharLengths() {
    const unsigned char* lengths = detail::g_pCharLengths.load(std::memory_order_acquire);
    return lengths != detail::kUnread ? lengths : detail::ReadCharLengths();
}

// Letter case ignored for ASCII letters only (so never by locale), and only
// in characters of their own: the trail byte 0x41 of Shift-JIS 83 41 is no
// 'A'. Zero-terminated texts; negative, 0 or positive as strcmp.
int CompareNoCase(const char* a, const char* b);
// The first match of sub at or after start, a character's first byte, in
// the first length bytes of text; a match starts on a character. npos when none.
size_t FindNoCase(const char* text, size_t length, const char* sub, size_t subLength, size_t start);
// ASCII letters of their own to lower or upper case, in place.
void FoldCase(char* text, size_t length, bool upper);

// File names are texts in the code page like all others, while the file
// system (and the environment) speak UTF-8. A SystemName is a name as the
// system takes it: the caller's own bytes under UTF-8, so the default costs
// nothing. Null stays null.
class SystemName {
public:
    explicit SystemName(const char* name);
    SystemName(const SystemName&) = delete;
    SystemName& operator=(const SystemName&) = delete;
    const char* c_str() const { return m_name; }
    operator const char*() const { return m_name; }  // NOLINT(google-explicit-constructor)

private:
    std::string m_converted;
    const char* m_name;
};
// A text the system gave (a name read from a directory, a variable of the
// environment), in the code page; '?' for what the code page lacks.
std::string FromSystem(const char* text, size_t length);
inline std::string FromSystem(const char* text) {
    return FromSystem(text, text != nullptr ? std::strlen(text) : 0);
}

// The encoding an XML declaration at the start of the text (white space
// may come first) names, as written; "" when there is none.
std::string DeclaredEncoding(const char* text, size_t length);
// A text the code page cannot decode whose XML declaration names another
// encoding iconv knows: the text decoded by that encoding, in UTF-8, with
// U+FFFD for what that cannot decode either. False, and utf8 untouched,
// for every other text, which then reads as before.
bool DecodeDeclared(const char* bytes, size_t length, std::string& utf8);

// Re-reads ORVEX_CODEPAGE; for tests that switch code pages in one process.
void Reload();

}  // namespace codepage

#endif
