// Base64 decoding of arbitrary text, held to a plain group-by-group decoder
// of the same rules (the wide paths must give the same bytes and result),
// and encode-decode round trips of arbitrary bytes.
#include <orvex/base64.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '*' || c == '/' || c == '\\') return 63;
    if (c == '=') return 64;
    return -1;
}

// The rules one character at a time: line breaks skipped but counted in the
// number of groups, a zero filler past the end, '=' ends the text.
int PlainDecode(const uint8_t* text, size_t n, std::string& out) {
    size_t pos = 0;
    for (size_t g = 0; g < (n + 3) / 4; ++g) {
        int v[4];
        int pads = 0;
        for (int& value : v) {
            while (pos < n && (text[pos] == '\r' || text[pos] == '\n')) ++pos;
            value = pos < n ? Value(text[pos++]) : -1;
            if (value < 0) return 0;
            if (value == 64) {
                ++pads;
                value = 0;
            }
        }
        if (pads > 2) return 1;
        const uint32_t bits = static_cast<uint32_t>(v[0] << 18 | v[1] << 12 | v[2] << 6 | v[3]);
        const char bytes[3] = {static_cast<char>(bits >> 16), static_cast<char>(bits >> 8),
                               static_cast<char>(bits)};
        out.append(bytes, static_cast<size_t>(3 - pads));
        if (pads != 0) return 1;
    }
    return 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    CString text(reinterpret_cast<const char*>(data), static_cast<int>(size));
    CBuffer decoded;
    std::string plain;
    if (CBase64::Decode(text, decoded) != PlainDecode(data, size, plain) ||
        decoded.GetSize() != static_cast<int>(plain.size()) ||
        (!plain.empty() && std::memcmp(decoded.GetBuf(), plain.data(), plain.size()) != 0))
        std::abort();
    // The bytes past the decoded ones read as zero.
    for (int i = decoded.GetSize(); i < decoded.GetAllocSize(); ++i)
        if (decoded.GetBuf()[i] != 0) std::abort();
    CString inPlace(text);
    CBase64::Decode(inPlace);
    CBase64::IsStringLikeBase64(const_cast<char*>(text.GetString()), text.GetLength());

    CBuffer encoded;
    CBase64::Encode(const_cast<uint8_t*>(data), static_cast<int>(size), encoded);
    CString back(reinterpret_cast<const char*>(encoded.GetBuf()), size > 0 ? encoded.GetSize() - 1 : 0);
    CBuffer round;
    if (CBase64::Decode(back, round) != 1 || round.GetSize() != static_cast<int>(size) ||
        (size > 0 && std::memcmp(round.GetBuf(), data, size) != 0))
        std::abort();
    return 0;
}
