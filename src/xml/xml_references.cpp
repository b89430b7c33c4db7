#include "xml/xml_references.h"

#include "platform/utf.h"

#include <cstdint>
#include <cstring>
#include <string_view>

namespace xml {

namespace {

bool IsXmlChar(uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
}

// The reference that starts at amp (its '&'): the character it stands for
// and the text after its ';', or nullptr with `error` set.
const char* ReadReference(const char* amp, uint32_t& code, std::string& error) {
    // The three that texts hold most, first and at once: the general
    // reading below was a fortieth of reading an answer whose every row
    // holds them.
    if (amp[1] == 'a' && amp[2] == 'm' && amp[3] == 'p' && amp[4] == ';') {
        code = '&';
        return amp + 5;
    }
    if ((amp[1] == 'l' || amp[1] == 'g') && amp[2] == 't' && amp[3] == ';') {
        code = amp[1] == 'l' ? '<' : '>';
        return amp + 4;
    }
    const char* end = amp + 1;
    if (*end == '#') ++end;
    while (IsNameChar(*end)) ++end;
    const std::string_view name(amp + 1, static_cast<size_t>(end - amp - 1));
    if (*end != ';' || name.empty() || name == "#") {
        error = "'&' that starts no reference";
        return nullptr;
    }
    if (name == "quot") {
        code = '"';
    } else if (name == "apos") {
        code = '\'';
    } else if (name[0] == '#') {
        const bool hex = name.size() > 1 && name[1] == 'x';
        size_t i = hex ? 2 : 1;
        if (i >= name.size()) {
            error = "empty character reference";
            return nullptr;
        }
        code = 0;
        for (; i < name.size(); ++i) {
            const char c = name[i];
            int digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            else
                digit = -1;
            if (digit < 0) {
                error = "malformed character reference";
                return nullptr;
            }
            code = code * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
            if (code > 0x10FFFF) break;
        }
        if (!IsXmlChar(code)) {
            error = "character reference to a character XML does not allow";
            return nullptr;
        }
    } else {
        error = "reference to the undeclared entity '" + std::string(name) + "'";
        return nullptr;
    }
    return end + 1;
}

}  // namespace

bool DecodeReferences(const char* text, std::string& out, std::string& error) {
    for (const char* p = text;;) {
        const char* amp = std::strchr(p, '&');
        if (amp == nullptr) {
            out.append(p);
            return true;
        }
        out.append(p, static_cast<size_t>(amp - p));
        uint32_t code;
        p = ReadReference(amp, code, error);
        if (p == nullptr) return false;
        utf::AppendCodePointAsUtf8(code, out);
    }
}

char* DecodeReferencesInPlace(char* text, std::string& error) {
    char* out = text;
    for (const char* p = text;;) {
        const char* amp = std::strchr(p, '&');
        const size_t run = amp != nullptr ? static_cast<size_t>(amp - p) : std::strlen(p);
        if (out != p) std::memmove(out, p, run);
        out += run;
        if (amp == nullptr) {
            *out = '\0';
            return out;
        }
        uint32_t code;
        p = ReadReference(amp, code, error);
        if (p == nullptr) return nullptr;
        if (code < 0x80) {
            *out++ = static_cast<char>(code);
            continue;
        }
        // A reference is longer than the UTF-8 of its character ("&#65536;", 4 bytes).
        std::string bytes;  // short: no allocation
        utf::AppendCodePointAsUtf8(code, bytes);
        std::memcpy(out, bytes.data(), bytes.size());
        out += bytes.size();
    }
}

}  // namespace xml
