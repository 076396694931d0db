// CaptureDevice: recording into work files, saving them, snapshots.
#include "store/string_table.h"
#include "capture/capture_device.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace kestrova {

namespace {
constexpr std::uint32_t kAbortShiftEscape = kAbortKeyShift | kVirtualKeyEscape;
constexpr int kWorkFileAttempts = 100;
// A long span is split so that each part ends (by the part callback) just
// before the capture's own 16-bit limit would end it.
constexpr std::uint32_t kLongSpanPartSeconds = kMaxCaptureSeconds - 1;

char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

std::string FormatRecordingStatistics(const CapStatus& status) {
    const std::string format(LoadText(strings::kRecordingStatistics));
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format.c_str(), static_cast<unsigned long>(status.dwCurrentVideoFrame),
                  static_cast<unsigned long>(status.dwCurrentVideoFramesDropped),
                  static_cast<double>(status.dwCurrentTimeElapsedMS) * 0.001);
    return buffer;
}

// A part length of 0 or below cannot split anything (every part would end
// after its first frame, and a timed recording would never end): such a
// recording is made in one piece, as without part capture.
bool CaptureDevice::SplitsIntoParts() const { return settings_.PartCapture != 0 && settings_.PartTime > 0; }

std::string PartFilePath(std::string_view path, std::size_t number) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "_%02zu.avi", number);
    return std::string(path.substr(0, path.size() >= 4 ? path.size() - 4 : 0)) + suffix;
}

void CaptureDevice::SetCapControl(bool on) {
    if (!Live()) return;
    if (on) {
        port_.SetCallbackCapControl(captureWindow_, [this](std::uint32_t state) { return PartControlCallback(state); });
    } else {
        port_.SetCallbackCapControl(captureWindow_, nullptr);
    }
}

void CaptureDevice::BeginRecording(bool parts) {
    partFiles_.clear();
    recordingError_.clear();
    lastFailure_.clear();
    SetCapControl(parts);
    // What goes wrong inside the capture window (a full disk) is kept and
    // told once the recording has returned; the first report counts.
    if (Live()) {
        port_.SetCallbackError(captureWindow_, [this](int id, std::string_view text) {
            if (id != 0 && recordingError_.empty()) recordingError_ = text.empty() ? "?" : std::string(text);
            return true;
        });
    }
}

void CaptureDevice::FailRecording() {
    SetCapControl(false);
    if (Live()) port_.SetCallbackError(captureWindow_, nullptr);
    lastFailure_ = std::string(LoadText(strings::kWorkFileFailed));
    if (services_ != nullptr) services_->ShowWorkFileFailure();
}

void CaptureDevice::EndRecording() {
    SetCapControl(false);
    if (Live()) port_.SetCallbackError(captureWindow_, nullptr);
    if (!recordingError_.empty() && services_ != nullptr) services_->ShowRecordingFailure(recordingError_);
    lastFailure_ = recordingError_;
}

void CaptureDevice::PrepareParams(bool timed, bool confirm) {
    params_.fMakeUserHitOKToCapture = timed ? 0 : (confirm ? 1 : 0);
    params_.fLimitEnabled = timed ? 1 : 0;
    params_.wTimeLimit = 0;
    params_.wPercentDropForError = 0;
    params_.dwIndexSize = 0xFFFFFFFFu;
    params_.vKeyAbort = kAbortShiftEscape;
}

void CaptureDevice::UseCaptureFile(const std::string& path) {
    if (Live()) port_.FileSetCaptureFile(captureWindow_, path);
    captureWindowFile_ = path;
    if (services_ != nullptr) services_->SetWorkFileTitle(path);
}

// A new work file "kvXXXX.avi" in the work directory. The system picks a
// free "kvXXXX.tmp"; a name whose ".avi" already exists (an earlier
// recording) is passed over, so no recording is ever overwritten.
std::optional<std::string> CaptureDevice::FreshWorkName() {
    if (services_ == nullptr) return std::nullopt;
    std::vector<std::string> passedOver;
    std::string work;
    for (int attempt = 0; attempt < kWorkFileAttempts && work.empty(); ++attempt) {
        std::optional<std::string> temp = services_->CreateTempFile(workDirectory(), "kv");
        if (!temp) break;
        std::string avi = temp->substr(0, temp->size() >= 3 ? temp->size() - 3 : 0) + "avi";
        if (services_->FileExists(avi)) {
            passedOver.push_back(*temp);  // kept until a name is found, so it is not offered again
            continue;
        }
        services_->RemoveFile(*temp);
        if (!services_->CanWriteFile(avi)) break;
        work = avi;
    }
    for (const std::string& temp : passedOver) services_->RemoveFile(temp);
    if (work.empty()) return std::nullopt;
    return work;
}

bool CaptureDevice::MakeWorkFile() {
    const std::optional<std::string> work = FreshWorkName();
    if (!work) return false;
    UseCaptureFile(*work);
    if (partFiles_.size() < kMaxPartFiles) partFiles_.push_back(*work);
    return true;
}

bool CaptureDevice::Record(bool confirm) {
    const bool parts = SplitsIntoParts();
    // With the fixed work file the recording always goes there, even when an
    // earlier recording left the capture window on one of its own files. A
    // file that cannot be written is told before anything else happens.
    const bool fixedFile = UsesFixedFile(parts);
    if (fixedFile && !WorkFileWritable(captureFile())) {
        FailRecordingBeforeStart();
        return false;
    }
    partSeconds_ = parts ? static_cast<std::uint32_t>(settings_.PartTime) : 0;
    BeginRecording(parts);
    PrepareParams(false, confirm);
    if (Live()) port_.SetSequenceSetup(captureWindow_, params_);
    if (fixedFile && captureWindowFile_ != captureFile()) UseCaptureFile(captureFile());
    nextPartPending_ = true;
    do {
        if (!fixedFile && !MakeWorkFile()) {
            FailRecording();
            return false;
        }
        nextPartPending_ = false;
        if (Live()) port_.Sequence(captureWindow_);
    } while (nextPartPending_ && recordingError_.empty());
    EndRecording();
    return true;
}

bool CaptureDevice::RecordTimed(std::int32_t seconds) {
    const bool longSpan = seconds > kMaxCaptureSeconds;
    const bool userParts = SplitsIntoParts();
    const bool parts = userParts || longSpan;
    const bool fixedFile = UsesFixedFile(parts);
    if (fixedFile && !WorkFileWritable(captureFile())) {
        FailRecordingBeforeStart();
        return false;
    }
    partSeconds_ = userParts ? static_cast<std::uint32_t>(settings_.PartTime) : kLongSpanPartSeconds;
    if (longSpan) partSeconds_ = std::min(partSeconds_, kLongSpanPartSeconds);
    BeginRecording(parts);
    PrepareParams(true, false);
    std::int64_t remaining = seconds;
    nextPartPending_ = true;
    do {
        params_.wTimeLimit = static_cast<std::uint32_t>(std::clamp<std::int64_t>(remaining, 0, kMaxCaptureSeconds));
        remaining -= parts ? static_cast<std::int64_t>(partSeconds_) : remaining;
        if (Live()) port_.SetSequenceSetup(captureWindow_, params_);
        if (fixedFile) {
            if (captureWindowFile_ != captureFile()) UseCaptureFile(captureFile());
        } else if (!MakeWorkFile()) {
            FailRecording();
            return false;
        }
        nextPartPending_ = false;
        if (Live()) port_.Sequence(captureWindow_);
        // A part ended by the callback just as the span ran out leaves no
        // time to record: a limit of 0 would not limit the next capture.
    } while (nextPartPending_ && remaining > 0 && recordingError_.empty());
    EndRecording();
    return true;
}

bool CaptureDevice::WorkFileWritable(const std::string& path) {
    return services_ == nullptr || services_->CanWriteFile(path);
}

void CaptureDevice::FailRecordingBeforeStart() {
    partFiles_.clear();
    lastFailure_ = std::string(LoadText(strings::kWorkFileFailed));
    if (services_ != nullptr) services_->ShowWorkFileFailure();
}

bool CaptureDevice::PartControlCallback(std::uint32_t state) {
    if (state != kCaptureStateCapturing) return true;
    CapStatus status;
    if (Live()) port_.GetStatus(captureWindow_, status);
    // In 64 bits: a part of more than 4,294,967 s would wrap around in 32.
    if (status.dwCurrentTimeElapsedMS > static_cast<std::uint64_t>(partSeconds_) * 1000u) {
        nextPartPending_ = true;
        return false;
    }
    return true;
}

void CaptureDevice::SetWorkDirectory(const std::string& directory) {
    settings_.TempPath = directory;
    fixedFileHeld_ = false;
    UseCaptureFile(captureFile());
}

void CaptureDevice::AllocateWorkFile(std::int32_t megabytes) {
    if (Live()) port_.FileSetCaptureFile(captureWindow_, captureFile());
    captureWindowFile_ = captureFile();
    // The byte count is 32 bits wide: 4095 MB is the most it can carry.
    const auto bounded = static_cast<std::uint32_t>(std::clamp<std::int32_t>(megabytes, 0, 4095));
    if (Live()) port_.FileAllocate(captureWindow_, bounded << 20);
}

void CaptureDevice::ChooseAudioFormat() {
    if (services_ == nullptr) return;
    WaveFormat current;
    if (Live()) port_.GetAudioFormat(captureWindow_, current);
    std::optional<WaveFormat> chosen = services_->ChooseAudioFormat(current);
    if (!chosen) return;
    WaveFormat format = *chosen;
    format.cbSize = 0;
    if (Live()) port_.SetAudioFormat(captureWindow_, format);
    settings_.SampleFormat = format.wFormatTag;
    settings_.SampleChannel = format.nChannels;
    settings_.SampleBit = format.wBitsPerSample;
    settings_.SampleRate = static_cast<std::int32_t>(format.nSamplesPerSec);
}

CaptureDevice::SaveResult CaptureDevice::MoveOrCopy(const std::string& target) {
    std::string source;
    if (Live()) port_.FileGetCaptureFile(captureWindow_, source);
    if (source.empty() || target.empty()) return SaveResult::Nothing;
    if (settings_.SpeedSave != 0 && FoldCase(source[0]) == FoldCase(target[0]) && services_ != nullptr) {
        // One replacing move: the old target stays until the new file is in
        // its place, and a move across volumes falls back to a copy.
        return services_->MoveReplacing(source, target) ? SaveResult::Moved : SaveResult::Failed;
    }
    return Live() && port_.FileSaveAs(captureWindow_, target) ? SaveResult::Copied : SaveResult::Failed;
}

void CaptureDevice::SaveAs() {
    if (services_ == nullptr) return;
    std::optional<std::string> target = services_->AskSaveVideoPath(workDirectory());
    if (!target) return;
    switch (MoveOrCopy(*target)) {
    case SaveResult::Moved:
        SetWorkDirectory(settings_.TempPath);
        break;
    case SaveResult::Failed:
        services_->ShowSaveFailure(*target);
        break;
    case SaveResult::Nothing:
    case SaveResult::Copied:
        break;
    }
}

bool CaptureDevice::SaveWorkFileTo(const std::string& target) {
    const SaveResult result = MoveOrCopy(target);
    return result == SaveResult::Moved || result == SaveResult::Copied;
}

std::vector<std::string> CaptureDevice::RenamePartFiles(const std::string& target) {
    if (services_ == nullptr || target.size() < 4) return partFiles_;
    std::vector<std::string> left;
    for (std::size_t i = 0; i < partFiles_.size(); ++i) {
        if (!services_->MoveReplacing(partFiles_[i], PartFilePath(target, i + 1))) left.push_back(partFiles_[i]);
    }
    return left;
}

std::string CaptureDevice::CurrentWorkFile() {
    std::string current;
    if (Live()) port_.FileGetCaptureFile(captureWindow_, current);
    return current;
}

std::optional<std::string> CaptureDevice::SetAsideWorkFile() {
    const std::string current = CurrentWorkFile();
    std::optional<std::string> fresh = FreshWorkName();
    if (current.empty() || !fresh || !services_->MoveReplacing(current, *fresh)) {
        if (fresh) services_->RemoveFile(*fresh);
        fixedFileHeld_ = true;
        return std::nullopt;
    }
    return fresh;
}

std::uint64_t EstimateRecordingBytes(int width, int height, std::uint32_t microSecondsPerFrame,
                                     std::uint32_t audioBytesPerSecond, std::int64_t seconds) {
    constexpr std::uint64_t kChunkOverhead = 8 + 16 + 8;  // chunk header, old and new index entries
    constexpr std::uint64_t kHeaders = 64 * 1024;
    const auto frames = static_cast<std::uint64_t>(
        static_cast<double>(std::max<std::int64_t>(seconds, 0)) * 1e6 / std::max<std::uint32_t>(microSecondsPerFrame, 1) + 1);
    const auto frameBytes = static_cast<std::uint64_t>(std::max(width, 0)) * static_cast<std::uint64_t>(std::max(height, 0)) * 3;
    std::uint64_t bytes = kHeaders + frames * (frameBytes + kChunkOverhead);
    if (audioBytesPerSecond != 0) {
        bytes += static_cast<std::uint64_t>(std::max<std::int64_t>(seconds, 0)) * audioBytesPerSecond +
                 frames * kChunkOverhead;
    }
    return bytes;
}

std::optional<RecordingRoom> CaptureDevice::RoomFor(std::int32_t seconds) {
    if (services_ == nullptr) return std::nullopt;
    const std::optional<std::uint64_t> free = services_->FreeBytes(workDirectory());
    if (!free) return std::nullopt;
    RecordingRoom room;
    room.directory = workDirectory();
    room.available = *free;
    // A pre-allocated fixed work file is room the recording writes into.
    if (UsesFixedFile(SplitsIntoParts() || seconds > kMaxCaptureSeconds)) {
        room.available += services_->FileSize(captureFile()).value_or(0);
    }
    const auto [width, height] = GetCaptureSize();
    const std::uint32_t audio = settings_.CaptureAudio != 0 ? AudioFormatFromSettings(settings_).nAvgBytesPerSec : 0;
    room.needed = EstimateRecordingBytes(width, height, params_.dwRequestMicroSecPerFrame, audio, seconds);
    return room;
}

void CaptureDevice::CopyFrameToClipboard() {
    if (Live()) port_.GrabFrameNoStop(captureWindow_);
    if (Live()) port_.EditCopy(captureWindow_);
}

}  // namespace kestrova
