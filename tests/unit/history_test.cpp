#include "history/capture_log.h"
#include "history/history_log.h"
#include "platform/cp932.h"
#include "platform/files.h"
#include "store/string_table.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace kestrova {
namespace {

namespace fs = std::filesystem;

const ManualClock kJapan;
std::int64_t At(int month, int day, int hour, int minute, int second) {
    return kJapan.FromLocal(2001, month, day, hour, minute, second);
}

// The worked example: 21:00:00 to 21:30:00, "test", written on Saturday 12 May 2001.
const char kExampleRow[] =
    "<TR>\r\n"
    "<TD ALIGN=CENTER NOWRAP><B>2001年 5月12日(土)<BR>21時 0分 0秒</B></TD>\r\n"
    "<TD ALIGN=CENTER NOWRAP><B><BR>21時30分 0秒</B></TD>\r\n"
    "<TD ALIGN=CENTER NOWRAP><B>30分</B></TD>\r\n"
    "<TD ALIGN=LEFT NOWRAP><B>test&nbsp;</B></TD>\r\n"
    "</TR>\r\n";

std::string OnDisk(std::string utf8) {
    std::string out;
    for (const char c : Utf8ToCp932(utf8)) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

TEST(HistoryRow, ExampleIsByteExactAndLengthsReadAsMinutesAndSeconds) {
    const HistoryEntry example{At(5, 12, 21, 0, 0), At(5, 12, 21, 30, 0), 1800, "test"};
    const std::string row = OnDisk(HistoryRow(kJapan, At(5, 12, 23, 59, 59), example));
    EXPECT_EQ(row, Utf8ToCp932(kExampleRow));
    for (auto [seconds, text] : {std::pair{1805, "30分 5秒"}, {59, "59秒"}, {60, "1分"}, {86400, "1440分"}}) {
        EXPECT_EQ(RecordedLengthText(seconds), text) << seconds;
    }
    // Markup in a comment is shown, not obeyed; the rest of the row stays as it was.
    HistoryEntry marked = example;
    marked.comment = "a<b & \"c\">d";
    EXPECT_NE(HistoryRow(kJapan, At(5, 12, 23, 0, 0), marked)
                  .find("<TD ALIGN=LEFT NOWRAP><B>a&lt;b &amp; &quot;c&quot;&gt;d&nbsp;</B></TD>\n"),
              std::string::npos);
}

class HistoryPage : public ::testing::Test {
protected:
    std::string Dir() const { return tmp.Path(); }
    std::string Page() const { return ReadWholeFile(Dir() + kHistoryPageName).value_or("<missing>"); }

    testing::TempDir tmp;
};

TEST_F(HistoryPage, RowsGoBelowTheFirstMarkerNewestFirstAndThePageIsReplacedWhole) {
    HistoryLog log(Dir(), kJapan);
    const std::string fresh = Page();
    EXPECT_EQ(fresh, OnDisk(std::string(LoadText(strings::kHistoryTemplate))));
    const std::size_t afterMarker = fresh.find("<!--begin_log-->\r\n") + 18;

    ManualClock clock(At(5, 12, 21, 30, 5));
    HistoryLog dated(Dir(), clock);
    ASSERT_EQ(dated.AddEntry({At(5, 12, 21, 0, 0), At(5, 12, 21, 30, 0), 1800, "test"}), 0);
    EXPECT_EQ(Page(), fresh.substr(0, afterMarker) + Utf8ToCp932(kExampleRow) + fresh.substr(afterMarker));
    // A comment holding the marker's word adds its row once, and the next
    // row still lands once, at the top.
    ASSERT_EQ(dated.AddEntry({At(5, 12, 22, 0, 0), At(5, 12, 22, 0, 45), 45, "<!--begin_log-->"}), 0);
    ASSERT_EQ(dated.AddEntry({At(5, 12, 23, 0, 0), At(5, 13, 0, 0, 0), 3600, "最後"}), 0);
    const std::string page = Page();
    std::size_t rows = 0;
    for (std::size_t at = page.find("<TR>\r\n"); at != std::string::npos; at = page.find("<TR>\r\n", at + 1)) ++rows;
    EXPECT_EQ(rows, 3u);
    EXPECT_LT(page.find(Utf8ToCp932("最後")), page.find(Utf8ToCp932("45秒")));
    EXPECT_LT(page.find(Utf8ToCp932("45秒")), page.find(Utf8ToCp932("30分")));
    EXPECT_FALSE(fs::exists(Dir() + kHistoryRewriteName));
}

TEST_F(HistoryPage, HandEditedAndBrokenPagesAndFailedReplacements) {
    // Bare LF line ends come back as CR LF; an existing page is never
    // replaced by the template; a stale rewrite file is never read.
    std::ofstream(Dir() + kHistoryPageName, std::ios::binary) << "<HTML>\n<!--begin_log-->\n</HTML>";
    std::ofstream(Dir() + kHistoryRewriteName, std::ios::binary) << "stale";
    HistoryLog log(Dir(), kJapan);
    ASSERT_EQ(log.AddEntry({At(5, 12, 21, 0, 0), At(5, 12, 21, 30, 0), 1800, ""}), 0);
    const std::string page = Page();
    EXPECT_EQ(page.rfind("<HTML>\r\n<!--begin_log-->\r\n<TR>\r\n", 0), 0u);
    EXPECT_EQ(page.substr(page.size() - 14), "</TR>\r\n</HTML>");
    // When the new page cannot be put in place, the old one stays whole.
    fs::create_directory(Dir() + kHistoryRewriteName);
    EXPECT_EQ(log.AddEntry({At(5, 12, 22, 0, 0), At(5, 12, 22, 30, 0), 1800, "x"}), -1);
    EXPECT_EQ(Page(), page);
}

TEST_F(HistoryPage, TheTextLogAppendsThreeLinesAndDatesByTheEndOfTheRecording) {
    EXPECT_EQ(LogDateLine(kJapan, At(5, 13, 0, 30, 0), At(5, 12, 23, 30, 0)), "05-13(23時30分00秒)");
    EXPECT_EQ(LogDateLine(kJapan, At(1, 5, 9, 30, 0), At(1, 5, 9, 5, 7)), "01-05(09時05分07秒)");
    const std::string path = Dir() + kCaptureLogName;
    std::ofstream(path, std::ios::binary) << "old";  // no line end: the record follows directly
    for (const char* line : {"05-12(21時00分00秒)", "53946 ﾌﾚｰﾑ 0 ﾄﾞﾛｯﾌﾟ 1800.020 秒", kLogSeparator}) {
        EXPECT_EQ(AppendLogLine(path, line), 0);
    }
    EXPECT_EQ(ReadWholeFile(path), "old" + Utf8ToCp932("05-12(21時00分00秒)\r\n53946 ﾌﾚｰﾑ 0 ﾄﾞﾛｯﾌﾟ 1800.020 秒\r\n") +
                                        "----------\r\n");
    EXPECT_EQ(AppendLogLine(Dir() + "missing/" + kCaptureLogName, "x"), -1);
}

}  // namespace
}  // namespace kestrova
