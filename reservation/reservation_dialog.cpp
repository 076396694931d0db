#include "reservation/reservation_dialog.h"

#include "reservation/after_run.h"
#include "reservation/schedule.h"
#include "reservation/typed_number.h"

#include "platform/cp932.h"
#include "store/string_table.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace kestrova {

namespace {

constexpr std::int32_t kWeekdayBits = 0x7F;
constexpr std::int64_t kMinutesPerDay = 24 * 60;
// A box taller than the screen would hide its OK button.
constexpr std::size_t kListedOverlaps = 10;

std::string Number(std::int64_t value) { return std::to_string(value); }

int Field(std::string_view text) { return static_cast<int>(TypedNumber(text)); }

std::int64_t Seconds(std::string_view hour, std::string_view minute, std::string_view second) {
    return TypedNumber(hour) * 3600 + TypedNumber(minute) * 60 + TypedNumber(second);
}

// The first year from `year` on in which month/day is not before today:
// `year` itself unless that day has passed, then this year or the next.
int YearNotBeforeToday(const Clock& clock, int year, int month, int day) {
    const LocalTime today = clock.ToLocal(clock.Now());
    const std::int64_t todayStart = clock.FromLocal(today.year, today.month, today.day, 0, 0, 0);
    const auto passed = [&](int y) { return clock.FromLocal(y, month, day, 0, 0, 0) < todayStart; };
    if (!passed(year)) return year;
    if (!passed(today.year)) return today.year;
    return today.year + 1;
}

// The length of the UTF-8 sequence that starts with byte b (1 for a stray byte).
std::size_t Utf8Length(unsigned char b) {
    if (b >= 0xF0) return 4;
    if (b >= 0xE0) return 3;
    if (b >= 0xC0) return 2;
    return 1;
}

struct CommentChar {
    std::size_t offset;
    std::size_t length;  // in the UTF-8 text
    std::size_t bytes;   // in its CP932 form
};

std::vector<CommentChar> SplitComment(std::string_view text) {
    std::vector<CommentChar> chars;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = std::min(Utf8Length(static_cast<unsigned char>(text[at])), text.size() - at);
        chars.push_back({at, length, Utf8ToCp932(text.substr(at, length)).size()});
        at += length;
    }
    return chars;
}

}  // namespace

ReservationRow ReservationRowFor(const Clock& clock, int index, const ReservationEntry& entry) {
    ReservationRow row{Number(index + 1), "", "", ""};
    if (Unreadable(entry)) {
        row.start = LoadText(strings::kUnreadableMark);
        row.comment = UnreadableValueText(entry);
    }
    if (entry.used == 0) return row;
    const LocalTime s = clock.ToLocal(entry.start);
    const LocalTime e = clock.ToLocal(entry.end);
    char text[96];
    if (entry.weekdays <= 0) {
        std::snprintf(text, sizeof text, "%2d/%2d %02d:%02d:%02d", s.month, s.day, s.hour, s.minute, s.second);
    } else {
        std::snprintf(text, sizeof text, "%s %02d:%02d:%02d", FormatWeekdays(entry.weekdays).c_str(), s.hour,
                      s.minute, s.second);
    }
    row.start = text;
    std::snprintf(text, sizeof text, "%02d:%02d:%02d%s", e.hour, e.minute, e.second, entry.powerOff != 0 ? "*" : "");
    row.end = text;
    row.comment = entry.comment;
    return row;
}

std::string LengthFromTimes(const ReservationForm& form) {
    const std::int64_t s = Seconds(form.startHour, form.startMinute, form.startSecond);
    const std::int64_t e = Seconds(form.endHour, form.endMinute, form.endSecond);
    return Number(s < e ? (e - s) / 60 : 0);
}

ReservationEntry EntryFromForm(const Clock& clock, int formYear, const ReservationForm& form) {
    const int month = Field(form.month);
    const int day = Field(form.day);
    const std::int32_t weekdays = form.weekdays & kWeekdayBits;
    const int year = weekdays == 0 ? YearNotBeforeToday(clock, formYear, month, day) : formYear;
    ReservationEntry entry;
    entry.used = 1;
    entry.start = clock.FromLocal(year, month, day, Field(form.startHour), Field(form.startMinute),
                                  Field(form.startSecond));
    const LocalTime on = clock.ToLocal(entry.start);
    entry.end = clock.FromLocal(on.year, on.month, on.day, Field(form.endHour), Field(form.endMinute),
                                Field(form.endSecond));
    entry.weekdays = weekdays;
    entry.comment = StorableComment(form.comment);
    entry.powerOff = AfterRunField(form.powerOff, form.afterRun);
    // A date the clock cannot show is what the file will hold: unreadable.
    if (!IsReservationTime(entry.start) || !IsReservationTime(entry.end)) {
        return ParseReservationValue(FormatReservationValue(entry));
    }
    return entry;
}

TypedComment FitTypedComment(std::string_view text, std::size_t caret) {
    TypedComment out{"", 0};
    out.text.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == caret) out.caret = out.text.size();
        if (text[i] == ',') {
            out.text += "，";
        } else {
            out.text += (text[i] == '\r' || text[i] == '\n') ? ' ' : text[i];
        }
    }
    if (caret >= text.size()) out.caret = out.text.size();

    std::vector<CommentChar> chars = SplitComment(out.text);
    std::size_t total = std::accumulate(chars.begin(), chars.end(), std::size_t{0},
                                        [](std::size_t sum, const CommentChar& c) { return sum + c.bytes; });
    if (total <= kCommentMaxBytes) return out;
    // Drop what stands just before the caret (what was typed or pasted)...
    auto cut = std::find_if(chars.begin(), chars.end(),
                            [&](const CommentChar& c) { return c.offset + c.length > out.caret; });
    while (total > kCommentMaxBytes && cut != chars.begin()) {
        --cut;
        total -= cut->bytes;
        out.caret -= cut->length;
        cut = chars.erase(cut);
    }
    // ...and, with nothing left there, the end.
    while (total > kCommentMaxBytes) {
        total -= chars.back().bytes;
        chars.pop_back();
    }
    std::string kept;
    for (const CommentChar& c : chars) kept += std::string_view(out.text).substr(c.offset, c.length);
    out.text = std::move(kept);
    out.caret = std::min(out.caret, out.text.size());
    return out;
}

std::string MarginsText(Margins margins) {
    if (margins.before == 0 && margins.after == 0) return std::string(LoadText(strings::kNoMargins));
    return FillText(strings::kMarginsInForce, {std::to_string(margins.before), std::to_string(margins.after)});
}

std::string OverlapWarningText(const std::vector<std::pair<int, int>>& overlaps) {
    std::string list;
    for (std::size_t i = 0; i < std::min(overlaps.size(), kListedOverlaps); ++i) {
        if (i > 0) list += ", ";
        list += FillText(strings::kOverlapPair, {Number(overlaps[i].first + 1), Number(overlaps[i].second + 1)});
    }
    if (overlaps.size() > kListedOverlaps) {
        const auto more = static_cast<std::int64_t>(overlaps.size() - kListedOverlaps);
        list += ", " + FormatText(strings::kMoreOverlaps, Number(more));
    }
    return FormatText(strings::kOverlapWarning, list);
}

std::vector<OneTouchChoice> ReservationLengthChoices() { return OneTouchChoices(LoadText(strings::kOneTouchLengths)); }

ReservationDialogState::ReservationDialogState(const Clock& clock, const ReservationTable& live)
    : clock_(clock), table_(live) {
    FillTimes(clock_.Now(), true);
    FindOverlaps();
}

ReservationRow ReservationDialogState::Row(int index) const {
    ReservationRow row = ReservationRowFor(clock_, index, table_[static_cast<std::size_t>(index)]);
    if (overlapping_.test(static_cast<std::size_t>(index))) row.number += '!';
    return row;
}

void ReservationDialogState::FindOverlaps() {
    overlaps_ = OverlappingReservations(clock_, table_, clock_.Now());
    overlapping_.reset();
    for (const auto& [a, b] : overlaps_) {
        overlapping_.set(static_cast<std::size_t>(a));
        overlapping_.set(static_cast<std::size_t>(b));
    }
}

void ReservationDialogState::FillTimes(std::int64_t t, bool withSeconds) {
    const LocalTime now = clock_.ToLocal(t);
    formYear_ = now.year;
    form_.month = Number(now.month);
    form_.day = Number(now.day);
    form_.startHour = form_.endHour = Number(now.hour);
    form_.startMinute = form_.endMinute = Number(now.minute);
    form_.startSecond = form_.endSecond = Number(withSeconds ? now.second : 0);
}

void ReservationDialogState::Select(int index) {
    selected_ = index >= 0 && index < kReservationSlots ? index : -1;
    if (selected_ < 0) return;
    number_ = Number(selected_ + 1);
    const ReservationEntry& entry = table_[static_cast<std::size_t>(selected_)];
    if (entry.used == 0) return;
    const LocalTime s = clock_.ToLocal(entry.start);
    const LocalTime e = clock_.ToLocal(entry.end);
    formYear_ = s.year;
    form_.month = Number(s.month);
    form_.day = Number(s.day);
    form_.startHour = Number(s.hour);
    form_.startMinute = Number(s.minute);
    form_.startSecond = Number(s.second);
    form_.endHour = Number(e.hour);
    form_.endMinute = Number(e.minute);
    form_.endSecond = Number(e.second);
    form_.comment = entry.comment;
    form_.length = LengthFromTimes(form_);
    form_.weekdays = entry.weekdays > 0 ? entry.weekdays & kWeekdayBits : 0;
    form_.powerOff = entry.powerOff != 0;
    form_.afterRun = AfterRunChoice(entry.powerOff);
}

void ReservationDialogState::Reserve() {
    if (selected_ < 0) return;
    table_[static_cast<std::size_t>(selected_)] = EntryFromForm(clock_, formYear_, form_);
    FindOverlaps();
}

bool ReservationDialogState::Place(const ReservationEntry& entry) {
    for (int slot = 0; slot < kReservationSlots; ++slot) {
        ReservationEntry& free = table_[static_cast<std::size_t>(slot)];
        if (free.used != 0 || Unreadable(free)) continue;
        free = entry;
        FindOverlaps();
        Select(slot);
        return true;
    }
    return false;
}

void ReservationDialogState::Release() {
    if (selected_ < 0) return;
    ReservationEntry& entry = table_[static_cast<std::size_t>(selected_)];
    entry.used = 0;
    entry.unreadableValue.clear();
    FindOverlaps();
}

void ReservationDialogState::SetToNow() {
    FillTimes(clock_.Now(), false);
    form_.comment.clear();
    form_.length.clear();
    form_.weekdays = 0;
    form_.powerOff = false;
    form_.afterRun = 0;
}

void ReservationDialogState::TimesChanged() { form_.length = LengthFromTimes(form_); }

void ReservationDialogState::SetEndFromLength(std::int64_t minutes) {
    // The end's clock time that many minutes after the start's hour and
    // minute, on a 24-hour dial.
    const std::int64_t total = TypedNumber(form_.startHour) * 60 + TypedNumber(form_.startMinute) + minutes;
    const std::int64_t onDial = ((total % kMinutesPerDay) + kMinutesPerDay) % kMinutesPerDay;
    form_.endHour = Number(onDial / 60);
    form_.endMinute = Number(onDial % 60);
}

void ReservationDialogState::LengthChosen(std::int64_t minutes) {
    SetEndFromLength(minutes);
    TimesChanged();
}

void ReservationDialogState::LengthTyped() { SetEndFromLength(TypedNumber(form_.length)); }

}  // namespace kestrova
