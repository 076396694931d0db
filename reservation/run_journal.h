// The journal of scheduled runs whose record is not written yet: a file
// beside the executable ("Kestrova.run", replaced in one step at every
// change) that says which reservation is recording into which work files,
// and, once the recording has ended, what it did and where it went. After a
// kill, a crash or a power cut the next start finds there what the run
// could not finish: the recording is kept and told, never lost or taken
// for a reservation that was missed.
#pragma once

#include "capture/recording_account.h"
#include "reservation/after_command.h"
#include "reservation/after_run.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrova {

struct JournalRun {
    enum class Stage {
        Recording,  // the capture runs; `account` holds its start and work files
        Storing,    // the recording has ended; it is being stored (a copy runs)
        Stored,     // stored: `account` is final, only the record is missing
    };

    Stage stage = Stage::Recording;
    int slot = 0;
    std::int64_t spanStart = 0;  // the occurrence being recorded
    std::int64_t spanEnd = 0;
    std::string comment;
    // The record's lines known before the recording ended (a late start,
    // too little room), and later where a recording stayed.
    std::vector<std::string> notes;
    RecordingAccount account;
    // Stored, and its commands started (their lines among the notes): a
    // start after a kill writes the record without starting them again.
    bool commandsStarted = false;
};

// The action after a run while its countdown runs: a start after a kill
// tells that it never came.
struct AwaitedAction {
    AfterRunAction action = AfterRunAction::None;
    std::int64_t deadline = 0;
    friend bool operator==(const AwaitedAction&, const AwaitedAction&) = default;
};

// All the journal holds: the runs, the commands after recordings that were
// still running, and the action counting down.
struct JournalContents {
    std::vector<JournalRun> runs{};
    std::vector<RunningCommand> commands{};
    std::optional<AwaitedAction> action{};
};

class RunJournal {
public:
    explicit RunJournal(std::string path) : path_(std::move(path)) {}

    // What the file holds (nothing when it is missing or unreadable).
    JournalContents Load() const;
    // The contents replace the file (nothing: the file goes). False when it
    // could not be written.
    [[nodiscard]] bool Save(const JournalContents& contents) const;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The journal's text and back (UTF-8, one section per run, one for the
// commands, one for the action).
std::string FormatJournal(const JournalContents& contents);
JournalContents ParseJournal(std::string_view text);

}  // namespace kestrova
