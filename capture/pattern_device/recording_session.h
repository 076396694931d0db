// One recording of the built-in test-pattern device (WM_CAP_SEQUENCE), without
// any window: the frame clock, dropped frames, the sound track, the stop
// conditions, the counters CAPSTATUS shows and the status texts. Everything
// that touches the system (the clock, waiting, the user's keys and clicks,
// the callbacks, the confirmation box, the picture on show) goes through a
// RecordingHost; the file goes through a RecordingSink (the AVI writer).
// Which keys and clicks stop a recording is recording_input.h's rule.
//
// The timeline: frame slot n covers [n * period, (n + 1) * period) from the
// start. A slot is recorded when the loop reaches it within its own time;
// slots whose time passed before the loop got to them are written as dropped
// frames (empty chunks), never as late pictures. The sound follows the
// time: with slot n the track is brought to SamplesForDuration(n * period)
// samples, dropped slots included, and at the end to the time the recording
// lasted, never past its last slot, so sound and pictures stay in step over
// any length and at any frame rate.
//
// While it records, the session watches the room left for the file: when
// the next two seconds would not fit (with what the file's indexes still
// need), it ends the recording while the file can still be finished. A
// write that fails all the same (the disk filled faster) ends it too; the
// file is finished with what reached the disk. Either way the host hears of
// it through Error, with a text that names the file.
#pragma once

#include "capture/avi/avi_writer.h"
#include "capture/capture_port.h"
#include "capture/pattern_device/pattern_renderer.h"
#include "capture/pattern_device/recording_input.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

// Status texts of a recording (ids next to the device's other texts).
inline constexpr int kTestPatternStatusCaptureStart = 4010;  // "ｷｬﾌﾟﾁｬを開始しました: C:\CAPTURE.AVI"
inline constexpr int kTestPatternStatusCaptureEnd = 4011;    // "ｷｬﾌﾟﾁｬ終了: 150 ﾌﾚｰﾑ (ﾄﾞﾛｯﾌﾟ 0) 10.000 秒"
inline constexpr int kTestPatternStatusCreateFailed = 4012;  // "ｷｬﾌﾟﾁｬﾌｧｲﾙを作成できません: ..."
inline constexpr int kTestPatternStatusWriteFailed = 4013;   // "ｷｬﾌﾟﾁｬﾌｧｲﾙに書き込めません: ..."
inline constexpr int kTestPatternStatusDiskFull = 4014;      // "ﾃﾞｨｽｸがいっぱいになったため録画を終了しました: ..."
inline constexpr int kTestPatternStatusLowDisk = 4015;       // "ﾃﾞｨｽｸの空きが残りわずかになったため録画を終了しました: ..."
inline constexpr int kTestPatternStatusFileFull = 4016;      // "ｷｬﾌﾟﾁｬﾌｧｲﾙが上限の 16384 GB に達したため..."

// The recording ends while this much time still fits on the disk.
inline constexpr std::uint64_t kDiskReserveMicroseconds = 2000000;

// What CAPSTATUS reports about the current or last recording.
struct RecordingCounters {
    std::uint32_t frames = 0;       // frame slots recorded, dropped ones included
    std::uint32_t dropped = 0;
    std::uint32_t elapsedMs = 0;    // since the first frame
    std::uint32_t waveSamples = 0;  // sample frames of the sound track

    friend bool operator==(const RecordingCounters&, const RecordingCounters&) = default;
};

class RecordingHost {
public:
    virtual ~RecordingHost() = default;

    // The user's go-ahead (fMakeUserHitOKToCapture): false leaves everything
    // as it was.
    virtual bool ConfirmStart() = 0;
    // A monotonic clock in microseconds.
    virtual std::uint64_t Now() = 0;
    // Waits until Now() reaches `due`, keeping the windows painted. Returns
    // earlier when a key press or click has arrived (see TakeInput).
    virtual void WaitUntil(std::uint64_t due) = 0;
    // The input gathered since the last call, including what is waiting now.
    virtual RecordingInput TakeInput() = 0;
    // The capture-control callback; false ends the recording (or, for
    // kCaptureStatePreroll, stops it from starting).
    virtual bool CapControl(std::uint32_t state) = 0;
    virtual void Status(int id, std::string_view text) = 0;
    // A failure that ended or stopped the recording (the error callback).
    virtual void Error(int id, std::string_view text) = 0;
    // A frame just recorded, for the preview (at most one per preview
    // period). The host may take its pixels: `frame` is then left with the
    // ones it showed before, to be drawn over.
    virtual void ShowFrame(DibFrame& frame) = 0;
    // Free bytes on the volume of the file being recorded; nothing when that
    // is not to be watched.
    virtual std::optional<std::uint64_t> FreeBytes(const std::string& path) = 0;
};

// Where a recording goes (AviWriter's recording calls).
class RecordingSink {
public:
    virtual ~RecordingSink() = default;
    virtual bool Open(const std::string& path, const AviVideoFormat& video, const std::optional<WaveFormat>& audio) = 0;
    virtual bool WriteVideoFrame(std::span<const std::uint8_t> dib) = 0;
    virtual bool WriteDroppedFrame() = 0;
    virtual bool WriteAudio(std::span<const std::uint8_t> pcm) = 0;
    // Finishes the file, after a failed write too; false when it could not.
    virtual bool Close() = 0;
    // Why a write failed (None while none did).
    virtual FileError Error() const = 0;
    // True once a write was refused because the file holds all it can.
    virtual bool Full() const = 0;
    // The bytes the recording may still add, given the volume's free space.
    virtual std::uint64_t RoomLeft(std::uint64_t volumeFree) const = 0;
};

// The sink that writes an AVI file.
class AviRecordingSink final : public RecordingSink {
public:
    bool Open(const std::string& path, const AviVideoFormat& video, const std::optional<WaveFormat>& audio) override {
        return writer_.Open(path, video, audio);
    }
    bool WriteVideoFrame(std::span<const std::uint8_t> dib) override { return writer_.WriteVideoFrame(dib); }
    bool WriteDroppedFrame() override { return writer_.WriteDroppedFrame(); }
    bool WriteAudio(std::span<const std::uint8_t> pcm) override { return writer_.WriteAudio(pcm); }
    bool Close() override { return writer_.Close(); }
    FileError Error() const override { return writer_.Error(); }
    bool Full() const override { return writer_.Full(); }
    std::uint64_t RoomLeft(std::uint64_t volumeFree) const override { return writer_.RoomLeft(volumeFree); }

private:
    AviWriter writer_;
};

// What to record.
struct RecordingRequest {
    std::string path;
    CaptureParms params;
    int width = 0;
    int height = 0;
    std::optional<WaveFormat> audio;  // no sound track when empty
    // The preview's period: the window shows a recorded frame no more often
    // (0: every frame).
    std::uint64_t previewPeriodMicros = 0;
};

// How a recording ended.
enum class RecordingEnd {
    Declined,      // the user cancelled, or the capture-control callback refused to start
    CreateFailed,  // the file could not be created; nothing recorded
    TimeLimit,
    UserAbort,     // the abort key or an allowed click
    CapControl,    // the capture-control callback returned false
    WindowGone,
    LowDisk,       // stopped while the disk still had room to finish the file
    DiskFull,      // a write found the disk full; the file holds what reached it
    WriteFailed,   // another write error; the file holds what reached the disk
    FileFull,      // the file holds all one file can (AviFileLimitBytes): it is whole
    FinishFailed,  // the file could not be finished: no recording
};

// True for the ends that leave a recording in the file.
bool RecordingMade(RecordingEnd end);

// Renders frame slot `frameNumber`, whose time is `milliseconds` from the start.
using RecordingFrameFn = std::function<bool(std::uint32_t frameNumber, std::uint32_t milliseconds, DibFrame& frame)>;

class RecordingSession {
public:
    // The counters live outside (the device's status reads them while the
    // recording runs).
    RecordingSession(RecordingHost& host, RecordingSink& sink, RecordingFrameFn render, RecordingCounters& counters);

    // Runs the whole recording and returns when it has ended. The counters
    // start again from zero once the confirmation and the preroll callback
    // have let it start.
    RecordingEnd Run(const RecordingRequest& request);

private:
    // Starts the counters and the rates again for request and opens its file.
    bool Begin(const RecordingRequest& request);
    // The frame loop, from the first slot until the recording ends.
    RecordingEnd Record(std::optional<std::uint64_t> slotLimit);
    bool WriteSlot(std::uint64_t slot, bool dropped);
    // Hands slot's frame to the preview when the preview's period has passed.
    void Show(std::uint64_t slot);
    // Brings the sound track to the given time from the start.
    bool WriteSoundUntil(std::uint64_t micros);
    // True while the disk keeps room for the next seconds (checked at most
    // every quarter second).
    bool DiskHasRoom(std::uint64_t now);
    void Update(std::uint64_t now);
    RecordingEnd Finish(RecordingEnd end);
    RecordingEnd Failed();

    RecordingHost& host_;
    RecordingSink& sink_;
    RecordingFrameFn render_;
    RecordingCounters& counters_;

    const RecordingRequest* request_ = nullptr;
    std::uint64_t period_ = 0;
    std::uint64_t start_ = 0;
    std::uint64_t samplesWritten_ = 0;
    std::uint64_t slotsWritten_ = 0;
    std::uint64_t nextShown_ = 0;  // the recording's time from which the next frame is shown
    std::uint64_t bytesPerSecond_ = 0;
    std::optional<std::uint64_t> lastDiskCheck_;
    DibFrame frame_;
    std::vector<std::uint8_t> pcm_;
};

}  // namespace kestrova
