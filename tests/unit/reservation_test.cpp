#include "reservation/reservation.h"
#include "platform/clock.h"
#include "platform/cp932.h"

#include <gtest/gtest.h>

namespace kestrova {
namespace {

ReservationEntry Parse(const std::string& utf8) { return ParseReservationValue(Utf8ToCp932(utf8)); }

TEST(ReservationParse, WhateverDoesNotParseStaysZeroAndOnlyTheScheduleSectionIsRead) {
    struct Row {
        const char* value;
        ReservationEntry expected;
    };
    // Whatever is not a value leaves a used slot with zeros from there on;
    // an old file with a comma in a comment still reads as before.
    const Row rows[] = {
        {"5,x,3,c,1", {1, 5, 0, 0, "", 0}},
        {"1,2,3,", {1, 1, 2, 3, "", 0}},
        {"1,2,3,c,yes", {1, 1, 2, 3, "c", 0}},
        {"-5,2,3,c,,,-1", {1, -5, 2, 3, "c", -1}},
        {"1,2,0,news,late,1", {1, 1, 2, 0, "news", 0}},
        {"1,2,0,,,7", {1, 1, 2, 0, "", 7}},
    };
    for (const Row& row : rows) EXPECT_EQ(Parse(row.value), row.expected) << row.value;
    EXPECT_EQ(Parse(""), ReservationEntry{});
    // Reading clears the table first.
    ReservationTable table;
    table[3].used = 1;
    ReadReservations(IniFile("[Other]\r\nTimer0=1,2,0,,1\r\n[Schedule]\r\nTimer98=1,2,0,,1\r\n"), table);
    ReservationTable expected;
    expected[98] = {1, 1, 2, 0, "", 1};
    EXPECT_EQ(table, expected);
}

TEST(ReservationFormat, CommasNeverReachTheFileAndCommentsStayWithin255Bytes) {
    const std::string stored = FormatReservationValue({1, 986342400, 986346000, 0, "news,1", 0});
    EXPECT_EQ(Cp932ToUtf8(stored), "986342400,986346000,0,news，1,0");  // "1" must not become a power-off flag
    EXPECT_EQ(FormatReservationValue(ReservationEntry{}), "");
    // Each comma takes two bytes: 127 full-width commas fill 254 of the 255 bytes.
    EXPECT_EQ(Utf8ToCp932(StorableComment(std::string(200, ','))).size(), 254u);
    std::string wide;
    for (int i = 0; i < 200; ++i) wide += "表";
    const ReservationEntry cut = Parse("1,2,0,a" + wide + ",1");
    EXPECT_EQ(std::pair(Utf8ToCp932(cut.comment).size(), cut.powerOff), std::pair(std::size_t{255}, 1));
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
    ReservationTable expected = live;
    expected[2] = edited[2];
    expected[3] = edited[3];
    EXPECT_EQ(MergeEditedSlots(opened, edited, live).to_ulong(), 0b1100u);
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
