// CaptureDevice: the one object through which Kestrova talks to the capture
// hardware. It owns the capture window (through the CapturePort), the list of
// drivers, the connected driver's capabilities and the last parameters.
#pragma once

#include "capture/capture_port.h"
#include "capture/device_services.h"
#include "capture/recording_account.h"
#include "capture/status_sink.h"
#include "platform/clock.h"
#include "store/settings.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrova {

// dwRequestMicroSecPerFrame for a frame rate: 1,000,000 / rate, truncated.
// A rate that is not a positive finite number has no period; 15 frames per
// second (66666 us) stands in for it.
std::uint32_t FramePeriodMicroseconds(float framesPerSecond);

// The audio format rebuilt from the four settings. A sample rate of 0 would
// divide by zero: the format then uses 44100 (the setting itself is kept).
WaveFormat AudioFormatFromSettings(const AppSettings& settings);

// About how many bytes a recording of `seconds` takes with uncompressed
// 24-bit frames of the given size at the given rate, the sound, the chunk
// headers, the indexes and the file's headers.
std::uint64_t EstimateRecordingBytes(int width, int height, std::uint32_t microSecondsPerFrame,
                                     std::uint32_t audioBytesPerSecond, std::int64_t seconds);

// What a recording needs on the work directory's volume, and what is there.
struct RecordingRoom {
    std::uint64_t needed = 0;
    std::uint64_t available = 0;  // free space, and a fixed work file's own size
    std::string directory;
};

// directory + "\" (unless it is empty or ends with a separator) + name.
std::string JoinWorkPath(std::string_view directory, std::string_view name);
// A path that starts from a drive or a separator as it is; any other taken
// from directory.
std::string PathFrom(std::string_view directory, std::string_view path);

// Where work files, numbered snapshots and the text log go: TempPath when it
// names a directory (a relative one is taken from the start folder), else
// the folder Kestrova was started in.
std::string ChooseWorkDirectory(std::string_view tempPath, DeviceServices& services);
// TempPath is set but names no directory: the start folder stands in.
[[nodiscard]] bool TempPathMissing(std::string_view tempPath, DeviceServices& services);

// A numbered snapshot: base, the number with at least four digits and
// ".bmp"; from the work directory unless base starts from a drive or a
// separator.
std::string NumberedSnapshotPath(std::string_view base, std::int32_t number, std::string_view workDirectory);

// Longest time limit one capture can carry (a 16-bit count of seconds).
inline constexpr std::int32_t kMaxCaptureSeconds = 65535;
// At most this many work files of one recording are listed.
inline constexpr std::size_t kMaxPartFiles = 64;

enum class AudioChoice { Cancelled, Set, Refused };

// Told of each work file a recording makes, as soon as it is made.
using WorkFileMade = std::function<void(const std::string& path)>;

// What a timed recording asks besides its length.
struct TimedOptions {
    // A scheduled run: its own fresh work file (which it may then move to
    // its name), unless the fixed work file is pre-allocated.
    bool ownWorkFile = false;
    WorkFileMade workFileMade;
};

class CaptureDevice {
public:
    CaptureDevice(CapturePort& port, AppSettings& settings, StatusSink& status, const Clock& clock,
                  DeviceServices* services = nullptr);
    ~CaptureDevice();
    CaptureDevice(const CaptureDevice&) = delete;
    CaptureDevice& operator=(const CaptureDevice&) = delete;

    // Creates the capture window, finds the drivers, connects the chosen one
    // and sends it the settings. Returns whether a driver is connected
    // (false without a capture window or a driver).
    [[nodiscard]] bool Create(std::string_view windowName, std::uint32_t style, int x, int y, int width, int height,
               WindowHandle parent, int id);
    void SelectDevice(int index);
    // "name [version]" of a listed driver.
    std::string GetDeviceDescription(int index) const;

    void SetPreview(bool on);
    [[nodiscard]] bool IsPreviewOn();
    void SetOverlay(bool on);
    [[nodiscard]] bool IsOverlayOn();
    void SetPreviewRate(std::uint32_t milliseconds);

    [[nodiscard]] bool HasOverlay() const { return caps_.fHasOverlay != 0; }
    bool HasSourceDialog() const { return caps_.fHasDlgVideoSource != 0; }
    bool HasFormatDialog() const { return caps_.fHasDlgVideoFormat != 0; }
    bool HasDisplayDialog() const { return caps_.fHasDlgVideoDisplay != 0; }

    void ShowSourceDialog();
    void ShowFormatDialog();
    void ShowDisplayDialog();
    void ShowCompressionDialog();

    void ShowStatus(bool on);
    bool IsStatusShown() const { return statusShown_; }
    // The status callback the capture window calls with its texts.
    [[nodiscard]] bool StatusCallback(int id, std::string_view text);

    // What the window holds as its set-up; false when it cannot say.
    [[nodiscard]] bool GetSequenceSetup(CaptureParms& params) { return port_.GetSequenceSetup(captureWindow_, params); }
    // The set-up of the next recordings (sent with each, where a refusal
    // counts), as the window takes it.
    void SetSequenceSetup(const CaptureParms& params);
    [[nodiscard]] bool GetStatus(CapStatus& status);
    std::pair<int, int> GetCaptureSize();
    void SetWindowSize(int width, int height);

    // --- recording into work files ---
    // A recording until a stop condition; returns when it has ended, with
    // what it did (a work file that could not be made, a capture the device
    // refused and a failure inside the capture are its failure).
    RecordingAccount Record(bool confirm);
    // A recording of the given length. Spans longer than one capture can
    // carry are recorded as consecutive parts, each in its own work file.
    RecordingAccount RecordTimed(std::int32_t seconds, const TimedOptions& options = {});
    // The capture-control callback of split recordings: ends the current
    // part once it is longer than the part length.
    [[nodiscard]] bool PartControlCallback(std::uint32_t state);
    // The work directory is now `directory` (TempPath takes it): the fixed
    // work file there becomes the capture file again and the title shows it.
    void SetWorkDirectory(const std::string& directory);
    // Reserves the fixed work file's space; false when the device could not.
    [[nodiscard]] bool AllocateWorkFile(std::int32_t megabytes);
    // The audio format chooser; the chosen format goes to the capture window
    // and, when the window takes it, to the settings.
    AudioChoice ChooseAudioFormat();
    // The work files made by the last recording, in recording order.
    const std::vector<std::string>& PartFileList() const { return partFiles_; }

    // --- saving ---
    // Asks for a name and saves the capture window's current work file there:
    // a move on the same drive with fast saving, else a copy that runs beside
    // the window (told when it ends, and when it fails).
    void SaveAs();
    // Stores a scheduled recording under `target`, its parts under target's
    // name + "_NN.avi" (moved), its own work file moved there, the fixed
    // work file copied beside the next recording; `done` is told where it
    // went, at once or when the copy has ended. What could not take its name
    // stays (a fixed work file is first moved to a fresh work name, so the
    // next recording cannot record over it; when even that fails,
    // recordings go to fresh work files until the work directory is set
    // again).
    void StoreRecording(const RecordingAccount& account, const std::string& target, bool asParts,
                        std::function<void(StoredRecording)> done);
    // Whether a copy is reading the fixed work file (recordings then go to
    // fresh work files).
    bool FixedFileBusy() const { return fixedFileReaders_ > 0; }
    // Room for a recording of this length in the work directory, or nothing
    // when the free space cannot be read.
    std::optional<RecordingRoom> RoomFor(std::int32_t seconds);
    // Whether a file is there (where a recording is to be stored).
    bool FileExists(const std::string& path) const { return services_ != nullptr && services_->FileExists(path); }

    // --- snapshots ---
    // The frame on show (a fresh one when neither preview nor overlay shows
    // one) under a numbered name or one the user chooses, written beside
    // the file and put in its place in one step, so a failed save keeps
    // what was there. The saved file's name, or empty when nothing was
    // saved; the number moves on only after a save.
    std::string TakeSnapshot();
    [[nodiscard]] bool CopyFrameToClipboard();
    // The number of the next numbered snapshot (the snapshot dialog sets it).
    std::int32_t snapshotNumber() const { return snapshotNumber_; }
    void SetSnapshotNumber(std::int32_t number) { snapshotNumber_ = number; }

    // Read directly by the main window and the dialogs.
    bool connected() const { return connected_; }
    int deviceCount() const { return deviceCount_; }
    int deviceIndex() const { return deviceIndex_; }
    // Asked of ChooseWorkDirectory each time, so it follows TempPath.
    std::string workDirectory() const;
    std::uint16_t previewRate() const { return previewRate_; }
    // The fixed work file: the work directory and TempFileName.
    std::string captureFile() const { return JoinWorkPath(workDirectory(), settings_.TempFileName); }
    WindowHandle captureWindow() const { return captureWindow_; }
    const CaptureParms& params() const { return params_; }

private:

    struct Plan;
    RecordingAccount Capture(const Plan& plan);
    [[nodiscard]] bool CapturePart(const Plan& plan, RecordingAccount& account);
    void FinishAccount(const Plan& plan, RecordingAccount& account);

    [[nodiscard]] bool SameDrive(const std::string& source, const std::string& target) const;
    void CopyBeside(const std::string& source, const std::string& target, std::function<void(bool copied)> done);
    StoredRecording KeptAt(const std::string& target, const std::string& work);
    std::optional<std::string> SetAsideWorkFile();
    [[nodiscard]] bool SaveFrame(const std::string& name);
    // The capture window's work file.
    std::string CurrentWorkFile();
    [[nodiscard]] bool MakeWorkFile(const WorkFileMade& made);
    std::optional<std::string> FreshWorkName();
    bool UsesFixedFile(bool parts) const {
        return settings_.FixedTempFile != 0 && !parts && !fixedFileHeld_ && fixedFileReaders_ == 0;
    }
    [[nodiscard]] bool UseCaptureFile(const std::string& path);
    bool SplitsIntoParts() const;
    std::int64_t SecondsPerFile();
    [[nodiscard]] bool SetCapControl(bool on);
    // The status callback on the capture window; false when it is refused.
    [[nodiscard]] bool InstallStatusCallback();
    // The callbacks of a recording on or off, and what ends one.
    [[nodiscard]] bool BeginRecording(bool parts);
    static void Fail(RecordingAccount& account, RecordingFailure kind);
    void EndRecording();
    [[nodiscard]] bool WorkFileWritable(const std::string& path);
    void PrepareParams(bool timed, bool confirm);

    CapturePort& port_;
    AppSettings& settings_;
    StatusSink& statusSink_;
    const Clock& clock_;

    CaptureParms params_;
    CapStatus status_;
    CapDriverCaps caps_;
    std::uint16_t previewRate_ = 0;
    std::array<std::string, kMaxDrivers> driverVersion_;
    std::array<std::string, kMaxDrivers> driverName_;
    int deviceIndex_ = 0;
    int deviceCount_ = 0;
    std::int32_t snapshotNumber_ = 0;
    WindowHandle captureWindow_ = 0;
    bool statusShown_ = false;
    bool connected_ = false;
    std::string statusText_;  // the status callback's own buffer

    DeviceServices* services_ = nullptr;
    std::vector<std::string> partFiles_;
    bool nextPartPending_ = false;
    std::uint32_t partSeconds_ = 0;
    std::string captureWindowFile_;  // the capture file last given to the window
    std::string recordingError_;     // what the capture window reported while recording
    bool fixedFileHeld_ = false;  // the fixed work file holds a recording that must stay
    int fixedFileReaders_ = 0;    // copies reading the fixed work file
    std::uint64_t copyingBytes_ = 0;  // what the copies still running will write
};

// A recording's part file: the path without its ".avi", "_", the number with
// at least two digits and ".avi" ("…_01.avi").
std::string PartFilePath(std::string_view path, std::size_t number);

}  // namespace kestrova
