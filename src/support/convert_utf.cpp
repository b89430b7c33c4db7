#include "support/convert_utf.h"

#include "platform/utf.h"

#include <cstring>
#include <string>

bool ConvertUTF::isUTF16(const unsigned char* bytes, int length) {
    if (bytes == nullptr || length < 2) return false;
    const int units = length / 2;
    int counted = 0;
    int latin = 0;
    for (int i = 0; i < units; ++i) {
        const unsigned u = bytes[2 * i] | (bytes[2 * i + 1] << 8);
        if (u == 0) break;
        ++counted;
        if (u < 0x20 && u != '\t' && u != '\r' && u != '\n') return false;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= units) return false;
            const unsigned next = bytes[2 * i + 2] | (bytes[2 * i + 3] << 8);
            if (next < 0xDC00 || next > 0xDFFF) return false;
            ++i;
            ++counted;
            continue;
        }
        if (u >= 0xDC00 && u <= 0xDFFF) return false;
        if (u < 0x100) ++latin;
    }
    return counted > 0 && latin * 2 >= counted;
}

int ConvertUTF::ConvertUTF8toUTF16(const unsigned char* src, int length, char16_t* dst, int capacity,
                                   int* outLen, int /*flags*/) {
    if (outLen != nullptr) *outLen = 0;
    if (src == nullptr || length <= 0) return conversionOK;
    std::u16string wide;
    utf::AppendUtf8AsUtf16(reinterpret_cast<const char*>(src), static_cast<size_t>(length), wide);
    const size_t room = capacity > 0 && dst != nullptr ? static_cast<size_t>(capacity) / 2 : 0;
    size_t n = wide.size() < room ? wide.size() : room;
    // Never leave half a surrogate pair at the cut.
    if (n < wide.size() && n > 0 && wide[n - 1] >= 0xD800 && wide[n - 1] <= 0xDBFF) --n;
    if (n > 0) std::memcpy(dst, wide.data(), n * 2);
    if (outLen != nullptr) *outLen = static_cast<int>(n);
    if (n < wide.size()) return targetExhausted;
    return utf::IsValidUtf8(reinterpret_cast<const char*>(src), static_cast<size_t>(length)) ? conversionOK
                                                                                             : sourceIllegal;
}

int ConvertUTF::ConvertUTF16toUTF8(const char16_t* src, int srcBytes, unsigned char* dst, int capacity,
                                   int* outLen) {
    if (outLen != nullptr) *outLen = 0;
    if (src == nullptr || srcBytes < 2) return conversionOK;
    std::string narrow;
    utf::AppendUtf16AsUtf8(src, static_cast<size_t>(srcBytes) / 2, narrow);
    const size_t room = capacity > 0 && dst != nullptr ? static_cast<size_t>(capacity) : 0;
    size_t n = narrow.size() < room ? narrow.size() : room;
    // Cut at a character boundary.
    if (n < narrow.size())
        while (n > 0 && (static_cast<unsigned char>(narrow[n]) & 0xC0) == 0x80) --n;
    if (n > 0) std::memcpy(dst, narrow.data(), n);
    if (outLen != nullptr) *outLen = static_cast<int>(n);
    return n < narrow.size() ? targetExhausted : conversionOK;
}
