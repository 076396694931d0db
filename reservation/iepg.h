// TV-guide programme files (iEPG: ".tvpi", and ".tvpid" of version 2), as
// TV-guide sites and TV software hand a programme to a recorder: "key:
// value" lines (Shift_JIS, or UTF-8 when the Content-type says
// charset=utf-8; CR LF or LF), up to the first blank line, then free text.
// Kestrova reads the date, the start and end and the title, and turns them
// into a one-time reservation.
#pragma once

#include "platform/clock.h"
#include "reservation/reservation.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace kestrova {

// A file larger than this is no programme file.
inline constexpr std::size_t kIepgMaxBytes = 64 * 1024;

struct IepgProgramme {
    int year = 0;
    int month = 0;
    int day = 0;
    int start = 0;  // seconds into the day
    int end = 0;    // seconds into the start's day: past 86400 on the next day
    std::string title;    // UTF-8, as the file gives it
    std::string station;  // UTF-8

    friend bool operator==(const IepgProgramme&, const IepgProgramme&) = default;
};

// Why a file is no programme: the first line at fault (1-based; 0 when the
// fault is no one line's, such as a missing date), and what is wrong.
struct IepgFault {
    int line = 0;
    std::string what;  // UTF-8

    friend bool operator==(const IepgFault&, const IepgFault&) = default;
};

// Reads a programme file's bytes. The date needs year, month and date; the
// times are "H:MM" or "H:MM:SS". An end hour of 24 or more is on the next
// day, and so is an end not later than the start when the programme then
// lasts at most 12 hours (an evening programme that ends after midnight);
// any other end before the start is a fault. Unknown keys are passed over.
std::variant<IepgProgramme, IepgFault> ParseIepg(std::string_view bytes);

// The one-time reservation for the programme: its local start and end, and
// the title as a comment may be stored (cut on a character boundary).
ReservationEntry IepgReservation(const Clock& clock, const IepgProgramme& programme);

// The fault of a file over kIepgMaxBytes, found without reading it.
IepgFault IepgTooLarge();

// What Kestrova says of a refused file: "…を番組として読めません（3 行目: 時刻ではありません）".
std::string IepgRefusal(std::string_view fileName, const IepgFault& fault);

}  // namespace kestrova
