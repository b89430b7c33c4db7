#include "support/reg_item.h"

#include "platform/code_page.h"

#include <cstring>

extern char** environ;

CString CRegItem::Env_Get(const char* name, int* type) const {
    if (type != nullptr) *type = 0;
    if (name == nullptr || *name == '\0') return CString();
    // The environment speaks UTF-8: names are compared, and the value given, in the code page.
    const bool utf8 = codepage::IsUtf8();
    const size_t length = std::strlen(name);
    const char* found = nullptr;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        const char* equals = std::strchr(*e, '=');
        if (equals == nullptr) continue;
        const auto nameLength = static_cast<size_t>(equals - *e);
        if (utf8 && nameLength != length) continue;
        const CString entryName =
            utf8 ? CString(*e, static_cast<int>(nameLength)) : CString(codepage::FromSystem(*e, nameLength));
        if (entryName.CompareNoCase(name) != 0) continue;
        // An exact match wins over one that differs only in letter case.
        if (entryName == name) {
            found = equals + 1;
            break;
        }
        if (found == nullptr) found = equals + 1;
    }
    if (found == nullptr) return CString();
    if (type != nullptr) *type = 1;
    return CString(codepage::FromSystem(found));
}
