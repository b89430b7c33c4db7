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

}  // namespace

bool DecodeReferences(const char* text, std::string& out, std::string& error) {
    const char* p = text;
    for (;;) {
        const char* amp = std::strchr(p, '&');
        if (amp == nullptr) {
            out.append(p);
            return true;
        }
        out.append(p, static_cast<size_t>(amp - p));
        const char* end = amp + 1;
        if (*end == '#') ++end;
        while (IsNameChar(*end)) ++end;
        const std::string_view name(amp + 1, static_cast<size_t>(end - amp - 1));
        if (*end != ';' || name.empty() || name == "#") {
            error = "'&' that starts no reference";
            return false;
        }
        if (name == "amp") {
            out += '&';
        } else if (name == "lt") {
            out += '<';
        } else if (name == "gt") {
            out += '>';
        } else if (name == "quot") {
            out += '"';
        } else if (name == "apos") {
            out += '\'';
        } else if (name[0] == '#') {
            const bool hex = name.size() > 1 && name[1] == 'x';
            size_t i = hex ? 2 : 1;
            if (i >= name.size()) {
                error = "empty character reference";
                return false;
            }
            uint32_t code = 0;
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
                    return false;
                }
                code = code * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
                if (code > 0x10FFFF) break;
            }
            if (!IsXmlChar(code)) {
                error = "character reference to a character XML does not allow";
                return false;
            }
            utf::AppendCodePointAsUtf8(code, out);
        } else {
            error = "reference to the undeclared entity '" + std::string(name) + "'";
            return false;
        }
        p = end + 1;
    }
}

}  // namespace xml
