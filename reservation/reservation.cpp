#include "reservation/reservation.h"

#include "platform/clock.h"
#include "platform/cp932.h"
#include "platform/files.h"
#include "store/string_table.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <optional>

namespace kestrova {

namespace {

constexpr char kSection[] = "Schedule";
constexpr std::int32_t kEveryDay = 0x7F;
// An unreadable value is shown up to this many bytes of its CP932 form.
constexpr std::size_t kShownUnreadableBytes = 40;

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

bool FitsInt32(std::int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// The days of a stored weekdays number: below 0 every day, bits above 6
// dropped; none when it is not 0 yet names no day.
std::optional<std::int32_t> StoredWeekdays(std::int64_t stored) {
    if (!FitsInt32(stored)) return std::nullopt;
    if (stored < 0) return kEveryDay;
    const auto days = static_cast<std::int32_t>(stored & kEveryDay);
    if (days == 0 && stored != 0) return std::nullopt;
    return days;
}

// "start,end,weekdays,comment,powerOff" in full, or nothing.
std::optional<ReservationEntry> ParseUsableValue(std::string_view value) {
    std::int64_t numbers[3] = {0, 0, 0};
    std::size_t pos = 0;
    for (std::int64_t& number : numbers) {
        if (!ScanNumber(value, pos, number) || pos >= value.size() || value[pos] != ',') return std::nullopt;
        ++pos;
    }
    // No CP932 trail byte is a comma: the last one ends the comment, so a
    // comment written with commas (as older files may hold) keeps them.
    const std::size_t comma = value.rfind(',');
    if (comma == std::string_view::npos || comma < pos) return std::nullopt;
    std::size_t powerEnd = comma + 1;
    std::int64_t power = 0;
    if (!ScanNumber(value, powerEnd, power) || powerEnd != value.size() || !FitsInt32(power)) return std::nullopt;
    const std::optional<std::int32_t> weekdays = StoredWeekdays(numbers[2]);
    if (!IsReservationTime(numbers[0]) || !IsReservationTime(numbers[1]) || !weekdays) return std::nullopt;
    ReservationEntry entry;
    entry.used = 1;
    entry.start = numbers[0];
    entry.end = numbers[1];
    entry.weekdays = *weekdays;
    entry.comment = Cp932ToUtf8(Cp932Prefix(value.substr(pos, comma - pos), kCommentMaxBytes));
    entry.powerOff = static_cast<std::int32_t>(power);
    return entry;
}

}  // namespace

ReservationEntry ParseReservationValue(std::string_view value) {
    ReservationEntry entry;
    if (value.empty()) return entry;
    if (std::optional<ReservationEntry> usable = ParseUsableValue(value)) return *usable;
    entry.unreadableValue = std::string(value);
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
    if (entry.used == 0) return entry.unreadableValue;
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "%" PRId64 ",%" PRId64 ",%" PRId32 ",", entry.start, entry.end,
                  entry.weekdays);
    std::string value = numbers;
    value += Utf8ToCp932(StorableComment(entry.comment));
    value += ',';
    value += std::to_string(entry.powerOff);
    return value;
}

std::string UnreadableValueText(const ReservationEntry& entry) {
    const std::string_view raw = entry.unreadableValue;
    std::string shown(Cp932Prefix(raw, kShownUnreadableBytes));
    // Control bytes are never part of a double-byte character.
    std::replace_if(
        shown.begin(), shown.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, ' ');
    std::string text = Cp932ToUtf8(shown);
    if (shown.size() < raw.size()) text += "…";
    return text;
}

std::string UnreadableNotice(int index, const ReservationEntry& entry) {
    return FillText(strings::kUnreadableReservation, {std::to_string(index + 1), UnreadableValueText(entry)});
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
        const bool bothEmpty = opened[i].used == 0 && edited[i].used == 0;
        const bool alike = bothEmpty ? opened[i].unreadableValue == edited[i].unreadableValue : opened[i] == edited[i];
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
