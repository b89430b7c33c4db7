#include "support/pub.h"

#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/szdd.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

thread_local int t_lastError = 0;
thread_local CString t_lastErrorText;

bool StatFile(const char* path, struct stat& st) {
    if (path == nullptr || ::stat(codepage::SystemName(path), &st) != 0) {
        CPub::SetLastError(path == nullptr ? ENOENT : errno);
        return false;
    }
    return true;
}

// The file at path read whole into the room room(size) gives, size + 1
// bytes, the last set to zero after what was read: the bytes read, or -1
// with the library's last error set (room may have been asked for).
template <typename Room>
long ReadWhole(const char* path, Room&& room) {
    CFile file;
    CFileException error;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone, &error)) {
        CPub::SetLastError(error.m_lOsError);
        return -1;
    }
    try {
        const uint64_t size = file.GetLength();
        if (size > 0x7FFFFFFF) {
            CPub::SetLastErrorText(CString(path) + ": file too large (over 2 GiB)");
            return -1;
        }
        unsigned char* block = room(static_cast<size_t>(size));
        if (block == nullptr) {
            CPub::SetLastError(ENOMEM);
            return -1;
        }
        const unsigned got = file.Read(block, static_cast<unsigned>(size));
        block[got] = 0;
        return static_cast<long>(got);
    } catch (const CFileException& e) {
        CPub::SetLastError(e.m_lOsError);
        return -1;
    }
}

// Exactly two digits.
bool ReadTwoDigits(const char*& p, int& value) {
    if (!std::isdigit(static_cast<unsigned char>(p[0])) || !std::isdigit(static_cast<unsigned char>(p[1])))
        return false;
    value = (p[0] - '0') * 10 + (p[1] - '0');
    p += 2;
    return true;
}

// The XML Schema zone after a time: "Z", or '+'/'-' hh:mm of at most 14:00.
// Nothing there is a local time; anything else that starts like one fails.
bool ReadZone(const char*& p, long& zone) {
    zone = CPub::kNoZone;
    if (*p == 'Z') {
        ++p;
        zone = 0;
        return true;
    }
    if (*p != '+' && *p != '-') return true;
    const bool west = *p++ == '-';
    int hours;
    int minutes;
    if (!ReadTwoDigits(p, hours) || *p++ != ':' || !ReadTwoDigits(p, minutes)) return false;
    if (minutes > 59 || hours > 14 || (hours == 14 && minutes > 0)) return false;
    zone = (west ? -1L : 1L) * (hours * 3600L + minutes * 60L);
    return true;
}

// Reads up to maxDigits decimal digits; false when there is none.
bool ReadNumber(const char*& p, int maxDigits, int& value) {
    int digits = 0;
    value = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        if (++digits > maxDigits) return false;
        value = value * 10 + (*p++ - '0');
    }
    return digits > 0;
}

}  // namespace

// --- files -----------------------------------------------------------------

int CPub::FileExists(const char* path) {
    struct stat st {};
    return path != nullptr && *path != '\0' && ::stat(codepage::SystemName(path), &st) == 0 &&
                   S_ISREG(st.st_mode)
               ? 1
               : 0;
}

CString CPub::AppendPath(const char* dir, const char* name) {
    CString left(dir);
    CString right(name);
    left.TrimRight('/');
    right.TrimLeft('/');
    if (left.IsEmpty() && dir != nullptr && *dir == '/') return "/" + right;
    if (left.IsEmpty()) return right;
    if (right.IsEmpty()) return left;
    return left + "/" + right;
}

int CPub::File2CString(CString& text, const char* path) {
    // Read straight into the string: through File2Mem the text took a
    // second block of its size and a copy (a tenth of reading a 1 MB WSDL).
    std::string read;
    const long got = ReadWhole(path, [&](size_t size) {
        read.resize(size + 1);
        return reinterpret_cast<unsigned char*>(read.data());
    });
    if (got < 0) return 0;
    read.resize(static_cast<size_t>(got));
    text.str() = std::move(read);
    return 1;
}

int CPub::File2Mem(unsigned char** bytes, const char* path, long* length) {
    *bytes = nullptr;
    *length = 0;
    unsigned char* block = nullptr;
    const long got = ReadWhole(path, [&](size_t size) {
        block = static_cast<unsigned char*>(std::malloc(size + 1));
        return block;
    });
    if (got < 0) {
        std::free(block);  // a read that failed midway gives its block back
        return 0;
    }
    *bytes = block;
    *length = got;
    return 1;
}

int CPub::Mem2File(const unsigned char* bytes, const char* path, long length) {
    CFile file;
    if (!OpenNewFile(file, path, 1)) return 0;
    try {
        if (bytes != nullptr && length > 0) file.Write(bytes, static_cast<unsigned>(length));
        file.Close();
        return 1;
    } catch (const CFileException& e) {
        SetLastError(e.m_lOsError);
        return 0;
    }
}

int CPub::OpenNewFile(CFile& file, const char* path, int /*mode*/) {
    CFileException error;
    if (file.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::shareDenyNone, &error)) return 1;
    SetLastError(error.m_lOsError);
    return 0;
}

long long CPub::GetFileTimeSize(const char* path, CString& sizeText, CString& timeText) {
    sizeText.Empty();
    timeText.Empty();
    struct stat st {};
    if (!StatFile(path, st)) return -1;
    sizeText.Format("%lld", static_cast<long long>(st.st_size));
    timeText = CTime2CString(st.st_mtime);
    return static_cast<long long>(st.st_size);
}

int CPub::CompareFileTimeSize(const char* a, const char* b, int bSize, int bTime) {
    struct stat sa {};
    struct stat sb {};
    const bool hasA = StatFile(a, sa);
    const bool hasB = StatFile(b, sb);
    if (!hasA || !hasB) return hasA == hasB ? 0 : (hasA ? 1 : -1);
    if (bTime && sa.st_mtime != sb.st_mtime) return sa.st_mtime < sb.st_mtime ? -1 : 1;
    if (bSize && sa.st_size != sb.st_size) return sa.st_size < sb.st_size ? -1 : 1;
    return 0;
}

int CPub::IsFileReadOnly(const char* path) {
    struct stat st {};
    return StatFile(path, st) && (st.st_mode & S_IWUSR) == 0 ? 1 : 0;
}

int CPub::SetFileReadOnly(const char* path, int on) {
    struct stat st {};
    if (!StatFile(path, st)) return 0;
    const mode_t mode =
        on ? (st.st_mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH)) : (st.st_mode | S_IWUSR);
    if (::chmod(codepage::SystemName(path), mode & 07777) != 0) {
        SetLastError(errno);
        return 0;
    }
    return 1;
}

int CPub::IsLZCompressedFile(const char* path) { return szdd::IsCompressed(path) ? 1 : 0; }

int CPub::LZCopyFile2Dir(const char* source, const char* dir, CString& out) {
    CString name;
    CString rest;
    parseFilename(source, name, rest);
    // "setup.ex_" was "setup.exe": the header keeps the character the '_' replaced.
    if (!name.IsEmpty() && name.GetAt(name.GetLength() - 1) == '_') {
        const char missing = szdd::MissingChar(source);
        if (missing != 0)
            name.SetAt(name.GetLength() - 1, missing);
        else
            name.Delete(name.GetLength() - 1);
    }
    const CString target = AppendPath(dir, name);
    CString error;
    if (!szdd::Expand(source, target, error)) {
        SetLastErrorText(error);
        return 0;
    }
    out = target;
    return 1;
}

void CPub::parseFilename(const char* path, CString& name, CString& rest) {
    const CString p(path);
    const int slash = p.ReverseFind('/');
    name = p.Mid(slash + 1);
    rest = slash >= 0 ? p.Left(slash) : CString();
}

// --- errors ----------------------------------------------------------------

CString CPub::GetLastError() {
    if (!t_lastErrorText.IsEmpty()) return t_lastErrorText;
    return CString(std::strerror(t_lastError));
}

void CPub::SetLastError(int osError) {
    t_lastError = osError;
    t_lastErrorText.Empty();
}

void CPub::SetLastErrorText(const CString& text) {
    t_lastErrorText = text.IsEmpty() ? CString("Unknown error") : text;
}

// --- strings ---------------------------------------------------------------

int CPub::FindNoCase(const char* text, const char* sub) {
    if (text == nullptr || sub == nullptr) return -1;
    const long pos =
        memmem(text, sub, 0, static_cast<long>(std::strlen(text)), static_cast<long>(std::strlen(sub)), 1);
    return static_cast<int>(pos);
}

CString CPub::GetLeft(const char* text, const char* sep, int bLast) {
    const CString t(text);
    const std::string& s = t.str();
    const size_t pos = bLast ? s.rfind(sep != nullptr ? sep : "") : s.find(sep != nullptr ? sep : "");
    if (sep == nullptr || *sep == '\0' || pos == std::string::npos) return t;
    return CString(s.substr(0, pos));
}

CString CPub::GetRight(const char* text, const char* sep, int bLast) {
    const CString t(text);
    if (sep == nullptr || *sep == '\0') return CString();
    const std::string& s = t.str();
    const size_t pos = bLast ? s.rfind(sep) : s.find(sep);
    if (pos == std::string::npos) return CString();
    return CString(s.substr(pos + std::strlen(sep)));
}

int CPub::CString2Array(CStringArray& array, const char* text, const char* sep, int bTrim) {
    array.RemoveAll();
    const std::string s = text != nullptr ? text : "";
    if (s.empty()) return 0;
    const std::string separator = sep != nullptr ? sep : "";
    size_t from = 0;
    for (;;) {
        const size_t pos = separator.empty() ? std::string::npos : s.find(separator, from);
        CString piece(s.substr(from, pos == std::string::npos ? std::string::npos : pos - from));
        if (bTrim) piece.Trim();
        array.Add(piece);
        if (pos == std::string::npos) break;
        from = pos + separator.size();
    }
    return array.GetSize();
}

int CPub::ArrayCompareNoCase(const CStringArray& array, const char* text, int bPrefix) {
    const CString t(text);
    for (int i = 0; i < array.GetSize(); ++i) {
        const CString& entry = array.GetAt(i);
        if (bPrefix ? FindNoCase(t, entry) == 0 : entry.CompareNoCase(t) == 0) return i;
    }
    return -1;
}

long CPub::memmem(const void* buf, const void* find, long start, long length, long findLength, int flag) {
    if (buf == nullptr || find == nullptr || start < 0 || findLength <= 0 || length < findLength) return -1;
    const auto* b = static_cast<const char*>(buf);
    const auto* f = static_cast<const char*>(find);
    if (!flag) {
        if (start > length - findLength) return -1;
        const void* hit =
            ::memmem(b + start, static_cast<size_t>(length - start), f, static_cast<size_t>(findLength));
        return hit == nullptr ? -1 : static_cast<const char*>(hit) - b;
    }
    const size_t hit = codepage::FindNoCase(b, static_cast<size_t>(length), f,
                                            static_cast<size_t>(findLength), static_cast<size_t>(start));
    return hit == std::string::npos ? -1 : static_cast<long>(hit);
}

// --- time ------------------------------------------------------------------

CString CPub::CTime2CString(time_t time) {
    struct tm t {};
    CString text;
    if (!clocks::LocalTime(time, t)) return text;
    text.Format("%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                t.tm_min, t.tm_sec);
    return text;
}

int CPub::CString2TimeFields(const char* text, struct tm& fields, long* zone) {
    if (text == nullptr) return 0;
    long offset = kNoZone;
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    int year;
    int month;
    int day;
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!ReadNumber(p, 4, year)) return 0;
    const char sep = *p;
    if (sep != '-' && sep != '/' && sep != '.') return 0;
    ++p;
    if (!ReadNumber(p, 2, month) || *p != sep) return 0;
    ++p;
    if (!ReadNumber(p, 2, day)) return 0;
    if (*p == 'T' || *p == ' ') {
        const char* q = p + 1;
        while (*q == ' ') ++q;
        if (std::isdigit(static_cast<unsigned char>(*q))) {
            p = q;
            if (!ReadNumber(p, 2, hour) || *p++ != ':' || !ReadNumber(p, 2, minute)) return 0;
            if (*p == ':') {
                ++p;
                if (!ReadNumber(p, 2, second)) return 0;
                if (*p == '.' || *p == ',') {
                    ++p;
                    if (!std::isdigit(static_cast<unsigned char>(*p))) return 0;
                    while (std::isdigit(static_cast<unsigned char>(*p))) ++p;  // below one second
                }
            }
            if (!ReadZone(p, offset) || (offset != kNoZone && zone == nullptr)) return 0;
        }
    }
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    if (*p != '\0') return 0;
    if (zone != nullptr) *zone = offset;
    fields = clocks::Fields(year, month, day, hour, minute, second);
    return 1;
}

int CPub::CString2CTime(const char* text, time_t& out) {
    struct tm f {};
    long zone = kNoZone;
    if (!CString2TimeFields(text, f, &zone)) return 0;
    if (zone == kNoZone)
        return clocks::MakeLocal(f.tm_year + 1900, f.tm_mon + 1, f.tm_mday, f.tm_hour, f.tm_min, f.tm_sec,
                                 out)
                   ? 1
                   : 0;
    time_t utc = 0;
    if (!clocks::MakeUtc(f.tm_year + 1900, f.tm_mon + 1, f.tm_mday, f.tm_hour, f.tm_min, f.tm_sec, utc))
        return 0;
    // A zone may carry the time past the years a time text can hold, 1 to
    // 9999 ("9999-12-31 23:59:06-03:15" is in the year 10000 here,
    // "0001-01-01 03:06:00+03:15" in the year 0): refused, as CTime2CString
    // could not write it back.
    struct tm local {};
    if (!clocks::LocalTime(utc - zone, local) || local.tm_year + 1900 < 1 || local.tm_year + 1900 > 9999)
        return 0;
    out = utc - zone;
    return 1;
}

time_t CPub::CString2CTime(const char* text) {
    time_t t = 0;
    return CString2CTime(text, t) ? t : 0;
}

CString CPub::Variant2CString(const CVariant& value) {
    return value.m_kind == CVariant::kString ? value.m_value : CString();
}
