#include <orvex/text_util.h>

#include "recordset/value_text.h"
#include "support/pub.h"

namespace {

struct Keyword {
    const char* m_pszKeyword;
    int m_nCode;
};

// Order matters: "datetime" before "date", "bool" before "int", so that the
// first keyword found anywhere in a name decides.
const Keyword kKeywords[] = {
    {"string", TYPE_STRING}, {"datetime", TYPE_DATETIME}, {"date", TYPE_DATE}, {"bool", TYPE_BOOLEAN},
    {"int", TYPE_INT},       {"double", TYPE_DOUBLE},     {"long", TYPE_INT},  {"decimal", TYPE_DOUBLE},
    {"number", TYPE_DOUBLE}, {"varchar", TYPE_STRING},
};

void PadTo2(CString& part) {
    while (part.GetLength() < 2) part.Insert(0, '0');
}

}  // namespace

int CTextUtil::ConvertType(const char* typeName) {
    if (typeName == nullptr) return TYPE_UNKNOWN;
    for (const Keyword& k : kKeywords)
        if (CPub::FindNoCase(typeName, k.m_pszKeyword) >= 0) return k.m_nCode;
    return TYPE_UNKNOWN;
}

void CTextUtil::ConvertType(int code, CString& out) {
    switch (code) {
        case TYPE_INT:
            out = "int";
            break;
        case TYPE_DATETIME:
            out = "dateTime";
            break;
        case TYPE_DATE:
            out = "date";
            break;
        case TYPE_BOOLEAN:
            out = "boolean";
            break;
        case TYPE_DOUBLE:
            out = "double";
            break;
        default:
            out = "string";
            break;
    }
}

void CTextUtil::XMLEncode(int code, CString& value) {
    switch (code) {
        case TYPE_STRING:
            XMLEncode_String(value);
            break;
        case TYPE_INT:
            XMLEncode_Int(value);
            break;
        case TYPE_DATETIME:
            XMLEncode_Datetime(value);
            break;
        case TYPE_DATE:
            XMLEncode_Date(value);
            break;
        case TYPE_BOOLEAN:
            XMLEncode_Boolean(value);
            break;
        case TYPE_DOUBLE:
            XMLEncode_Double(value);
            break;
        default:
            break;
    }
}

void CTextUtil::XMLEncode(const char* typeName, CString& value) { XMLEncode(ConvertType(typeName), value); }

void CTextUtil::XMLEncode_String(CString& value) {
    const std::string& in = value.str();
    const size_t growth = valuetext::EscapeXmlGrowth(in.data(), in.size());
    if (growth == 0) return;
    // One pass gives what replacing "&" first and then < > " ' gives.
    std::string out(in.size() + growth, '\0');
    valuetext::EscapeXml(in.data(), in.size(), &out[0]);
    value.str().swap(out);
}

void CTextUtil::XMLEncode_Boolean(CString& value) { value = valuetext::IsTrue(value) ? "true" : "false"; }

void CTextUtil::XMLEncode_Int(CString& value) {
    value.Trim();
    if (value.IsEmpty()) value = "0";
}

void CTextUtil::XMLEncode_Double(CString& value) { XMLEncode_Int(value); }

void CTextUtil::XMLEncode_Datetime(CString& value) { valuetext::EncodeDatetime(value, nullptr); }

void CTextUtil::XMLEncode_Date(CString& value) {
    if (!valuetext::PassesYearTest(value)) value.Empty();
    if (value.IsEmpty()) {
        value = "0001-01-01";
        return;
    }
    // The separator is the first of - / . that stands after the first character.
    char sep = '\0';
    int at = -1;
    for (const char candidate : {'-', '/', '.'}) {
        at = value.Find(candidate);
        if (at > 0) {
            sep = candidate;
            break;
        }
    }
    if (sep == '\0') {
        value.Empty();
        return;
    }
    const CString yearPart = value.Left(at);
    const CString rest = value.Mid(at + 1);
    CString monthPart;
    CString dayPart;
    const int second = rest.Find(sep);
    if (second > 0) {
        monthPart = rest.Left(second);
        dayPart = rest.Mid(second + 1);
    }
    PadTo2(monthPart);
    PadTo2(dayPart);
    value = yearPart + "-" + monthPart + "-" + dayPart;
}
