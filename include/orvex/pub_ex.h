// CPubEx: static text and file utilities for hosts: byte and string
// replacement, HTML/XML entity conversion, time stamps.
#ifndef ORVEX_PUB_EX_H
#define ORVEX_PUB_EX_H

#include <orvex/arrays.h>
#include <orvex/cstring.h>
#include <orvex/export.h>

class ORVEX_API CPubEx {
public:
    CPubEx() = delete;

    // --- text ----------------------------------------------------------------

    // Replaces every occurrence of the bytes of `find` by those of `repl` in
    // a malloc'ed block of `len` bytes, moving the block as it needs (*buf and
    // `len` are updated; no zero is added). Replaced bytes are not searched
    // again. flag nonzero matches ignoring ASCII letter case. An empty `find`
    // changes nothing. When memory runs out, nothing is changed and
    // std::bad_alloc is thrown.
    static void MemReplace(char** buf, long& len, const CString& find, const CString& repl, int flag);

    // Replaces every occurrence of `find` in `str` by `repl` (null: nothing)
    // and returns the count. bCase nonzero compares case-sensitively, 0
    // ignores ASCII letter case. Inserted text is never searched again, so a
    // replacement that contains `find` does not loop. An empty `find` gives 0.
    static int ReplaceStr(CString& str, const char* find, const char* repl, int bCase);

    // "&nbsp;", "&lt;", "&gt;", "&quot;", "&apos;" and then "&amp;" (in any
    // letter case) to their characters; returns the count. "&amp;lt;" becomes
    // "&lt;". Numeric references are left alone.
    static int HTML_ToNormal(CString& str);

    // '&' (first), '<', '>', '"', '\'' and, with bNbsp, each space to their
    // entities; returns the count.
    static int HTML_ToHTML(CString& str, int bNbsp);

    // Escapes '&' as "&amp;" without doubling an existing "&amp;" (which may
    // be written in any letter case); returns the number of '&' escaped.
    static int String_ToXML(CString& str);

    // The local time of day as "HH:MM:SS.mmm".
    static CString GetCurFullTime();

    // The duration from `start` to `end`, two GetCurFullTime stamps, as
    // "h:m:s.mmm" ("0:1:5.042"). Hours do not wrap: across midnight they
    // come out negative. Fields that are not numbers count as 0.
    static CString GetFullTimeOut(const CString& start, const CString& end);

    // --- files ---------------------------------------------------------------
};

#endif
