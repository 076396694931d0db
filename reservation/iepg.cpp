#include "reservation/iepg.h"

#include "platform/ascii.h"
#include "platform/cp932.h"
#include "store/string_table.h"

#include <optional>
#include <string>
#include <utility>

namespace kestrova {

namespace {

constexpr int kDay = 86400;
constexpr int kLongestAcrossMidnight = 12 * 3600;

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

bool ValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const std::size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
        if (n == 0 || i + n > text.size() || (n == 2 && b < 0xC2)) return false;
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += n;
    }
    return true;
}

// Every byte of a Shift_JIS line makes a character: no stray trail byte.
bool ValidShiftJis(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (!IsCp932LeadByte(b)) {
            if (b == 0x80 || b == 0xA0 || b >= 0xFD) return false;
            continue;
        }
        if (i + 1 >= text.size()) return false;
        const auto t = static_cast<unsigned char>(text[++i]);
        if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
    }
    return true;
}

std::optional<int> Number(std::string_view text, int low, int high) {
    if (text.empty() || text.size() > 4) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

// "H:MM" or "H:MM:SS", the hour up to `lastHour`: seconds into the day.
std::optional<int> Time(std::string_view text, int lastHour) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::string_view rest = text.substr(colon + 1);
    if (rest.size() != 2 && (rest.size() != 5 || rest[2] != ':')) return std::nullopt;
    const auto hour = Number(text.substr(0, colon), 0, lastHour);
    const auto minute = Number(rest.substr(0, 2), 0, 59);
    const auto second = rest.size() == 2 ? std::optional<int>(0) : Number(rest.substr(3), 0, 59);
    if (!hour || !minute || !second) return std::nullopt;
    return *hour * 3600 + *minute * 60 + *second;
}

int DaysIn(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

struct Field {
    int line = 0;
    std::string value;  // UTF-8
};

// The header's fields Kestrova reads.
struct Header {
    std::optional<Field> year, month, day, start, end, title, station;
};

// Keeps a field of a key Kestrova reads; others are passed over.
void Keep(Header& h, std::string_view key, Field field) {
    const std::pair<std::string_view, std::optional<Field> Header::*> keys[] = {
        {"year", &Header::year},   {"month", &Header::month},        {"date", &Header::day},
        {"start", &Header::start}, {"end", &Header::end},            {"program-title", &Header::title},
        {"station", &Header::station}};
    for (const auto& [name, member] : keys) {
        if (key == name) h.*member = std::move(field);
    }
}

}  // namespace

std::variant<IepgProgramme, IepgFault> ParseIepg(std::string_view bytes) {
    if (bytes.size() > kIepgMaxBytes) return IepgTooLarge();
    // The header: lines up to the first blank one, each "key: value".
    Header h;
    bool utf8 = false;
    int number = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t lineEnd = bytes.find('\n', at);
        const std::string_view raw = bytes.substr(at, lineEnd == std::string_view::npos ? lineEnd : lineEnd - at);
        at = lineEnd == std::string_view::npos ? bytes.size() : lineEnd + 1;
        ++number;
        const std::string_view line = Trim(raw);
        if (line.empty()) break;
        const std::size_t colon = line.find(':');
        if (line.find('\0') != std::string_view::npos || !(utf8 ? ValidUtf8(line) : ValidShiftJis(line)) ||
            colon == std::string_view::npos) {
            return IepgFault{number, std::string(LoadText(strings::kIepgNotAField))};
        }
        const std::string_view key = Trim(line.substr(0, colon));
        const std::string_view value = Trim(line.substr(colon + 1));
        Field field{number, utf8 ? std::string(value) : Cp932ToUtf8(value)};
        if (AsciiLowered(key) == "content-type") {
            utf8 = AsciiLowered(field.value).find("charset=utf-8") != std::string::npos;
        } else {
            Keep(h, key, std::move(field));
        }
    }
    const auto& [year, month, day, start, end, title, station] = h;
    if (!year || !month || !day) return IepgFault{0, std::string(LoadText(strings::kIepgNoDate))};
    if (!start || !end) return IepgFault{0, std::string(LoadText(strings::kIepgNoTimes))};
    IepgProgramme p;
    const auto y = Number(year->value, 1971, 2999);
    if (!y) return IepgFault{year->line, std::string(LoadText(strings::kIepgNotADate))};
    const auto m = Number(month->value, 1, 12);
    if (!m) return IepgFault{month->line, std::string(LoadText(strings::kIepgNotADate))};
    const auto d = Number(day->value, 1, DaysIn(*y, *m));
    if (!d) return IepgFault{day->line, std::string(LoadText(strings::kIepgNotADate))};
    const auto from = Time(start->value, 23);
    if (!from) return IepgFault{start->line, std::string(LoadText(strings::kIepgNotATime))};
    auto to = Time(end->value, 47);
    if (!to) return IepgFault{end->line, std::string(LoadText(strings::kIepgNotATime))};
    if (*to <= *from) {
        if (*to + kDay - *from > kLongestAcrossMidnight) {
            return IepgFault{end->line, std::string(LoadText(strings::kIepgEndBeforeStart))};
        }
        *to += kDay;
    }
    p.year = *y;
    p.month = *m;
    p.day = *d;
    p.start = *from;
    p.end = *to;
    if (title) p.title = title->value;
    if (station) p.station = station->value;
    return p;
}

IepgFault IepgTooLarge() {
    return IepgFault{0, FillText(strings::kIepgTooLarge, {std::to_string(kIepgMaxBytes / 1024)})};
}

ReservationEntry IepgReservation(const Clock& clock, const IepgProgramme& programme) {
    const auto at = [&](int seconds) {
        return clock.FromLocal(programme.year, programme.month, programme.day + seconds / kDay, seconds % kDay / 3600,
                               seconds % 3600 / 60, seconds % 60);
    };
    return ReservationEntry{1, at(programme.start), at(programme.end), 0, StorableComment(programme.title), 0};
}

std::string IepgRefusal(std::string_view fileName, const IepgFault& fault) {
    if (fault.line == 0) return FillText(strings::kIepgRefused, {fileName, fault.what});
    return FillText(strings::kIepgRefusedAtLine, {fileName, std::to_string(fault.line), fault.what});
}

}  // namespace kestrova
