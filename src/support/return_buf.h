// CReturnBuf: where flat functions put the texts they return. One buffer per
// thread: a returned pointer stays valid until the same thread's next call
// that returns text this way.
#ifndef ORVEX_SUPPORT_RETURN_BUF_H
#define ORVEX_SUPPORT_RETURN_BUF_H

#include <orvex/cstring.h>

#include <string_view>

class CStringBuilder;

class CReturnBuf {
public:
    static const char* CString2LPSTR(const CString& text);
    static const char* CString2LPSTR(CString&& text);
    // A copy of text (embedded zeros included) under the same rule.
    static const char* Copy(std::string_view text);
    // The thread's block for a long text written in place (the SOAP
    // envelope) and returned by its GetText(), under the same rule. It keeps
    // its memory for the next such text: no allocation, no page faults.
    static CStringBuilder& Builder();
};

#endif
