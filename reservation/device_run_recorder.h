// The scheduled run's way to the capture device (see RunRecorder).
#pragma once

#include "capture/capture_device.h"
#include "platform/clock.h"
#include "reservation/run_recorder.h"
#include "store/settings.h"

namespace kestrova {

class DeviceRunRecorder final : public RunRecorder {
public:
    DeviceRunRecorder(const Clock& clock, const AppSettings& settings) : clock_(clock), settings_(settings) {}

    // The device, once there is one (none: nothing can be recorded).
    void SetDevice(CaptureDevice* device) { device_ = device; }

    std::optional<std::string> Unavailable() override;
    RecordingAccount Record(std::int32_t seconds, const WorkFileMade& made) override;
    void Store(const RecordingAccount& account, std::function<void(StoredRecording)> done) override;
    std::optional<RecordingRoom> RoomFor(std::int32_t seconds) override;
    void SetPreview(bool on) override;
    std::optional<RecordingAccount> Repair(const std::string& workFile) override;
    [[nodiscard]] bool Discard(const std::string& workFile) override;

private:
    const Clock& clock_;
    const AppSettings& settings_;
    CaptureDevice* device_ = nullptr;
};

}  // namespace kestrova
