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

struct ReservationEntry {
    std::int32_t used = 0;
    std::int64_t start = 0;     // seconds since 1970 (UTC)
    std::int64_t end = 0;       // only its local time of day counts
    std::int32_t weekdays = 0;  // 0 one-time; bit 0 Sunday .. bit 6 Saturday
    std::string comment;        // UTF-8
    std::int32_t powerOff = 0;

    friend bool operator==(const ReservationEntry&, const ReservationEntry&) = default;
};

using ReservationTable = std::array<ReservationEntry, kReservationSlots>;

// The slot value as stored ("start,end,weekdays,comment,powerOff"; empty for
// an unused slot) and back. Parsing accepts anything: whatever does not parse
// stays 0, and a non-empty value always makes a used slot.
ReservationEntry ParseReservationValue(std::string_view cp932Value);
std::string FormatReservationValue(const ReservationEntry& entry);

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
// they hold. Gives the slots taken from the dialog.
std::bitset<kReservationSlots> MergeEditedSlots(const ReservationTable& opened, const ReservationTable& edited,
                                                ReservationTable& live);

// Local hour * 3600 + minute * 60 + second, 0..86399.
int TimeOfDay(const Clock& clock, std::int64_t t);

// "毎週" followed by ",日" ... ",土" for each day set (bits above 6 add nothing).
std::string FormatWeekdays(std::int32_t weekdays);

}  // namespace kestrova
