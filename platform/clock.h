// Time for Kestrova: "now", and local calendar fields for 64-bit time values
// (seconds since 1970, UTC) and back, in both builds, including the 32-bit
// Windows one. Code that decides by the time takes a Clock, so tests can set
// "now" and move it instead of waiting.
#pragma once

#include <cstdint>
#include <string>

namespace kestrova {

struct LocalTime {
    int year = 1970;  // e.g. 2001
    int month = 1;    // 1..12
    int day = 1;      // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 4;  // 0 Sunday .. 6 Saturday

    friend bool operator==(const LocalTime&, const LocalTime&) = default;
};

class Clock {
public:
    virtual ~Clock() = default;

    // The current time.
    virtual std::int64_t Now() const = 0;
    // Seconds on a clock that nobody sets: it only runs on, through a sleep
    // of the machine too. A change of Now() it does not share is a change
    // of the clock.
    virtual std::int64_t Steady() const = 0;
    // The local calendar fields of t (as localtime gives them). A time that
    // cannot be represented gives 1970-01-01 00:00:00.
    virtual LocalTime ToLocal(std::int64_t t) const = 0;
    // A local date and clock time back to a time value, out-of-range fields
    // normalised as mktime does (day 32 rolls into the next month). -1 when
    // the result cannot be represented.
    virtual std::int64_t FromLocal(int year, int month, int day, int hour, int minute, int second) const = 0;
};

// The number of a local calendar day (days since 1970-01-01): days between
// two dates whatever the clock times.
std::int64_t DayNumber(const LocalTime& day);

// "2001/05/12 21:00:00", the date parts joined by `dateSeparator`.
std::string DateTimeText(const LocalTime& t, char dateSeparator);

// The system's clock in the system's time zone (the C library's time,
// localtime and mktime, 64-bit in both builds).
class SystemClock final : public Clock {
public:
    std::int64_t Now() const override;
    std::int64_t Steady() const override;
    LocalTime ToLocal(std::int64_t t) const override;
    std::int64_t FromLocal(int year, int month, int day, int hour, int minute, int second) const override;
};

// A clock that stands still until it is set or advanced, in a time zone of a
// fixed offset from UTC without summer time (Japan's by default).
class ManualClock final : public Clock {
public:
    explicit ManualClock(std::int64_t now = 0, std::int32_t utcOffsetSeconds = 9 * 3600)
        : now_(now), offset_(utcOffsetSeconds) {}

    // Time passes (to `now`, or by `seconds`): both clocks move on.
    void Set(std::int64_t now) {
        steady_ += now - now_;
        now_ = now;
    }
    void Advance(std::int64_t seconds) {
        now_ += seconds;
        steady_ += seconds;
    }
    // The clock is set to `now`; no time passes.
    void Jump(std::int64_t now) { now_ = now; }

    std::int64_t Now() const override { return now_; }
    std::int64_t Steady() const override { return steady_; }
    LocalTime ToLocal(std::int64_t t) const override;
    std::int64_t FromLocal(int year, int month, int day, int hour, int minute, int second) const override;

private:
    std::int64_t now_;
    std::int64_t steady_ = 0;
    std::int32_t offset_;
};

}  // namespace kestrova
