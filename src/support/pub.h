// CPub: file, path, string and time helpers that the whole library leans on.
#ifndef ORVEX_SUPPORT_PUB_H
#define ORVEX_SUPPORT_PUB_H

#include <orvex/arrays.h>
#include <orvex/cstring.h>
#include <orvex/file.h>

#include "platform/variant.h"

#include <ctime>

class CPub {
public:
    // --- files -------------------------------------------------------------
    static int FileExists(const char* path);  // a regular file, not a directory
    // Joins with exactly one '/' between the two parts.
    static CString AppendPath(const char* dir, const char* name);
    // Whole file into a string, bytes unchanged; nonzero on success.
    static int File2CString(CString& text, const char* path);
    // Whole file into a malloc'ed block (release with free); nonzero on success.
    static int File2Mem(unsigned char** bytes, const char* path, long* length);
    // Creates or overwrites path with the bytes; nonzero on success.
    static int Mem2File(const unsigned char* bytes, const char* path, long length);
    // Opens path for writing, created or truncated. Files have no text mode
    // here, so the mode (0 text, 1 binary) changes nothing; nonzero on success.
    static int OpenNewFile(CFile& file, const char* path, int mode);
    // Size in bytes, or -1 for a missing file; sizeText gets the size in
    // decimal, timeText the modification time as CTime2CString writes it.
    static long long GetFileTimeSize(const char* path, CString& sizeText, CString& timeText);
    // Compares modification times (whole seconds) when bTime is set, then
    // sizes when bSize is set: 0 when equal, negative when a is older (or
    // smaller), positive otherwise. A missing file counts as older than any.
    static int CompareFileTimeSize(const char* a, const char* b, int bSize, int bTime);
    // Read-only means: the owner has no write permission.
    static int IsFileReadOnly(const char* path);
    static int SetFileReadOnly(const char* path, int on);
    static int IsLZCompressedFile(const char* path);
    // Expands an SZDD file into dir under its restored name, which out receives.
    static int LZCopyFile2Dir(const char* source, const char* dir, CString& out);
    // name receives what follows the last '/', rest what precedes it.
    static void parseFilename(const char* path, CString& name, CString& rest);

    // --- errors ------------------------------------------------------------
    // The text of the last system error that a CPub operation met on this thread.
    static CString GetLastError();
    static void SetLastError(int osError);
    static void SetLastErrorText(const CString& text);

    // --- strings -----------------------------------------------------------
    // Position of sub in text ignoring ASCII case, or -1 (0: text begins with
    // it). Matches start on whole characters of the code page.
    static int FindNoCase(const char* text, const char* sub);
    // Text before / after the first separator (the last one when bLast is
    // nonzero). Without a separator, GetLeft gives the whole text, GetRight
    // the empty text.
    static CString GetLeft(const char* text, const char* sep, int bLast = 0);
    static CString GetRight(const char* text, const char* sep, int bLast = 0);
    // Splits text at every sep into array (emptied first); empty pieces
    // stay. With bTrim nonzero each piece is trimmed of white space.
    static int CString2Array(CStringArray& array, const char* text, const char* sep, int bTrim);
    // Position of the first entry equal to text ignoring case, or -1. With
    // bPrefix nonzero an entry matches when the text begins with it.
    static int ArrayCompareNoCase(const CStringArray& array, const char* text, int bPrefix);
    // Position of the first occurrence of find (findLength bytes) in the
    // first length bytes of buf at or after start, or -1; flag nonzero
    // compares ignoring ASCII case, stepping over whole characters of the
    // code page from start, which must begin one.
    static long memmem(const void* buf, const void* find, long start, long length, long findLength, int flag);

    // --- time --------------------------------------------------------------
    // Local time as "YYYY-MM-DD HH:MM:SS".
    static CString CTime2CString(time_t time);
    // Reads a local date-time: year-month-day with '-', '/' or '.', then
    // optionally a blank or 'T' and hours:minutes[:seconds[.fraction]]; fields
    // may be unpadded. A time may end in an XML Schema zone, "Z" or
    // "+hh:mm"/"-hh:mm" up to 14:00, and the text then names that instant.
    // Returns 0 for a text that is no such date-time.
    static time_t CString2CTime(const char* text);
    static int CString2CTime(const char* text, time_t& out);
    // The calendar fields of a text in the form CString2CTime reads (tm_year
    // from 1900, tm_mon from 0, tm_isdst -1), as written: not yet checked
    // against the calendar nor moved by a zone; 0 for a text of another
    // form. zone receives the zone's offset east of UTC in seconds, or
    // kNoZone for a local time; without it a text with a zone is refused.
    static constexpr long kNoZone = -1000000;
    static int CString2TimeFields(const char* text, struct tm& fields, long* zone = nullptr);

    static CString Variant2CString(const CVariant& value);
};

#endif
