// CVariant: a node's value as the DOM hands it over, a text or nothing
// (an element has no value of its own).
#ifndef ORVEX_PLATFORM_VARIANT_H
#define ORVEX_PLATFORM_VARIANT_H

#include <orvex/cstring.h>

#include <utility>

struct CVariant {
    enum Kind { kEmpty, kString };

    CVariant() = default;
    explicit CVariant(CString text) : m_kind(kString), m_value(std::move(text)) {}

    Kind m_kind = kEmpty;
    CString m_value;
};

#endif
