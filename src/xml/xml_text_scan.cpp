#include "xml/xml_text_scan.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace xmldom {

namespace {

// The length of the well-formed UTF-8 sequence that starts with a byte of
// 0x80 or above at p, or 0 when it is ill-formed or cut by the end. The
// second byte's range rules out overlong forms, surrogates and values past
// U+10FFFF.
size_t Utf8Sequence(const unsigned char* p, const unsigned char* end) {
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

}  // namespace

ScanResult ScanCopy(const char* in, size_t n, char* out) {
    ScanResult r;
    const auto* src = reinterpret_cast<const unsigned char*>(in);
    const unsigned char* const end = src + n;
    size_t i = 0;
    size_t checked = 0;  // the bytes below are known to be well-formed
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const size_t blocks = n - n % 16;
    for (; i < blocks; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), v);
        const unsigned nul = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
        if (nul != 0) {
            r.nul = i + static_cast<size_t>(__builtin_ctz(nul));
            return r;
        }
        const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v));
        if (high == 0) continue;
        // Only the sequences that start in this block; one may run on past it.
        size_t p = std::max(checked, i);
        while (p < i + 16) {
            const unsigned rest = high >> (p - i);
            if (rest == 0) break;
            p += static_cast<size_t>(__builtin_ctz(rest));
            const size_t len = Utf8Sequence(src + p, end);
            if (len == 0) {
                r.utf8 = false;
                return r;
            }
            p += len;
        }
        checked = p;
    }
#endif
    for (; i < n; ++i) {
        const unsigned char c = src[i];
        out[i] = static_cast<char>(c);
        if (c == 0) {
            r.nul = i;
            return r;
        }
        if (c >= 0x80 && i >= checked) {
            const size_t len = Utf8Sequence(src + i, end);
            if (len == 0) {
                r.utf8 = false;
                return r;
            }
            checked = i + len;
        }
    }
    return r;
}

}  // namespace xmldom
