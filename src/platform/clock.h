// Time helpers: a monotonic millisecond tick, sleeping, and calendar
// breakdowns that never touch shared static buffers.
#ifndef ORVEX_PLATFORM_CLOCK_H
#define ORVEX_PLATFORM_CLOCK_H

#include <cstdint>
#include <ctime>

namespace clocks {

// Milliseconds from an arbitrary start; wraps like a 32-bit tick count.
uint32_t TickCount();
void SleepMs(unsigned milliseconds);

// Breakdowns; false when the value cannot be represented.
bool LocalTime(time_t t, struct tm& out);
bool UtcTime(time_t t, struct tm& out);
// A real calendar date of the years 1-9999 and a time of day (no leap second).
bool FieldsValid(int year, int month, int day, int hour, int minute, int second);
// Calendar fields (1-based month) as a breakdown, unchecked, with daylight
// saving left for the zone to decide (tm_isdst -1).
inline struct tm Fields(int year, int month, int day, int hour, int minute, int second) {
    struct tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return t;
}
// Calendar fields (1-based month) to a time value; the first reads them as
// local time (daylight saving decided by the zone), the second as UTC.
// False when a field is out of range or the result does not fit.
bool MakeLocal(int year, int month, int day, int hour, int minute, int second, time_t& out);
bool MakeUtc(int year, int month, int day, int hour, int minute, int second, time_t& out);
// Milliseconds of the current second of the wall clock.
int CurrentMilliseconds();

}  // namespace clocks

#endif
