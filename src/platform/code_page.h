// The process's 8-bit code page: UTF-8 unless ORVEX_CODEPAGE names another
// iconv encoding (for example CP1252). Read once, at first use.
#ifndef ORVEX_PLATFORM_CODE_PAGE_H
#define ORVEX_PLATFORM_CODE_PAGE_H

#include <cstddef>
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

// Re-reads ORVEX_CODEPAGE; for tests that switch code pages in one process.
void Reload();

}  // namespace codepage

#endif
