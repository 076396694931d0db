#include "platform/clock.h"

#include <cstdio>

namespace kestrova {

namespace {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); }

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12).
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = FloorDiv(year, 400);
    const std::int64_t yearOfEra = year - era * 400;
    const int shiftedMonth = month > 2 ? month - 3 : month + 9;
    const std::int64_t dayOfYear = (153 * shiftedMonth + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

}  // namespace

std::int64_t DayNumber(const LocalTime& day) { return DaysFromCivil(day.year, day.month, day.day); }

std::string DateTimeText(const LocalTime& t, char dateSeparator) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d%c%02d%c%02d %02d:%02d:%02d", t.year, dateSeparator, t.month, dateSeparator,
                  t.day, t.hour, t.minute, t.second);
    return text;
}

LocalTime ManualClock::ToLocal(std::int64_t t) const {
    const std::int64_t local = t + offset_;
    const std::int64_t days = FloorDiv(local, 86400);
    const std::int64_t secondOfDay = local - days * 86400;
    // The civil date of a day count (the inverse of DaysFromCivil).
    const std::int64_t z = days + 719468;
    const std::int64_t era = FloorDiv(z, 146097);
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const auto day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const auto month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    const auto year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    const auto weekday = static_cast<int>(days - FloorDiv(days + 4, 7) * 7 + 4);  // 1970-01-01 was a Thursday
    return LocalTime{year,
                     month,
                     day,
                     static_cast<int>(secondOfDay / 3600),
                     static_cast<int>(secondOfDay / 60 % 60),
                     static_cast<int>(secondOfDay % 60),
                     weekday};
}

std::int64_t ManualClock::FromLocal(int year, int month, int day, int hour, int minute, int second) const {
    // Months beyond 1..12 move the year, as mktime does; the other fields
    // simply add up.
    const std::int64_t monthIndex = static_cast<std::int64_t>(month) - 1;
    const std::int64_t fullYear = year + FloorDiv(monthIndex, 12);
    const auto normalMonth = static_cast<int>(monthIndex - FloorDiv(monthIndex, 12) * 12 + 1);
    const std::int64_t days = DaysFromCivil(fullYear, normalMonth, 1) + day - 1;
    return days * 86400 + static_cast<std::int64_t>(hour) * 3600 + static_cast<std::int64_t>(minute) * 60 + second -
           offset_;
}

}  // namespace kestrova
