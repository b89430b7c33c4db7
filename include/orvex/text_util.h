// CTextUtil: value type codes, their XML Schema names, and the rules that
// turn a value's text into what goes between XML tags for its type.
#ifndef ORVEX_TEXT_UTIL_H
#define ORVEX_TEXT_UTIL_H

#include <orvex/cstring.h>

// Value type codes. 0 means no type was recognised; such values are never
// changed by encoding and are named "string".
enum {
    TYPE_UNKNOWN = 0,
    TYPE_STRING = 1,
    TYPE_INT = 2,
    TYPE_DATETIME = 3,
    TYPE_DATE = 4,
    TYPE_BOOLEAN = 5,
    TYPE_DOUBLE = 6
};

class ORVEX_EXPORT CTextUtil {
public:
    // Free type name ("xsd:int", "nvarchar", "Number(10,2)"...) to its code:
    // the first of string, datetime, date, bool, int, double, long, decimal,
    // number, varchar found anywhere in the name, ignoring case; else 0.
    // Null is the empty name.
    static int ConvertType(const char* typeName);
    // Code to its XML Schema name: int, dateTime, date, boolean, double, and
    // "string" for every other code.
    static void ConvertType(int code, CString& out);

    // Encode value in place by code or by type name; unknown codes leave it as it is.
    static void XMLEncode(int code, CString& value);
    static void XMLEncode(const char* typeName, CString& value);

    // & < > " ' as entities.
    static void XMLEncode_String(CString& value);
    // "true" when the text holds "true" in any case or starts with a nonzero
    // integer, else "false".
    static void XMLEncode_Boolean(CString& value);
    // Trimmed; the empty text becomes "0". Not otherwise checked.
    static void XMLEncode_Int(CString& value);
    static void XMLEncode_Double(CString& value);
    // A date-time of the years 1971-2038 as UTC "YYYY-MM-DDThh:mm:ss.0Z": a
    // local one, or one that names its zone ("Z", "+02:00") as that instant;
    // anything else is "0001-01-01T00:00:00.0Z".
    static void XMLEncode_Datetime(CString& value);
    // "Y-M-D" (or with '/' or '.') as "Y-MM-DD" for the years 1971-2038;
    // outside them "0001-01-01"; without a separator the empty text.
    static void XMLEncode_Date(CString& value);
};

#endif
