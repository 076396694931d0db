#include "reservation/reservation.h"

#include "platform/clock.h"
#include "platform/cp932.h"
#include "platform/files.h"
#include "store/string_table.h"

#include <cinttypes>
#include <cstdio>

namespace kestrova {

namespace {

constexpr char kSection[] = "Schedule";

std::string KeyFor(int index) { return "Timer" + std::to_string(index); }

bool IsScanBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A signed decimal number as "%ld"/"%d" read it: blanks, one sign, at least
// one digit. Values beyond 64 bits saturate.
bool ScanNumber(std::string_view text, std::size_t& pos, std::int64_t& value) {
    std::size_t p = pos;
    while (p < text.size() && IsScanBlank(text[p])) ++p;
    bool minus = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) minus = text[p++] == '-';
    if (p >= text.size() || text[p] < '0' || text[p] > '9') return false;
    std::uint64_t magnitude = 0;
    constexpr std::uint64_t kLimit = static_cast<std::uint64_t>(INT64_MAX) + 1;
    for (; p < text.size() && text[p] >= '0' && text[p] <= '9'; ++p) {
        std::uint64_t digit = static_cast<std::uint64_t>(text[p] - '0');
        magnitude = magnitude > (kLimit - digit) / 10 ? kLimit : magnitude * 10 + digit;
    }
    if (minus) {
        value = magnitude >= kLimit ? INT64_MIN : -static_cast<std::int64_t>(magnitude);
    } else {
        value = magnitude >= kLimit ? INT64_MAX : static_cast<std::int64_t>(magnitude);
    }
    pos = p;
    return true;
}

}  // namespace

ReservationEntry ParseReservationValue(std::string_view value) {
    ReservationEntry entry;
    if (value.empty()) return entry;
    entry.used = 1;

    std::int64_t numbers[3] = {0, 0, 0};
    std::size_t pos = 0;
    bool complete = true;
    for (std::int64_t& number : numbers) {
        if (!ScanNumber(value, pos, number) || pos >= value.size() || value[pos] != ',') {
            complete = false;
            break;
        }
        ++pos;
    }
    entry.start = numbers[0];
    entry.end = numbers[1];
    entry.weekdays = static_cast<std::int32_t>(static_cast<std::uint32_t>(numbers[2]));
    // The comment and power-off flag follow only a complete "n,n,n," prefix.
    if (!complete) return entry;

    std::string_view rest = value.substr(pos);
    std::string_view commentText;
    std::string_view powerText;
    std::size_t cut = rest.find(',');
    if (!rest.empty() && rest.front() == ',') {
        std::size_t begin = rest.find_first_not_of(',');
        if (begin != std::string_view::npos) powerText = rest.substr(begin, rest.find(',', begin) - begin);
    } else {
        commentText = rest.substr(0, cut);
        if (cut != std::string_view::npos) {
            std::size_t begin = rest.find_first_not_of(',', cut);
            if (begin != std::string_view::npos) powerText = rest.substr(begin, rest.find(',', begin) - begin);
        }
    }
    entry.comment = Cp932ToUtf8(Cp932Prefix(commentText, kCommentMaxBytes));
    std::size_t powerPos = 0;
    std::int64_t power = 0;
    if (ScanNumber(powerText, powerPos, power)) {
        entry.powerOff = static_cast<std::int32_t>(static_cast<std::uint32_t>(power));
    }
    return entry;
}

std::string StorableComment(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        if (c == ',') {
            out += "，";
        } else if (c == '\r' || c == '\n') {
            out += ' ';
        } else {
            out += c;
        }
    }
    return BoundToCp932Bytes(out, kCommentMaxBytes);
}

std::string FormatReservationValue(const ReservationEntry& entry) {
    if (entry.used == 0) return {};
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "%" PRId64 ",%" PRId64 ",%" PRId32 ",", entry.start, entry.end,
                  entry.weekdays);
    std::string value = numbers;
    value += Utf8ToCp932(StorableComment(entry.comment));
    value += ',';
    value += std::to_string(entry.powerOff);
    return value;
}

void ReadReservations(const IniFile& ini, ReservationTable& table) {
    for (int i = 0; i < kReservationSlots; ++i) {
        table[static_cast<std::size_t>(i)] = ParseReservationValue(ini.GetString(kSection, KeyFor(i), ""));
    }
}

void WriteReservations(IniFile& ini, const ReservationTable& table) {
    for (int i = 0; i < kReservationSlots; ++i) {
        ini.SetString(kSection, KeyFor(i), FormatReservationValue(table[static_cast<std::size_t>(i)]));
    }
}

void LoadReservationsFile(const std::string& path, ReservationTable& table) {
    table = ReservationTable{};
    std::optional<std::string> bytes = ReadWholeFile(path);
    if (bytes) ReadReservations(IniFile(*bytes), table);
}

bool SaveReservationsFile(const std::string& path, const ReservationTable& table) {
    std::optional<std::string> bytes = ReadWholeFile(path);
    IniFile ini(bytes ? *bytes : std::string());
    WriteReservations(ini, table);
    if (bytes && !ini.Changed()) return true;
    return ReplaceFileContents(path, ini.Serialize());
}

std::bitset<kReservationSlots> MergeEditedSlots(const ReservationTable& opened, const ReservationTable& edited,
                                                ReservationTable& live) {
    std::bitset<kReservationSlots> taken;
    for (std::size_t i = 0; i < live.size(); ++i) {
        const bool alike = opened[i].used == 0 ? edited[i].used == 0 : opened[i] == edited[i];
        if (alike) continue;
        live[i] = edited[i];
        taken.set(i);
    }
    return taken;
}

int TimeOfDay(const Clock& clock, std::int64_t t) {
    const LocalTime lt = clock.ToLocal(t);
    return lt.hour * 3600 + lt.minute * 60 + lt.second;
}

std::string FormatWeekdays(std::int32_t weekdays) {
    static constexpr unsigned kDays[7] = {strings::kSunday,   strings::kMonday, strings::kTuesday, strings::kWednesday,
                                           strings::kThursday, strings::kFriday, strings::kSaturday};
    std::string label(LoadText(strings::kWeekly));
    for (int bit = 0; bit < 7; ++bit) {
        if ((weekdays >> bit) & 1) label.append(",").append(LoadText(kDays[bit]));
    }
    return label;
}

}  // namespace kestrova
