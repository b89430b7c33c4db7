#include "recordset/value_text.h"

#include "platform/clock.h"
#include "support/pub.h"
#include "support/string_builder.h"

#include <cctype>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale.h>

#if defined(__SSE2__) && !defined(ORVEX_PORTABLE)
#include <emmintrin.h>
#endif

namespace valuetext {
namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (month <= 2));
}

long long FloorDiv(long long a, long long b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// A time value broken down as UTC without the C library's zone lock.
void UtcFields(time_t t, int f[6], CLocalTimeCache* cache = nullptr) {
    const long long days = FloorDiv(static_cast<long long>(t), 86400);
    const long long secs = static_cast<long long>(t) - days * 86400;
    if (cache != nullptr)
        cache->DateOfDay(days, f[0], f[1], f[2]);
    else
        CivilFromDays(days, f[0], f[1], f[2]);
    f[3] = static_cast<int>(secs / 3600);
    f[4] = static_cast<int>(secs / 60 % 60);
    f[5] = static_cast<int>(secs % 60);
}

bool InYearWindow(int year) { return year > 1970 && year < 2039; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int Digits(const char* p, int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) v = v * 10 + (p[i] - '0');
    return v;
}

// "YYYY-MM-DD hh:mm:ss" (or with 'T', '/' or '.'), the form nearly every
// host writes, in the window of years, read without the general parser; it
// gives exactly the fields CString2TimeFields gives for it.
bool ReadPlainForm(const std::string& v, struct tm& f) {
    if (v.size() != 19) return false;
    const char* p = v.data();
    const char sep = p[4];
    if ((sep != '-' && sep != '/' && sep != '.') || p[7] != sep || (p[10] != ' ' && p[10] != 'T') ||
        p[13] != ':' || p[16] != ':')
        return false;
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18})
        if (!IsDigit(p[i])) return false;
    const int year = Digits(p, 4);
    if (!InYearWindow(year)) return false;
    f = clocks::Fields(year, Digits(p + 5, 2), Digits(p + 8, 2), Digits(p + 11, 2), Digits(p + 14, 2),
                       Digits(p + 17, 2));
    return true;
}

// Fields written in a zone `offset` seconds east of UTC, by arithmetic alone.
bool ZonedToTime(const struct tm& f, long offset, time_t& out) {
    const int year = f.tm_year + 1900;
    const int month = f.tm_mon + 1;
    if (!clocks::FieldsValid(year, month, f.tm_mday, f.tm_hour, f.tm_min, f.tm_sec)) return false;
    const long long days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(f.tm_mday));
    out = static_cast<time_t>(days * 86400 + f.tm_hour * 3600 + f.tm_min * 60 + f.tm_sec - offset);
    return true;
}

// The entity of each character that needs one, by byte value.
struct EntityTable {
    char m_entity[256][8] = {};
    unsigned char m_length[256] = {};
    constexpr EntityTable() {
        Set('&', "&amp;");
        Set('<', "&lt;");
        Set('>', "&gt;");
        Set('"', "&quot;");
        Set('\'', "&apos;");
    }
    constexpr void Set(char c, const char* entity) {
        const auto at = static_cast<unsigned char>(c);
        unsigned char n = 0;
        for (; entity[n] != '\0'; ++n) m_entity[at][n] = entity[n];
        m_length[at] = n;
    }
};

constexpr EntityTable kEntities;

// The length of the leading run that needs no entity.
inline size_t PlainRun(const unsigned char* text, size_t length) {
    size_t i = 0;
    while (i < length && kEntities.m_length[text[i]] == 0) ++i;
    return i;
}

#if defined(__SSE2__) && !defined(ORVEX_PORTABLE)
// A bit for each of the sixteen bytes that needs an entity: & and ' differ in
// their lowest bit, < and > in the next.
inline unsigned EntityMask(__m128i v) {
    const __m128i ampApos = _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(0x01)), _mm_set1_epi8('\''));
    const __m128i ltGt = _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(0x02)), _mm_set1_epi8('>'));
    const __m128i quot = _mm_cmpeq_epi8(v, _mm_set1_epi8('"'));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(ampApos, ltGt), quot)));
}
#endif

void Put2(char*& p, int v) {
    *p++ = static_cast<char>('0' + v / 10);
    *p++ = static_cast<char>('0' + v % 10);
}

}  // namespace

int ReadInt(const char* text, size_t maxLength) {
    if (text == nullptr) return 0;
    const char* p = text;
    const char* end = maxLength < static_cast<size_t>(-1) ? text + maxLength : nullptr;
    const auto more = [&] { return end == nullptr || p < end; };
    while (more() && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) ++p;
    bool negative = false;
    if (more() && (*p == '+' || *p == '-')) negative = *p++ == '-';
    long long value = 0;
    while (more() && *p >= '0' && *p <= '9') {
        if (value <= static_cast<long long>(INT_MAX) + 1) value = value * 10 + (*p - '0');
        ++p;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

double ReadDouble(const char* text) {
    if (text == nullptr) return 0.0;
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (cLocale == static_cast<locale_t>(nullptr)) return std::strtod(text, nullptr);
    return strtod_l(text, nullptr, cLocale);
}

bool PassesYearTest(const char* text, size_t length) { return length < 4 || InYearWindow(ReadInt(text, 4)); }

bool IsTrue(const char* text) {
    if (text == nullptr) return false;
    // Most texts ("0", "1", "false") hold no t in either case, so hold no "true" either.
    for (const char* p = text; *p != '\0'; ++p)
        if ((*p | 0x20) == 't') return CPub::FindNoCase(text, "true") >= 0 || ReadInt(text) != 0;
    return ReadInt(text) != 0;
}

CLocalTimeCache::CLocalTimeCache() {
    // mktime reads the zone again on each call, localtime_r does not; start
    // both from the zone of now.
    tzset();
    for (Day& d : m_days) d = Day{LLONG_MIN, 0, false};
}

void CLocalTimeCache::DateOfDay(long long dayNumber, int& year, int& month, int& day) {
    if (dayNumber != m_lastDay) {
        CivilFromDays(dayNumber, m_lastDate[0], m_lastDate[1], m_lastDate[2]);
        m_lastDay = dayNumber;
    }
    year = m_lastDate[0];
    month = m_lastDate[1];
    day = m_lastDate[2];
}

void CLocalTimeCache::Fill(Day& day, long long dayNumber) {
    day.m_number = dayNumber;
    day.m_plain = false;
    // Every local time of the day lies within a day of its UTC midnight
    // (offsets stay within 26 hours), so one offset from the day before to
    // two days after, checked daily, covers it whole.
    long long offset = 0;
    for (int k = -1; k <= 2; ++k) {
        const time_t t = static_cast<time_t>((dayNumber + k) * 86400);
        struct tm local {};
        if (!clocks::LocalTime(t, local)) return;
        int f[6];
        UtcFields(static_cast<time_t>(t + local.tm_gmtoff), f);
        // Zones that count leap seconds break this arithmetic: leave them to mktime.
        if (f[0] != local.tm_year + 1900 || f[1] != local.tm_mon + 1 || f[2] != local.tm_mday ||
            f[3] != local.tm_hour || f[4] != local.tm_min || f[5] != local.tm_sec)
            return;
        if (k > -1 && local.tm_gmtoff != offset) return;
        offset = local.tm_gmtoff;
    }
    day.m_offset = offset;
    day.m_plain = true;
}

bool CLocalTimeCache::ToTime(const struct tm& local, time_t& out) {
    const int year = local.tm_year + 1900;
    const int month = local.tm_mon + 1;
    if (!clocks::FieldsValid(year, month, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec))
        return false;
    const long long dayNumber =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(local.tm_mday));
    Day& day = m_days[static_cast<unsigned long long>(dayNumber) % 64];
    if (day.m_number != dayNumber) Fill(day, dayNumber);
    if (!day.m_plain)
        return clocks::MakeLocal(year, month, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, out);
    const long long seconds = dayNumber * 86400 + local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    out = static_cast<time_t>(seconds - day.m_offset);
    return true;
}

bool CLocalTimeCache::EncodeSameDay(const std::string& value, char* out) const {
    if (!m_haveSameDay || value.size() != 19) return false;
    const char* p = value.data();
    if (std::memcmp(p, m_sameDay, 10) != 0 || (p[10] != ' ' && p[10] != 'T') || p[13] != ':' || p[16] != ':')
        return false;
    for (int i : {11, 12, 14, 15, 17, 18})
        if (!IsDigit(p[i])) return false;
    const int hour = Digits(p + 11, 2);
    const int minute = Digits(p + 14, 2);
    const int second = Digits(p + 17, 2);
    if (hour > 23 || minute > 59 || second > 59) return false;
    long long utc = hour * 3600 + minute * 60 + second - m_sameDayOffset;
    int date = 1;
    if (utc < 0) {
        utc += 86400;
        date = 0;
    } else if (utc >= 86400) {
        utc -= 86400;
        date = 2;
    }
    if (utc < 0 || utc >= 86400) return false;
    std::memcpy(out, m_utcDates[date], 10);
    char* q = out + 10;
    *q++ = 'T';
    Put2(q, static_cast<int>(utc / 3600));
    *q++ = ':';
    Put2(q, static_cast<int>(utc / 60 % 60));
    *q++ = ':';
    Put2(q, static_cast<int>(utc % 60));
    std::memcpy(q, ".0Z", 3);
    return true;
}

void CLocalTimeCache::RememberDay(const std::string& value, const struct tm& local) {
    m_haveSameDay = false;
    const long long dayNumber = DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                              static_cast<unsigned>(local.tm_mday));
    const Day& day = m_days[static_cast<unsigned long long>(dayNumber) % 64];
    if (value.size() != 19 || day.m_number != dayNumber || !day.m_plain) return;
    std::memcpy(m_sameDay, value.data(), 10);
    m_sameDayOffset = day.m_offset;
    for (int k = 0; k < 3; ++k) {
        int f[3];
        CivilFromDays(dayNumber - 1 + k, f[0], f[1], f[2]);
        char* p = m_utcDates[k];
        Put2(p, f[0] / 100);
        Put2(p, f[0] % 100);
        *p++ = '-';
        Put2(p, f[1]);
        *p++ = '-';
        Put2(p, f[2]);
    }
    m_haveSameDay = true;
}

size_t EncodeDatetime(const std::string& value, char* out, CLocalTimeCache* cache) {
    static const char kNoValue[] = "0001-01-01T00:00:00.0Z";
    if (cache != nullptr && cache->EncodeSameDay(value, out)) return sizeof kNoValue - 1;
    struct tm local {};
    time_t t = 0;
    long zone = CPub::kNoZone;
    const bool plainForm = ReadPlainForm(value, local);
    bool ok = plainForm || (!value.empty() && PassesYearTest(value.c_str(), value.size()) &&
                            CPub::CString2TimeFields(value.c_str(), local, &zone));
    if (ok && zone != CPub::kNoZone) {
        // A value that names its zone (one read from a response, say) is that instant.
        ok = ZonedToTime(local, zone, t);
    } else if (ok && cache != nullptr) {
        ok = cache->ToTime(local, t);
        if (ok && plainForm) cache->RememberDay(value, local);
    } else if (ok) {
        ok = clocks::MakeLocal(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                               local.tm_min, local.tm_sec, t);
    }
    if (!ok) {
        std::memcpy(out, kNoValue, sizeof kNoValue - 1);
        return sizeof kNoValue - 1;
    }
    int f[6];
    UtcFields(t, f, cache);
    // The year window, on the text's year, keeps the UTC year within 1970-2039
    // (zones reach 14 hours either way): four digits.
    char* p = out;
    Put2(p, f[0] / 100);
    Put2(p, f[0] % 100);
    *p++ = '-';
    Put2(p, f[1]);
    *p++ = '-';
    Put2(p, f[2]);
    *p++ = 'T';
    Put2(p, f[3]);
    *p++ = ':';
    Put2(p, f[4]);
    *p++ = ':';
    Put2(p, f[5]);
    for (const char* tail = ".0Z"; *tail != '\0'; ++tail) *p++ = *tail;
    return static_cast<size_t>(p - out);
}

void EncodeDatetime(CString& value, CLocalTimeCache* cache) {
    char text[kDatetimeWire];
    const size_t length = EncodeDatetime(value.str(), text, cache);
    value = CString(text, static_cast<int>(length));
}

size_t EscapeXml(const char* text, size_t length, char* out) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    char* p = out;
    size_t i = 0;
    while (i < length) {
#if defined(__SSE2__) && !defined(ORVEX_PORTABLE)
        if (length - i >= 16) {
            // Sixteen bytes checked and copied at once: a run without entities costs a load and a
            // store. A store past the run stays within the text, whose next sixteen bytes or more
            // stand for these sixteen characters. The 100,000 x 6 table's XML (bench_recordset
            // BM_ToXml_DotNet): about 0.9x the time of the byte loop of a portable build.
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            const unsigned mask = EntityMask(v);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
            if (mask == 0) {
                i += 16;
                p += 16;
                continue;
            }
            const unsigned run = static_cast<unsigned>(__builtin_ctz(mask));
            i += run;
            p += run;
        } else
#endif
        {
            const size_t run = PlainRun(s + i, length - i);
            if (run <= 16)
                CStringBuilder::CopyShort(p, text + i, run);
            else
                std::memcpy(p, text + i, run);
            p += run;
            i += run;
            if (i == length) break;
        }
        const unsigned char c = s[i++];
        CStringBuilder::CopyShort(p, kEntities.m_entity[c], kEntities.m_length[c]);
        p += kEntities.m_length[c];
    }
    return static_cast<size_t>(p - out);
}

void AppendEscapedXml(CStringBuilder& out, const char* text, size_t length) {
    constexpr size_t kPiece = 16384;
    for (size_t at = 0; at < length; at += kPiece) {
        const size_t piece = length - at < kPiece ? length - at : kPiece;
        out.Commit(EscapeXml(text + at, piece, out.Room(6 * piece)));
    }
}

size_t EscapeXmlGrowth(const char* text, size_t length) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    size_t growth = 0;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char n = kEntities.m_length[s[i]];
        if (n != 0) growth += n - 1U;
    }
    return growth;
}

void ReadXmlDatetime(const CString& text, CString& datetime, CString& date, CString& time) {
    datetime.Empty();
    date.Empty();
    time.Empty();
    if (text.IsEmpty()) return;
    // Both ends: XML Schema collapses the white space around a date-time,
    // and a blank after the "Z" must not hide it.
    CString value(text);
    value.Trim();
    const bool negative = !value.IsEmpty() && value.GetAt(0) == '-';
    const int t = value.Find('T');
    if (t < 8) return;
    const int from = negative ? 1 : 0;
    CString datePart = value.Mid(from, t - from);
    CString timePart = value.Mid(t + 1);
    bool utc = false;
    if (!timePart.IsEmpty() && timePart.GetAt(timePart.GetLength() - 1) == 'Z') {
        timePart = timePart.Left(timePart.GetLength() - 1);
        utc = true;
    }
    // The zone offset is dropped without conversion.
    const int zone = timePart.FindOneOf("+-");
    if (zone >= 0) timePart = timePart.Left(zone);
    const int dot = timePart.Find('.');
    if (dot >= 1 && timePart.GetLength() - dot - 1 > 6) timePart = timePart.Left(dot + 7);
    if (!InYearWindow(ReadInt(datePart.Left(4)))) return;
    if (!utc) {
        datetime = datePart + " " + timePart;
        date = datePart;
        time = timePart;
        return;
    }
    // A UTC value comes back in local time, in the support library's form.
    struct tm f {};
    time_t when = 0;
    const CString joined = datePart + " " + timePart;
    if (!CPub::CString2TimeFields(joined, f) ||
        !clocks::MakeUtc(f.tm_year + 1900, f.tm_mon + 1, f.tm_mday, f.tm_hour, f.tm_min, f.tm_sec, when))
        return;
    const CString local = CPub::CTime2CString(when);
    if (local.IsEmpty()) return;
    datetime = local;
    date = CPub::GetLeft(local, " ");
    time = CPub::GetRight(local, " ");
}

}  // namespace valuetext
