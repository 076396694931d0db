// Finishing a recording that a kill, a crash or a power cut left open: the
// work file then holds its chunks, but not the indexes and final counts that
// Close writes, and readers see little of it (nothing before the first RIFF
// is complete).
#pragma once

#include "capture/avi/avi_writer.h"
#include "platform/binary_file.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kestrova {

// What a repaired file holds.
struct AviRepair {
    std::uint32_t frames = 0;         // frame slots, dropped ones included
    std::uint32_t droppedFrames = 0;  // the empty ones among them
    std::uint64_t audioBytes = 0;
    std::uint64_t durationMs = 0;     // of the frame slots
    std::uint64_t recordedBytes = 0;  // the recording's bytes: the file's size once repaired
    // The file was written to. False when it was whole already (a finished
    // recording: nothing is touched, a pre-allocated rest included).
    bool changed = false;
    // Something after the last whole chunk was given up: a torn chunk or
    // index, bytes of an older recording, a pre-allocated rest.
    bool cut = false;
    // Why the repair could not be finished (a read-only file, a full disk);
    // the file then reads as before: only bytes after its last whole chunk
    // may have changed.
    FileError error = FileError::None;
};

// Repairs, in place, a recording made by Kestrova's AVI writer: keeps every
// chunk that is whole on the disk and was written by this recording (in a
// file that was larger before, up to the last note the writer left, at most
// a second before the end), cuts off what follows, writes the indexes and
// the counts as Close does, and cuts the file after the recording (a
// pre-allocated rest is not kept: the file is a finished recording now).
// Every write goes after the chunks kept except the size fields and the
// headers, written last, so a failure leaves the file reading as before.
//
// Nothing, and the file untouched, when it is no recording of this writer
// (other writers' files included: AVICap writes its headers only when a
// capture ends, so a killed one has none to go by).
std::optional<AviRepair> RepairAviFile(const std::string& path);

// The same over any file: `read` reads it (see RecordedAviBytes), `size` is
// its size, `file` writes it.
std::optional<AviRepair> RepairAviFile(const AviReader& read, std::uint64_t size, RandomAccessFile& file);

}  // namespace kestrova
