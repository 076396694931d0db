#include "platform/clock.h"

#include <windows.h>

#include <ctime>

namespace kestrova {

// The 32-bit runtime would use 32-bit times unless told otherwise (see the
// build's __MINGW_USE_VC2005_COMPAT); the explicit 64-bit calls make sure.
static_assert(sizeof(std::time_t) == 8, "Kestrova needs a 64-bit time_t");

LocalTime SystemClock::ToLocal(std::int64_t t) const {
    __time64_t value = static_cast<__time64_t>(t);
    std::tm tm{};
    if (_localtime64_s(&tm, &value) != 0) return LocalTime{};
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
    return static_cast<std::int64_t>(_mktime64(&tm));
}

std::int64_t SystemClock::Now() const { return static_cast<std::int64_t>(_time64(nullptr)); }

// The seconds since the machine started, counted through its sleeps.
std::int64_t SystemClock::Steady() const { return static_cast<std::int64_t>(GetTickCount64() / 1000); }

}  // namespace kestrova
