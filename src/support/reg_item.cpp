#include "support/reg_item.h"

#include <cstring>

extern char** environ;

CString CRegItem::Env_Get(const char* name, int* type) const {
    if (type != nullptr) *type = 0;
    if (name == nullptr || *name == '\0') return CString();
    const size_t len = std::strlen(name);
    // An exact match wins over one that differs only in letter case.
    const char* found = nullptr;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        if (strnlen(*e, len + 1) <= len || (*e)[len] != '=' ||
            CString(*e, static_cast<int>(len)).CompareNoCase(name) != 0)
            continue;
        if (std::strncmp(*e, name, len) == 0) {
            found = *e;
            break;
        }
        if (found == nullptr) found = *e;
    }
    if (found == nullptr) return CString();
    if (type != nullptr) *type = 1;
    return CString(found + len + 1);
}
