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

CaptureDevice::~CaptureDevice() {
    if (!Live()) return;
    port_.SetCallbackStatus(captureWindow_, nullptr);
    if (!Live()) return;
    port_.ClearCallbackVideoStream(captureWindow_);
    if (!Live()) return;
    port_.ClearCallbackFrame(captureWindow_);
    if (!Live()) return;
    port_.DriverDisconnect(captureWindow_);
}

bool CaptureDevice::Live() { return captureWindow_ != 0 && port_.IsWindow(captureWindow_); }

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
    // From here every message goes to the live window through the guard.
    captureWindow_ = window;
    connected_ = Live() && port_.DriverConnect(window, deviceIndex_);

    if (Live()) port_.GetSequenceSetup(window, params_);
    params_.fCaptureAudio = settings_.CaptureAudio;
    params_.dwRequestMicroSecPerFrame = FramePeriodMicroseconds(settings_.Frames);
    params_.fAbortLeftMouse = settings_.LClick;
    params_.fAbortRightMouse = settings_.RClick;
    params_.wNumVideoRequested = static_cast<std::uint32_t>(settings_.VideoBuffers);
    if (Live()) port_.SetSequenceSetup(window, params_);
    if (Live()) port_.DriverGetCaps(window, caps_);
    if (Live()) port_.GetStatus(window, status_);
    port_.SetWindowPos(window, 0, 0, static_cast<int>(status_.uiImageWidth), static_cast<int>(status_.uiImageHeight),
                       kWindowPosNoZOrder | kWindowPosNoMove);

    statusShown_ = settings_.Status != 0 && InstallStatusCallback();

    WaveFormat format;
    if (Live()) port_.GetAudioFormat(window, format);
    format = AudioFormatFromSettings(settings_);
    if (Live()) port_.SetAudioFormat(window, format);

    captureWindowFile_ = captureFile();
    if (Live()) port_.FileSetCaptureFile(window, captureWindowFile_);
    if (Live()) port_.SetPreviewRate(window, previewRate_);
    if (Live()) port_.SetPreview(window, settings_.Preview != 0);
    if (Live()) port_.SetScale(window, settings_.PreviewScale != 0);
    if (caps_.fHasOverlay != 0 && Live()) port_.SetOverlay(window, settings_.Overlay != 0);
    return connected_;
}

void CaptureDevice::SelectDevice(int index) {
    if (index < 0 || index >= deviceCount_) return;
    deviceIndex_ = index;
    if (Live()) port_.DriverDisconnect(captureWindow_);
    connected_ = Live() && port_.DriverConnect(captureWindow_, index);
    if (Live()) port_.GetStatus(captureWindow_, status_);
    settings_.DeviceIndex = index;
}

std::string CaptureDevice::GetDeviceDescription(int index) const {
    if (index < 0 || index >= kMaxDrivers) return {};
    const auto i = static_cast<std::size_t>(index);
    return driverName_[i] + " [" + driverVersion_[i] + "]";
}

void CaptureDevice::SetPreview(bool on) {
    if (captureWindow_ == 0) return;
    if (on) {
        if (Live()) port_.SetPreviewRate(captureWindow_, previewRate_);
        if (Live()) port_.SetPreview(captureWindow_, true);
    } else {
        if (Live()) port_.SetPreview(captureWindow_, false);
    }
    if (Live()) port_.SetScale(captureWindow_, settings_.PreviewScale != 0);
}

bool CaptureDevice::IsPreviewOn() {
    if (Live()) port_.GetStatus(captureWindow_, status_);
    return status_.fLiveWindow != 0;
}

void CaptureDevice::SetOverlay(bool on) {
    if (captureWindow_ != 0 && caps_.fHasOverlay != 0 && Live()) port_.SetOverlay(captureWindow_, on);
}

bool CaptureDevice::IsOverlayOn() {
    if (Live()) port_.GetStatus(captureWindow_, status_);
    return status_.fOverlayWindow != 0;
}

void CaptureDevice::SetPreviewRate(std::uint32_t milliseconds) {
    previewRate_ = static_cast<std::uint16_t>(std::min<std::uint32_t>(milliseconds, setting_range::PreviewRate.high));
    if (Live()) port_.SetPreviewRate(captureWindow_, previewRate_);
}

void CaptureDevice::ShowSourceDialog() {
    if (caps_.fHasDlgVideoSource != 0) {
        if (Live()) port_.DlgVideoSource(captureWindow_);
        if (Live()) port_.DriverGetCaps(captureWindow_, caps_);
    }
}

void CaptureDevice::ShowFormatDialog() {
    if (caps_.fHasDlgVideoFormat != 0) {
        if (Live()) port_.DlgVideoFormat(captureWindow_);
        if (Live()) port_.GetStatus(captureWindow_, status_);
    }
}

void CaptureDevice::ShowDisplayDialog() {
    if (caps_.fHasDlgVideoDisplay != 0 && Live()) port_.DlgVideoDisplay(captureWindow_);
}

void CaptureDevice::ShowCompressionDialog() {
    if (Live()) port_.DlgVideoCompression(captureWindow_);
}

bool CaptureDevice::InstallStatusCallback() {
    return Live() && port_.SetCallbackStatus(captureWindow_, [this](int statusId, std::string_view text) {
               return StatusCallback(statusId, text);
           });
}

void CaptureDevice::ShowStatus(bool on) {
    statusShown_ = on && InstallStatusCallback();
    if (!on && Live()) port_.SetCallbackStatus(captureWindow_, nullptr);
    if (statusSink_.HasStatusBar()) statusSink_.ClearPart0();
}

bool CaptureDevice::StatusCallback(int id, std::string_view text) {
    if (statusSink_.HasStatusBar() && id != 0) {
        statusText_ = BoundToCp932Bytes(text, kStatusTextBytes);
        statusSink_.ShowOwnerDrawn(statusText_);
    }
    return true;
}

void CaptureDevice::GetSequenceSetup(CaptureParms& params) {
    if (Live()) port_.GetSequenceSetup(captureWindow_, params);
}

void CaptureDevice::SetSequenceSetup(const CaptureParms& params) {
    if (Live()) port_.SetSequenceSetup(captureWindow_, params);
    if (Live()) port_.GetSequenceSetup(captureWindow_, params_);
}

void CaptureDevice::GetStatus(CapStatus& status) {
    if (Live()) port_.GetStatus(captureWindow_, status);
}

std::pair<int, int> CaptureDevice::GetCaptureSize() {
    if (Live()) port_.GetStatus(captureWindow_, status_);
    return {static_cast<int>(status_.uiImageWidth), static_cast<int>(status_.uiImageHeight)};
}

void CaptureDevice::SetWindowSize(int width, int height) {
    if (captureWindow_ != 0) port_.SetWindowPos(captureWindow_, 0, 0, width, height, kWindowPosNoZOrder);
}

std::string CaptureDevice::CurrentWorkFile() {
    std::string current;
    if (Live()) port_.FileGetCaptureFile(captureWindow_, current);
    return current;
}

std::string CaptureDevice::TakeSnapshot() {
    if (services_ == nullptr) return {};
    const bool numbered = settings_.SnapFile != 0;
    std::string name;
    if (numbered) {
        name = NumberedSnapshotPath(settings_.SnapFileName, snapshotCounter, workDirectory());
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
    if (numbered && snapshotCounter < INT32_MAX) ++snapshotCounter;  // the last number is used again
    return name;
}

// While the timer is armed nothing is on show: a fresh frame is grabbed
// first. The file is written beside its name and then replaces it.
bool CaptureDevice::SaveFrame(const std::string& name) {
    if (!IsPreviewOn() && !IsOverlayOn() && Live()) port_.GrabFrameNoStop(captureWindow_);
    const std::string fresh = name + ".new";
    if (Live() && port_.FileSaveDib(captureWindow_, fresh) && services_->MoveReplacing(fresh, name)) return true;
    services_->RemoveFile(fresh);
    return false;
}

}  // namespace kestrova
