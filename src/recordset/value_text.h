// Reading and writing the value texts of cells and parameters: numbers read
// the same in every locale, date-times between local text and the wire form.
#ifndef ORVEX_RECORDSET_VALUE_TEXT_H
#define ORVEX_RECORDSET_VALUE_TEXT_H

#include <orvex/cstring.h>

#include <cstddef>
#include <ctime>
#include <string>

class CStringBuilder;

namespace valuetext {

// The leading integer as atoi reads it (blanks, sign, digits), held at the
// int limits instead of overflowing; at most maxLength characters are read.
int ReadInt(const char* text, size_t maxLength = static_cast<size_t>(-1));
// The leading number as atof reads it, always with '.' as the decimal point.
double ReadDouble(const char* text);

// The year test of dates and date-times: a text of four characters or more
// passes when its first four read as a year from 1971 to 2038.
bool PassesYearTest(const char* text, size_t length);
inline bool PassesYearTest(const CString& value) {
    return PassesYearTest(value.GetString(), static_cast<size_t>(value.GetLength()));
}

// The boolean rule: "true" in any case anywhere, or a nonzero leading integer.
bool IsTrue(const char* text);

// Local date-times to time values, as mktime gives them. Within one run of a
// writer the zone stays put, so whole days without a zone change are
// remembered and most values cost a little arithmetic instead of mktime.
class CLocalTimeCache {
public:
    CLocalTimeCache();
    // False when the fields are no real date-time.
    bool ToTime(const struct tm& local, time_t& out);
    // The calendar date of a day number (days from 1970-01-01); the last one is kept.
    void DateOfDay(long long dayNumber, int& year, int& month, int& day);
    // The wire form of a "YYYY-MM-DD hh:mm:ss" value of the day last
    // remembered, by a little arithmetic on its time (rows written together
    // mostly share their day); false for another day or another form.
    bool EncodeSameDay(const std::string& value, char* out) const;
    // Remembers the day of such a value just read into local, unless a zone change lies near it.
    void RememberDay(const std::string& value, const struct tm& local);

private:
    struct Day {
        long long m_number;
        long long m_offset;  // seconds east of UTC, when m_plain
        bool m_plain;        // no zone change near the day
    };
    void Fill(Day& day, long long dayNumber);
    Day m_days[64];
    long long m_lastDay = -1;
    int m_lastDate[3] = {1970, 1, 1};
    bool m_haveSameDay = false;
    char m_sameDay[10] = {};        // the value's date as written, separators included
    long long m_sameDayOffset = 0;  // seconds east of UTC all day long
    char m_utcDates[3][10] = {};    // in UTC, the day before, the day itself and the day after
};

// value, a local date-time text or one that names its zone ("Z", "+hh:mm"),
// in the wire form "YYYY-MM-DDThh:mm:ss.0Z": the instant, in UTC.
// "0001-01-01T00:00:00.0Z" when it is empty, outside the years 1971-2038 or
// no date-time. cache may be null; a zoned value needs none of the local
// zone it keeps.
void EncodeDatetime(CString& value, CLocalTimeCache* cache);
// The same into out, which has room for kDatetimeWire bytes; returns the length.
constexpr size_t kDatetimeWire = 32;
size_t EncodeDatetime(const std::string& value, char* out, CLocalTimeCache* cache);

// The five entity replacements of string values (& < > " '), with the runs
// between them copied whole. out has room for the result (6 * length bytes
// always do); returns the bytes written.
size_t EscapeXml(const char* text, size_t length, char* out);
// The bytes EscapeXml adds to text; 0 when it has nothing to replace.
size_t EscapeXmlGrowth(const char* text, size_t length);
// EscapeXml appended to out, piece by piece so that the room asked for stays
// near what is written.
void AppendEscapedXml(CStringBuilder& out, const char* text, size_t length);

// An XML Schema date-time text (the cell of a dateTime column) as
// "date time", date and time; a "Z" value is moved to local time. All three
// stay empty when the text holds no value.
void ReadXmlDatetime(const CString& text, CString& datetime, CString& date, CString& time);

}  // namespace valuetext

#endif
