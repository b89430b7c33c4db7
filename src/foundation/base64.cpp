#include <orvex/base64.h>

#include <immintrin.h>

#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+*";
constexpr char kPad = '=';

// Decoding classes beside the values 0-63.
constexpr uint8_t kInvalid = 0xFF;
constexpr uint8_t kPadMark = 0xFE;
constexpr uint8_t kLineBreak = 0xFD;

// Set in a shifted value when the character is not a plain alphabet one.
constexpr uint32_t kNotPlain = 0x01000000;

struct Tables {
    // Two output characters for every 12-bit value.
    std::array<uint16_t, 4096> pairs{};
    std::array<uint8_t, 256> values{};
    // Each character's value already in place for its position in a group.
    std::array<uint32_t, 256> shifted[4]{};

    Tables() {
        for (int v = 0; v < 4096; ++v) {
            const char two[2] = {kAlphabet[v >> 6], kAlphabet[v & 63]};
            std::memcpy(&pairs[static_cast<size_t>(v)], two, 2);
        }
        values.fill(kInvalid);
        for (int v = 0; v < 64; ++v) values[static_cast<uint8_t>(kAlphabet[v])] = static_cast<uint8_t>(v);
        values['/'] = 63;
        values['\\'] = 63;
        values[static_cast<uint8_t>(kPad)] = kPadMark;
        values['\r'] = kLineBreak;
        values['\n'] = kLineBreak;
        for (int c = 0; c < 256; ++c) {
            const uint32_t v = values[static_cast<size_t>(c)];
            for (int k = 0; k < 4; ++k)
                shifted[k][static_cast<size_t>(c)] = v < 64 ? v << (18 - 6 * k) : kNotPlain;
        }
    }
};

const Tables& T() {
    static const Tables tables;
    return tables;
}

#define ORVEX_AVX2 __attribute__((target("avx2"), always_inline)) inline

ORVEX_AVX2 __m256i InRange(__m256i c, char lo, char hi) {
    return _mm256_and_si256(_mm256_cmpgt_epi8(c, _mm256_set1_epi8(static_cast<char>(lo - 1))),
                            _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(hi + 1)), c));
}

ORVEX_AVX2 __m256i Is(__m256i c, char ch) { return _mm256_cmpeq_epi8(c, _mm256_set1_epi8(ch)); }

ORVEX_AVX2 __m256i Offset(__m256i mask, int delta) {
    return _mm256_and_si256(mask, _mm256_set1_epi8(static_cast<char>(delta)));
}

// Decodes runs of 32 plain alphabet characters (8 groups) at a time while
// they last and the output has room for a 32-byte store; stops at the first
// run holding anything else, which the scalar code then takes.
__attribute__((target("avx2"))) void DecodeRunsAvx2(const unsigned char* src, int n, int& pos,
                                                    unsigned char*& dst, const unsigned char* end,
                                                    long long& g, long long groups) {
    const __m256i shuffle = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,  //
                                             2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    const __m256i pack = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    while (g + 8 <= groups && pos + 32 <= n && dst + 32 <= end) {
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + pos));
        const __m256i upper = InRange(c, 'A', 'Z');
        const __m256i lower = InRange(c, 'a', 'z');
        const __m256i digit = InRange(c, '0', '9');
        const __m256i plus = Is(c, '+');
        const __m256i star = Is(c, '*');
        const __m256i slash = Is(c, '/');
        const __m256i back = Is(c, '\\');
        const __m256i valid =
            _mm256_or_si256(_mm256_or_si256(_mm256_or_si256(upper, lower), _mm256_or_si256(digit, plus)),
                            _mm256_or_si256(_mm256_or_si256(star, slash), back));
        if (_mm256_movemask_epi8(valid) != -1) return;
        __m256i delta = _mm256_or_si256(Offset(upper, -65), Offset(lower, -71));
        delta = _mm256_or_si256(delta, _mm256_or_si256(Offset(digit, 4), Offset(plus, 62 - '+')));
        delta = _mm256_or_si256(delta, _mm256_or_si256(Offset(star, 63 - '*'), Offset(slash, 63 - '/')));
        delta = _mm256_or_si256(delta, Offset(back, 63 - '\\'));
        const __m256i values = _mm256_add_epi8(c, delta);
        const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
        const __m256i words = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
        const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(words, shuffle), pack);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), bytes);
        dst += 24;
        pos += 32;
        g += 8;
    }
}

const bool g_hasAvx2 = __builtin_cpu_supports("avx2");

}  // namespace

void CBase64::Encode(unsigned char* data, int len, CBuffer& out) {
    // Bytes of out's own block are read from a copy: emptying and writing out overwrite them.
    std::vector<unsigned char> aside;
    const auto block = reinterpret_cast<uintptr_t>(out.m_pBuf);
    const auto at = reinterpret_cast<uintptr_t>(data);
    if (out.m_pBuf != nullptr && len > 0 && at >= block &&
        at - block < static_cast<uintptr_t>(out.m_nAllocSize)) {
        aside.assign(data, data + len);
        data = aside.data();
    }
    out.Empty();
    if (len <= 0 || data == nullptr) return;
    const long long groups = (static_cast<long long>(len) + 2) / 3;
    if (groups * 4 + 1 > INT_MAX) throw std::length_error("Base64 text would pass 2 GiB");
    out.AutoAlloc(static_cast<int>(groups * 4 + 1));

    const auto& pairs = T().pairs;
    unsigned char* dst = out.m_pBuf + out.m_nSize;
    const unsigned char* src = data;
    const unsigned char* whole = data + (len / 3) * 3;
    for (; src < whole; src += 3, dst += 4) {
        const uint32_t bits =
            static_cast<uint32_t>(src[0]) << 16 | static_cast<uint32_t>(src[1]) << 8 | src[2];
        std::memcpy(dst, &pairs[bits >> 12], 2);
        std::memcpy(dst + 2, &pairs[bits & 0xFFF], 2);
    }
    const int rest = len % 3;
    if (rest != 0) {
        const uint32_t b0 = src[0];
        const uint32_t b1 = rest == 2 ? src[1] : 0;
        dst[0] = static_cast<unsigned char>(kAlphabet[b0 >> 2]);
        dst[1] = static_cast<unsigned char>(kAlphabet[(b0 & 3) << 4 | b1 >> 4]);
        dst[2] = rest == 2 ? static_cast<unsigned char>(kAlphabet[(b1 & 15) << 2]) : kPad;
        dst[3] = kPad;
        dst += 4;
    }
    *dst++ = 0;
    out.m_nSize = static_cast<int>(dst - out.m_pBuf);
}

void CBase64::Encode(unsigned char* data, int len, CString& out) {
    CBuffer buffer(1024);
    Encode(data, len, buffer);
    out.Empty();
    if (buffer.GetSize() > 0)
        out = CString(reinterpret_cast<const char*>(buffer.GetBuf()), buffer.GetSize() - 1);
}

int CBase64::Decode(CString& text, CBuffer& out) {
    out.Clear();
    const int n = text.GetLength();
    if (n == 0) return 1;
    const long long groups = (static_cast<long long>(n) + 3) / 4;
    out.AutoAlloc(static_cast<int>(groups * 3 + 1));

    const Tables& t = T();
    const auto& values = t.values;
    const auto* src = reinterpret_cast<const unsigned char*>(text.GetString());
    unsigned char* dst = out.m_pBuf;
    int pos = 0;
    int result = 1;
    long long g = 0;
    const unsigned char* end = out.m_pBuf + out.m_nAllocSize;
    if (g_hasAvx2) DecodeRunsAvx2(src, n, pos, dst, end, g, groups);
    // Runs of plain alphabet text, two groups at a time.
    while (g + 2 <= groups && pos + 8 <= n) {
        const unsigned char* s = src + pos;
        const uint32_t a = t.shifted[0][s[0]] | t.shifted[1][s[1]] | t.shifted[2][s[2]] | t.shifted[3][s[3]];
        const uint32_t b = t.shifted[0][s[4]] | t.shifted[1][s[5]] | t.shifted[2][s[6]] | t.shifted[3][s[7]];
        if ((a | b) >= kNotPlain) break;
        const uint32_t beA = __builtin_bswap32(a << 8);
        const uint32_t beB = __builtin_bswap32(b << 8);
        std::memcpy(dst, &beA, 4);
        std::memcpy(dst + 3, &beB, 4);
        dst += 6;
        pos += 8;
        g += 2;
    }
    for (; g < groups; ++g) {
        // The common case: four alphabet characters in a row. The store
        // writes one byte past the group; the next group or the block's
        // spare bytes take it.
        if (pos + 4 <= n) {
            const uint32_t bits = t.shifted[0][src[pos]] | t.shifted[1][src[pos + 1]] |
                                  t.shifted[2][src[pos + 2]] | t.shifted[3][src[pos + 3]];
            if (bits < kNotPlain) {
                const uint32_t be = __builtin_bswap32(bits << 8);
                std::memcpy(dst, &be, 4);
                dst += 3;
                pos += 4;
                continue;
            }
        }
        uint32_t v[4];
        int pads = 0;
        for (uint32_t& value : v) {
            while (pos < n && values[src[pos]] == kLineBreak) ++pos;
            // Past the end a place holds the zero character, which is no Base64.
            const uint8_t c = pos < n ? values[src[pos++]] : kInvalid;
            if (c == kInvalid) {
                result = 0;
                break;
            }
            if (c == kPadMark) {
                ++pads;
                value = 0;
            } else {
                value = c;
            }
        }
        if (result == 0 || pads > 2) break;
        const uint32_t bits = v[0] << 18 | v[1] << 12 | v[2] << 6 | v[3];
        const unsigned char bytes[3] = {static_cast<unsigned char>(bits >> 16),
                                        static_cast<unsigned char>(bits >> 8),
                                        static_cast<unsigned char>(bits)};
        std::memcpy(dst, bytes, static_cast<size_t>(3 - pads));
        dst += 3 - pads;
        if (pads != 0) break;
    }
    out.m_nSize = static_cast<int>(dst - out.m_pBuf);
    return result;
}

int CBase64::Decode(CString& text) {
    CBuffer buffer(1024);
    if (!Decode(text, buffer)) {
        text.Empty();
        return 0;
    }
    buffer.GetText(text);
    return 1;
}

int CBase64::IsStringLikeBase64(char* text, int len) {
    if (text == nullptr || len <= 0) return 0;
    for (int i = 0; i < len; ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') continue;
        // A zero byte passes: the search finds the alphabet's own terminator.
        if (std::strchr(kAlphabet, c) == nullptr) return 0;
    }
    return 1;
}
