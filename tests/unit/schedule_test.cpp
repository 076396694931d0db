#include "reservation/one_touch.h"
#include "reservation/schedule.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <utility>
#include <vector>
#include <tuple>

namespace kestrova {
namespace {

// Japan's time zone; 14 May 2001 was a Monday.
ManualClock clock;
std::int64_t At(int day, int hour, int minute, int second) { return clock.FromLocal(2001, 5, day, hour, minute, second); }

ReservationEntry Once(std::int64_t start, std::int64_t end) { return ReservationEntry{1, start, end, 0, "", 0}; }

TEST(Schedule, WeeklyOccurrencesRunUntilTheirSpanEndsAndTheFirstAndLastTimesKeepTheirDates) {
    const std::int32_t monday = 1 << 1;
    const ReservationEntry weekly{1, At(1, 21, 0, 0), At(1, 22, 0, 0), monday, "", 0};
    EXPECT_EQ(WeeklyOccurrenceEndingAfter(clock, weekly, At(14, 20, 0, 0)), At(14, 21, 0, 0));  // later today
    EXPECT_EQ(WeeklyOccurrenceEndingAfter(clock, weekly, At(14, 21, 30, 0)), At(14, 21, 0, 0));  // still running
    EXPECT_EQ(WeeklyOccurrenceEndingAfter(clock, weekly, At(14, 22, 0, 0)), At(21, 21, 0, 0));  // ended: next week
    // A span past midnight still runs on Tuesday morning.
    const ReservationEntry late{1, At(1, 23, 0, 0), At(1, 1, 0, 0), monday, "", 0};
    EXPECT_EQ(WeeklyOccurrenceEndingAfter(clock, late, At(15, 0, 30, 0)), At(14, 23, 0, 0));
    const ReservationEntry twice{1, At(14, 20, 0, 0), At(14, 20, 30, 0), monday | (1 << 3), "", 0};
    EXPECT_EQ(WeeklyOccurrenceAfter(clock, twice, At(14, 20, 0, 0)), At(16, 20, 0, 0));  // Wednesday
    EXPECT_EQ(TimerStatusText(clock, twice), "TIMER : 毎週,月,水 20:00:00");
    // Past 2038 the same.
    const std::int64_t far = clock.FromLocal(2040, 1, 2, 21, 0, 0);  // a Monday
    EXPECT_EQ(WeeklyOccurrenceEndingAfter(clock, weekly, far - 3600), far);
    // The last start with a span past midnight: no overflow, the year 3000.
    const ReservationEntry last{1, kLatestReservationTime, kLatestReservationTime - 60, 0, "", 1};
    EXPECT_EQ(SpanOf(clock, last), (Span{kLatestReservationTime, kLatestReservationTime + 86340}));
    EXPECT_EQ(TimerStatusText(clock, last), "TIMER : 3000/12/30 08:59:59 [PWR OFF]");
    EXPECT_EQ(TimerTitle("K", clock, last), "K(次回ﾀｲﾏｰ予定日:3000/12/30)");
    EXPECT_EQ(DatedRecordingName(clock, kEarliestReservationTime), "01-02(09時00分00秒).avi");
    // No weekly occurrence lies past the last time.
    const ReservationEntry daily{1, kLatestReservationTime, kLatestReservationTime, 127, "", 0};
    EXPECT_EQ(WeeklyOccurrenceAfter(clock, daily, kLatestReservationTime), 0);
}

TEST(Schedule, OverlapsAreHalfOpenAndWeeklySlotsCountByTheirNextOccurrence) {
    ReservationTable table;
    const std::int64_t now = At(14, 20, 0, 0);
    table[0] = Once(At(14, 21, 0, 0), At(14, 21, 30, 0));
    table[1] = Once(At(14, 21, 30, 0), At(14, 22, 0, 0));  // back to back: no overlap
    table[2] = Once(At(14, 22, 15, 0), At(14, 22, 30, 0));  // nor with slot 5, in either order
    table[4] = Once(At(14, 21, 45, 0), At(14, 22, 15, 0));  // overlaps slot 2
    table[6] = Once(At(14, 19, 0, 0), At(14, 19, 59, 0));   // over: not counted
    // Weekly Monday 21:20 stored weeks ago: today's occurrence overlaps slot 1.
    table[8] = ReservationEntry{1, At(1, 21, 20, 0), At(1, 21, 40, 0), 1 << 1, "", 0};
    const auto pairs = OverlappingReservations(clock, table, now);
    EXPECT_EQ(pairs, (std::vector<std::pair<int, int>>{{0, 8}, {1, 4}, {1, 8}}));
    EXPECT_EQ(SlotsOverlapping(pairs, 8), (std::vector<int>{0, 1}));
    EXPECT_EQ(NextSpan(clock, table[8], now), (Span{At(14, 21, 20, 0), At(14, 21, 40, 0)}));
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
    // More than a day keeps its text and records a day (71582789 minutes
    // used to overflow into 44 seconds).
    EXPECT_EQ(texts("10,, 5min,abc,-3,1441,71582789"), "10=10  5min=5 abc=0 -3=-3 1441=1440 71582789=1440 ");
    // Not a number, or 0 or less: one minute; nothing chosen: the number shown.
    for (auto [chosen, shown, minutes] : {std::tuple{std::optional<std::int32_t>(45), "15", 45}, {0, "15", 1},
                                          {-3, "15", 1}, {std::nullopt, "25", 25}, {std::nullopt, "x", 1},
                                          {1441, "15", 1440}, {std::nullopt, "99999999999", 1440}}) {
        EXPECT_EQ(OneTouchMinutes(chosen, shown), minutes) << shown;
    }
}

// Margins widen a recording but never into another: an end margin gives way
// to a later start, a start margin to an earlier (margined) end, and spans
// that overlap already get none into each other.
TEST(MarginSpanTest, WidensTheSpanAndGivesWayToTheNeighbours) {
    struct Case {
        const char* what;
        Span span;
        std::vector<Span> others;
        Span recorded;
    };
    const Case cases[] = {
        {"far from the others", {300, 400}, {{100, 200}, {500, 600}}, {295, 402}},
        {"back to back, the first", {100, 200}, {{200, 300}}, {95, 200}},
        {"back to back, the second", {200, 300}, {{100, 200}}, {200, 302}},
        {"3 s apart, the first keeps its end margin", {100, 200}, {{203, 300}}, {95, 202}},
        {"3 s apart, the second starts where it ends", {203, 300}, {{100, 200}}, {202, 302}},
        {"a short one in the gap between takes it", {203, 300}, {{100, 200}, {201, 202}}, {203, 302}},
        {"overlapping, the first", {100, 200}, {{150, 300}}, {95, 200}},
        {"overlapping, the second", {150, 300}, {{100, 200}}, {150, 302}},
        {"inside a longer one", {150, 200}, {{100, 300}}, {150, 202}},
        {"the same start", {100, 150}, {{100, 200}}, {95, 152}},
    };
    for (const Case& c : cases) EXPECT_EQ(MarginSpan(c.span, c.others, Margins{5, 2}), c.recorded) << c.what;
}

}  // namespace
}  // namespace kestrova
