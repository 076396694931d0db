#include "reservation/reservation.h"
#include "platform/clock.h"
#include "platform/cp932.h"

#include <gtest/gtest.h>

namespace kestrova {
namespace {

ReservationEntry Parse(const std::string& utf8) { return ParseReservationValue(Utf8ToCp932(utf8)); }

// A value that cannot be used: kept as it is, the slot not used.
ReservationEntry Kept(const std::string& value) { return {0, 0, 0, 0, "", 0, value}; }

TEST(ReservationParse, OddValuesGetOneMeaningWhatCannotBeUsedIsWrittenBackAsItIsAndCommentsStayWithin255Bytes) {
    struct Row {
        const char* value;
        ReservationEntry meaning;
        const char* written;  // nullptr: the value itself
    };
    constexpr std::int64_t s = 986342400, e = 986346000;  // 4 April 2001 09:00 and 10:00 in Japan
    const Row rows[] = {
        {"986342400,986346000,0,news,1", {1, s, e, 0, "news", 1}, nullptr},
        {"986346000,986342400,0,,3", {1, e, s, 0, "", 3}, nullptr},  // ends the next day; power-off kept as read
        {"+986342400, 986346000,0,a b,-2", {1, s, e, 0, "a b", -2}, "986342400,986346000,0,a b,-2"},
        {"986342400,986346000,-1,,0", {1, s, e, 127, "", 0}, "986342400,986346000,127,,0"},  // every day
        {"986342400,986346000,130,,0", {1, s, e, 2, "", 0}, "986342400,986346000,2,,0"},
        {"86400,32535043199,0,,0", {1, 86400, 32535043199, 0, "", 0}, nullptr},  // the first and last times
        // A comment with commas (older files): up to the last comma, stored with full-width ones.
        {"986342400,986346000,0,news,late,1", {1, s, e, 0, "news,late", 1}, "986342400,986346000,0,news\x81\x43late,1"},
        {"", ReservationEntry{}, nullptr},
    };
    for (const Row& row : rows) {
        const ReservationEntry read = ParseReservationValue(row.value);
        EXPECT_EQ(read, row.meaning) << row.value;
        EXPECT_EQ(FormatReservationValue(read), row.written ? row.written : row.value) << row.value;
    }
    // Too early or too late for every clock, cut short, a weekday mask that
    // names no day, numbers that do not fit.
    for (const char* kept : {"x", "-5,-1,0,,1", "86399,986346000,0,,0", "986342400,32535043200,0,,0",
                             "9223372036854775807,986346000,0,,0", "986342400,986346000,17", "986342400,986346000,0,",
                             "986342400,986346000,0,c,yes", "986342400,986346000,0,c,1 x", "986342400 ,986346000,0,,0",
                             "986342400,986346000,128,,0", "986342400,986346000,4294967298,,0",
                             "986342400,986346000,0,,4294967296"}) {
        const ReservationEntry read = ParseReservationValue(kept);
        EXPECT_EQ(std::pair(read, FormatReservationValue(read)), std::pair(Kept(kept), std::string(kept)));
    }
    // Shown cut, control characters as blanks.
    const ReservationEntry odd = Parse("予約\t" + std::string(50, '9'));
    EXPECT_EQ(UnreadableNotice(4, odd), "№5: 読めない予約です（予約 " + std::string(35, '9') + "…）");
    EXPECT_EQ(UnreadableValueText(Kept("a\tb")), "a b");
    // Commas never reach the file: each takes two bytes, and 127 full-width
    // commas fill 254 of a comment's 255 bytes. A longer comment read is cut.
    EXPECT_EQ(Utf8ToCp932(StorableComment(std::string(200, ','))).size(), 254u);
    std::string wide;
    for (int i = 0; i < 200; ++i) wide += "表";
    const ReservationEntry cut = Parse("986342400,986346000,0,a" + wide + ",1");
    EXPECT_EQ(std::pair(Utf8ToCp932(cut.comment).size(), cut.powerOff), std::pair(std::size_t{255}, 1));
}

TEST(ReservationFile, ReadingClearsTheTableAndKeepsUnreadableValuesAsTheyAre) {
    const std::string unreadable = Utf8ToCp932("986342400,986346000,0,予約");
    const std::string file = "[Other]\r\nTimer0=986342400,986346000,0,,1\r\n[Schedule]\r\nTimer5=x\r\nTimer7=" +
                             unreadable + "\r\nTimer98=986342400,986346000,0,,1\r\n";
    ReservationTable table;
    table[3].used = 1;
    IniFile ini(file);
    ReadReservations(ini, table);
    ReservationTable expected;
    expected[5] = Kept("x");
    expected[7] = Kept(unreadable);
    expected[98] = {1, 986342400, 986346000, 0, "", 1};
    EXPECT_EQ(table, expected);
    WriteReservations(ini, table);
    EXPECT_NE(ini.Serialize().find("Timer5=x\r\nTimer7=" + unreadable + "\r\n"), std::string::npos);
}

TEST(ReservationMerge, OnlyTheSlotsEditedInTheDialogReplaceTheLiveOnes) {
    ReservationTable opened;
    opened[0] = {1, 1000, 2000, 0, "retired meanwhile", 0};
    opened[1] = {1, 1000, 2000, 2, "weekly, moved on meanwhile", 0};
    opened[2] = {1, 5000, 6000, 0, "edited", 0};
    opened[3] = {1, 5000, 6000, 0, "emptied", 0};
    ReservationTable live = opened;
    live[0].used = 0;
    live[1].start += 604800;  // a week
    ReservationTable edited = opened;
    edited[2].comment = "changed";
    edited[3].used = 0;
    edited[4] = {0, 7000, 8000, 0, "reserved, then released", 0};
    // Unreadable values: one left alone, one cleared, one replaced.
    opened[5] = Kept("x");
    opened[6] = Kept("y");
    opened[7] = Kept("z");
    live[5] = live[6] = live[7] = Kept("x");
    edited[5] = opened[5];
    edited[6] = ReservationEntry{};
    edited[7] = {1, 5000, 6000, 0, "", 0};
    ReservationTable expected = live;
    for (std::size_t i : {2, 3, 6, 7}) expected[i] = edited[i];
    EXPECT_EQ(MergeEditedSlots(opened, edited, live).to_ulong(), 0b11001100u);
    EXPECT_EQ(live, expected);
}

TEST(ReservationTime, TimeOfDayAndWeekdayLabel) {
    const ManualClock japan;
    EXPECT_EQ(TimeOfDay(japan, 4102444800 + 3661), 9 * 3600 + 3661);  // after 2038
    EXPECT_EQ(TimeOfDay(ManualClock(0, -5 * 3600), 986342400), 19 * 3600);  // 19:00 the day before
    EXPECT_EQ(FormatWeekdays(127 | 128), "毎週,日,月,火,水,木,金,土");
}

}  // namespace
}  // namespace kestrova
