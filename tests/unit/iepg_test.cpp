#include "platform/cp932.h"
#include "reservation/iepg.h"
#include "store/string_table.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace kestrova {
namespace {

const ManualClock clock;  // Japan's time zone

std::variant<IepgProgramme, IepgFault> Parse(const std::string& header) {
    return ParseIepg("year: 2001\nmonth: 5\ndate: 12\n" + header);
}

// A programme from a guide site, in Shift_JIS with CR LF and free text
// after the header, or in UTF-8 with LF when the file says so.
TEST(Iepg, AProgrammeBecomesAOneTimeReservationEndingAfterMidnightWhereItSays) {
    const std::string v1 = Utf8ToCp932(
        "Content-type: application/x-tv-program-info; charset=shift_jis\r\nversion: 1\r\nstation: ＮＨＫ総合\r\n"
        "year: 2001\r\nmonth: 5\r\ndate: 12\r\nstart: 23:30\r\nend: 00:15\r\nprogram-title: ニュース, <b>天気</b>\r\n"
        "\r\nstart: 9:00 の再放送\r\n");
    const IepgProgramme p = std::get<IepgProgramme>(ParseIepg(v1));
    EXPECT_EQ(p, (IepgProgramme{2001, 5, 12, 84600, 86400 + 900, "ニュース, <b>天気</b>", "ＮＨＫ総合"}));
    const ReservationEntry e = IepgReservation(clock, p);
    EXPECT_EQ(e, (ReservationEntry{1, clock.FromLocal(2001, 5, 12, 23, 30, 0), clock.FromLocal(2001, 5, 13, 0, 15, 0),
                                   0, "ニュース， <b>天気</b>", 0}));
    const std::string v2 = "CONTENT-TYPE: application/x-tv-program-info; Charset=UTF-8\nversion: 2\nprogram-id: 1\n"
                           "year: 2001\nmonth: 12\ndate: 31\nstart: 23:00:30\nend: 25:00\nprogram-title: 年越し\n";
    const IepgProgramme q = std::get<IepgProgramme>(ParseIepg(v2));
    EXPECT_EQ(std::tuple(q.start, q.end, q.title), std::tuple(82830, 90000, std::string("年越し")));
    EXPECT_EQ(IepgReservation(clock, q).end, clock.FromLocal(2002, 1, 1, 1, 0, 0));
    // A title is cut to what a comment may hold, on a character boundary.
    const std::string longTitle = "start: 1:00\nend: 2:00\nprogram-title: " + Utf8ToCp932(std::string(200 * 3, 'x')) +
                                  Utf8ToCp932("あ") + "\n";
    EXPECT_EQ(IepgReservation(clock, std::get<IepgProgramme>(Parse(longTitle))).comment.size(), kCommentMaxBytes);
}

// A file that is no programme is refused by its first bad line.
TEST(Iepg, AFileThatIsNoProgrammeIsRefusedByItsFirstBadLine) {
    const struct {
        std::string file;
        IepgFault fault;
    } table[] = {
        {"start: 1:00\nend: 2:00\n", {0, std::string(LoadText(strings::kIepgNoDate))}},
        {"year: 2001\nmonth: 5\ndate: 12\nstart: 1:00\n", {0, std::string(LoadText(strings::kIepgNoTimes))}},
        {"year: 2001\nmonth: 13\ndate: 1\nstart: 1:00\nend: 2:00\n", {2, std::string(LoadText(strings::kIepgNotADate))}},
        {"year: 2001\nmonth: 2\ndate: 29\nstart: 1:00\nend: 2:00\n", {3, std::string(LoadText(strings::kIepgNotADate))}},
        {"year: 2001\nmonth: 5\ndate: 12\nstart: 25:00\nend: 26:00\n", {4, std::string(LoadText(strings::kIepgNotATime))}},
        {"year: 2001\nmonth: 5\ndate: 12\nstart: 9:5\nend: 10:00\n", {4, std::string(LoadText(strings::kIepgNotATime))}},
        {"year: 2001\nmonth: 5\ndate: 12\nstart: 9:00\nend: 8:59\n", {5, std::string(LoadText(strings::kIepgEndBeforeStart))}},
        {"year: 2001\nmonth: 5\ndate: 12\nstart: 9:00\nend: 9:00\n", {5, std::string(LoadText(strings::kIepgEndBeforeStart))}},
        {"year: 2001\nmonth: 5\nda", {3, std::string(LoadText(strings::kIepgNotAField))}},
        {std::string("\x00\x01\x02\xff", 4), {1, std::string(LoadText(strings::kIepgNotAField))}},
        {std::string("y\0e\0a\0r\0:\0", 10), {1, std::string(LoadText(strings::kIepgNotAField))}},
        {"year: 2001\n\x81\n", {2, std::string(LoadText(strings::kIepgNotAField))}},
        {"program-title: " + std::string(kIepgMaxBytes, 'x'), {0, FillText(strings::kIepgTooLarge, {"64"})}},
    };
    for (const auto& row : table) {
        const auto parsed = ParseIepg(row.file);
        const auto* fault = std::get_if<IepgFault>(&parsed);
        ASSERT_NE(fault, nullptr) << row.file;
        EXPECT_EQ(*fault, row.fault) << row.file;
    }
    EXPECT_EQ(IepgRefusal("a.tvpi", {3, "x"}), "a.tvpi を番組として読めません（3 行目: x）");
}

}  // namespace
}  // namespace kestrova
