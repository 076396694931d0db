// What a scheduled run leaves behind, written from its account alone: three
// lines or more in Capture.log (the date line, the statistics, what else
// happened, the separator) and a row in CaptureLog.html; and what a
// reservation that was not recorded leaves: a record in Capture.log.
#pragma once

#include "platform/clock.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

// A reservation as the log names it: "№5" or "№5「ニュース」".
std::string SlotLabel(int slot, const std::string& comment);

// One scheduled run as it is told.
struct RunRecord {
    int slot = 0;          // 0-based; told as № slot + 1
    std::string comment;   // the reservation's, UTF-8
    // When the recording really began and ended, what it holds, whether it
    // was cut short and why, and what failed.
    std::int64_t began = 0;
    std::int64_t ended = 0;
    std::uint64_t frames = 0;
    std::uint64_t dropped = 0;
    std::uint64_t elapsedMs = 0;
    std::string cutShort;
    std::string failure;
    // Lines told between the statistics and the separator, in order: a late
    // start, too little room, where a recording stayed that could not take
    // its name.
    std::vector<std::string> notes;

    bool Recorded() const { return frames > dropped; }
};

// A reservation whose span passed unrecorded: its slot, its comment, the
// start of the span, and why.
struct MissedRecord {
    int slot = 0;
    std::string comment;
    std::int64_t start = 0;
    std::string reason;
    // More than one occurrence of a weekly slot told at once: how many, and
    // the start of the last one.
    std::int64_t occurrences = 1;
    std::int64_t lastStart = 0;
};

// What writing a record did.
struct RecordWritten {
    bool logged = false;  // every line reached Capture.log
    bool paged = true;    // the history row reached the page (runs only)
    // Texts to tell besides (a page set aside, a file not written).
    std::vector<std::string> told;
};

class RecordWriter {
public:
    // The history page lies in `historyDirectory` (with its separator).
    RecordWriter(const Clock& clock, std::string historyDirectory)
        : clock_(clock), historyDirectory_(std::move(historyDirectory)) {}

    RecordWritten WriteRun(const std::string& logPath, const RunRecord& run) const;
    RecordWritten WriteMissed(const std::string& logPath, const MissedRecord& missed) const;
    // Something the schedule tells outside a run (a reservation it cannot
    // read), in a record of its own dated now.
    RecordWritten WriteNotice(const std::string& logPath, const std::string& text) const;

    // The text a run's row shows as its comment: the reservation's, and why
    // the recording was cut short or made nothing.
    static std::string RowComment(const RunRecord& run);
    // The lines of a run's record, without the separator.
    std::vector<std::string> RunLines(const RunRecord& run) const;

private:
    const Clock& clock_;
    std::string historyDirectory_;
};

}  // namespace kestrova
