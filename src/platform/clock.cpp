#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace clocks {

bool FieldsValid(int year, int month, int day, int hour, int minute, int second) {
    static const int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    if (day > kDays[month - 1]) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && day == 29 && !leap) return false;
    return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

uint32_t TickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void SleepMs(unsigned milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

bool LocalTime(time_t t, struct tm& out) { return localtime_r(&t, &out) != nullptr; }
bool UtcTime(time_t t, struct tm& out) { return gmtime_r(&t, &out) != nullptr; }

bool MakeLocal(int year, int month, int day, int hour, int minute, int second, time_t& out) {
    if (!FieldsValid(year, month, day, hour, minute, second)) return false;
    struct tm t = Fields(year, month, day, hour, minute, second);
    const time_t r = mktime(&t);
    if (r == static_cast<time_t>(-1)) {
        // -1 is also the last second of 1969 in zones at UTC; tell them apart.
        struct tm back {};
        if (localtime_r(&r, &back) == nullptr || back.tm_year != year - 1900 || back.tm_mday != day ||
            back.tm_hour != hour || back.tm_min != minute || back.tm_sec != second)
            return false;
    }
    out = r;
    return true;
}

bool MakeUtc(int year, int month, int day, int hour, int minute, int second, time_t& out) {
    if (!FieldsValid(year, month, day, hour, minute, second)) return false;
    struct tm t = Fields(year, month, day, hour, minute, second);
    out = timegm(&t);
    return true;
}

int CurrentMilliseconds() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count() % 1000);
}

}  // namespace clocks
