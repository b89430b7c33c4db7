// CRegItem: the registry's environment, which here is the process
// environment. Names are matched ignoring case, as Windows does.
#ifndef ORVEX_SUPPORT_REG_ITEM_H
#define ORVEX_SUPPORT_REG_ITEM_H

#include "support/obj.h"

#include <cstdint>

using HKEY = struct OrvexRegKey*;
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u)))

class CRegItem : public CObj {
public:
    explicit CRegItem(HKEY root) : m_hRoot(root) { EnableShowError(0); }
    // The variable's value; type receives 1 (a plain string) when found,
    // 0 when absent (the result then is empty).
    CString Env_Get(const char* name, int* type) const;
    HKEY GetRoot() const { return m_hRoot; }

private:
    HKEY m_hRoot;
};

#endif
