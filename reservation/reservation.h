// The reservation table: 99 slots of timed recordings, and the file beside
// the executable that keeps them (section "Schedule", keys Timer0..Timer98).
#pragma once

#include "platform/clock.h"
#include "store/ini_file.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova {

inline constexpr int kReservationSlots = 99;
// A comment holds at most this many bytes in its CP932 form.
inline constexpr std::size_t kCommentMaxBytes = 255;

// The times a reservation may start and end at: those every clock Kestrova
// runs on shows as dates (the Windows runtime's reach is 1970-01-01 to
// 3000-12-31 UTC), with a day to spare at each end for the time zone and for
// a span that runs past midnight.
inline constexpr std::int64_t kEarliestReservationTime = 86400;        // 1970-01-02 00:00:00 UTC
inline constexpr std::int64_t kLatestReservationTime = 32535043199;    // 3000-12-29 23:59:59 UTC
constexpr bool IsReservationTime(std::int64_t t) {
    return t >= kEarliestReservationTime && t <= kLatestReservationTime;
}

struct ReservationEntry {
    std::int32_t used = 0;
    std::int64_t start = 0;     // seconds since 1970 (UTC)
    std::int64_t end = 0;       // only its local time of day counts
    std::int32_t weekdays = 0;  // 0 one-time; else some of bit 0 Sunday .. bit 6 Saturday
    std::string comment;        // UTF-8
    std::int32_t powerOff = 0;  // what follows the run (AfterRunAction): 0 nothing
    // A stored value that cannot be used, its bytes as read (CP932). Such a
    // slot is not used (`used` 0: nothing arms, tells or retires it), and the
    // value is written back unchanged until the slot is cleared or replaced.
    std::string unreadableValue{};

    friend bool operator==(const ReservationEntry&, const ReservationEntry&) = default;
};

using ReservationTable = std::array<ReservationEntry, kReservationSlots>;

// A slot that holds a stored value Kestrova cannot use.
inline bool Unreadable(const ReservationEntry& entry) { return entry.used == 0 && !entry.unreadableValue.empty(); }

// The slot value as stored ("start,end,weekdays,comment,powerOff"; empty for
// an unused slot) and back. A used slot needs all five fields: three signed
// decimal numbers, each followed by a comma; the comment, up to the next
// comma; a comma and the power-off number, which ends the value. The start
// and end must be reservation times (above); weekdays and power-off must
// fit 32 bits. Weekdays below 0 mean every day (127), bits above 6 are
// dropped, and a value with none of bits 0..6 but not 0 names no day. Any
// other non-empty value is kept as an unreadable slot.
ReservationEntry ParseReservationValue(std::string_view cp932Value);
std::string FormatReservationValue(const ReservationEntry& entry);

// An unreadable slot's value as it is shown (UTF-8, control characters as
// blanks, cut to a few dozen bytes with "…"), and what the schedule tells
// of slot `index` (0..98) holding it: "№5: 読めない予約です（x）".
std::string UnreadableValueText(const ReservationEntry& entry);
std::string UnreadableNotice(int index, const ReservationEntry& entry);

// A comment as it may be stored: commas become full-width commas (so the
// comment can never spill into the power-off field), line breaks become
// blanks, and the CP932 form is cut to 255 bytes on a character boundary.
std::string StorableComment(std::string_view utf8);

void ReadReservations(const IniFile& ini, ReservationTable& table);
void WriteReservations(IniFile& ini, const ReservationTable& table);

// The file beside the executable: LoadReservationsFile clears the table and
// reads it; SaveReservationsFile rewrites the file atomically.
void LoadReservationsFile(const std::string& path, ReservationTable& table);
bool SaveReservationsFile(const std::string& path, const ReservationTable& table);

// 登録 of the reservation dialog onto the live table, which a scheduled run
// may have changed while the dialog was open (a one-time slot retired, a
// weekly one moved on). Only the slots that differ between `opened` (the
// table the dialog was opened on) and `edited` are copied into `live`; the
// others keep their live state. Two empty slots are alike whatever else
// they hold but an unreadable value (one cleared in the dialog was
// edited). Gives the slots taken from the dialog.
std::bitset<kReservationSlots> MergeEditedSlots(const ReservationTable& opened, const ReservationTable& edited,
                                                ReservationTable& live);

// Local hour * 3600 + minute * 60 + second, 0..86399.
int TimeOfDay(const Clock& clock, std::int64_t t);

// "毎週" followed by ",日" ... ",土" for each day set (bits above 6 add nothing).
std::string FormatWeekdays(std::int32_t weekdays);

}  // namespace kestrova
