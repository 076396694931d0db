// CaptureDevice: recording into work files, saving them, snapshots.
#include "store/string_table.h"
#include "capture/capture_device.h"

#include "capture/avi/avi_writer.h"

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

// A part length of 0 or below cannot split anything (every part would end
// after its first frame, and a timed recording would never end): such a
// recording is made in one piece, as without part capture.
bool CaptureDevice::SplitsIntoParts() const { return settings_.PartCapture != 0 && settings_.PartTime > 0; }

std::string PartFilePath(std::string_view path, std::size_t number) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "_%02zu.avi", number);
    return std::string(path.substr(0, path.size() >= 4 ? path.size() - 4 : 0)) + suffix;
}

bool CaptureDevice::SetCapControl(bool on) {
    if (!on) return port_.SetCallbackCapControl(captureWindow_, nullptr);
    return port_.SetCallbackCapControl(captureWindow_, [this](std::uint32_t state) { return PartControlCallback(state); });
}

// The callbacks of a recording; false when the window will not take them
// (it would record without ending its parts or telling its failures).
bool CaptureDevice::BeginRecording(bool parts) {
    partFiles_.clear();
    recordingError_.clear();
    // What goes wrong inside the capture window (a full disk) is kept and
    // told once the recording has returned; the first report counts.
    const bool errors = port_.SetCallbackError(captureWindow_, [this](int id, std::string_view text) {
        if (id != 0 && recordingError_.empty()) recordingError_ = text.empty() ? "?" : std::string(text);
        return true;
    });
    return SetCapControl(parts) && errors;
}

// Whatever the window says now, the recording has ended.
void CaptureDevice::EndRecording() {
    static_cast<void>(SetCapControl(false));
    static_cast<void>(port_.SetCallbackError(captureWindow_, nullptr));
}

void CaptureDevice::PrepareParams(bool timed, bool confirm) {
    params_.fMakeUserHitOKToCapture = timed ? 0 : (confirm ? 1 : 0);
    params_.fLimitEnabled = timed ? 1 : 0;
    params_.wTimeLimit = 0;
    params_.wPercentDropForError = 0;
    params_.dwIndexSize = 0xFFFFFFFFu;
    params_.vKeyAbort = kAbortShiftEscape;
}

bool CaptureDevice::UseCaptureFile(const std::string& path) {
    if (!port_.FileSetCaptureFile(captureWindow_, path)) return false;
    captureWindowFile_ = path;
    if (services_ != nullptr) services_->SetWorkFileTitle(path);
    return true;
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

bool CaptureDevice::MakeWorkFile(const WorkFileMade& made) {
    const std::optional<std::string> work = FreshWorkName();
    // A window that keeps its old capture file would record over it.
    if (!work || !UseCaptureFile(*work)) return false;
    if (partFiles_.size() < kMaxPartFiles) partFiles_.push_back(*work);
    if (made) made(*work);
    return true;
}

void CaptureDevice::Fail(RecordingAccount& account, RecordingFailure kind) {
    account.failureKind = kind;
    account.failure = std::string(LoadText(kind == RecordingFailure::WorkFile ? strings::kWorkFileFailed
                                                                              : strings::kCaptureRefused));
}

// The seconds one file holds at the picture's size and rate (the writer's
// limit, which the capture window's own files stay within too); without a
// size known, no limit beyond one capture's.
std::int64_t CaptureDevice::SecondsPerFile() {
    const auto [width, height] = GetCaptureSize();
    std::optional<WaveFormat> sound;
    if (settings_.CaptureAudio != 0) sound = AudioFormatFromSettings(settings_);
    const AviVideoFormat video{width, height, params_.dwRequestMicroSecPerFrame};
    std::uint64_t seconds = AviSecondsPerFile(video, sound);
    if (seconds == 0 && sound) seconds = AviSecondsPerFile(video, std::nullopt);  // a sound it cannot write
    return seconds == 0 ? kMaxCaptureSeconds : static_cast<std::int64_t>(std::min<std::uint64_t>(seconds, INT64_MAX));
}

// How one recording is made: its captures, their limits and its files.
struct CaptureDevice::Plan {
    bool timed = false;
    bool confirm = false;
    std::int64_t seconds = 0;
    bool parts = false;
    bool fixedFile = false;
    WorkFileMade workFileMade;
};

RecordingAccount CaptureDevice::Record(bool confirm) {
    Plan plan;
    plan.confirm = confirm;
    plan.parts = SplitsIntoParts();
    // With the fixed work file the recording always goes there, even when an
    // earlier recording left the capture window on one of its own files.
    plan.fixedFile = UsesFixedFile(plan.parts);
    partSeconds_ = plan.parts ? static_cast<std::uint32_t>(settings_.PartTime) : 0;
    return Capture(plan);
}

RecordingAccount CaptureDevice::RecordTimed(std::int32_t seconds, const TimedOptions& options) {
    Plan plan;
    plan.timed = true;
    plan.seconds = std::max<std::int32_t>(seconds, 0);
    // A span longer than one capture's 16-bit limit, or than one file
    // holds at this size and rate, is recorded as parts.
    const std::int64_t perFile = SecondsPerFile();
    const bool longSpan = seconds > kMaxCaptureSeconds || seconds > perFile;
    const bool userParts = SplitsIntoParts();
    plan.parts = userParts || longSpan;
    // A run of its own records into a fresh work file, which it can then
    // move to its name at once; a pre-allocated fixed file is kept for the
    // speed it was made for.
    plan.fixedFile = UsesFixedFile(plan.parts) && !(options.ownWorkFile && settings_.TempFile == 0);
    plan.workFileMade = options.workFileMade;
    const auto longPart = static_cast<std::uint32_t>(std::min<std::int64_t>(kLongSpanPartSeconds, perFile));
    partSeconds_ = userParts ? static_cast<std::uint32_t>(settings_.PartTime) : longPart;
    if (longSpan) partSeconds_ = std::min(partSeconds_, longPart);
    return Capture(plan);
}

// The captures of one recording, one per part, and what they did.
RecordingAccount CaptureDevice::Capture(const Plan& plan) {
    RecordingAccount account;
    account.began = clock_.Now();
    // A file that cannot be written is told before anything else happens.
    if (plan.fixedFile && !WorkFileWritable(captureFile())) {
        partFiles_.clear();
        Fail(account, RecordingFailure::WorkFile);
        account.ended = clock_.Now();
        return account;
    }
    PrepareParams(plan.timed, plan.confirm);
    // A window that will not take the recording's set-up (its time limit)
    // or its callbacks would record otherwise than asked: refused.
    const bool ready = BeginRecording(plan.parts) && (plan.timed || port_.SetSequenceSetup(captureWindow_, params_));
    if (!ready) Fail(account, RecordingFailure::Refused);
    if (ready && plan.fixedFile && captureWindowFile_ != captureFile() && !UseCaptureFile(captureFile())) {
        Fail(account, RecordingFailure::WorkFile);
    }
    std::int64_t remaining = plan.seconds;
    while (account.failure.empty()) {
        if (plan.timed) {
            params_.wTimeLimit = static_cast<std::uint32_t>(std::clamp<std::int64_t>(remaining, 0, kMaxCaptureSeconds));
            remaining -= plan.parts ? static_cast<std::int64_t>(partSeconds_) : remaining;
            if (!port_.SetSequenceSetup(captureWindow_, params_)) {
                Fail(account, RecordingFailure::Refused);
                break;
            }
        }
        if (!plan.fixedFile && !MakeWorkFile(plan.workFileMade)) {
            Fail(account, RecordingFailure::WorkFile);
            break;
        }
        if (!CapturePart(plan, account)) break;
        // A part ended by the callback just as the span ran out leaves no
        // time to record: a limit of 0 would not limit the next capture.
        if (!nextPartPending_ || (plan.timed && remaining <= 0) || !recordingError_.empty()) break;
    }
    EndRecording();
    FinishAccount(plan, account);
    return account;
}

// One capture; false when it was refused (nothing more follows).
bool CaptureDevice::CapturePart(const Plan& plan, RecordingAccount& account) {
    nextPartPending_ = false;
    const bool ran = port_.Sequence(captureWindow_);
    CapStatus figures;
    if (!port_.GetStatus(captureWindow_, figures)) figures = CapStatus{};  // nothing known was recorded
    account.frames += figures.dwCurrentVideoFrame;
    account.dropped += figures.dwCurrentVideoFramesDropped;
    account.elapsedMs += figures.dwCurrentTimeElapsedMS;
    if (ran || figures.dwCurrentVideoFrame != 0) {
        if (plan.fixedFile) account.files.assign(1, captureFile());
        else if (!partFiles_.empty()) account.files.push_back(partFiles_.back());
        return true;
    }
    // A capture the device refuses is a failure; one the user declined at
    // the confirmation is not.
    if (!plan.confirm) Fail(account, RecordingFailure::Refused);
    return false;
}

// The end of the account: when, and whether the recording ran its length.
void CaptureDevice::FinishAccount(const Plan& plan, RecordingAccount& account) {
    account.ended = clock_.Now();
    if (!recordingError_.empty() && account.failure.empty()) {
        account.failureKind = RecordingFailure::Device;
        account.failure = recordingError_;
    }
    if (!plan.timed) return;
    // A timed recording short of its length by more than a second (and a
    // frame) was cut short: by the failure, or by a key or a click.
    const std::uint64_t wanted = static_cast<std::uint64_t>(plan.seconds) * 1000;
    const std::uint64_t slack = 1000 + params_.dwRequestMicroSecPerFrame / 1000;
    if (account.elapsedMs + slack >= wanted) return;
    account.cutShort = !account.failure.empty() ? account.failure : std::string(LoadText(strings::kStoppedEarly));
}

bool CaptureDevice::WorkFileWritable(const std::string& path) {
    return services_ == nullptr || services_->CanWriteFile(path);
}

bool CaptureDevice::PartControlCallback(std::uint32_t state) {
    if (state != kCaptureStateCapturing) return true;
    CapStatus status;
    if (!port_.GetStatus(captureWindow_, status)) return true;  // nothing known ends the part
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
    // Set again before every recording, where a refusal counts.
    static_cast<void>(UseCaptureFile(captureFile()));
}

bool CaptureDevice::AllocateWorkFile(std::int32_t megabytes) {
    if (!UseCaptureFile(captureFile())) return false;
    // The byte count is 32 bits wide: TempSize's range is what it can carry.
    const auto bounded = static_cast<std::uint32_t>(
        std::clamp<std::int32_t>(megabytes, setting_range::TempSize.low, setting_range::TempSize.high));
    return port_.FileAllocate(captureWindow_, bounded << 20);
}

AudioChoice CaptureDevice::ChooseAudioFormat() {
    if (services_ == nullptr) return AudioChoice::Cancelled;
    WaveFormat current;
    if (!port_.GetAudioFormat(captureWindow_, current)) current = AudioFormatFromSettings(settings_);
    std::optional<WaveFormat> chosen = services_->ChooseAudioFormat(current);
    if (!chosen) return AudioChoice::Cancelled;
    WaveFormat format = *chosen;
    format.cbSize = 0;
    // A format the device refuses is not the one it records with: the
    // settings keep the one it has.
    if (!port_.SetAudioFormat(captureWindow_, format)) return AudioChoice::Refused;
    settings_.SampleFormat = format.wFormatTag;
    settings_.SampleChannel = format.nChannels;
    settings_.SampleBit = format.wBitsPerSample;
    settings_.SampleRate = static_cast<std::int32_t>(format.nSamplesPerSec);
    return AudioChoice::Set;
}

bool CaptureDevice::SameDrive(const std::string& source, const std::string& target) const {
    return settings_.SpeedSave != 0 && !source.empty() && !target.empty() && FoldCase(source[0]) == FoldCase(target[0]);
}

// A copy of `source` to `target` beside the window's thread; the fixed
// work file is not recorded into while it is being read.
void CaptureDevice::CopyBeside(const std::string& source, const std::string& target,
                               std::function<void(bool copied)> done) {
    const std::uint64_t bytes = services_->RecordedBytes(source);
    if (bytes == 0) {
        done(false);
        return;
    }
    const bool fixed = source == captureFile();
    if (fixed) ++fixedFileReaders_;
    copyingBytes_ += bytes;
    services_->CopyInBackground(source, target, bytes, [this, fixed, bytes, done = std::move(done)](bool copied) {
        if (fixed) --fixedFileReaders_;
        copyingBytes_ -= bytes;
        done(copied);
    });
}

void CaptureDevice::SaveAs() {
    if (services_ == nullptr) return;
    std::string source;
    if (!port_.FileGetCaptureFile(captureWindow_, source) || source.empty()) return;
    const std::optional<std::string> target = services_->AskSaveVideoPath(workDirectory());
    if (!target) return;
    if (SameDrive(source, *target)) {
        // One replacing move: the old target stays until the new file is in
        // its place, and a move across volumes falls back to a copy.
        if (!services_->MoveReplacing(source, *target)) {
            services_->ShowSaveFailure(*target);
        } else if (source == captureWindowFile_) {
            SetWorkDirectory(settings_.TempPath);
        }
        return;
    }
    if (services_->SameFile(source, *target)) return;  // the recording is there already
    CopyBeside(source, *target, [this, target = *target](bool copied) {
        if (copied) {
            services_->ShowSaved(target);
        } else {
            services_->ShowSaveFailure(target);
        }
    });
}

// A recording that could not take its name stays where it is; the fixed
// work file is first moved out of the next recording's way. One that is no
// longer there (its folder removed meanwhile) is told as lost.
StoredRecording CaptureDevice::KeptAt(const std::string& target, const std::string& work) {
    if (!services_->FileExists(work)) return StoredRecording{{}, FillText(strings::kRecordingGone, {target, work})};
    StoredRecording kept{{work}, {}};
    if (work == captureFile()) {
        if (std::optional<std::string> aside = SetAsideWorkFile()) kept.files = {*aside};
    }
    kept.kept = FillText(strings::kKeptAt, {target, kept.files.front()});
    return kept;
}

void CaptureDevice::StoreRecording(const RecordingAccount& account, const std::string& target, bool asParts,
                                   std::function<void(StoredRecording)> done) {
    if (services_ == nullptr || account.files.empty()) {
        done(StoredRecording{account.files, {}});
        return;
    }
    if (asParts) {
        StoredRecording stored;
        std::string left;
        for (std::size_t i = 0; i < account.files.size(); ++i) {
            const std::string part = PartFilePath(target, i + 1);
            const bool moved = services_->MoveReplacing(account.files[i], part);
            stored.files.push_back(moved ? part : account.files[i]);
            if (!moved) left += (left.empty() ? "" : ", ") + account.files[i];
        }
        if (!left.empty()) stored.kept = FillText(strings::kKeptAt, {target, left});
        done(std::move(stored));
        return;
    }
    const std::string& work = account.files.front();
    // A work file of the run's own goes to its name at once; the fixed one
    // (pre-allocated, kept for its speed) is copied beside the next run.
    if (work != captureFile() || SameDrive(work, target)) {
        const bool moved = services_->MoveReplacing(work, target);
        // The window back on the fixed work file (the title too); a window
        // that refuses it now is told again before the next recording.
        if (moved && work == captureWindowFile_ && settings_.FixedTempFile != 0) {
            static_cast<void>(UseCaptureFile(captureFile()));
        }
        done(moved ? StoredRecording{{target}, {}} : KeptAt(target, work));
        return;
    }
    CopyBeside(work, target, [this, target, work, done = std::move(done)](bool copied) {
        done(copied ? StoredRecording{{target}, {}} : KeptAt(target, work));
    });
}

std::optional<std::string> CaptureDevice::SetAsideWorkFile() {
    const std::string current = captureFile();
    std::optional<std::string> fresh = FreshWorkName();
    if (!fresh || !services_->MoveReplacing(current, *fresh)) {
        if (fresh) services_->RemoveFile(*fresh);
        fixedFileHeld_ = true;
        return std::nullopt;
    }
    return fresh;
}

std::uint64_t EstimateRecordingBytes(int width, int height, std::uint32_t microSecondsPerFrame,
                                     std::uint32_t audioBytesPerSecond, std::int64_t seconds) {
    constexpr std::uint64_t kChunkOverhead = 8 + 16 + 8;  // chunk header, old and new index entries
    constexpr std::uint64_t kHeaders = std::uint64_t{64} * 1024;
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
    // A copy still running takes its share of the room.
    room.available = *free > copyingBytes_ ? *free - copyingBytes_ : 0;
    // A pre-allocated fixed work file is room the recording writes into.
    if (UsesFixedFile(SplitsIntoParts() || seconds > kMaxCaptureSeconds)) {
        room.available += services_->FileSize(captureFile()).value_or(0);
    }
    const auto [width, height] = GetCaptureSize();
    const std::uint32_t audio = settings_.CaptureAudio != 0 ? AudioFormatFromSettings(settings_).nAvgBytesPerSec : 0;
    room.needed = EstimateRecordingBytes(width, height, params_.dwRequestMicroSecPerFrame, audio, seconds);
    // Each file a long span is split into has headers of its own.
    const std::int64_t perFile = std::max<std::int64_t>(1, std::min<std::int64_t>(kLongSpanPartSeconds, SecondsPerFile()));
    room.needed += static_cast<std::uint64_t>((seconds - 1) / perFile) * AviHeaderBytes(audio != 0);
    return room;
}

bool CaptureDevice::CopyFrameToClipboard() {
    return port_.GrabFrameNoStop(captureWindow_) && port_.EditCopy(captureWindow_);
}

}  // namespace kestrova
