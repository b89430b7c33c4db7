// CBase64: the library's Base64 ('*' for 63) between bytes and text. Whole
// groups go through wide paths (a 12-bit pair table, values pre-shifted per
// position, and AVX2 where the processor has it); everything else - line
// breaks, padding, the end, a bad character - goes one group at a time by
// the plain rules, so both give the same bytes and the same result.
#include <orvex/base64.h>

// The AVX2 paths exist only on x86 and not in a portable build; elsewhere the
// scalar paths do all the work.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(ORVEX_PORTABLE)
#define ORVEX_BASE64_AVX2 1
#include <immintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cstddef>
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

#if ORVEX_BASE64_AVX2

#define ORVEX_AVX2 __attribute__((target("avx2"), always_inline)) inline

// Encodes 24 bytes at a time into 32 characters while 28 can be read (each
// half loads 16 bytes for its 12); the scalar loop takes the rest.
// 256 MiB into a kept buffer: 0.26x the time of the pair-table loop alone
// (bench_foundation beside a -DORVEX_PORTABLE=ON build).
__attribute__((target("avx2"))) void EncodeRunsAvx2(const unsigned char*& src, const unsigned char* end,
                                                    unsigned char*& dst) {
    // Each 32-bit word gets bytes 1 0 2 1 of its three, so that one 16-bit
    // multiply per half moves each 6-bit value into a byte of its own.
    const __m256i spread = _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10,  //
                                            1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
    // The value minus 51 (saturated) picks the distance to its character;
    // values below 26 take slot 13.
    const __m256i shifts = _mm256_setr_epi8(
        'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
        '0' - 52, '+' - 62, '*' - 63, 'A', 0, 0, 'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
        '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '*' - 63, 'A', 0, 0);
    while (end - src >= 28) {
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 12));
        const __m256i in =
            _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1), spread);
        const __m256i ac = _mm256_mulhi_epu16(_mm256_and_si256(in, _mm256_set1_epi32(0x0FC0FC00)),
                                              _mm256_set1_epi32(0x04000040));
        const __m256i bd = _mm256_mullo_epi16(_mm256_and_si256(in, _mm256_set1_epi32(0x003F03F0)),
                                              _mm256_set1_epi32(0x01000010));
        const __m256i values = _mm256_or_si256(ac, bd);
        __m256i slot = _mm256_subs_epu8(values, _mm256_set1_epi8(51));
        slot = _mm256_or_si256(
            slot, _mm256_and_si256(_mm256_cmpgt_epi8(_mm256_set1_epi8(26), values), _mm256_set1_epi8(13)));
        const __m256i text = _mm256_add_epi8(values, _mm256_shuffle_epi8(shifts, slot));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), text);
        src += 24;
        dst += 32;
    }
}

// Decodes runs of 32 plain alphabet characters (8 groups) at a time while
// they last and the output has room for a 32-byte store; stops in the first
// run holding anything but line breaks, after the whole groups before it, and
// leaves it to the scalar code. Up to 32 bytes from dst on may hold leftovers. A character
// is looked up by its two halves: the low one gives the high halves it is
// valid with, and the high one (with fixes for '+', '*', '/' and '\') the
// distance from the character to its value.
// 256 MiB: 0.47x the time of the pre-shifted table loop alone, 0.62x for text
// in 76-character lines (bench_foundation beside a -DORVEX_PORTABLE=ON build).
__attribute__((target("avx2"))) void DecodeRunsAvx2(const unsigned char* src, int n, int& pos,
                                                    unsigned char*& dst, const unsigned char* end,
                                                    long long& g, long long groups) {
    // Bits of the high halves: 2 -> 1, 3 -> 2, 4 and 6 -> 4, 5 -> 8, 7 -> 16.
    const __m256i highBit = _mm256_setr_epi8(0, 0, 1, 2, 4, 8, 4, 16, 0, 0, 0, 0, 0, 0, 0, 0,  //
                                             0, 0, 1, 2, 4, 8, 4, 16, 0, 0, 0, 0, 0, 0, 0, 0);
    // For each low half, the high halves that make an alphabet character
    // ("0PpA-Oa-o", "*Z z", "+K k", "\L l", "/O o" and so on).
    const __m256i validWith = _mm256_setr_epi8(26, 30, 30, 30, 30, 30, 30, 30, 30, 30, 29, 5, 12, 4, 4, 5,  //
                                               26, 30, 30, 30, 30, 30, 30, 30, 30, 30, 29, 5, 12, 4, 4, 5);
    const __m256i byHigh = _mm256_setr_epi8(0, 0, 0, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0,  //
                                            0, 0, 0, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
    // '*' 21, '+' 19, '/' 16 beside high half 2's 0; '\' 36 beside high half 5's -65.
    const __m256i byLow = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 21, 19, 36, 0, 0, 16,  //
                                           0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 21, 19, 36, 0, 0, 16);
    const __m256i shuffle = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,  //
                                             2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    const __m256i pack = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    // The bytes of a window that are no alphabet character (one bit each).
    const auto others = [&](__m256i c) __attribute__((target("avx2"))) {
        const __m256i high = _mm256_and_si256(_mm256_srli_epi16(c, 4), nibble);
        const __m256i fits = _mm256_and_si256(_mm256_shuffle_epi8(validWith, _mm256_and_si256(c, nibble)),
                                              _mm256_shuffle_epi8(highBit, high));
        return static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(fits, _mm256_setzero_si256())));
    };
    // Stores the 24 bytes of 32 alphabet characters (past the groups a
    // caller takes, bytes of no meaning that later groups overwrite or the
    // caller zeroes at the end).
    const auto store = [&](__m256i c) __attribute__((target("avx2"))) {
        const __m256i high = _mm256_and_si256(_mm256_srli_epi16(c, 4), nibble);
        const __m256i low = _mm256_and_si256(c, nibble);
        const __m256i special = _mm256_or_si256(_mm256_cmpeq_epi8(high, _mm256_set1_epi8(2)),
                                                _mm256_cmpeq_epi8(c, _mm256_set1_epi8('\\')));
        const __m256i delta = _mm256_add_epi8(_mm256_shuffle_epi8(byHigh, high),
                                              _mm256_and_si256(special, _mm256_shuffle_epi8(byLow, low)));
        const __m256i values = _mm256_add_epi8(c, delta);
        const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
        const __m256i words = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
        const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(words, shuffle), pack);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), bytes);
    };
    const __m256i places = _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18,
                                            19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
    while (g + 8 <= groups && pos + 32 <= n && dst + 32 <= end) {
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + pos));
        const unsigned bad = others(c);
        if (bad == 0) {
            store(c);
            dst += 24;
            pos += 32;
            g += 8;
            continue;
        }
        // A line break (CR LF, LF or CR) between groups: the window is loaded
        // again past it and the two joined, so that a line's tail and the
        // next line's head make one window instead of two part-filled ones.
        // 76-character lines: 0.7x the time of a window ended at each break.
        const int at = __builtin_ctz(bad);
        int skip = 0;
        while (skip < 2 && pos + at + skip < n &&
               (src[pos + at + skip] == '\r' || src[pos + at + skip] == '\n'))
            ++skip;
        if ((at & 3) == 0 && skip != 0 && pos + skip + 32 <= n) {
            const __m256i after = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + pos + skip));
            const __m256i joined = _mm256_blendv_epi8(
                after, c, _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(at)), places));
            if (others(joined) == 0) {
                store(joined);
                dst += 24;
                pos += 32 + skip;
                g += 8;
                continue;
            }
        }
        // The whole groups before the first character of another kind.
        const int take = at / 4;
        if (take == 0) return;
        store(c);
        dst += 3 * take;
        pos += 4 * take;
        g += take;
        // Line breaks between groups are skipped, as the first place of the next group would.
        if (src[pos] != '\r' && src[pos] != '\n') return;
        while (pos < n && (src[pos] == '\r' || src[pos] == '\n')) ++pos;
    }
}

const bool g_hasAvx2 = __builtin_cpu_supports("avx2");

#endif

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
    const long long groups = (static_cast<long long>(len) + 2) / 3;
    if (len <= 0 || data == nullptr || groups * 4 + 1 > INT_MAX) {
        out.Empty();
        if (len <= 0 || data == nullptr) return;
        throw std::length_error("Base64 text would pass 2 GiB");
    }
    const int size = static_cast<int>(groups * 4 + 1);
    // Emptying zeroes the old content; the new text covers all of it but a
    // longer old tail, so only that tail is zeroed here. A growth zero-fills
    // the whole block, as it starts from size 0.
    const int old = out.m_nSize;
    out.m_nSize = 0;
    try {
        out.AutoAlloc(size);
    } catch (...) {
        if (old > 0) std::memset(out.m_pBuf, 0, static_cast<size_t>(old));
        throw;
    }
    if (old > size) std::memset(out.m_pBuf + size, 0, static_cast<size_t>(old - size));

    const auto& pairs = T().pairs;
    unsigned char* dst = out.m_pBuf;
    const unsigned char* src = data;
    const unsigned char* whole = data + (len / 3) * 3;
#if ORVEX_BASE64_AVX2
    if (g_hasAvx2) EncodeRunsAvx2(src, data + len, dst);
#endif
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
#if ORVEX_BASE64_AVX2
    const unsigned char* end = out.m_pBuf + out.m_nAllocSize;
#endif
    // The wide paths take runs of plain alphabet text; whatever stops them
    // is read one group by the plain rules, and then they go on, so text in
    // lines costs little more than one long line.
    for (;;) {
        // Line breaks before a group are what its first place would skip.
        while (pos < n && values[src[pos]] == kLineBreak) ++pos;
#if ORVEX_BASE64_AVX2
        if (g_hasAvx2) DecodeRunsAvx2(src, n, pos, dst, end, g, groups);
#endif
        // Two groups at a time.
        while (g + 2 <= groups && pos + 8 <= n) {
            const unsigned char* s = src + pos;
            const uint32_t a =
                t.shifted[0][s[0]] | t.shifted[1][s[1]] | t.shifted[2][s[2]] | t.shifted[3][s[3]];
            const uint32_t b =
                t.shifted[0][s[4]] | t.shifted[1][s[5]] | t.shifted[2][s[6]] | t.shifted[3][s[7]];
            if ((a | b) >= kNotPlain) break;
            const uint32_t beA = __builtin_bswap32(a << 8);
            const uint32_t beB = __builtin_bswap32(b << 8);
            std::memcpy(dst, &beA, 4);
            std::memcpy(dst + 3, &beB, 4);
            dst += 6;
            pos += 8;
            g += 2;
        }
        if (g >= groups) break;
        if (pos < n && values[src[pos]] == kLineBreak) continue;
        ++g;
        // Four alphabet characters in a row. The store writes one byte past
        // the group; the next group or the block's spare bytes take it.
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
#if ORVEX_BASE64_AVX2
    // The bytes past the end read as zero, as in any buffer just filled.
    if (g_hasAvx2) std::memset(dst, 0, static_cast<size_t>(std::min<ptrdiff_t>(32, end - dst)));
#endif
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
