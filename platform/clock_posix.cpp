#include "platform/clock.h"

#include <chrono>
#include <ctime>

namespace kestrova {

static_assert(sizeof(std::time_t) == 8, "Kestrova needs a 64-bit time_t");

LocalTime SystemClock::ToLocal(std::int64_t t) const {
    std::time_t value = static_cast<std::time_t>(t);
    std::tm tm{};
    if (localtime_r(&value, &tm) == nullptr) return LocalTime{};
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_wday};
}

std::int64_t SystemClock::FromLocal(int year, int month, int day, int hour, int minute, int second) const {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

std::int64_t SystemClock::Now() const { return static_cast<std::int64_t>(std::time(nullptr)); }

std::int64_t SystemClock::Steady() const {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace kestrova
