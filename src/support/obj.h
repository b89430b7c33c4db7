// CObj: a base class that holds an error text. With display on, setting an
// error also shows it in a message box; the library's objects turn it off.
#ifndef ORVEX_SUPPORT_OBJ_H
#define ORVEX_SUPPORT_OBJ_H

#include <orvex/cstring.h>

class CObj {
public:
    CObj() = default;
    virtual ~CObj();
    // "<text> (code <n>)", or just the text when code is 0.
    virtual void Error(int code, const char* text);
    // "Error code <n>".
    virtual void Error(int code);
    virtual void Error(const char* text);
    virtual void Error(const CString& text);

    void EnableShowError(int on) { m_bShowError = on; }
    void EmptyError() { m_strError.Empty(); }
    // Exactly the text last set.
    const CString& LastError() const { return m_strError; }

protected:
    CString m_strError;
    int m_bShowError = 1;
};

#endif
