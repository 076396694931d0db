#include "capture/pattern_device/pattern_model.h"

#include "store/string_table.h"

#include <algorithm>

namespace kestrova {

namespace {

constexpr std::uint16_t kWaveFormatPcm = 1;
constexpr std::uint32_t kVkEscape = 0x1B;
constexpr std::uint32_t kStreamMasterAudio = 0;  // AVSTREAMMASTER_AUDIO
constexpr std::uint32_t kStreamMasterNone = 1;   // AVSTREAMMASTER_NONE

std::int32_t Flag(std::int32_t value) { return value != 0 ? 1 : 0; }

// "640x480 24 ﾋﾞｯﾄ RGB"
std::string FormatText(FrameSize size) {
    return FillText(strings::kPatternFrameFormat, {std::to_string(size.width), std::to_string(size.height),
                                                   std::to_string(kTestPatternBitCount)});
}

// The parameters a freshly opened capture window reports.
CaptureParms DefaultParams() {
    CaptureParms p;
    p.dwRequestMicroSecPerFrame = 66667;
    p.wPercentDropForError = 10;
    p.dwIndexSize = kTestPatternDefaultIndexSize;
    p.wNumVideoRequested = 5;
    p.fCaptureAudio = 1;
    p.wNumAudioRequested = 4;
    p.vKeyAbort = kVkEscape;
    p.fAbortLeftMouse = 1;
    p.fAbortRightMouse = 1;
    p.wTimeLimit = 30;
    p.wStepCaptureAverageFrames = 3;
    p.AVStreamMaster = kStreamMasterAudio;
    return p;
}

WaveFormat DefaultAudioFormat() {
    WaveFormat f;
    f.wFormatTag = kWaveFormatPcm;
    f.nChannels = 1;
    f.nSamplesPerSec = 11025;
    f.nAvgBytesPerSec = 11025;
    f.nBlockAlign = 1;
    f.wBitsPerSample = 8;
    return f;
}

}  // namespace

std::string_view PatternKindName(PatternKind kind) {
    switch (kind) {
    case PatternKind::MovingGradient:
        return LoadText(strings::kPatternMovingGradient);
    case PatternKind::ColourBars:
    default:
        return LoadText(strings::kPatternColourBars);
    }
}

bool IsAcceptedPcmFormat(const WaveFormat& f) {
    if (f.wFormatTag != kWaveFormatPcm) return false;
    if (f.nChannels != 1 && f.nChannels != 2) return false;
    if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return false;
    if (f.nSamplesPerSec < 8000 || f.nSamplesPerSec > 96000) return false;
    const std::uint32_t blockAlign = static_cast<std::uint32_t>(f.nChannels) * f.wBitsPerSample / 8u;
    return f.nBlockAlign == blockAlign && f.nAvgBytesPerSec == f.nSamplesPerSec * blockAlign;
}

namespace {

constexpr std::size_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER
constexpr std::size_t kFileHeaderSize = 14;  // BITMAPFILEHEADER

void PutLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

std::vector<std::uint8_t> PackedDibBytes(const DibFrame& frame) {
    if (frame.bits.empty() || frame.bits.size() != DibImageSize(frame.width, frame.height)) return {};
    std::vector<std::uint8_t> out;
    out.reserve(kInfoHeaderSize + frame.bits.size());
    PutLittleEndian(out, kInfoHeaderSize, 4);                                // biSize
    PutLittleEndian(out, static_cast<std::uint32_t>(frame.width), 4);        // biWidth
    PutLittleEndian(out, static_cast<std::uint32_t>(frame.height), 4);       // biHeight: rows bottom-up
    PutLittleEndian(out, 1, 2);                                              // biPlanes
    PutLittleEndian(out, kTestPatternBitCount, 2);                           // biBitCount
    PutLittleEndian(out, 0, 4);                                              // biCompression: BI_RGB
    PutLittleEndian(out, static_cast<std::uint32_t>(frame.bits.size()), 4);  // biSizeImage
    PutLittleEndian(out, 0, 4);                                              // biXPelsPerMeter
    PutLittleEndian(out, 0, 4);                                              // biYPelsPerMeter
    PutLittleEndian(out, 0, 4);                                              // biClrUsed
    PutLittleEndian(out, 0, 4);                                              // biClrImportant
    out.insert(out.end(), frame.bits.begin(), frame.bits.end());
    return out;
}

std::vector<std::uint8_t> BmpFileBytes(const DibFrame& frame) {
    std::vector<std::uint8_t> dib = PackedDibBytes(frame);
    if (dib.empty()) return {};
    std::vector<std::uint8_t> out;
    out.reserve(kFileHeaderSize + dib.size());
    out.push_back('B');
    out.push_back('M');
    PutLittleEndian(out, static_cast<std::uint32_t>(kFileHeaderSize + dib.size()), 4);  // bfSize
    PutLittleEndian(out, 0, 4);                                                         // bfReserved1, 2
    PutLittleEndian(out, static_cast<std::uint32_t>(kFileHeaderSize + kInfoHeaderSize), 4);  // bfOffBits
    out.insert(out.end(), dib.begin(), dib.end());
    return out;
}

// ---------------------------------------------------------------------------

PatternFrameSource::PatternFrameSource(ClockFn clock) : clock_(std::move(clock)) { Restart(); }

void PatternFrameSource::Restart() {
    start_ = clock_ ? clock_() : 0;
    framesDelivered_ = 0;
}

std::uint32_t PatternFrameSource::ElapsedMilliseconds() const { return (clock_ ? clock_() : 0) - start_; }

bool PatternFrameSource::Next(PatternKind kind, FrameSize size, DibFrame& frame) {
    PatternRequest request;
    request.kind = kind;
    request.width = size.width;
    request.height = size.height;
    request.frameNumber = framesDelivered_;
    request.milliseconds = ElapsedMilliseconds();
    if (!RenderPattern(request, frame)) return false;
    ++framesDelivered_;
    return true;
}

bool PatternFrameSource::RenderAt(PatternKind kind, FrameSize size, std::uint32_t frameNumber,
                                  std::uint32_t milliseconds, DibFrame& frame) {
    if (!RenderPattern(PatternRequest{kind, size.width, size.height, frameNumber, milliseconds}, frame)) return false;
    start_ = (clock_ ? clock_() : 0) - milliseconds;
    framesDelivered_ = frameNumber + 1;
    return true;
}

// ---------------------------------------------------------------------------

PatternModel::PatternModel(FileExistsFn fileExists, PatternFrameSource::ClockFn clock)
    : fileExists_(std::move(fileExists)),
      frames_(std::move(clock)),
      params_(DefaultParams()),
      audio_(DefaultAudioFormat()) {}

bool PatternModel::Describe(int index, std::string& name, std::string& version) {
    if (index != 0) return false;
    name = kTestPatternDriverName;
    version = kTestPatternDriverVersion;
    return true;
}

bool PatternModel::Connect(int index) {
    if (connected_) Disconnect();
    if (index != 0) return false;
    connected_ = true;
    frames_.Restart();
    Report(kTestPatternStatusConnected,
           FillText(strings::kPatternConnected, {kTestPatternDriverName, FormatText(size_)}));
    return true;
}

bool PatternModel::Disconnect() {
    if (!connected_) return false;
    connected_ = false;
    preview_ = false;
    Report(0, {});
    return true;
}

bool PatternModel::GetCaps(CapDriverCaps& out) const {
    if (!connected_) return false;
    out = CapDriverCaps{};
    out.wDeviceIndex = 0;
    out.fHasOverlay = 0;
    out.fHasDlgVideoSource = 1;
    out.fHasDlgVideoFormat = 1;
    out.fHasDlgVideoDisplay = 0;
    out.fCaptureInitialized = 1;
    out.fDriverSuppliesPalettes = 0;
    return true;
}

bool PatternModel::GetStatus(CapStatus& out) const {
    if (!connected_) return false;
    out = CapStatus{};
    out.uiImageWidth = static_cast<std::uint32_t>(size_.width);
    out.uiImageHeight = static_cast<std::uint32_t>(size_.height);
    out.fLiveWindow = preview_ ? 1 : 0;
    out.fOverlayWindow = 0;
    out.fScale = scale_ ? 1 : 0;
    // The device makes its own sound track to go with the pictures.
    out.fAudioHardware = 1;
    out.fCapFileExists = !captureFile_.empty() && fileExists_ && fileExists_(captureFile_) ? 1 : 0;
    out.dwCurrentVideoFrame = recording_.frames;
    out.dwCurrentVideoFramesDropped = recording_.dropped;
    out.dwCurrentWaveSamples = recording_.waveSamples;
    out.dwCurrentTimeElapsedMS = recording_.elapsedMs;
    out.fCapturingNow = capturing_ ? 1 : 0;
    return true;
}

bool PatternModel::SetSequenceSetup(const CaptureParms& in) {
    CaptureParms p = in;
    if (p.dwRequestMicroSecPerFrame == 0) {
        p.dwRequestMicroSecPerFrame = params_.dwRequestMicroSecPerFrame;
    } else {
        p.dwRequestMicroSecPerFrame =
            std::clamp(p.dwRequestMicroSecPerFrame, kTestPatternMinFramePeriod, kTestPatternMaxFramePeriod);
    }
    p.fMakeUserHitOKToCapture = Flag(p.fMakeUserHitOKToCapture);
    p.wPercentDropForError = std::min<std::uint32_t>(p.wPercentDropForError, 100);
    p.fYield = Flag(p.fYield);
    p.dwIndexSize = p.dwIndexSize == 0 ? kTestPatternDefaultIndexSize
                                       : std::clamp(p.dwIndexSize, kTestPatternMinIndexSize, kTestPatternMaxIndexSize);
    p.fUsingDOSMemory = 0;
    p.wNumVideoRequested = std::min(p.wNumVideoRequested, kTestPatternMaxVideoBuffers);
    p.fCaptureAudio = Flag(p.fCaptureAudio);
    p.wNumAudioRequested = std::min(p.wNumAudioRequested, kTestPatternMaxAudioBuffers);
    p.fAbortLeftMouse = Flag(p.fAbortLeftMouse);
    p.fAbortRightMouse = Flag(p.fAbortRightMouse);
    p.fLimitEnabled = Flag(p.fLimitEnabled);
    // No MCI source and no step capture behind a test pattern.
    p.fMCIControl = 0;
    p.fStepMCIDevice = 0;
    p.fStepCaptureAt2x = 0;
    p.fDisableWriteCache = Flag(p.fDisableWriteCache);
    if (p.AVStreamMaster != kStreamMasterAudio && p.AVStreamMaster != kStreamMasterNone) {
        p.AVStreamMaster = params_.AVStreamMaster;
    }
    params_ = p;
    return true;
}

bool PatternModel::SetAudioFormat(const WaveFormat& format) {
    if (!IsAcceptedPcmFormat(format)) return false;
    audio_ = format;
    audio_.cbSize = 0;
    return true;
}

bool PatternModel::SetCaptureFile(std::string_view path) {
    if (path.empty()) return false;
    captureFile_ = path;
    return true;
}

RecordingRequest PatternModel::MakeRecordingRequest() const {
    RecordingRequest request;
    request.path = captureFile_;
    request.params = params_;
    request.width = size_.width;
    request.height = size_.height;
    if (params_.fCaptureAudio != 0) request.audio = audio_;
    request.previewPeriodMicros = std::uint64_t{PreviewPeriod()} * 1000;
    return request;
}

bool PatternModel::SetPreview(bool on) {
    if (on && !connected_) return false;
    preview_ = on;
    return true;
}

std::uint32_t PatternModel::PreviewPeriod() const {
    return std::max(previewRate_, kTestPatternMinPreviewPeriod);
}

bool PatternModel::SetFrameSize(FrameSize size) {
    if (std::find(kTestPatternSizes.begin(), kTestPatternSizes.end(), size) == kTestPatternSizes.end()) return false;
    size_ = size;
    Report(kTestPatternStatusFormat, FillText(strings::kPatternFormatStatus, {FormatText(size_)}));
    return true;
}

void PatternModel::SetPicture(PatternKind kind) {
    picture_ = kind;
    Report(kTestPatternStatusSource, FillText(strings::kPatternSourceStatus, {PatternKindName(kind)}));
}

void PatternModel::Restore(FrameSize size, PatternKind kind) {
    if (std::find(kTestPatternSizes.begin(), kTestPatternSizes.end(), size) != kTestPatternSizes.end()) size_ = size;
    picture_ = kind;
}

void PatternModel::Report(int id, std::string_view text) const {
    if (statusCallback_) statusCallback_(id, text);
}

}  // namespace kestrova
