#include "reservation/schedule.h"

#include "reservation/after_run.h"
#include "store/string_table.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace kestrova {

std::int32_t ReservationLength(const Clock& clock, const ReservationEntry& entry) {
    const int s = TimeOfDay(clock, entry.start);
    const int e = TimeOfDay(clock, entry.end);
    return s < e ? e - s : e - s + 86400;
}

Span SpanOf(const Clock& clock, const ReservationEntry& entry) {
    return Span{entry.start, entry.start + ReservationLength(clock, entry)};
}

namespace {
bool OnWeekday(const Clock& clock, std::int32_t weekdays, std::int64_t t) {
    return ((weekdays >> clock.ToLocal(t).weekday) & 1) != 0;
}

// The first start at the entry's clock time on one of its days, from the
// local day of `from` plus `firstOffset` days on, that `accept` takes.
template <typename Accept>
std::int64_t FirstOccurrence(const Clock& clock, const ReservationEntry& entry, std::int64_t from, int firstOffset,
                             Accept accept) {
    if ((entry.weekdays & 0x7F) == 0) return 0;
    const LocalTime day = clock.ToLocal(from);
    const LocalTime at = clock.ToLocal(entry.start);
    for (int offset = firstOffset; offset < firstOffset + 16; ++offset) {
        const std::int64_t candidate = clock.FromLocal(day.year, day.month, day.day + offset, at.hour, at.minute, at.second);
        if (!IsReservationTime(candidate) || !OnWeekday(clock, entry.weekdays, candidate)) continue;
        if (accept(candidate)) return candidate;
    }
    return 0;
}
}  // namespace

std::int64_t WeeklyOccurrenceEndingAfter(const Clock& clock, const ReservationEntry& entry, std::int64_t after) {
    const std::int32_t length = ReservationLength(clock, entry);
    return FirstOccurrence(clock, entry, after, -1, [&](std::int64_t c) { return c + length > after; });
}

std::int64_t WeeklyOccurrenceAfter(const Clock& clock, const ReservationEntry& entry, std::int64_t occurrence) {
    return FirstOccurrence(clock, entry, occurrence, 1, [](std::int64_t) { return true; });
}

bool IsWeeklyOccurrence(const Clock& clock, const ReservationEntry& entry) {
    return OnWeekday(clock, entry.weekdays & 0x7F, entry.start);
}

void MoveWeeklyTo(const Clock& clock, ReservationEntry& entry, std::int64_t occurrence) {
    const LocalTime day = clock.ToLocal(occurrence);
    const LocalTime end = clock.ToLocal(entry.end);
    entry.start = occurrence;
    entry.end = clock.FromLocal(day.year, day.month, day.day, end.hour, end.minute, end.second);
}

std::optional<Span> NextSpan(const Clock& clock, const ReservationEntry& entry, std::int64_t now) {
    if (entry.used == 0) return std::nullopt;
    if (entry.weekdays == 0) return SpanOf(clock, entry);
    ReservationEntry moved = entry;
    const std::int64_t occurrence = WeeklyOccurrenceEndingAfter(clock, entry, now);
    if (occurrence == 0) return std::nullopt;
    MoveWeeklyTo(clock, moved, occurrence);
    return SpanOf(clock, moved);
}

Span MarginSpan(const Span& span, const std::vector<Span>& others, Margins margins) {
    if (margins.before == 0 && margins.after == 0) return span;
    // The end of `s` with its margin, given way to every later start.
    const auto marginEnd = [&](const Span& s) {
        std::int64_t end = s.end + margins.after;
        const auto giveWay = [&](const Span& later) {
            if (later.start > s.start) end = std::min(end, std::max(s.end, later.start));
        };
        giveWay(span);
        for (const Span& other : others) giveWay(other);
        return end;
    };
    Span out{span.start - margins.before, marginEnd(span)};
    for (const Span& earlier : others) {
        if (earlier.start < span.start) out.start = std::max(out.start, std::min(span.start, marginEnd(earlier)));
    }
    return out;
}

std::vector<std::pair<int, int>> OverlappingReservations(const Clock& clock, const ReservationTable& table,
                                                         std::int64_t now) {
    std::array<std::optional<Span>, kReservationSlots> spans;
    for (int i = 0; i < kReservationSlots; ++i) {
        std::optional<Span> span = NextSpan(clock, table[static_cast<std::size_t>(i)], now);
        if (span && span->end > now) spans[static_cast<std::size_t>(i)] = span;
    }
    std::vector<std::pair<int, int>> pairs;
    for (int a = 0; a < kReservationSlots; ++a) {
        const auto& first = spans[static_cast<std::size_t>(a)];
        if (!first) continue;
        for (int b = a + 1; b < kReservationSlots; ++b) {
            const auto& second = spans[static_cast<std::size_t>(b)];
            if (second && first->Overlaps(*second)) pairs.emplace_back(a, b);
        }
    }
    return pairs;
}

std::vector<int> SlotsOverlapping(const std::vector<std::pair<int, int>>& overlaps, int slot) {
    std::vector<int> out;
    for (const auto& [a, b] : overlaps) {
        if (a == slot) out.push_back(b);
        if (b == slot) out.push_back(a);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string TimerStatusText(const Clock& clock, const ReservationEntry& entry) {
    const LocalTime t = clock.ToLocal(entry.start);
    char text[128];
    if (entry.weekdays > 0) {
        const std::string format(LoadText(strings::kTimerStatusWeekly));
        std::snprintf(text, sizeof text, format.c_str(), FormatWeekdays(entry.weekdays).c_str(), t.hour, t.minute,
                      t.second);
    } else {
        const std::string format(LoadText(strings::kTimerStatusDated));
        std::snprintf(text, sizeof text, format.c_str(), t.year, t.month, t.day, t.hour, t.minute, t.second);
    }
    std::string out = text;
    switch (AfterRunActionOf(entry.powerOff)) {
    case AfterRunAction::None: break;
    case AfterRunAction::PowerOff: out += LoadText(strings::kPowerOffMark); break;
    case AfterRunAction::Sleep: out += LoadText(strings::kSleepMark); break;
    case AfterRunAction::Hibernate: out += LoadText(strings::kHibernateMark); break;
    }
    return out;
}

std::string TimerTitle(std::string_view mainTitle, const Clock& clock, const ReservationEntry& entry) {
    const LocalTime t = clock.ToLocal(entry.start);
    const std::string format(LoadText(strings::kNextTimerTitle));
    char date[64];
    std::snprintf(date, sizeof date, format.c_str(), t.year, t.month, t.day);
    return std::string(mainTitle) + date;
}

std::string DatedRecordingName(const Clock& clock, std::int64_t start) {
    const LocalTime t = clock.ToLocal(start);
    char name[64];
    std::snprintf(name, sizeof name, "%02d-%02d(%02d時%02d分%02d秒).avi", t.month, t.day, t.hour, t.minute,
                  t.second);
    return name;
}

std::string FreeRecordingPath(std::string_view directory, std::string_view datedName, std::size_t parts,
                              const std::function<bool(const std::string&)>& exists) {
    std::string base(directory);
    if (base.empty() || base.back() != '\\') base += '\\';
    const std::string stem(datedName.substr(0, datedName.size() >= 4 ? datedName.size() - 4 : 0));
    const auto taken = [&](const std::string& path) {
        if (parts <= 1) return exists(path);
        for (std::size_t n = 1; n <= parts; ++n) {
            if (exists(PartFilePath(path, n))) return true;
        }
        return false;
    };
    std::string path = base + std::string(datedName);
    for (int copy = 2; taken(path) && copy < 10000; ++copy) path = base + stem + "(" + std::to_string(copy) + ").avi";
    return path;
}

}  // namespace kestrova
