#include "history/history_log.h"

#include "platform/cp932.h"
#include "platform/files.h"
#include "store/string_table.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

namespace kestrova {

namespace {

constexpr std::string_view kMarker = "begin_log";
// The page is copied in pieces of at most this many bytes, line end included.
constexpr std::size_t kPieceBytes = 1023;
constexpr std::array<const char*, 7> kWeekdayNames{"日", "月", "火", "水", "木", "金", "土"};

// The page's bytes as read in text mode: CR LF becomes LF.
std::string FromDisk(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t cr = bytes.find("\r\n", at);
        if (cr == std::string_view::npos) cr = bytes.size();
        text.append(bytes.substr(at, cr - at));
        at = cr + 1;  // the LF after the CR comes with the next run
    }
    return text;
}

// And back: every LF is written as CR LF.
std::string ToDisk(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 16);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t lf = text.find('\n', at);
        if (lf == std::string_view::npos) {
            bytes.append(text.substr(at));
            break;
        }
        bytes.append(text.substr(at, lf - at)).append("\r\n");
        at = lf + 1;
    }
    return bytes;
}

bool Replace(const std::string& path, const std::string& sibling, std::string_view bytes) {
    FileReplacement page(path, sibling);
    return page.Write(bytes) && page.Commit();
}

// The page's text with the row right after the first piece that holds the
// marker; nothing when no piece does.
std::optional<std::string> WithRow(std::string_view text, std::string_view row) {
    std::string out;
    out.reserve(text.size() + row.size());
    bool placed = false;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t lineEnd = text.find('\n', at);
        const std::size_t pieceEnd = std::min(lineEnd == std::string::npos ? text.size() : lineEnd + 1, at + kPieceBytes);
        const std::string_view piece = text.substr(at, pieceEnd - at);
        out += piece;
        // Only the first marker: a comment holding the word must not copy the row.
        if (!placed && piece.find(kMarker) != std::string_view::npos) {
            out += row;
            placed = true;
        }
        at = pieceEnd;
    }
    if (!placed) return std::nullopt;
    return out;
}

}  // namespace

std::string RecordedLengthText(std::int64_t seconds) {
    seconds = std::max<std::int64_t>(seconds, 0);
    const std::int64_t minutes = seconds / 60;
    const int rest = static_cast<int>(seconds % 60);
    char text[64] = "";
    int at = 0;
    if (minutes != 0) at = std::snprintf(text, sizeof text, "%lld分", static_cast<long long>(minutes));
    if (rest != 0 || minutes == 0) std::snprintf(text + at, sizeof text - static_cast<std::size_t>(at), "%2d秒", rest);
    return text;
}

std::string EscapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c; break;
        }
    }
    return out;
}

std::string HistoryRow(const Clock& clock, std::int64_t now, const HistoryEntry& entry) {
    const LocalTime day = clock.ToLocal(now);
    const LocalTime start = clock.ToLocal(entry.start);
    const LocalTime end = clock.ToLocal(entry.end);
    char date[128];
    std::snprintf(date, sizeof date, "%4d年%2d月%2d日(%s)<BR>%2d時%2d分%2d秒", day.year, day.month, day.day,
                  kWeekdayNames[static_cast<std::size_t>(day.weekday % 7)], start.hour, start.minute, start.second);
    char until[64];
    std::snprintf(until, sizeof until, "<BR>%2d時%2d分%2d秒", end.hour, end.minute, end.second);
    std::string row = "<TR>\n";
    row += "<TD ALIGN=CENTER NOWRAP><B>" + std::string(date) + "</B></TD>\n";
    row += "<TD ALIGN=CENTER NOWRAP><B>" + std::string(until) + "</B></TD>\n";
    row += "<TD ALIGN=CENTER NOWRAP><B>" + RecordedLengthText(entry.lengthSeconds) + "</B></TD>\n";
    row += "<TD ALIGN=LEFT NOWRAP><B>" + EscapeHtml(entry.comment) + "&nbsp;</B></TD>\n";
    row += "</TR>\n";
    return row;
}

HistoryLog::HistoryLog(std::string directory, const Clock& clock)
    : clock_(clock),
      directory_(std::move(directory)),
      rewritePath_(directory_ + kHistoryRewriteName),
      historyPath_(directory_ + kHistoryPageName) {
    if (!ReadWholeFile(historyPath_)) CreateFromTemplate();
}

std::string HistoryLog::SetAsideName() const {
    const LocalTime t = clock_.ToLocal(clock_.Now());
    char stem[64];
    std::snprintf(stem, sizeof stem, "CaptureLog-%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    std::string name = directory_ + stem + ".html";
    for (int copy = 2; ReadWholeFile(name) && copy < 1000; ++copy) {
        name = directory_ + stem + "(" + std::to_string(copy) + ").html";
    }
    return name;
}

void HistoryLog::CreateFromTemplate() {
    const std::string page = ToDisk(Utf8ToCp932(LoadText(strings::kHistoryTemplate)));
    Replace(historyPath_, rewritePath_, page);
}

PageOutcome HistoryLog::AddEntry(const HistoryEntry& entry) {
    PageOutcome outcome;
    const std::optional<std::string> bytes = ReadWholeFile(historyPath_);
    if (!bytes) return outcome;
    const std::string row = Utf8ToCp932(HistoryRow(clock_, clock_.Now(), entry));
    std::optional<std::string> page = WithRow(FromDisk(*bytes), row);
    if (!page) {
        const std::string aside = SetAsideName();
        if (!MoveFileNoReplace(historyPath_, aside)) return outcome;
        outcome.setAside = aside;
        page = WithRow(FromDisk(Utf8ToCp932(LoadText(strings::kHistoryTemplate))), row);
        if (!page) return outcome;
    }
    outcome.added = Replace(historyPath_, rewritePath_, ToDisk(*page));
    return outcome;
}

}  // namespace kestrova
