#include <orvex/base64.h>

#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <stdexcept>

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

}  // namespace

void CBase64::Encode(unsigned char* data, int len, CBuffer& out) {
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
        const uint32_t bits = static_cast<uint32_t>(src[0]) << 16 | static_cast<uint32_t>(src[1]) << 8 | src[2];
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
    for (long long g = 0; g < groups; ++g) {
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
