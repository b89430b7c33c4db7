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

// The length of the well-formed UTF-8 sequence that starts with a byte of
// 0x80 or above at p, or 0 when it is ill-formed or cut by `end`. The second
// byte's range rules out overlong forms, surrogates and values past U+10FFFF.
// Inline: the XML load's first pass calls it for every such sequence.
inline size_t Utf8SequenceLength(const unsigned char* p, const unsigned char* end) {
    const unsigned char c = p[0];
    size_t need;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        need = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
        need = 2;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        need = 3;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (static_cast<size_t>(end - p) <= need || p[1] < lo || p[1] > hi) return 0;
    for (size_t i = 2; i <= need; ++i)
        if ((p[i] & 0xC0) != 0x80) return 0;
    return need + 1;
}

// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(const char* bytes, size_t length);
// The bytes with every ill-formed sequence replaced by U+FFFD.
std::string SanitizeUtf8(const char* bytes, size_t length);

}  // namespace utf

#endif
