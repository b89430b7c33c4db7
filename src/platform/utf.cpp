#include "platform/utf.h"

#include <cstdint>
#include <cstring>

namespace utf {
namespace {

// Decodes one sequence at p (end exclusive). Returns the code point, or -1
// for an ill-formed sequence; len receives the bytes consumed (at least 1).
int32_t DecodeOne(const unsigned char* p, const unsigned char* end, size_t& len) {
    const unsigned char c = p[0];
    len = 1;
    if (c < 0x80) return c;
    int need;
    uint32_t cp;
    uint32_t min;
    if (c >= 0xC2 && c <= 0xDF) {
        need = 1;
        cp = c & 0x1Fu;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        need = 2;
        cp = c & 0x0Fu;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        need = 3;
        cp = c & 0x07u;
        min = 0x10000;
    } else
        return -1;
    // The second byte's range excludes overlong forms, surrogates and values
    // past U+10FFFF, so a bad sequence is replaced byte by byte (Unicode's
    // "maximal subpart" practice).
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (c == 0xE0)
        lo = 0xA0;
    else if (c == 0xED)
        hi = 0x9F;
    else if (c == 0xF0)
        lo = 0x90;
    else if (c == 0xF4)
        hi = 0x8F;
    if (p + 1 >= end || p[1] < lo || p[1] > hi) return -1;
    for (int i = 1; i <= need; ++i) {
        if (p + i >= end || (p[i] & 0xC0) != 0x80) {
            len = static_cast<size_t>(i);  // the broken sequence ends before p[i]
            return -1;
        }
        cp = (cp << 6) | (p[i] & 0x3Fu);
    }
    len = static_cast<size_t>(need) + 1;
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    return static_cast<int32_t>(cp);
}

}  // namespace

void AppendCodePointAsUtf8(uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendUtf8AsUtf16(const char* bytes, size_t length, std::u16string& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    const auto* end = p + length;
    out.reserve(out.size() + length);
    while (p < end) {
        if (*p < 0x80) {
            out += static_cast<char16_t>(*p++);
            continue;
        }
        size_t len;
        const int32_t cp = DecodeOne(p, end, len);
        p += len;
        if (cp < 0) {
            out += kReplacement;
        } else if (cp >= 0x10000) {
            const uint32_t v = static_cast<uint32_t>(cp) - 0x10000;
            out += static_cast<char16_t>(0xD800 + (v >> 10));
            out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
}

void AppendUtf16AsUtf8(const char16_t* units, size_t count, std::string& out) {
    out.reserve(out.size() + count);
    for (size_t i = 0; i < count; ++i) {
        uint32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00u);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            u = kReplacement;
        }
        AppendCodePointAsUtf8(u, out);
    }
}

bool IsValidUtf8(const char* bytes, size_t length) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    const auto* end = p + length;
    while (p < end) {
        // Runs of ASCII, the bulk of most texts, eight bytes at a time.
        while (end - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            if ((word & 0x8080808080808080ull) != 0) break;
            p += 8;
        }
        if (p == end) break;
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const size_t len = Utf8SequenceLength(p, end);
        if (len == 0) return false;
        p += len;
    }
    return true;
}

std::string SanitizeUtf8(const char* bytes, size_t length) {
    std::string out;
    out.reserve(length);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    const auto* end = p + length;
    while (p < end) {
        if (*p < 0x80) {
            out += static_cast<char>(*p++);
            continue;
        }
        size_t len;
        const int32_t cp = DecodeOne(p, end, len);
        if (cp < 0)
            AppendCodePointAsUtf8(kReplacement, out);
        else
            out.append(reinterpret_cast<const char*>(p), len);
        p += len;
    }
    return out;
}

}  // namespace utf
