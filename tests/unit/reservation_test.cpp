#include "reservation/reservation.h"
#include "platform/clock.h"
#include "platform/cp932.h"

#include <gtest/gtest.h>


namespace kestrova {
namespace {

ReservationEntry Parse(const std::string& utf8) { return ParseReservationValue(Utf8ToCp932(utf8)); }

TEST(ReservationParse, FieldsAsStoredAndWhateverDoesNotParseStaysZero) {
    struct Row {
        const char* value;
        ReservationEntry expected;
    };
    const Row rows[] = {
        {"986342400,986346000,0,news,1", {1, 986342400, 986346000, 0, "news", 1}},
        {"986342400,986346000,34,,0", {1, 986342400, 986346000, 34, "", 0}},
        {"1,2,0, two words ,1", {1, 1, 2, 0, " two words ", 1}},
        {"1,2,0,録画テスト,0", {1, 1, 2, 0, "録画テスト", 0}},
        // Whatever is not a value leaves a used slot with zeros from there on.
        {"x", {1, 0, 0, 0, "", 0}},
        {"5,x,3,c,1", {1, 5, 0, 0, "", 0}},
        {"1,2,3,", {1, 1, 2, 3, "", 0}},
        {"1,2,3,c,yes", {1, 1, 2, 3, "c", 0}},
        {"-5,2,3,c,,,-1", {1, -5, 2, 3, "c", -1}},
        // An old file with a comma in a comment still reads as before.
        {"1,2,0,news,late,1", {1, 1, 2, 0, "news", 0}},
        {"1,2,0,,,7", {1, 1, 2, 0, "", 7}},
    };
    for (const Row& row : rows) EXPECT_EQ(Parse(row.value), row.expected) << row.value;
    EXPECT_EQ(Parse(""), ReservationEntry{});
}

TEST(ReservationParse, LongValuesAreReadWhole) {
    // A 255-byte comment and its power-off flag: well over 259 characters.
    const std::string comment(255, 'c');
    EXPECT_EQ(Parse("2000000000,2000003600,127," + comment + ",1"),
              (ReservationEntry{1, 2000000000, 2000003600, 127, comment, 1}));
    // Longer comments are cut to 255 bytes on a character boundary.
    std::string wide;
    for (int i = 0; i < 200; ++i) wide += "表";
    const ReservationEntry cut = Parse("1,2,0,a" + wide + ",1");
    EXPECT_EQ(std::pair(Utf8ToCp932(cut.comment).size(), cut.powerOff), std::pair(std::size_t{255}, 1));
}

TEST(ReservationFormat, CommasNeverReachTheFileAndLaterTimesStayWhole) {
    ReservationEntry e{1, 986342400, 986346000, 0, "news,1", 0};
    const std::string stored = FormatReservationValue(e);
    EXPECT_EQ(Cp932ToUtf8(stored), "986342400,986346000,0,news，1,0");  // "1" must not become a power-off flag
    EXPECT_EQ(ParseReservationValue(stored), (ReservationEntry{1, 986342400, 986346000, 0, "news，1", 0}));
    EXPECT_EQ(FormatReservationValue(ReservationEntry{}), "");
    e.start = 4102444800;  // beyond 2038
    EXPECT_EQ(ParseReservationValue(FormatReservationValue(e)).start, 4102444800);
    // Line breaks become blanks; each comma takes two bytes: 127 full-width
    // commas fill 254 of the 255 bytes.
    EXPECT_EQ(StorableComment("a\r\nb"), "a  b");
    EXPECT_EQ(Utf8ToCp932(StorableComment(std::string(200, ','))).size(), 254u);
}

TEST(ReservationFile, RoundTripWithEveryKeyWrittenAndEverySlotRead) {
    ReservationTable table;
    table[0] = {1, 986342400, 986346000, 0, "two words", 1};
    table[98] = {1, 1, 2, 127, "最後", 0};
    IniFile ini("[Schedule]\r\nTimer120=keep\r\nOther=1\r\n");
    WriteReservations(ini, table);
    const std::string file = ini.Serialize();
    EXPECT_EQ(file.rfind("[Schedule]\r\nTimer120=keep\r\nOther=1\r\nTimer0=986342400,986346000,0,two words,1\r\n"
                         "Timer1=\r\n",
                         0),
              0u);
    EXPECT_NE(file.find("Timer97=\r\nTimer98=1,2,127," + Utf8ToCp932("最後") + ",0\r\n"), std::string::npos);
    ReservationTable back;
    back[3].used = 1;  // cleared by reading
    ReadReservations(IniFile(file), back);
    EXPECT_EQ(back, table);
    // Only the Schedule section counts.
    ReadReservations(IniFile("[Other]\r\nTimer0=1,2,0,,1\r\n[Schedule]\r\nTimer0=\r\n"), back);
    EXPECT_EQ(back, ReservationTable{});
}

TEST(ReservationTime, TimeOfDayAndWeekdayLabel) {
    const ManualClock japan;
    EXPECT_EQ(TimeOfDay(japan, 986342400), 9 * 3600);  // 09:00:00 on 4 April 2001, Japan time
    EXPECT_EQ(TimeOfDay(japan, 4102444800 + 3661), 9 * 3600 + 3661);  // after 2038
    EXPECT_EQ(TimeOfDay(ManualClock(0, -5 * 3600), 986342400), 19 * 3600);  // 19:00 the day before
    EXPECT_EQ(FormatWeekdays(0), "毎週");
    EXPECT_EQ(FormatWeekdays(127 | 128), "毎週,日,月,火,水,木,金,土");
    EXPECT_LE(Utf8ToCp932(FormatWeekdays(127)).size(), 25u);
}

}  // namespace
}  // namespace kestrova
