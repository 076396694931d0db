// The built-in test-pattern device without any window: what it reports and
// accepts through the capture port (driver name, capabilities, status,
// capture parameters, audio format, capture file, preview flags), the
// status texts it gives, the frame source that paints its pictures, what a
// recording is asked to do and what it has done so far, and the still
// pictures it hands out (BMP files, clipboard DIBs). The Windows port wraps
// one of these per capture window.
#pragma once

#include "kestrova_version.h"

#include "capture/capture_port.h"
#include "capture/pattern_device/pattern_renderer.h"
#include "capture/pattern_device/recording_session.h"
#include "store/settings.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrova {

struct FrameSize {
    int width = 0;
    int height = 0;

    friend bool operator==(const FrameSize&, const FrameSize&) = default;
};

// The frame sizes the device offers, smallest first.
inline constexpr std::array<FrameSize, 5> kTestPatternSizes{
    {{160, 120}, {320, 240}, {640, 480}, {1280, 720}, {1920, 1080}}};
inline constexpr FrameSize kTestPatternDefaultSize{320, 240};
inline constexpr int kTestPatternBitCount = 24;

inline constexpr std::string_view kTestPatternDriverName = "Kestrova Test Pattern";
inline constexpr std::string_view kTestPatternDriverVersion = KESTROVA_VERSION_TEXT;

// Ids of the status texts the device gives (id 0 with an empty text clears).
inline constexpr int kTestPatternStatusConnected = 4001;  // "... に接続しました (320x240 24 ﾋﾞｯﾄ RGB)"
inline constexpr int kTestPatternStatusFormat = 4002;     // "ﾌｫｰﾏｯﾄ: 640x480 24 ﾋﾞｯﾄ RGB"
inline constexpr int kTestPatternStatusSource = 4003;     // "ｿｰｽ: ｶﾗｰﾊﾞｰ"
inline constexpr int kTestPatternStatusNotKept = 4004;    // "ﾌｫｰﾏｯﾄを保存できませんでした: ..."

// Limits applied to capture parameters (see SetSequenceSetup).
inline constexpr std::uint32_t kTestPatternMinFramePeriod = 10000;     // 100 frames per second
inline constexpr std::uint32_t kTestPatternMaxFramePeriod = 10000000;  // one frame in 10 seconds
inline constexpr std::uint32_t kTestPatternDefaultIndexSize = 34952;
inline constexpr std::uint32_t kTestPatternMinIndexSize = 1800;
inline constexpr std::uint32_t kTestPatternMaxIndexSize = 324000;
inline constexpr auto kTestPatternMaxVideoBuffers = static_cast<std::uint32_t>(setting_range::VideoBuffers.high);
inline constexpr std::uint32_t kTestPatternMaxAudioBuffers = 10;

// The preview timer never runs faster than this.
inline constexpr std::uint32_t kTestPatternMinPreviewPeriod = 10;

// The Japanese name of a picture, as the source dialog and status show it.
std::string_view PatternKindName(PatternKind kind);

// True for a PCM format the device records: 1 or 2 channels, 8 or 16 bits,
// 8000..96000 samples per second, block align and byte rate consistent.
bool IsAcceptedPcmFormat(const WaveFormat& format);

// A frame as a packed DIB (BITMAPINFOHEADER, 24 bits, BI_RGB, then the
// bits): what the clipboard's CF_DIB holds. Empty for an empty frame.
std::vector<std::uint8_t> PackedDibBytes(const DibFrame& frame);
// A frame as a .bmp file: BITMAPFILEHEADER, then the packed DIB.
std::vector<std::uint8_t> BmpFileBytes(const DibFrame& frame);

// The frames of the live picture and their timing: the clock runs from the
// moment of the last Restart, the counter counts the frames handed out. The
// preview and recordings take their frames from here.
class PatternFrameSource {
public:
    using ClockFn = std::function<std::uint32_t()>;  // monotonic milliseconds (may wrap)

    explicit PatternFrameSource(ClockFn clock);

    // Counter to 0 and clock to 00:00:00.000.
    void Restart();
    // Renders the next frame of the picture at the size and advances the
    // counter. False (counter unchanged) when the size cannot be rendered.
    bool Next(PatternKind kind, FrameSize size, DibFrame& frame);
    // Renders frame `frameNumber` at `milliseconds` of a recording's own
    // timeline; afterwards the counter and clock go on from that frame, so
    // the preview continues where the recording left off.
    bool RenderAt(PatternKind kind, FrameSize size, std::uint32_t frameNumber, std::uint32_t milliseconds,
                  DibFrame& frame);

    std::uint32_t ElapsedMilliseconds() const;
    std::uint32_t framesDelivered() const { return framesDelivered_; }

private:
    ClockFn clock_;
    std::uint32_t start_ = 0;
    std::uint32_t framesDelivered_ = 0;
};

class PatternModel {
public:
    using FileExistsFn = std::function<bool(const std::string& path)>;

    PatternModel(FileExistsFn fileExists, PatternFrameSource::ClockFn clock);

    // capGetDriverDescription: the device is the only driver, at index 0.
    static bool Describe(int index, std::string& name, std::string& version);

    // Connects index 0 (any other index fails and leaves it disconnected).
    // A connection in place is dropped first. Gives the connected text.
    bool Connect(int index);
    // Drops the connection and stops the preview; clears the status text.
    bool Disconnect();
    bool connected() const { return connected_; }

    // False (and out untouched) while not connected.
    bool GetCaps(CapDriverCaps& out) const;
    // The recording counters (current or last recording) are part of it.
    bool GetStatus(CapStatus& out) const;

    // Capture parameters are kept whether connected or not. Set keeps what
    // the device can honour: periods within the limits (0 keeps the old
    // one), flags as 0/1, no MCI device, step capture or DOS memory, buffer
    // counts and index size within limits, an unknown stream master keeps
    // the old one. A get after a set returns what was kept.
    const CaptureParms& params() const { return params_; }
    bool SetSequenceSetup(const CaptureParms& params);

    // A refused format (see IsAcceptedPcmFormat) leaves the old one.
    const WaveFormat& audioFormat() const { return audio_; }
    bool SetAudioFormat(const WaveFormat& format);

    // An empty path is refused.
    const std::string& captureFile() const { return captureFile_; }
    bool SetCaptureFile(std::string_view path);

    // Preview needs a connection to start; stopping always succeeds.
    bool SetPreview(bool on);
    bool previewOn() const { return preview_; }
    void SetScale(bool on) { scale_ = on; }
    bool scale() const { return scale_; }
    void SetPreviewRate(std::uint32_t milliseconds) { previewRate_ = milliseconds; }
    std::uint32_t previewRate() const { return previewRate_; }
    // The preview timer's period: the rate, at least kTestPatternMinPreviewPeriod.
    std::uint32_t PreviewPeriod() const;

    // Only the sizes in kTestPatternSizes are accepted; each accepted set
    // gives the format text, even when the size stays.
    FrameSize frameSize() const { return size_; }
    bool SetFrameSize(FrameSize size);

    PatternKind picture() const { return picture_; }
    // Gives the source text.
    void SetPicture(PatternKind kind);
    // The size and picture kept from an earlier run, taken without a status
    // text (the connected text that follows tells the size); a size the
    // device does not offer is ignored.
    void Restore(FrameSize size, PatternKind kind);

    // The status callback, called synchronously; null stops the texts.
    void SetStatusCallback(StatusCallbackFn callback) { statusCallback_ = std::move(callback); }
    // Gives a text to the status callback.
    void Report(int id, std::string_view text) const;

    PatternFrameSource& frames() { return frames_; }
    // The next frame of the current picture at the current size.
    bool NextFrame(DibFrame& frame) { return frames_.Next(picture_, size_, frame); }

    // A recording into the capture file with the current parameters, size
    // and (when the parameters ask for sound) audio format.
    RecordingRequest MakeRecordingRequest() const;
    // Frame slot `frameNumber` of a recording: the current picture and size.
    bool RecordingFrame(std::uint32_t frameNumber, std::uint32_t milliseconds, DibFrame& frame) {
        return frames_.RenderAt(picture_, size_, frameNumber, milliseconds, frame);
    }
    RecordingCounters& recording() { return recording_; }
    const RecordingCounters& recording() const { return recording_; }
    // A recording (with its go-ahead question) is under way: the device takes
    // no other message meanwhile, and CAPSTATUS says it is capturing.
    bool capturing() const { return capturing_; }
    void SetCapturing(bool capturing) { capturing_ = capturing; }

private:
    FileExistsFn fileExists_;
    PatternFrameSource frames_;
    StatusCallbackFn statusCallback_;
    bool connected_ = false;
    bool preview_ = false;
    bool scale_ = false;
    std::uint32_t previewRate_ = 66;
    FrameSize size_ = kTestPatternDefaultSize;
    PatternKind picture_ = PatternKind::ColourBars;
    CaptureParms params_;
    WaveFormat audio_;
    std::string captureFile_ = "C:\\CAPTURE.AVI";
    RecordingCounters recording_;
    bool capturing_ = false;
};

}  // namespace kestrova
