// ASCII case folding for words that are ASCII by definition: schemes, header
// and entity names, SOAP element names; and hexadecimal digits. Bytes outside A-Z pass unchanged, and
// no locale a host sets can change the answer (strcasecmp would follow it).
#ifndef ORVEX_PLATFORM_ASCII_H
#define ORVEX_PLATFORM_ASCII_H

#include <string>
#include <string_view>

namespace ascii {

constexpr char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr unsigned char Lower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}
constexpr unsigned char Upper(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// The value of a hexadecimal digit in either case; -1 for any other byte.
constexpr int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The two hexadecimal digits of a byte, in lower case unless `upper`.
inline void AppendHexByte(std::string& out, unsigned char byte, bool upper = false) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    out += digits[byte >> 4];
    out += digits[byte & 15];
}

constexpr bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

constexpr bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace ascii

#endif
