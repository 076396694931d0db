// Which reservation comes next, when it is due, how long it records, what
// the status bar and the title say about it, and the name its recording
// gets. Everything takes the clock, so tests set "now".
#pragma once

#include "capture/capture_device.h"
#include "platform/clock.h"
#include "reservation/reservation.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrova {

// The recording length from the times of day of start and end: e - s, or
// e - s + 86400 when the end is not later in the day (equal: a whole day).
std::int32_t ReservationLength(const Clock& clock, const ReservationEntry& entry);

// What a reservation records: from its start for its length. Half-open: a
// span that ends when another starts does not overlap it.
struct Span {
    std::int64_t start = 0;
    std::int64_t end = 0;

    bool Overlaps(const Span& other) const { return start < other.end && other.start < end; }
    friend bool operator==(const Span&, const Span&) = default;
};
Span SpanOf(const Clock& clock, const ReservationEntry& entry);

// Seconds recorded before a reservation's start and after its end.
struct Margins {
    std::int64_t before = 0;
    std::int64_t after = 0;
};

// What a span records with margins, beside the other reservations' spans.
// An end margin gives way to the start of any reservation that starts
// later, and a start margin to the (margined) end of any that starts
// earlier; neither ever cuts into the span itself. So margins never make
// two recordings overlap, and spans that overlap already get no margin
// into each other. Without margins the span is as it is.
Span MarginSpan(const Span& span, const std::vector<Span>& others, Margins margins);

// Weekly reservations (bit 0 Sunday .. bit 6 Saturday) start at the local
// clock time of their `start` on each day set. The first occurrence whose
// span has not ended at `after` (one that began the day before and runs past
// midnight counts), or 0 when no weekday bit is set. Only reservation times
// (reservation.h) are occurrences: none lies past the clock's reach.
std::int64_t WeeklyOccurrenceEndingAfter(const Clock& clock, const ReservationEntry& entry, std::int64_t after);
// The occurrence after `occurrence`, on a later day; 0 without one.
std::int64_t WeeklyOccurrenceAfter(const Clock& clock, const ReservationEntry& entry, std::int64_t occurrence);
// Whether the stored start is one of the reservation's own days.
bool IsWeeklyOccurrence(const Clock& clock, const ReservationEntry& entry);
// The weekly slot at the given occurrence: its start, and its end at the
// end's clock time on that day.
void MoveWeeklyTo(const Clock& clock, ReservationEntry& entry, std::int64_t occurrence);

// The span a used slot records next as seen at `now`: a one-time slot's own
// span (even when it has passed), a weekly slot's first occurrence that has
// not ended. Nothing for an empty slot or a weekly one without a day.
std::optional<Span> NextSpan(const Clock& clock, const ReservationEntry& entry, std::int64_t now);

// Pairs of slots (lower index first) whose next spans, not yet ended at
// `now`, overlap; in slot order.
std::vector<std::pair<int, int>> OverlappingReservations(const Clock& clock, const ReservationTable& table,
                                                         std::int64_t now);
// The slots that overlap `slot` (as above).
std::vector<int> SlotsOverlapping(const std::vector<std::pair<int, int>>& overlaps, int slot);

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
