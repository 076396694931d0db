// The reservation dialog ("ﾀｲﾏｰ予約設定"): the list of the 99 slots, the form
// that edits one of them and what its buttons do. Everything works on a
// working copy of the table; 登録 hands it back with the table it was opened
// on, so that only the slots edited here replace the live ones.
#pragma once

#include "platform/clock.h"
#include "reservation/one_touch.h"
#include "reservation/reservation.h"
#include "reservation/schedule.h"

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrova {

// One list row: "№", start, end, comment.
struct ReservationRow {
    std::string number;   // "1".."99", "12!" for a slot whose next span overlaps another's
    std::string start;    // " 4/ 4 09:00:00" or "毎週,月,金 09:00:00"; empty for an empty slot,
                          // "読めない予約" for an unreadable one
    std::string end;      // "10:00:00", with "*" after it for a power-off reservation
    std::string comment;  // as stored; an unreadable slot's value

    friend bool operator==(const ReservationRow&, const ReservationRow&) = default;
};

ReservationRow ReservationRowFor(const Clock& clock, int index, const ReservationEntry& entry);

// The form as its fields hold it. The number fields keep their texts (an
// empty or non-numeric field counts as 0); the weekday boxes are a mask
// (bit 0 日 .. bit 6 土).
struct ReservationForm {
    std::string month, day;
    std::string startHour, startMinute, startSecond;
    std::string endHour, endMinute, endSecond;
    std::string length;  // minutes, the length box's field
    std::string comment;
    std::int32_t weekdays = 0;
    bool powerOff = false;  // the check box: an action after the run
    int afterRun = 0;       // its drop-down: 0 電源OFF, 1 スリープ, 2 休止

    // Month and day count only for a one-time reservation.
    bool DateEnabled() const { return weekdays == 0; }

    friend bool operator==(const ReservationForm&, const ReservationForm&) = default;
};

// The length field for the times in the form: whole minutes from the start
// to the end on one day, "0" when the end is not later.
std::string LengthFromTimes(const ReservationForm& form);

// What 予約する stores for the form. The date is taken in `formYear`; a
// one-time date that lies before today moves on to its next coming day (a
// 1 January typed on 31 December is next year's). Out-of-range fields roll
// over as mktime does; the end is the start's day at the end's clock time.
// A start or end the clock cannot show as a date gives the unreadable slot
// the file would hold.
ReservationEntry EntryFromForm(const Clock& clock, int formYear, const ReservationForm& form);

// A comment as it is typed: commas show as "，" (the way they are stored)
// and the text is held to the 255 bytes it may take, by dropping what was
// just typed before the caret (a byte offset in the UTF-8 text).
struct TypedComment {
    std::string text;
    std::size_t caret;

    friend bool operator==(const TypedComment&, const TypedComment&) = default;
};
TypedComment FitTypedComment(std::string_view text, std::size_t caret);

// What 登録 warns of (string 170) for the overlapping pairs of slots (lower
// slot first, as OverlappingReservations gives them): "№3 と №5, №3 と №7";
// past the first ten pairs only how many more there are.
std::string OverlapWarningText(const std::vector<std::pair<int, int>>& overlaps);

// What the dialog says of the margins in force: "録画: 開始 5 秒前～終了 2 秒後",
// or "録画: 予約した時刻どおり" without margins.
std::string MarginsText(Margins margins);

// The choices of the length box (string 32796, minutes separated by commas).
std::vector<OneTouchChoice> ReservationLengthChoices();

class ReservationDialogState {
public:
    // Opening: the working copy of the live table and the form at the
    // current time; no row is selected yet (the dialog selects row 1).
    ReservationDialogState(const Clock& clock, const ReservationTable& live);

    const ReservationTable& table() const { return table_; }
    ReservationForm& form() { return form_; }
    const ReservationForm& form() const { return form_; }
    int formYear() const { return formYear_; }
    // The row with the selection mark, or -1.
    int selected() const { return selected_; }
    // The "№" field: the selected slot's number.
    const std::string& number() const { return number_; }
    ReservationRow Row(int index) const;
    // The slots whose next spans overlap another slot's, and the pairs, in
    // the working copy: found on opening, after 予約する and 予約解除, and
    // again by FindOverlaps.
    const std::bitset<kReservationSlots>& overlapping() const { return overlapping_; }
    const std::vector<std::pair<int, int>>& overlaps() const { return overlaps_; }
    void FindOverlaps();

    // A row became selected (-1: the mark went away). A used slot is loaded
    // into the form; an empty one leaves the form as it is.
    void Select(int index);
    // 予約する: the form into the selected slot.
    void Reserve();
    // 予約解除: the selected slot becomes empty (an unreadable value too).
    void Release();
    // A programme from a TV-guide file: put in the first free slot (unused,
    // and holding no unreadable value), selected and loaded into the form;
    // 登録 then commits it as any edit. False when no slot is free.
    bool Place(const ReservationEntry& entry);
    // 現時刻設定: the form at the current time, seconds 0, nothing else set.
    void SetToNow();
    // A start or end field changed: the length follows.
    void TimesChanged();
    // A length was chosen from the list: the end follows (its second kept),
    // then the length follows the times.
    void LengthChosen(std::int64_t minutes);
    // A length was typed: the end follows; the field keeps what is typed.
    void LengthTyped();

private:
    void FillTimes(std::int64_t t, bool withSeconds);
    void SetEndFromLength(std::int64_t minutes);

    const Clock& clock_;
    ReservationTable table_;
    ReservationForm form_;
    int formYear_ = 1970;
    int selected_ = -1;
    std::string number_;
    std::vector<std::pair<int, int>> overlaps_;
    std::bitset<kReservationSlots> overlapping_;
};

}  // namespace kestrova
