#include "reservation/device_run_recorder.h"

#include "capture/avi/avi_repair.h"
#include "platform/files.h"
#include "reservation/schedule.h"
#include "store/string_table.h"

namespace kestrova {

std::optional<std::string> DeviceRunRecorder::Unavailable() {
    if (device_ != nullptr && device_->connected()) return std::nullopt;
    return std::string(LoadText(strings::kReasonNoDevice));
}

RecordingAccount DeviceRunRecorder::Record(std::int32_t seconds, const WorkFileMade& made) {
    TimedOptions options;
    options.ownWorkFile = true;
    options.workFileMade = made;
    return device_->RecordTimed(seconds, options);
}

// Under its dated name in the work directory: the parts of a split
// recording (or of a span longer than one capture) as "…_NN.avi", else the
// one file; never over an earlier recording.
void DeviceRunRecorder::Store(const RecordingAccount& account, std::function<void(StoredRecording)> done) {
    if (device_ == nullptr || account.files.empty()) {
        done(StoredRecording{account.files, {}});
        return;
    }
    const std::size_t parts = account.files.size();
    const bool asParts = parts > 1 || settings_.PartCapture != 0;
    const std::string path =
        FreeRecordingPath(device_->workDirectory(), DatedRecordingName(clock_, account.began), asParts ? parts : 1,
                          [this](const std::string& p) { return device_->FileExists(p); });
    device_->StoreRecording(account, path, asParts, std::move(done));
}

std::optional<RecordingRoom> DeviceRunRecorder::RoomFor(std::int32_t seconds) {
    return device_ != nullptr ? device_->RoomFor(seconds) : std::nullopt;
}

void DeviceRunRecorder::SetPreview(bool on) {
    if (device_ != nullptr) device_->SetPreview(on);
}

std::optional<RecordingAccount> DeviceRunRecorder::Repair(const std::string& workFile) {
    const std::optional<AviRepair> repaired = RepairAviFile(workFile);
    if (!repaired) return std::nullopt;
    RecordingAccount account;
    account.frames = repaired->frames;
    account.dropped = repaired->droppedFrames;
    account.elapsedMs = repaired->durationMs;
    return account;
}

bool DeviceRunRecorder::Discard(const std::string& workFile) { return RemoveFileIfThere(workFile); }

}  // namespace kestrova
