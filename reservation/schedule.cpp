#include "reservation/schedule.h"

#include <cstdio>

namespace kestrova {

std::int64_t NextWeeklyOccurrence(const Clock& clock, std::int32_t weekdays, std::int64_t start) {
    const std::int64_t now = clock.Now();
    const LocalTime today = clock.ToLocal(now);
    const LocalTime at = clock.ToLocal(start);
    for (int offset = 0; offset < 14; ++offset) {
        const std::int64_t candidate =
            clock.FromLocal(today.year, today.month, today.day + offset, at.hour, at.minute, at.second);
        if (candidate < 0) continue;
        const int weekday = clock.ToLocal(candidate).weekday;
        if (((weekdays >> weekday) & 1) != 0 && candidate >= now) return candidate;
    }
    return 0;
}

int SelectNextReservation(const Clock& clock, ReservationTable& table) {
    const std::int64_t now = clock.Now();
    int chosen = -1;
    for (int index = 0; index < kReservationSlots; ++index) {
        ReservationEntry& slot = table[static_cast<std::size_t>(index)];
        if (slot.used == 0) continue;
        if (slot.weekdays != 0) {
            const std::int64_t next = NextWeeklyOccurrence(clock, slot.weekdays, slot.start);
            if (next == 0) continue;
            const LocalTime day = clock.ToLocal(next);
            const LocalTime end = clock.ToLocal(slot.end);
            slot.start = next;
            slot.end = clock.FromLocal(day.year, day.month, day.day, end.hour, end.minute, end.second);
        }
        if (slot.start < now) continue;
        if (chosen < 0 || slot.start < table[static_cast<std::size_t>(chosen)].start) chosen = index;
    }
    return chosen;
}

bool IsReservationDue(const Clock& clock, const ReservationEntry& entry) { return clock.Now() >= entry.start; }

std::int32_t ReservationLength(const Clock& clock, const ReservationEntry& entry) {
    const int s = TimeOfDay(clock, entry.start);
    const int e = TimeOfDay(clock, entry.end);
    return s < e ? e - s : e - s + 86400;
}

std::string TimerStatusText(const Clock& clock, const ReservationEntry& entry) {
    const LocalTime t = clock.ToLocal(entry.start);
    char text[128];
    if (entry.weekdays > 0) {
        std::snprintf(text, sizeof text, "TIMER : %s %02d:%02d:%02d", FormatWeekdays(entry.weekdays).c_str(), t.hour,
                      t.minute, t.second);
    } else {
        std::snprintf(text, sizeof text, "TIMER : %d/%2d/%2d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                      t.minute, t.second);
    }
    std::string out = text;
    if (entry.powerOff != 0) out += " [PWR OFF]";
    return out;
}

std::string TimerTitle(std::string_view mainTitle, const Clock& clock, const ReservationEntry& entry) {
    const LocalTime t = clock.ToLocal(entry.start);
    char date[64];
    std::snprintf(date, sizeof date, "(次回ﾀｲﾏｰ予定日:%d/%2d/%2d)", t.year, t.month, t.day);
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
