// CVariant: the few kinds of value the XML layer hands over as typed data.
#ifndef ORVEX_PLATFORM_VARIANT_H
#define ORVEX_PLATFORM_VARIANT_H

#include <orvex/cstring.h>

struct CVariant {
    enum Kind { kEmpty, kString, kInteger, kDouble, kBoolean };

    CVariant() = default;
    explicit CVariant(CString text) : m_kind(kString), m_strValue(std::move(text)) {}
    static CVariant Integer(long long value) {
        CVariant v;
        v.m_kind = kInteger;
        v.m_nValue = value;
        return v;
    }
    static CVariant Double(double value) {
        CVariant v;
        v.m_kind = kDouble;
        v.m_dValue = value;
        return v;
    }
    static CVariant Boolean(bool value) {
        CVariant v;
        v.m_kind = kBoolean;
        v.m_nValue = value;
        return v;
    }

    Kind m_kind = kEmpty;
    CString m_strValue;
    long long m_nValue = 0;
    double m_dValue = 0.0;
};

#endif
