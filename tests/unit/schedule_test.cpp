#include "reservation/one_touch.h"
#include "reservation/schedule.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <tuple>

namespace kestrova {
namespace {

// Japan's time zone; 14 May 2001 was a Monday.
ManualClock clock;
std::int64_t At(int day, int hour, int minute, int second) { return clock.FromLocal(2001, 5, day, hour, minute, second); }

ReservationEntry Once(std::int64_t start, std::int64_t end) { return ReservationEntry{1, start, end, 0, "", 0}; }

TEST(Schedule, WeeklyReservationsComeNextOnTheirDayNotBeforeNow) {
    const std::int32_t monday = 1 << 1;
    clock.Set(At(14, 20, 0, 0));
    EXPECT_EQ(NextWeeklyOccurrence(clock, monday, At(1, 21, 0, 0)), At(14, 21, 0, 0));  // later today
    clock.Set(At(14, 22, 0, 0));
    EXPECT_EQ(NextWeeklyOccurrence(clock, monday, At(1, 21, 0, 0)), At(21, 21, 0, 0));  // passed: next week
    clock.Set(At(14, 21, 0, 0));
    EXPECT_EQ(NextWeeklyOccurrence(clock, monday, At(1, 21, 0, 0)), At(14, 21, 0, 0));  // this very second
    EXPECT_EQ(NextWeeklyOccurrence(clock, monday | (1 << 3), At(1, 20, 0, 0)), At(16, 20, 0, 0));  // Wednesday
    EXPECT_EQ(NextWeeklyOccurrence(clock, 1 << 7, At(1, 20, 0, 0)), 0);  // no weekday bit
}

TEST(Schedule, TheEarliestStartNotPassedIsChosenAndWeeklySlotsMove) {
    ReservationTable table;
    clock.Set(At(14, 20, 0, 0));
    table[7] = Once(At(14, 20, 0, 0) - 1, At(14, 21, 0, 0));  // a second late: never
    EXPECT_EQ(SelectNextReservation(clock, table), -1);
    table[5] = Once(At(14, 21, 0, 0), At(14, 22, 0, 0));
    table[3] = Once(At(14, 21, 0, 0), At(14, 21, 30, 0));  // the same start: the lower slot
    EXPECT_EQ(SelectNextReservation(clock, table), 3);
    table[9] = Once(At(14, 20, 0, 0), At(14, 20, 0, 1));  // now exactly
    EXPECT_EQ(SelectNextReservation(clock, table), 9);
    table[9].used = 0;
    // A weekly slot stored weeks ago moves to its next day, its end with it
    // (an end earlier in the day stays earlier: the span runs past midnight).
    table[1] = ReservationEntry{1, At(1, 20, 30, 0), At(1, 0, 30, 0), 1 << 1, "weekly", 0};
    EXPECT_EQ(SelectNextReservation(clock, table), 1);
    EXPECT_EQ(table[1].start, At(14, 20, 30, 0));
    EXPECT_EQ(table[1].end, At(14, 0, 30, 0));
    EXPECT_EQ(ReservationLength(clock, table[1]), 4 * 3600);
    EXPECT_EQ(table[7].used, 1);  // the missed one stays in the table
}

TEST(Schedule, ADatedNameIsTakenWhenAnyOfItsPartNamesIs) {
    std::set<std::string> files{"D:\\cap\\05-12(21時00分00秒)_02.avi"};
    const auto exists = [&](const std::string& path) { return files.count(path) != 0; };
    const std::string name = "05-12(21時00分00秒).avi";
    EXPECT_EQ(FreeRecordingPath("D:\\cap", name, 1, exists), "D:\\cap\\05-12(21時00分00秒).avi");
    EXPECT_EQ(FreeRecordingPath("D:\\cap\\", name, 2, exists), "D:\\cap\\05-12(21時00分00秒)(2).avi");
}

TEST(OneTouch, ChoicesFromTheSettingAndTheMinutesOkRecords) {
    const auto texts = [](std::string_view setting) {
        std::string out;
        for (const OneTouchChoice& c : OneTouchChoices(setting)) out += c.text + "=" + std::to_string(c.minutes) + " ";
        return out;
    };
    EXPECT_EQ(texts("10,, 5min,abc,-3,99999999999"), "10=10  5min=5 abc=0 -3=-3 99999999999=2147483647 ");
    // Not a number, or 0 or less: one minute; nothing chosen: the number shown.
    for (auto [chosen, shown, minutes] : {std::tuple{std::optional<std::int32_t>(45), "15", 45}, {0, "15", 1},
                                          {-3, "15", 1}, {std::nullopt, "25", 25}, {std::nullopt, "x", 1}}) {
        EXPECT_EQ(OneTouchMinutes(chosen, shown), minutes) << shown;
    }
}

}  // namespace
}  // namespace kestrova
