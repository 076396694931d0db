// Local calendar time for 64-bit time values (seconds since 1970, UTC), in
// both builds, including the 32-bit Windows one.
#pragma once

#include <cstdint>

namespace kestrova {

struct LocalTime {
    int year = 1970;  // e.g. 2001
    int month = 1;    // 1..12
    int day = 1;      // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 4;  // 0 Sunday .. 6 Saturday
};

// The local calendar fields of t (as localtime gives them). A time the C
// library cannot represent gives 1970-01-01 00:00:00.
LocalTime ToLocalTime(std::int64_t t);

// A local date and clock time back to a time value, out-of-range fields
// normalised as mktime does (day 32 rolls into the next month). -1 when the
// result cannot be represented.
std::int64_t FromLocalTime(int year, int month, int day, int hour, int minute, int second);

// The current time.
std::int64_t Now();

}  // namespace kestrova
