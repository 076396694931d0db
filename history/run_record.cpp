#include "history/run_record.h"

#include "history/capture_log.h"
#include "history/history_log.h"
#include "store/string_table.h"

#include <algorithm>

namespace kestrova {

namespace {

// A line of the log holds no line break (a failure text may name its file
// on a line of its own).
std::string OneLine(std::string text) {
    std::replace_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return text;
}

// What a row tells: the first line of a reason.
std::string FirstLine(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

std::string DateText(const Clock& clock, std::int64_t t) { return DateTimeText(clock.ToLocal(t), '/'); }

// Appends the lines and the separator; false when any line did not reach the file.
bool AppendRecord(const std::string& logPath, const std::vector<std::string>& lines) {
    bool logged = true;
    for (const std::string& line : lines) logged = AppendLogLine(logPath, OneLine(line)) && logged;
    return AppendLogLine(logPath, kLogSeparator) && logged;
}

}  // namespace

std::string SlotLabel(int slot, const std::string& comment) {
    const std::string number = std::to_string(slot + 1);
    return comment.empty() ? FillText(strings::kSlotLabel, {number})
                           : FillText(strings::kSlotLabelWithComment, {number, comment});
}

std::string RecordWriter::RowComment(const RunRecord& run) {
    std::string why = run.cutShort;
    if (why.empty() && !run.Recorded()) {
        why = !run.failure.empty() ? run.failure : std::string(LoadText(strings::kStoppedEarly));
    }
    return why.empty() ? run.comment : run.comment + "（" + FirstLine(why) + "）";
}

std::vector<std::string> RecordWriter::RunLines(const RunRecord& a) const {
    std::vector<std::string> lines{LogDateLine(clock_, a.ended, a.began), StatisticsLine(a.frames, a.dropped, a.elapsedMs)};
    lines.insert(lines.end(), a.notes.begin(), a.notes.end());
    if (!a.failure.empty()) lines.push_back(FillText(strings::kRecordingFailed, {a.failure}));
    if (!a.cutShort.empty() && a.cutShort != a.failure) lines.push_back(FillText(strings::kCutShort, {a.cutShort}));
    return lines;
}

// A run nobody watches must not lose its record without a word: a page
// that cannot be written is noted in the log above the run's separator, a
// page set aside too, and either is told.
RecordWritten RecordWriter::WriteRun(const std::string& logPath, const RunRecord& run) const {
    RecordWritten written;
    std::vector<std::string> lines = RunLines(run);
    HistoryLog history(historyDirectory_, clock_);
    const auto seconds = static_cast<std::int64_t>((run.elapsedMs + 500) / 1000);
    const PageOutcome page = history.AddEntry(HistoryEntry{run.began, run.ended, seconds, RowComment(run)});
    if (!page.setAside.empty()) {
        lines.push_back(FillText(strings::kPageSetAside, {history.historyPath(), page.setAside}));
        written.told.push_back(lines.back());
    }
    written.paged = page.added;
    if (!page.added) {
        lines.push_back(FormatText(strings::kNotSavedTo, history.historyPath()));
        written.told.push_back(lines.back());
    }
    written.logged = AppendRecord(logPath, lines);
    if (!written.logged) written.told.push_back(FormatText(strings::kNotSavedTo, logPath));
    return written;
}

// Shaped like a run's record: the reserved start, then what was missed and why.
RecordWritten RecordWriter::WriteMissed(const std::string& logPath, const MissedRecord& missed) const {
    RecordWritten written;
    const std::string label = SlotLabel(missed.slot, missed.comment);
    const std::string line =
        missed.occurrences <= 1
            ? FillText(strings::kNotRecorded, {label, missed.reason})
            : FillText(strings::kNotRecordedMany, {label, DateText(clock_, missed.start), DateText(clock_, missed.lastStart),
                                                    std::to_string(missed.occurrences), missed.reason});
    written.logged = AppendRecord(logPath, {LogDateLine(clock_, missed.start, missed.start), line});
    if (!written.logged) written.told.push_back(FormatText(strings::kNotSavedTo, logPath));
    return written;
}

RecordWritten RecordWriter::WriteNotice(const std::string& logPath, const std::string& text) const {
    RecordWritten written;
    const std::int64_t now = clock_.Now();
    written.logged = AppendRecord(logPath, {LogDateLine(clock_, now, now), text});
    if (!written.logged) written.told.push_back(FormatText(strings::kNotSavedTo, logPath));
    return written;
}

}  // namespace kestrova
