#include "capture/capture_device.h"

#include "platform/cp932.h"
#include "platform/files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kestrova {

namespace {
constexpr std::uint32_t kDefaultPeriod = 66666;
constexpr std::size_t kStatusTextBytes = 511;  // CP932 bytes kept of a status text
}  // namespace

std::uint32_t FramePeriodMicroseconds(float framesPerSecond) {
    if (!std::isfinite(framesPerSecond) || framesPerSecond <= 0.0f) return kDefaultPeriod;
    double period = 1000000.0 / static_cast<double>(framesPerSecond);
    if (period < 1.0) return kDefaultPeriod;  // faster than a frame per microsecond
    if (period >= 4294967295.0) return 4294967295u;
    return static_cast<std::uint32_t>(period);
}

WaveFormat AudioFormatFromSettings(const AppSettings& s) {
    WaveFormat f;
    const std::uint32_t rate = s.SampleRate == 0 ? 44100u : static_cast<std::uint32_t>(s.SampleRate);
    f.wFormatTag = static_cast<std::uint16_t>(s.SampleFormat);
    f.nChannels = static_cast<std::uint16_t>(s.SampleChannel);
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = static_cast<std::uint16_t>(s.SampleBit);
    f.nAvgBytesPerSec = static_cast<std::uint32_t>(s.SampleBit / 8) * rate * static_cast<std::uint32_t>(s.SampleChannel);
    f.nBlockAlign = static_cast<std::uint16_t>(f.nAvgBytesPerSec / rate);
    f.cbSize = 0;
    return f;
}

std::string JoinWorkPath(std::string_view directory, std::string_view name) {
    std::string path(directory);
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    path += name;
    return path;
}

std::string PathFrom(std::string_view directory, std::string_view path) {
    return IsRootedPath(path) ? std::string(path) : JoinWorkPath(directory, path);
}

bool TempPathMissing(std::string_view tempPath, DeviceServices& services) {
    return !tempPath.empty() && !services.IsDirectory(PathFrom(services.StartFolder(), tempPath));
}

std::string ChooseWorkDirectory(std::string_view tempPath, DeviceServices& services) {
    if (tempPath.empty() || TempPathMissing(tempPath, services)) return services.StartFolder();
    return PathFrom(services.StartFolder(), tempPath);
}

std::string NumberedSnapshotPath(std::string_view base, std::int32_t number, std::string_view workDirectory) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04d", static_cast<int>(number));
    return PathFrom(workDirectory, std::string(base) + digits + ".bmp");
}

CaptureDevice::CaptureDevice(CapturePort& port, AppSettings& settings, StatusSink& status, const Clock& clock,
                             DeviceServices* services)
    : port_(port), settings_(settings), statusSink_(status), clock_(clock), services_(services) {
    previewRate_ = static_cast<std::uint16_t>(settings_.PreviewRate);  // held within 16 bits when read
}

std::string CaptureDevice::workDirectory() const {
    return services_ != nullptr ? ChooseWorkDirectory(settings_.TempPath, *services_) : settings_.TempPath;
}

// The port guards itself: a message to a window that is gone (or was
// never made) is not sent and answers false. What the device sends only to
// show the picture or to let go of the window needs no answer: BestEffort
// says so where it is sent.
namespace {
void BestEffort(bool) {}
}  // namespace

CaptureDevice::~CaptureDevice() {
    if (captureWindow_ == 0) return;
    BestEffort(port_.SetCallbackStatus(captureWindow_, nullptr));
    BestEffort(port_.ClearCallbackVideoStream(captureWindow_));
    BestEffort(port_.ClearCallbackFrame(captureWindow_));
    BestEffort(port_.DriverDisconnect(captureWindow_));
}

bool CaptureDevice::Create(std::string_view windowName, std::uint32_t style, int x, int y, int width, int height,
                           WindowHandle parent, int id) {
    WindowHandle window =
        port_.CreateCaptureWindow(windowName, style | kStyleChild | kStyleVisible, x, y, width, height, parent, id);
    if (window == 0) return false;

    deviceCount_ = 0;
    for (int index = 0; index < kMaxDrivers; ++index) {
        std::string name;
        std::string version;
        if (!port_.GetDriverDescription(index, name, version)) break;
        driverName_[static_cast<std::size_t>(deviceCount_)] = name;
        driverVersion_[static_cast<std::size_t>(deviceCount_)] = version;
        ++deviceCount_;
    }
    if (deviceCount_ == 0) return false;

    deviceIndex_ = (settings_.DeviceIndex >= 0 && settings_.DeviceIndex < deviceCount_) ? settings_.DeviceIndex : 0;
    captureWindow_ = window;
    connected_ = port_.DriverConnect(window, deviceIndex_);

    if (!port_.GetSequenceSetup(window, params_)) params_ = CaptureParms{};
    params_.fCaptureAudio = settings_.CaptureAudio;
    params_.dwRequestMicroSecPerFrame = FramePeriodMicroseconds(settings_.Frames);
    params_.fAbortLeftMouse = settings_.LClick;
    params_.fAbortRightMouse = settings_.RClick;
    params_.wNumVideoRequested = static_cast<std::uint32_t>(settings_.VideoBuffers);
    // Sent again before every recording, where a refusal counts.
    BestEffort(port_.SetSequenceSetup(window, params_));
    if (!port_.DriverGetCaps(window, caps_)) caps_ = CapDriverCaps{};
    if (!port_.GetStatus(window, status_)) status_ = CapStatus{};
    port_.SetWindowPos(window, 0, 0, static_cast<int>(status_.uiImageWidth), static_cast<int>(status_.uiImageHeight),
                       kWindowPosNoZOrder | kWindowPosNoMove);

    statusShown_ = settings_.Status != 0 && InstallStatusCallback();

    // The sound as the settings say; the device keeps its own when it
    // refuses it, and the sound recorded is what it has.
    BestEffort(port_.SetAudioFormat(window, AudioFormatFromSettings(settings_)));
    // Set again before every recording, where a refusal counts.
    if (port_.FileSetCaptureFile(window, captureFile())) captureWindowFile_ = captureFile();
    BestEffort(port_.SetPreviewRate(window, previewRate_));
    BestEffort(port_.SetPreview(window, settings_.Preview != 0));
    BestEffort(port_.SetScale(window, settings_.PreviewScale != 0));
    if (caps_.fHasOverlay != 0) BestEffort(port_.SetOverlay(window, settings_.Overlay != 0));
    return connected_;
}

void CaptureDevice::SelectDevice(int index) {
    if (index < 0 || index >= deviceCount_) return;
    deviceIndex_ = index;
    BestEffort(port_.DriverDisconnect(captureWindow_));
    connected_ = port_.DriverConnect(captureWindow_, index);
    if (!port_.GetStatus(captureWindow_, status_)) status_ = CapStatus{};
    settings_.DeviceIndex = index;
}

std::string CaptureDevice::GetDeviceDescription(int index) const {
    if (index < 0 || index >= kMaxDrivers) return {};
    const auto i = static_cast<std::size_t>(index);
    return driverName_[i] + " [" + driverVersion_[i] + "]";
}

void CaptureDevice::SetPreview(bool on) {
    if (captureWindow_ == 0) return;
    if (on) BestEffort(port_.SetPreviewRate(captureWindow_, previewRate_));
    BestEffort(port_.SetPreview(captureWindow_, on));
    BestEffort(port_.SetScale(captureWindow_, settings_.PreviewScale != 0));
}

bool CaptureDevice::IsPreviewOn() { return port_.GetStatus(captureWindow_, status_) && status_.fLiveWindow != 0; }

void CaptureDevice::SetOverlay(bool on) {
    if (caps_.fHasOverlay != 0) BestEffort(port_.SetOverlay(captureWindow_, on));
}

bool CaptureDevice::IsOverlayOn() { return port_.GetStatus(captureWindow_, status_) && status_.fOverlayWindow != 0; }

void CaptureDevice::SetPreviewRate(std::uint32_t milliseconds) {
    previewRate_ = static_cast<std::uint16_t>(std::min<std::uint32_t>(milliseconds, setting_range::PreviewRate.high));
    BestEffort(port_.SetPreviewRate(captureWindow_, previewRate_));
}

// A driver dialog that does not open (or is cancelled) changes nothing;
// what it may have changed is read again either way.
void CaptureDevice::ShowSourceDialog() {
    if (caps_.fHasDlgVideoSource == 0) return;
    BestEffort(port_.DlgVideoSource(captureWindow_));
    BestEffort(port_.DriverGetCaps(captureWindow_, caps_));
}

void CaptureDevice::ShowFormatDialog() {
    if (caps_.fHasDlgVideoFormat == 0) return;
    BestEffort(port_.DlgVideoFormat(captureWindow_));
    BestEffort(port_.GetStatus(captureWindow_, status_));
}

void CaptureDevice::ShowDisplayDialog() {
    if (caps_.fHasDlgVideoDisplay != 0) BestEffort(port_.DlgVideoDisplay(captureWindow_));
}

void CaptureDevice::ShowCompressionDialog() { BestEffort(port_.DlgVideoCompression(captureWindow_)); }

bool CaptureDevice::InstallStatusCallback() {
    return port_.SetCallbackStatus(captureWindow_,
                                   [this](int statusId, std::string_view text) { return StatusCallback(statusId, text); });
}

void CaptureDevice::ShowStatus(bool on) {
    statusShown_ = on && InstallStatusCallback();
    if (!on) BestEffort(port_.SetCallbackStatus(captureWindow_, nullptr));
    if (statusSink_.HasStatusBar()) statusSink_.ClearPart0();
}

bool CaptureDevice::StatusCallback(int id, std::string_view text) {
    if (statusSink_.HasStatusBar() && id != 0) {
        statusText_ = BoundToCp932Bytes(text, kStatusTextBytes);
        statusSink_.ShowOwnerDrawn(statusText_);
    }
    return true;
}

// Kept for the next recordings (each sends it again, where a refusal
// counts); what the window made of it is read back.
void CaptureDevice::SetSequenceSetup(const CaptureParms& params) {
    params_ = params;
    if (port_.SetSequenceSetup(captureWindow_, params)) BestEffort(port_.GetSequenceSetup(captureWindow_, params_));
}

bool CaptureDevice::GetStatus(CapStatus& status) { return port_.GetStatus(captureWindow_, status); }

std::pair<int, int> CaptureDevice::GetCaptureSize() {
    BestEffort(port_.GetStatus(captureWindow_, status_));  // the last size known stays
    return {static_cast<int>(status_.uiImageWidth), static_cast<int>(status_.uiImageHeight)};
}

void CaptureDevice::SetWindowSize(int width, int height) {
    port_.SetWindowPos(captureWindow_, 0, 0, width, height, kWindowPosNoZOrder);
}

std::string CaptureDevice::CurrentWorkFile() {
    std::string current;
    return port_.FileGetCaptureFile(captureWindow_, current) ? current : std::string();
}

std::string CaptureDevice::TakeSnapshot() {
    if (services_ == nullptr) return {};
    const bool numbered = settings_.SnapFile != 0;
    std::string name;
    if (numbered) {
        name = NumberedSnapshotPath(settings_.SnapFileName, snapshotNumber_, workDirectory());
        if (settings_.SnapOverWrite != 0 && services_->FileExists(name) && !services_->AskOverwrite(name)) return {};
    } else {
        std::optional<std::string> chosen = services_->AskSnapshotPath(DirectoryOf(CurrentWorkFile()));
        if (!chosen) return {};
        name = *chosen;
    }
    if (!SaveFrame(name)) {
        services_->ShowSnapshotFailure(name);
        return {};
    }
    if (numbered && snapshotNumber_ < INT32_MAX) ++snapshotNumber_;  // the last number is used again
    return name;
}

// While the timer is armed nothing is on show: a fresh frame is grabbed
// first. The file is written beside its name and then replaces it.
bool CaptureDevice::SaveFrame(const std::string& name) {
    if (!IsPreviewOn() && !IsOverlayOn() && !port_.GrabFrameNoStop(captureWindow_)) return false;
    const std::string fresh = name + ".new";
    if (port_.FileSaveDib(captureWindow_, fresh) && services_->MoveReplacing(fresh, name)) return true;
    services_->RemoveFile(fresh);
    return false;
}

}  // namespace kestrova
