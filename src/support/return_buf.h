// CReturnBuf: where flat functions put the texts they return. One buffer per
// thread: a returned pointer stays valid until the same thread's next call
// that returns text this way.
#ifndef ORVEX_SUPPORT_RETURN_BUF_H
#define ORVEX_SUPPORT_RETURN_BUF_H

#include <orvex/cstring.h>

class CReturnBuf {
public:
    static const char* CString2LPSTR(const CString& text);
    static const char* CString2LPSTR(CString&& text);
};

#endif
