// CPubEx: static text and file utilities for hosts: byte and string
// replacement, HTML/XML entity conversion, time stamps; file copies with
// retries and versions, deletion, listing, whole-file reads, the search path.
#ifndef ORVEX_PUB_EX_H
#define ORVEX_PUB_EX_H

#include <orvex/arrays.h>
#include <orvex/cstring.h>
#include <orvex/export.h>

class ORVEX_EXPORT CPubEx {
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
    //
    // Paths are 8-bit text in the process's code page. Read-only means the
    // owner has no write permission, whoever runs the process. The system
    // directory is /usr/lib unless ORVEX_SYSTEM_DIR names another.

    // Copies src into dstDir (dstPath receives the target's path): up to five
    // attempts 200 ms apart, the second on clearing a read-only target. A
    // copy never leaves a half-written target. With bSkipSame and bNoExpand
    // an identical target (same time, size, first and last KiB) is left
    // alone. Unless bNoExpand, a compressed source named with a trailing
    // '_' is expanded (dstPath then names the expanded file). In the system
    // directory an existing target of the same time and size, or a newer
    // one, stays and counts as done. Returns 1 or 0 with the reason in
    // error: "Null source file to copy!\t", "File %s copy to null
    // directory!\t", "File %s not found!\t", "File %s Copy Error!\t".
    static int Copy1File(const char* src, const char* dstDir, CString& dstPath, CString& error, int bNoExpand,
                         int bSkipSame);
    // Copy1File that asks through the message box (Abort, Retry, Ignore)
    // when it fails: 1 done or ignored, 0 aborted.
    static int Copy1FileWithAbortRetryIgnor(const char* src, const char* dstDir, CString& dstPath,
                                            int bNoExpand, int bSkipSame);
    // Copies src into dstDir by version: 2 there was no target (copied), 1
    // the source is newer (copied), -1 the same version (copied only with
    // bForce), -2 the source is older (not copied), 0 the source is missing
    // ("File %s not Found!\t" in a message box) or the copy was aborted.
    static int Copy1FileByVersion(const char* src, const char* dstDir, int bForce);
    // The file version of a PE file's version resource; 0 (and all four 0)
    // for any other file.
    static int GetFileVersion(const char* path, int& major, int& minor, int& build, int& revision);
    // The parent of the system directory.
    static CString GetWindowDir();
    // The whole file as text (byte order marks and UTF-8 recognised, else
    // the code page); 0 with the reason in m_LastError.
    static int File2CString(CString& text, const char* path);
    // The file's lines, one entry each, ended by CR LF or LF (a line end at
    // the end of the file starts no further line); 0 when it cannot be read.
    static int File2Array(CStringArray& lines, const char* path);
    // Deletes the files (never directories, never what a symbolic link
    // names) in dir matching the pattern ("" and "*.*": every file; '*' and
    // '?' otherwise, ASCII case ignored); returns how many were found.
    static int DeleteDirFiles(const char* dir, const char* pattern);
    // Deletes a file or symbolic link, up to five tries 200 ms apart, a
    // read-only file included. 1 when it is gone (a missing one counts), 0
    // with the reason in m_LastError.
    static int Delete1File(const char* path);
    // Appends every directory below dir, depth first and each before its
    // contents, names in byte order. Links to directories are not entered.
    static void GetSubDirs(const char* dir, CStringArray& dirs);
    // Removes dir and every directory below it that is empty once those
    // below it are gone, longest paths first; files are never deleted. 1
    // when all are gone.
    static int DeleteDirOnly(const char* dir);
    // The program search path: PATH split at ':' (empty entries dropped,
    // "%NAME%rest" resolved through the environment, "%SystemRoot%" being
    // GetWindowDir()), behind the system directory and, unless present,
    // the Windows directory. Read once per process.
    static void GetPath(CStringArray& dirs);
    // The characters of m_LastError; valid until this thread's next failure.
    static const char* GetLastError();

    // The last failure text of File2CString or Delete1File, per thread.
    static thread_local CString m_LastError;

private:
    // Same size assumed: equal first and last KiB, or equal bytes below 2 KiB.
    static int CompareFiles_Header_End(const char* a, const char* b);
};

#endif
