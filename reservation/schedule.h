// Which reservation comes next, when it is due, how long it records, what
// the status bar and the title say about it, and the name its recording
// gets. Everything takes the clock, so tests set "now".
#pragma once

#include "capture/capture_device.h"
#include "platform/clock.h"
#include "reservation/reservation.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kestrova {

// The next start of a weekly reservation at start's local clock time on one
// of the weekdays (bit 0 Sunday .. bit 6 Saturday) that is not in the past:
// today counts while its time has not passed (the current second included).
// 0 when no weekday bit is set.
std::int64_t NextWeeklyOccurrence(const Clock& clock, std::int32_t weekdays, std::int64_t start);

// The used slot whose start comes first and has not passed (equal starts:
// the lower slot), or -1. Weekly slots are first moved to their next
// occurrence (start and end, in the table).
int SelectNextReservation(const Clock& clock, ReservationTable& table);

bool IsReservationDue(const Clock& clock, const ReservationEntry& entry);

// The recording length from the times of day of start and end: e - s, or
// e - s + 86400 when the end is not later in the day (equal: a whole day).
std::int32_t ReservationLength(const Clock& clock, const ReservationEntry& entry);

// "TIMER : 2001/ 5/12 21:00:00" or "TIMER : 毎週,月,水 21:00:00", with
// " [PWR OFF]" for a reservation that switches the machine off.
std::string TimerStatusText(const Clock& clock, const ReservationEntry& entry);

// "<main title>(次回ﾀｲﾏｰ予定日:2001/ 5/12)"
std::string TimerTitle(std::string_view mainTitle, const Clock& clock, const ReservationEntry& entry);

// "05-12(21時00分00秒).avi" from the local start.
std::string DatedRecordingName(const Clock& clock, std::int64_t start);

// Where a scheduled recording goes in `directory`: its dated name, or, when
// that (or for `parts` > 1 any of its "_NN" part names) exists already, the
// first free "…(2).avi", "…(3).avi" … — an earlier recording is never
// replaced, and the suffix cannot be taken for a part number.
std::string FreeRecordingPath(std::string_view directory, std::string_view datedName, std::size_t parts,
                              const std::function<bool(const std::string&)>& exists);


}  // namespace kestrova
