#include "capture/pattern_device/recording_session.h"

#include "capture/pattern_device/tone.h"
#include "store/string_table.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <utility>

namespace kestrova {

namespace {

constexpr std::uint64_t kDefaultFramePeriod = 66667;
constexpr std::uint64_t kDiskCheckMicroseconds = 250000;
// Kept free besides the next seconds: a write buffer and then some.
constexpr std::uint64_t kDiskMarginBytes = std::uint64_t{4} << 20;

std::uint32_t Saturated(std::uint64_t value) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

// "ｷｬﾌﾟﾁｬ終了: 150 ﾌﾚｰﾑ (ﾄﾞﾛｯﾌﾟ 0) 10.000 秒"
std::string EndText(const RecordingCounters& c) {
    const std::string format(LoadText(strings::kPatternCaptureEnded));
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format.c_str(), static_cast<unsigned long>(c.frames),
                  static_cast<unsigned long>(c.dropped), static_cast<unsigned long>(c.elapsedMs / 1000),
                  static_cast<unsigned long>(c.elapsedMs % 1000));
    return buffer;
}

// A failure as the status text ("what: path") and as the error ("what", the
// path on a line of its own).
void TellFailure(RecordingHost& host, int id, const std::string& text, const std::string& path) {
    host.Status(id, text + ": " + path);
    host.Error(id, text + "\n" + path);
}

// The time limit as a number of slots: the whole number of frames whose
// length comes nearest to it (3 s at 66666 us are 45 frames, not a 46th that
// would start 30 us before the limit), at least one. A limit of 0 seconds
// means no limit.
std::optional<std::uint64_t> SlotLimit(const CaptureParms& params, std::uint64_t period) {
    if (params.fLimitEnabled == 0 || params.wTimeLimit == 0) return std::nullopt;
    const std::uint64_t micro = static_cast<std::uint64_t>(params.wTimeLimit) * 1000000;
    return std::max<std::uint64_t>((micro + period / 2) / period, 1);
}

}  // namespace

bool RecordingMade(RecordingEnd end) {
    switch (end) {
    case RecordingEnd::TimeLimit:
    case RecordingEnd::UserAbort:
    case RecordingEnd::CapControl:
    case RecordingEnd::WindowGone:
    case RecordingEnd::LowDisk:
    case RecordingEnd::DiskFull:
    case RecordingEnd::WriteFailed:
    case RecordingEnd::FileFull:
        return true;
    case RecordingEnd::Declined:
    case RecordingEnd::CreateFailed:
    case RecordingEnd::FinishFailed:
    default:
        return false;
    }
}

RecordingSession::RecordingSession(RecordingHost& host, RecordingSink& sink, RecordingFrameFn render,
                                   RecordingCounters& counters)
    : host_(host), sink_(sink), render_(std::move(render)), counters_(counters) {}

RecordingEnd RecordingSession::Run(const RecordingRequest& request) {
    const CaptureParms& params = request.params;
    if (params.fMakeUserHitOKToCapture != 0 && !host_.ConfirmStart()) return RecordingEnd::Declined;
    if (!host_.CapControl(kCaptureStatePreroll)) return RecordingEnd::Declined;
    if (!Begin(request)) return RecordingEnd::CreateFailed;

    // Keys and clicks from before the start do not end the recording.
    host_.TakeInput();
    host_.Status(kTestPatternStatusCaptureStart, FillText(strings::kPatternCaptureStarted, {request.path}));
    start_ = host_.Now();
    return Record(SlotLimit(params, period_));
}

bool RecordingSession::Begin(const RecordingRequest& request) {
    const CaptureParms& params = request.params;
    request_ = &request;
    period_ = params.dwRequestMicroSecPerFrame != 0 ? params.dwRequestMicroSecPerFrame : kDefaultFramePeriod;
    samplesWritten_ = 0;
    slotsWritten_ = 0;
    nextShown_ = 0;
    lastDiskCheck_.reset();
    counters_ = RecordingCounters{};
    // In 64 bits: a frame's bytes times a million overflow the 32-bit build's size_t.
    const std::uint64_t frameChunk = 8 + std::uint64_t{DibImageSize(request.width, request.height)};
    const std::uint64_t videoRate = frameChunk * 1000000 / period_;
    const std::uint64_t audioRate =
        request.audio ? std::uint64_t{request.audio->nAvgBytesPerSec} + std::uint64_t{8} * 1000000 / period_ : 0;
    bytesPerSecond_ = videoRate + audioRate;

    const AviVideoFormat video{request.width, request.height, static_cast<std::uint32_t>(period_)};
    if (sink_.Open(request.path, video, request.audio)) return true;
    TellFailure(host_, kTestPatternStatusCreateFailed, std::string(LoadText(strings::kPatternCannotCreate)),
                request.path);
    return false;
}

RecordingEnd RecordingSession::Record(std::optional<std::uint64_t> slotLimit) {
    const CaptureParms& params = request_->params;
    std::uint64_t next = 0;  // the next slot to write
    for (;;) {
        const RecordingInput input = host_.TakeInput();
        if (input.windowGone) return Finish(RecordingEnd::WindowGone);
        if (InputAbortsRecording(params, input)) return Finish(RecordingEnd::UserAbort);

        const std::uint64_t now = host_.Now();
        Update(now);
        if (!DiskHasRoom(now)) return Finish(RecordingEnd::LowDisk);
        const std::uint64_t current = (now > start_ ? now - start_ : 0) / period_;  // the slot whose time it is
        // Slots [next, end) are due: up to the current one, or those the
        // limit covers once its time is over (then none is live any more).
        const bool atLimit = slotLimit && current >= *slotLimit;
        const std::uint64_t end = atLimit ? *slotLimit : current + 1;
        if (end > next) {
            // Frames that came while the loop was busy wait in the device's
            // video buffers, as many as the parameters ask for; the older
            // ones are lost. The rest are recorded as themselves.
            const std::uint64_t kept = std::uint64_t{params.wNumVideoRequested} + (atLimit ? 0 : 1);
            while (next + kept < end) {
                if (!WriteSlot(next++, true)) return Failed();
            }
            while (next < end) {
                if (!WriteSlot(next++, false)) return Failed();
            }
            if (!atLimit && !host_.CapControl(kCaptureStateCapturing)) return Finish(RecordingEnd::CapControl);
        }
        if (atLimit) return Finish(RecordingEnd::TimeLimit);
        host_.WaitUntil(start_ + next * period_);
    }
}

bool RecordingSession::WriteSlot(std::uint64_t slot, bool dropped) {
    const RecordingRequest& request = *request_;
    if (!dropped) {
        const auto milliseconds = static_cast<std::uint32_t>(slot * period_ / 1000);
        dropped = !(render_ && render_(static_cast<std::uint32_t>(slot), milliseconds, frame_) &&
                    frame_.width == request.width && frame_.height == request.height);
    }
    if (!WriteSoundUntil(slot * period_)) return false;
    if (dropped) {
        if (!sink_.WriteDroppedFrame()) return false;
        ++counters_.dropped;
    } else {
        if (!sink_.WriteVideoFrame(frame_.bits)) return false;
        Show(slot);
    }
    ++counters_.frames;
    slotsWritten_ = slot + 1;
    return true;
}

// The preview shows a frame once its period has passed since the last one
// shown; half a frame early counts as in time, so a preview period of two
// frames shows every second one.
void RecordingSession::Show(std::uint64_t slot) {
    const std::uint64_t time = slot * period_;
    if (time + period_ / 2 < nextShown_) return;
    host_.ShowFrame(frame_);
    nextShown_ = time + request_->previewPeriodMicros;
}

bool RecordingSession::WriteSoundUntil(std::uint64_t micros) {
    const std::optional<WaveFormat>& audio = request_->audio;
    if (!audio) return true;
    const std::uint64_t total = SamplesForDuration(micros, audio->nSamplesPerSec);
    if (total <= samplesWritten_) return true;
    pcm_.clear();
    AppendTone(*audio, samplesWritten_, Saturated(total - samplesWritten_), pcm_);
    if (!sink_.WriteAudio(pcm_)) return false;
    samplesWritten_ = total;
    counters_.waveSamples = Saturated(total);
    return true;
}

bool RecordingSession::DiskHasRoom(std::uint64_t now) {
    if (lastDiskCheck_ && now - *lastDiskCheck_ < kDiskCheckMicroseconds) return true;
    lastDiskCheck_ = now;
    const std::optional<std::uint64_t> free = host_.FreeBytes(request_->path);
    if (!free) return true;
    const std::uint64_t needed = bytesPerSecond_ * kDiskReserveMicroseconds / 1000000 + kDiskMarginBytes;
    return sink_.RoomLeft(*free) >= needed;
}

void RecordingSession::Update(std::uint64_t now) {
    counters_.elapsedMs = Saturated((now > start_ ? now - start_ : 0) / 1000);
}

RecordingEnd RecordingSession::Failed() {
    if (sink_.Error() == FileError::None && sink_.Full()) return Finish(RecordingEnd::FileFull);
    return Finish(sink_.Error() == FileError::DiskFull ? RecordingEnd::DiskFull : RecordingEnd::WriteFailed);
}

RecordingEnd RecordingSession::Finish(RecordingEnd end) {
    const std::uint64_t now = host_.Now();
    Update(now);
    // The sound runs as long as the recording did, but not past its last slot.
    if (end != RecordingEnd::DiskFull && end != RecordingEnd::WriteFailed && end != RecordingEnd::FileFull &&
        !WriteSoundUntil(std::min(now > start_ ? now - start_ : 0, slotsWritten_ * period_))) {
        end = sink_.Error() == FileError::DiskFull ? RecordingEnd::DiskFull : RecordingEnd::WriteFailed;
    }
    const bool closed = sink_.Close();
    host_.Status(kTestPatternStatusCaptureEnd, EndText(counters_));
    const std::string& path = request_->path;
    if (!closed) end = RecordingEnd::FinishFailed;
    const auto told = [&](unsigned what) { return std::string(LoadText(what)); };
    switch (end) {
    case RecordingEnd::LowDisk:
        TellFailure(host_, kTestPatternStatusLowDisk, told(strings::kPatternLowDisk), path);
        break;
    case RecordingEnd::DiskFull:
        TellFailure(host_, kTestPatternStatusDiskFull, told(strings::kPatternDiskFull), path);
        break;
    case RecordingEnd::FileFull:
        TellFailure(host_, kTestPatternStatusFileFull,
                    FillText(strings::kPatternFileFull, {std::to_string(AviFileLimitBytes() >> 30)}), path);
        break;
    case RecordingEnd::WriteFailed:
    case RecordingEnd::FinishFailed:
        TellFailure(host_, kTestPatternStatusWriteFailed, told(strings::kPatternCannotWrite), path);
        break;
    default:
        break;
    }
    return end;
}

}  // namespace kestrova
