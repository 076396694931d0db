#include "reservation/reservation_dialog.h"

#include "platform/cp932.h"

#include <gtest/gtest.h>

namespace kestrova {
namespace {

// Japan's time zone; 14 May 2001 was a Monday.
std::int64_t At(int year, int month, int day, int hour, int minute, int second) {
    return ManualClock().FromLocal(year, month, day, hour, minute, second);
}

// The form with its number fields as the dialog fills them ("9", not "09");
// times are "hh:mm:ss", or empty for empty fields.
ReservationForm Form(const std::string& month, const std::string& day, const std::string& start,
                     const std::string& end) {
    const auto field = [](const std::string& t, std::size_t at) {
        return t.empty() ? std::string() : std::to_string(std::stoi(t.substr(at, 2)));
    };
    ReservationForm f;
    f.month = month;
    f.day = day;
    f.startHour = field(start, 0);
    f.startMinute = field(start, 3);
    f.startSecond = field(start, 6);
    f.endHour = field(end, 0);
    f.endMinute = field(end, 3);
    f.endSecond = field(end, 6);
    return f;
}

TEST(ReservationDialog, ListRowsShowDatesWeeklyLabelsAndPowerOff) {
    const ManualClock clock;
    struct Row {
        ReservationEntry entry;
        ReservationRow row;
    };
    const Row rows[] = {
        {{0, At(2001, 4, 4, 9, 0, 0), At(2001, 4, 4, 10, 0, 0), 0, "news", 1}, {"1", "", "", ""}},
        {{1, At(2001, 4, 4, 9, 0, 0), At(2001, 4, 4, 10, 0, 0), 0, "news", 1}, {"1", " 4/ 4 09:00:00", "10:00:00*", "news"}},
        {{1, At(2001, 12, 24, 23, 5, 9), At(2001, 12, 25, 0, 30, 0), -3, "", 0}, {"1", "12/24 23:05:09", "00:30:00", ""}},
        {{1, At(2001, 5, 14, 21, 0, 0), At(2001, 5, 14, 21, 30, 0), 10, "週，末", 7}, {"1", "毎週,月,水 21:00:00", "21:30:00*", "週，末"}},
    };
    for (const Row& r : rows) EXPECT_EQ(ReservationRowFor(clock, 0, r.entry), r.row) << r.row.start;
    EXPECT_EQ(ReservationRowFor(clock, 98, {}).number, "99");
}

TEST(ReservationDialog, StoredEntriesAndDatesThatHavePassed) {
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
        {may14, 2001, Form("5", "20", "09:00:00", "10:00:00"), At(2001, 5, 20, 9, 0, 0), At(2001, 5, 20, 10, 0, 0)},
        // Today stays today, even when its time has passed.
        {may14, 2001, Form("5", "14", "10:00:00", "11:00:00"), At(2001, 5, 14, 10, 0, 0), At(2001, 5, 14, 11, 0, 0)},
        // 1 January typed on 31 December is next year's, as is any day that has passed.
        {At(2001, 12, 31, 12, 0, 0), 2001, Form("1", "1", "00:00:10", "00:00:20"), At(2002, 1, 1, 0, 0, 10),
         At(2002, 1, 1, 0, 0, 20)},
        {may14, 2001, Form("5", "13", "21:00:00", "22:00:00"), At(2002, 5, 13, 21, 0, 0), At(2002, 5, 13, 22, 0, 0)},
        // A form year of a slot loaded from an earlier year moves on to this one.
        {may14, 1999, Form("6", "1", "21:00:00", "22:00:00"), At(2001, 6, 1, 21, 0, 0), At(2001, 6, 1, 22, 0, 0)},
        {may14, 2003, Form("6", "1", "21:00:00", "22:00:00"), At(2003, 6, 1, 21, 0, 0), At(2003, 6, 1, 22, 0, 0)},
        // Out-of-range fields roll over; the end is on the start's day.
        {At(2001, 3, 1, 0, 0, 0), 2001, Form("4", "31", "23:00:00", "01:00:00"), At(2001, 5, 1, 23, 0, 0),
         At(2001, 5, 1, 1, 0, 0)},
        // Empty fields count as 0: day 0 of month 0 is 30 November of the year
        // before; the next to come is this year's.
        {may14, 2001, Form("", "", "", ""), At(2001, 11, 30, 0, 0, 0), At(2001, 11, 30, 0, 0, 0)},
        // Weekly: the date of the fields as they are.
        {may14, 2001, weekly, At(2001, 3, 1, 21, 0, 0), At(2001, 3, 1, 22, 30, 0)},
    };
    ManualClock clock;
    for (const Row& r : rows) {
        clock.Set(r.now);
        const ReservationEntry e = EntryFromForm(clock, r.formYear, r.form);
        EXPECT_EQ(e.start, r.start) << r.form.month << "/" << r.form.day;
        EXPECT_EQ(e.end, r.end) << r.form.month << "/" << r.form.day;
        EXPECT_EQ(e.weekdays, r.form.weekdays);
        EXPECT_EQ(e.used, 1);
    }
    ReservationForm f = Form("5", "20", "09:00:00", "10:00:00");
    f.comment = "news,1";
    f.powerOff = true;
    const ReservationEntry e = EntryFromForm(clock, 2001, f);  // the comma is never read back as a power-off field
    EXPECT_EQ(std::pair(e.comment, e.powerOff), std::pair(std::string("news，1"), 1));
}

TEST(ReservationDialog, TypedCommentsShowCommasAsStoredAndStayWithin255Bytes) {
    EXPECT_EQ(FitTypedComment("a,b", 2), (TypedComment{"a，b", 4}));
    EXPECT_EQ(FitTypedComment("a\r\nb", 4), (TypedComment{"a  b", 4}));
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
    EXPECT_EQ(Utf8ToCp932(cut.text).size(), 254u);
    EXPECT_EQ(cut.caret, 0u);
    EXPECT_EQ(Utf8ToCp932(FitTypedComment(std::string(200, ','), 200).text).size(), 254u);
}

TEST(ReservationDialog, OpeningSelectingAndTheButtons) {
    ManualClock clock(At(2001, 5, 14, 20, 15, 42));
    ReservationTable live;
    live[1] = {1, At(2001, 5, 16, 21, 0, 0), At(2001, 5, 16, 21, 45, 30), 10, "週", 1};
    ReservationDialogState d(clock, live);
    ReservationForm opened = Form("5", "14", "20:15:42", "20:15:42");
    EXPECT_EQ(d.form(), opened);
    EXPECT_EQ(d.selected(), -1);
    d.Select(0);  // an empty slot: the form stays
    EXPECT_EQ(d.form(), opened);
    EXPECT_EQ(d.number(), "1");
    d.Select(1);
    ReservationForm loaded = Form("5", "16", "21:00:00", "21:45:30");
    loaded.length = "45";
    loaded.comment = "週";
    loaded.weekdays = 10;
    loaded.powerOff = true;
    EXPECT_EQ(d.form(), loaded);
    EXPECT_FALSE(d.form().DateEnabled());
    EXPECT_EQ(d.number(), "2");
    // 予約する on an empty row stores a copy of what the form shows.
    d.Select(4);
    d.Reserve();
    EXPECT_EQ(d.table()[4], live[1]);
    d.Release();
    EXPECT_EQ(d.table()[4].used, 0);
    EXPECT_EQ(d.Row(4), (ReservationRow{"5", "", "", ""}));
    d.SetToNow();
    ReservationForm now = Form("5", "14", "20:15:00", "20:15:00");
    EXPECT_EQ(d.form(), now);
    EXPECT_EQ(d.formYear(), 2001);
    d.Select(-1);  // no mark: the buttons do nothing
    d.Reserve();
    d.Release();
    EXPECT_EQ(d.table()[1], live[1]);
    EXPECT_EQ(d.table()[4].used, 0);
}

TEST(ReservationDialog, LengthAndEndFollowEachOther) {
    ManualClock clock;
    ReservationDialogState d(clock, ReservationTable{});
    struct Row {
        ReservationForm form;
        std::int64_t chosen;
        const char* end;
        const char* length;
    };
    const Row rows[] = {
        {Form("1", "1", "23:50:00", "23:50:07"), 15, "0:5:7", "0"},
        {Form("1", "1", "10:00:30", "10:00:00"), 15, "10:15:0", "14"},
        {Form("1", "1", "10:00:00", "10:00:00"), 1500, "11:0:0", "60"},
        {Form("1", "1", "10:00:00", "10:00:00"), -15, "9:45:0", "0"},
    };
    for (const Row& r : rows) {
        d.form() = r.form;
        d.LengthChosen(r.chosen);
        EXPECT_EQ(d.form().endHour + ":" + d.form().endMinute + ":" + d.form().endSecond, r.end) << r.chosen;
        EXPECT_EQ(d.form().length, r.length) << r.chosen;
    }
    d.form() = Form("1", "1", "10:00:30", "10:00:00");
    d.form().length = "15x";  // typed: the field keeps what is typed
    d.LengthTyped();
    EXPECT_EQ(d.form().endMinute, "15");
    EXPECT_EQ(d.form().length, "15x");
    d.form() = Form("1", "1", "23:00:00", "01:00:00");
    d.TimesChanged();
    EXPECT_EQ(d.form().length, "0");  // across midnight the box shows 0
    d.form().endHour = "";
    d.form().startHour = "";
    d.TimesChanged();
    EXPECT_EQ(d.form().length, "0");
}

}  // namespace
}  // namespace kestrova
