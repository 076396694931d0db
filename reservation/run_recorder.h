// What a scheduled run needs of the capture side, and nothing more: the
// recording itself, storing it under its dated name, the room it will take,
// the preview (off while armed), and a recording left behind by a kill made
// whole again. DeviceRunRecorder gives it over the CaptureDevice; the
// scheduler's tests give their own.
#pragma once

#include "capture/capture_device.h"
#include "capture/recording_account.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrova {

class RunRecorder {
public:
    virtual ~RunRecorder() = default;

    // Why no recording can be made now (a device not connected), or nothing.
    virtual std::optional<std::string> Unavailable() = 0;
    // Records for `seconds` into a work file of its own (or the parts of
    // one); `made` is told of each work file as it is made.
    virtual RecordingAccount Record(std::int32_t seconds, const WorkFileMade& made) = 0;
    // Stores the recording under its dated name from when it began, never
    // over an earlier recording. `done` is told where it went: at once, or
    // later on this thread when a copy must run beside the next recording.
    virtual void Store(const RecordingAccount& account, std::function<void(StoredRecording)> done) = 0;
    // The room a recording of `seconds` needs in the work directory, and
    // what is there; nothing when the free space cannot be read.
    virtual std::optional<RecordingRoom> RoomFor(std::int32_t seconds) = 0;
    virtual void SetPreview(bool on) = 0;
    // A work file a kill cut off, ended at its last whole frame: its frames,
    // dropped frames and length (in the account's fields); nothing when it
    // holds no recording.
    virtual std::optional<RecordingAccount> Repair(const std::string& workFile) = 0;
    // Removes a work file that holds nothing worth keeping; false when it
    // stays.
    [[nodiscard]] virtual bool Discard(const std::string& workFile) = 0;
};

}  // namespace kestrova
