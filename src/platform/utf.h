// UTF-8 and UTF-16 transcoding, lenient: what cannot be decoded becomes U+FFFD.
#ifndef ORVEX_PLATFORM_UTF_H
#define ORVEX_PLATFORM_UTF_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace utf {

constexpr char16_t kReplacement = 0xFFFD;

// Appends the UTF-16 form of the bytes to out. Overlong forms, surrogates
// written in UTF-8, code points above U+10FFFF and cut sequences each give U+FFFD.
void AppendUtf8AsUtf16(const char* bytes, size_t length, std::u16string& out);
// Appends the UTF-8 form of the units; an unpaired surrogate gives U+FFFD.
void AppendUtf16AsUtf8(const char16_t* units, size_t count, std::string& out);
// Appends the UTF-8 form of the code point cp, which must be at most U+10FFFF.
void AppendCodePointAsUtf8(uint32_t cp, std::string& out);

// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(const char* bytes, size_t length);
// The bytes with every ill-formed sequence replaced by U+FFFD.
std::string SanitizeUtf8(const char* bytes, size_t length);

}  // namespace utf

#endif
