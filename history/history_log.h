// The HTML history "CaptureLog.html" beside the executable: a table with one
// row per scheduled recording, newest first, below the marker line of the
// page's template (string 32798). CP932 text, CR LF line ends.
//
// Each entry rewrites the whole page into "CaptureLog.htm" beside it, which
// then takes the page's place in one step: when anything fails the old page
// stays whole, and a leftover "CaptureLog.htm" is never read.
#pragma once

#include "platform/clock.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova {

inline constexpr char kHistoryPageName[] = "CaptureLog.html";
inline constexpr char kHistoryRewriteName[] = "CaptureLog.htm";

// What one row shows of a scheduled recording.
struct HistoryEntry {
    std::int64_t start = 0;  // only its local clock time is shown
    std::int64_t end = 0;
    std::int64_t lengthSeconds = 0;  // what was recorded
    std::string comment;             // UTF-8, shown with its markup escaped
};

// What became of a row.
struct PageOutcome {
    bool added = false;
    // A page without its marker line is set aside under this name (beside
    // it) and a fresh page started; empty when nothing was set aside.
    std::string setAside;
};

// "30分", "30分 5秒", "45秒", "1440分".
std::string RecordedLengthText(std::int64_t seconds);

// The comment as HTML text: & < > and " escaped.
std::string EscapeHtml(std::string_view text);

// The six lines of one row ("\n" line ends, UTF-8), dated with the local
// day of `now`.
std::string HistoryRow(const Clock& clock, std::int64_t now, const HistoryEntry& entry);

class HistoryLog {
public:
    // The page in `directory` (ending with a separator or empty); creates it
    // from the template when it is missing.
    HistoryLog(std::string directory, const Clock& clock);
    ~HistoryLog() = default;
    HistoryLog(const HistoryLog&) = delete;
    HistoryLog& operator=(const HistoryLog&) = delete;

    // Rewrites the page with the new row right below the first marker line
    // (a line holding "begin_log"; lines longer than 1023 bytes count in
    // pieces). Not added when the page cannot be read or replaced. A page
    // without the marker (edited by hand, or not a page at all) would lose
    // the row: it is set aside untouched and the row starts a fresh page.
    [[nodiscard]] PageOutcome AddEntry(const HistoryEntry& entry);

    const std::string& historyPath() const { return historyPath_; }

private:
    // The template as a new page. A page that cannot be written is not
    // there: the next AddEntry fails on it, and its caller tells it.
    void CreateFromTemplate();

    // A free name beside the page for one set aside.
    std::string SetAsideName() const;

    const Clock& clock_;
    std::string directory_;
    std::string rewritePath_;
    std::string historyPath_;
};

}  // namespace kestrova
