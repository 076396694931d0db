#include "reservation/reservation_dialog.h"
#include "platform/cp932.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrova {
namespace {

// Japan's time zone; 14 May 2001 was a Monday.
std::int64_t At(int year, int month, int day, int hour, int minute, int second) {
    return ManualClock().FromLocal(year, month, day, hour, minute, second);
}

// The form with its number fields as the dialog fills them ("9", not "09");
// times are "hh:mm:ss", or empty for empty fields.
ReservationForm Form(const std::string& month, const std::string& day, const std::string& start, const std::string& end) {
    ReservationForm f;
    f.month = month;
    f.day = day;
    std::string* fields[] = {&f.startHour, &f.startMinute, &f.startSecond, &f.endHour, &f.endMinute, &f.endSecond};
    for (std::size_t i = 0; i < 6; ++i) {
        const std::string& time = i < 3 ? start : end;
        if (!time.empty()) *fields[i] = std::to_string(std::stoi(time.substr(i % 3 * 3, 2)));
    }
    return f;
}

TEST(ReservationDialog, OneTimeDatesThatHavePassedGoToTheNextYear) {
    struct Row {
        std::int64_t now;
        int formYear;
        ReservationForm form;
        std::int64_t start, end;
    };
    const std::int64_t may14 = At(2001, 5, 14, 20, 0, 0);
    ReservationForm weekly = Form("3", "1", "21:00:00", "22:30:00");
    weekly.weekdays = 34;
    const Row rows[] = {
        // Today stays today, even when its time has passed; yesterday is next year's.
        {may14, 2001, Form("5", "14", "10:00:00", "11:00:00"), At(2001, 5, 14, 10, 0, 0), At(2001, 5, 14, 11, 0, 0)},
        {may14, 2001, Form("5", "13", "21:00:00", "22:00:00"), At(2002, 5, 13, 21, 0, 0), At(2002, 5, 13, 22, 0, 0)},
        // A form year of a slot loaded from an earlier year moves on to this one.
        {may14, 1999, Form("6", "1", "21:00:00", "22:00:00"), At(2001, 6, 1, 21, 0, 0), At(2001, 6, 1, 22, 0, 0)},
        // Out-of-range fields roll over; the end is on the start's day.
        {At(2001, 3, 1, 0, 0, 0), 2001, Form("4", "31", "23:00:00", "01:00:00"), At(2001, 5, 1, 23, 0, 0),
         At(2001, 5, 1, 1, 0, 0)},
        // Empty fields count as 0: day 0 of month 0 is 30 November of the year
        // before; the next to come is this year's.
        {may14, 2001, Form("", "", "", ""), At(2001, 11, 30, 0, 0, 0), At(2001, 11, 30, 0, 0, 0)},
        // Weekly: the date of the fields as they are.
        {may14, 2001, weekly, At(2001, 3, 1, 21, 0, 0), At(2001, 3, 1, 22, 30, 0)},
        // Past the clock's reach: unreadable, as the file would be.
        {may14, 3000, Form("12", "31", "21:00:00", "22:00:00"), 0, 0},
    };
    ManualClock clock;
    for (const Row& r : rows) {
        clock.Set(r.now);
        const ReservationEntry e = EntryFromForm(clock, r.formYear, r.form);
        EXPECT_EQ(std::pair(e.start, e.end), std::pair(r.start, r.end)) << r.form.month << "/" << r.form.day;
    }
}

TEST(ReservationDialog, TypedCommentsShowCommasAsStoredAndStayWithin255BytesAndALongOverlapWarningStopsAtTenPairs) {
    EXPECT_EQ(FitTypedComment("a,b", 2), (TypedComment{"a，b", 4}));
    const std::string full(255, 'x');
    // One more character typed at the end, or in the middle, is dropped again.
    EXPECT_EQ(FitTypedComment(full + "y", 256), (TypedComment{full, 255}));
    EXPECT_EQ(FitTypedComment("xx表" + std::string(253, 'x'), 5), (TypedComment{full, 2}));
    // A double-byte character that would end at byte 256 does not fit.
    EXPECT_EQ(FitTypedComment(std::string(254, 'x') + "表", 257).text, std::string(254, 'x'));
    // Pasted with the caret at the start: the end is cut.
    std::string wide;
    for (int i = 0; i < 200; ++i) wide += "表";
    const TypedComment cut = FitTypedComment(wide, 0);
    EXPECT_EQ(std::pair(Utf8ToCp932(cut.text).size(), cut.caret), std::pair(std::size_t{254}, std::size_t{0}));
    // A long overlap warning names ten pairs and counts the rest. (The marks
    // on overlapping rows, how 予約する and 予約解除 change them and the warning
    // are checked on the real dialog in tests/e2e/test_reservation_dialog.py.)
    const std::vector<std::pair<int, int>> many(12, {0, 1});
    EXPECT_NE(OverlapWarningText(many).find(", №1 と №2, ほか 2 組\n"), std::string::npos);
}

// Empty and unreadable rows keep the form. A programme from a TV-guide file
// goes to the first free slot (an unreadable one is not free), selected and
// in the form, until none is.
TEST(ReservationDialog, EmptyAndUnreadableRowsKeepTheFormAndAProgrammeGoesToTheFirstFreeSlot) {
    ManualClock clock(At(2001, 5, 14, 20, 15, 42));
    ReservationTable live;
    live[0] = live[2] = ParseReservationValue("x");
    live[1] = {1, At(2001, 5, 16, 21, 0, 0), At(2001, 5, 16, 21, 45, 30), 10, "週", 1};
    live[3] = ParseReservationValue(Utf8ToCp932("1,2,0,予約,1"));
    ReservationDialogState d(clock, live);
    EXPECT_EQ(d.Row(3), (ReservationRow{"4", "読めない予約", "", "1,2,0,予約,1"}));
    d.Select(1);
    d.Select(4);  // an empty slot: the form stays
    d.Select(3);  // an unreadable one too
    EXPECT_EQ(std::pair(d.form().endMinute, d.form().weekdays), std::pair(std::string("45"), 10));
    d.Select(-1);  // no mark: the buttons do nothing
    d.Reserve();
    d.Release();
    EXPECT_EQ(d.table(), live);
    d.Select(2);  // 予約解除 clears an unreadable slot, 予約する replaces one
    d.Release();
    d.Select(3);
    d.Reserve();
    EXPECT_EQ(d.Row(2), (ReservationRow{"3", "", "", ""}));
    EXPECT_EQ(d.table()[3], EntryFromForm(clock, d.formYear(), d.form()));
    d.SetToNow();  // no seconds
    EXPECT_EQ(d.form(), Form("5", "14", "20:15:00", "20:15:00"));
    const ReservationEntry programme{1, At(2001, 5, 20, 23, 30, 0), At(2001, 5, 21, 0, 15, 0), 0, "番組", 0};
    ASSERT_TRUE(d.Place(programme));
    EXPECT_EQ(std::pair(d.selected(), d.table()[2]), std::pair(2, programme));
    ReservationForm shown = Form("5", "20", "23:30:00", "00:15:00");
    shown.length = "0";  // the length box counts within one day
    shown.comment = "番組";
    EXPECT_EQ(d.form(), shown);
    for (int slot = 4; slot < kReservationSlots; ++slot) ASSERT_TRUE(d.Place(programme));
    EXPECT_FALSE(d.Place(programme));
    EXPECT_EQ(d.table()[0], live[0]);
}

TEST(ReservationDialog, LengthAndEndFollowEachOther) {
    ManualClock clock;
    ReservationDialogState d(clock, ReservationTable{});
    struct Row {
        const char *start, *end;
        std::int64_t chosen;  // -1: typed "15x"
        const char *endShown, *length;
    };
    const Row rows[] = {
        {"23:50:00", "23:50:07", 15, "0:5:7", "0"},  // across midnight the box shows 0
        {"10:00:30", "10:00:00", 15, "10:15:0", "14"},
        {"10:00:00", "10:00:00", 1500, "11:0:0", "60"},
        {"10:00:00", "10:00:00", -15, "9:45:0", "0"},
        {"10:00:30", "10:00:00", -1, "10:15:0", "15x"},  // the field keeps what is typed
    };
    for (const Row& r : rows) {
        d.form() = Form("1", "1", r.start, r.end);
        d.form().length = "15x";
        r.chosen == -1 ? d.LengthTyped() : d.LengthChosen(r.chosen);
        EXPECT_EQ(std::pair(d.form().endHour + ":" + d.form().endMinute + ":" + d.form().endSecond, d.form().length),
                  std::pair(std::string(r.endShown), std::string(r.length)))
            << r.chosen;
    }
}

}  // namespace
}  // namespace kestrova
