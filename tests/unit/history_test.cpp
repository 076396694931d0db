#include "history/capture_log.h"
#include "history/history_log.h"
#include "platform/cp932.h"
#include "platform/files.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace kestrova {
namespace {

namespace fs = std::filesystem;

const ManualClock kJapan(ManualClock().FromLocal(2001, 5, 12, 20, 50, 0));
std::int64_t At(int month, int day, int hour, int minute, int second) {
    return kJapan.FromLocal(2001, month, day, hour, minute, second);
}

// The text log's date line (the date of the end, the clock time of the
// start) and its lines when a log cannot be written are scheduler_test.cpp's.
TEST(HistoryRow, LengthsReadAsMinutesAndSeconds) {
    for (auto [seconds, text] : {std::pair{1805, "30分 5秒"}, {59, "59秒"}, {60, "1分"}, {86400, "1440分"}}) {
        EXPECT_EQ(RecordedLengthText(seconds), text) << seconds;
    }
}

class HistoryPage : public ::testing::Test {
protected:
    std::string Dir() const { return tmp.Path(); }
    std::string Page() const { return ReadWholeFile(Dir() + kHistoryPageName).value_or("<missing>"); }

    testing::TempDir tmp;
};

TEST_F(HistoryPage, RowsGoBelowTheFirstMarkerNewestFirstAndThePageIsReplacedWhole) {
    HistoryLog log(Dir(), kJapan);
    ASSERT_TRUE(log.AddEntry({At(5, 12, 21, 0, 0), At(5, 12, 21, 30, 0), 1800, "test"}).added);
    // A comment holding the marker's word adds its row once, and the next
    // row still lands once, at the top.
    ASSERT_TRUE(log.AddEntry({At(5, 12, 22, 0, 0), At(5, 12, 22, 0, 45), 45, "<!--begin_log-->"}).added);
    ASSERT_TRUE(log.AddEntry({At(5, 12, 23, 0, 0), At(5, 13, 0, 0, 0), 3600, "最後"}).added);
    const std::string page = Page();
    std::size_t rows = 0;
    for (std::size_t at = page.find("<TR>\r\n"); at != std::string::npos; at = page.find("<TR>\r\n", at + 1)) ++rows;
    EXPECT_EQ(std::pair(rows, page.find("<B>&lt;!--begin_log--&gt;&nbsp;</B>") != std::string::npos), std::pair(std::size_t{3}, true));
    EXPECT_LT(page.find(Utf8ToCp932("最後")), page.find(Utf8ToCp932("45秒")));
    EXPECT_LT(page.find(Utf8ToCp932("45秒")), page.find(Utf8ToCp932("30分")));
    EXPECT_FALSE(fs::exists(Dir() + kHistoryRewriteName));
}

TEST_F(HistoryPage, HandEditedAndBrokenPagesFailedReplacementsAndTheTextLogAfterWhateverIsThere) {
    // Bare LF line ends come back as CR LF; an existing page is never
    // replaced by the template; a stale rewrite file is never read.
    std::ofstream(Dir() + kHistoryPageName, std::ios::binary) << "<HTML>\n<!--begin_log-->\n</HTML>";
    std::ofstream(Dir() + kHistoryRewriteName, std::ios::binary) << "stale";
    HistoryLog log(Dir(), kJapan);
    ASSERT_TRUE(log.AddEntry({At(5, 12, 21, 0, 0), At(5, 12, 21, 30, 0), 1800, ""}).added);
    const std::string page = Page();
    EXPECT_EQ(page.rfind("<HTML>\r\n<!--begin_log-->\r\n<TR>\r\n", 0), 0u);
    EXPECT_EQ(page.substr(page.size() - 14), "</TR>\r\n</HTML>");
    // When the new page cannot be put in place, the old one stays whole.
    fs::create_directory(Dir() + kHistoryRewriteName);
    EXPECT_FALSE(log.AddEntry({At(5, 12, 22, 0, 0), At(5, 12, 22, 30, 0), 1800, "x"}).added);
    EXPECT_EQ(Page(), page);
    fs::remove(Dir() + kHistoryRewriteName);
    // A page without its marker (random bytes, a page edited by hand) would
    // lose the row: it is set aside untouched, and a fresh page takes it.
    const std::string garbage("\x89PNG\r\n\x1a\n\0\xff<TR>\n", 15);
    std::ofstream(Dir() + kHistoryPageName, std::ios::binary) << garbage;
    const PageOutcome aside = log.AddEntry({At(5, 12, 22, 0, 0), At(5, 12, 22, 30, 0), 1800, "x"});
    EXPECT_EQ(std::pair(aside.added, aside.setAside), std::pair(true, Dir() + "CaptureLog-20010512-205000.html"));
    EXPECT_EQ(ReadWholeFile(aside.setAside), garbage);
    EXPECT_NE(Page().find("<!--begin_log-->\r\n<TR>"), std::string::npos);
    const std::string path = Dir() + kCaptureLogName;
    std::ofstream(path, std::ios::binary) << "old";  // no line end: the record follows directly
    EXPECT_TRUE(AppendLogLine(path, kLogSeparator));
    EXPECT_EQ(ReadWholeFile(path), "old----------\r\n");
}

}  // namespace
}  // namespace kestrova
