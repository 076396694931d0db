// What one recording did, from the moment it was asked for to the moment it
// ended: the one value every report of it (the status bar, the balloon,
// Capture.log, the history row, the stored name) is written from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

// What kind of failure ended or kept off a recording.
enum class RecordingFailure {
    None,
    WorkFile,  // no work file could be made or written
    Refused,   // the device did not start the capture
    Device,    // the capture window reported a failure (a full disk)
};

struct RecordingAccount {
    // When the capture really began and ended (seconds since 1970, UTC).
    std::int64_t began = 0;
    std::int64_t ended = 0;
    // Frames and dropped frames, and the time captured, over all its parts.
    std::uint64_t frames = 0;
    std::uint64_t dropped = 0;
    std::uint64_t elapsedMs = 0;
    // Where the recording is now: its work file or its parts, in recording
    // order (after storing, the stored names).
    std::vector<std::string> files;
    // Why it ended before its time (empty: it ran its length, or was
    // stopped by hand when it had none).
    std::string cutShort;
    // What went wrong, and its text (empty: nothing).
    RecordingFailure failureKind = RecordingFailure::None;
    std::string failure;

    // Whether anything was recorded.
    bool Recorded() const { return frames > dropped; }
};

// Where a stored recording is, and what to tell when it could not take its
// name (empty: it did).
struct StoredRecording {
    std::vector<std::string> files;
    std::string kept;
};

}  // namespace kestrova
