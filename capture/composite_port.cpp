#include "capture/composite_port.h"

#include <utility>

namespace kestrova {

CompositeCapturePort::CompositeCapturePort(CapturePort& drivers, CapturePort& extra, WindowHandOverFn handOver)
    : handOver_(std::move(handOver)) {
    backends_[kDrivers].port = &drivers;
    backends_[kExtra].port = &extra;
}

int CompositeCapturePort::DriverCount() {
    if (!driverCount_) {
        // Listed like the device lists them: up to the first index without one.
        int count = 0;
        std::string name;
        std::string version;
        while (count < kMaxDrivers && backends_[kDrivers].port->GetDriverDescription(count, name, version)) ++count;
        driverCount_ = count;
    }
    return *driverCount_;
}

CompositeCapturePort::Backend* CompositeCapturePort::Route(WindowHandle window) {
    if (active_ < 0 || window == 0) return nullptr;
    if (window != handle_ && window != backends_[kDrivers].window && window != backends_[kExtra].window) {
        return nullptr;
    }
    return &backends_[static_cast<std::size_t>(active_)];
}

bool CompositeCapturePort::GetDriverDescription(int index, std::string& name, std::string& version) {
    if (index < 0 || index >= kMaxDrivers) return false;
    const int count = DriverCount();
    if (index < count) return backends_[kDrivers].port->GetDriverDescription(index, name, version);
    if (index == count) return backends_[kExtra].port->GetDriverDescription(0, name, version);
    return false;
}

WindowHandle CompositeCapturePort::CreateCaptureWindow(std::string_view name, std::uint32_t style, int x, int y,
                                                       int width, int height, WindowHandle parent, int id) {
    // A new window starts afresh: the drivers are counted again and nothing
    // set on an earlier window is carried over.
    driverCount_.reset();
    statusCallback_ = nullptr;
    capControlCallback_ = nullptr;
    errorCallback_ = nullptr;
    captureFile_.reset();
    params_.reset();
    audioFormat_.reset();
    previewRate_.reset();
    preview_.reset();
    overlay_.reset();
    scale_.reset();

    const int count = DriverCount();
    childId_ = id;
    spareChildId_ = id == kSpareCaptureChildId ? kSpareCaptureChildId + 1 : kSpareCaptureChildId;

    Backend& drivers = backends_[kDrivers];
    Backend& extra = backends_[kExtra];
    drivers.window = count > 0 ? drivers.port->CreateCaptureWindow(name, style, x, y, width, height, parent, id) : 0;
    const bool driversActive = drivers.window != 0;
    extra.window = 0;
    if (count < kMaxDrivers) {
        extra.window = driversActive ? extra.port->CreateCaptureWindow(name, style & ~kStyleVisible, x, y, width,
                                                                       height, parent, spareChildId_)
                                     : extra.port->CreateCaptureWindow(name, style, x, y, width, height, parent, id);
    }
    active_ = driversActive ? kDrivers : (extra.window != 0 ? kExtra : -1);
    handle_ = active_ >= 0 ? backends_[static_cast<std::size_t>(active_)].window : 0;
    return handle_;
}

bool CompositeCapturePort::IsWindow(WindowHandle window) {
    Backend* b = Route(window);
    return b != nullptr && b->port->IsWindow(b->window);
}

void CompositeCapturePort::SetWindowPos(WindowHandle window, int x, int y, int width, int height,
                                        std::uint32_t flags) {
    if (Backend* b = Route(window)) b->port->SetWindowPos(b->window, x, y, width, height, flags);
}

bool CompositeCapturePort::DriverConnect(WindowHandle window, int index) {
    if (Route(window) == nullptr) return false;
    const int count = DriverCount();
    int target = 0;
    int backendIndex = 0;
    if (index >= 0 && index < count) {
        target = kDrivers;
        backendIndex = index;
    } else if (index == count && count < kMaxDrivers) {
        target = kExtra;
    } else {
        return false;
    }
    Backend& to = backends_[static_cast<std::size_t>(target)];
    if (to.window == 0) return false;

    const bool switching = target != active_;
    if (switching) SwitchTo(target);
    const bool connected = to.port->DriverConnect(to.window, backendIndex);
    if (switching) ReplaySettings(to, connected);
    return connected;
}

void CompositeCapturePort::SwitchTo(int backend) {
    Backend& from = backends_[static_cast<std::size_t>(active_)];
    Backend& to = backends_[static_cast<std::size_t>(backend)];
    if (from.port->IsWindow(from.window)) {
        from.port->DriverDisconnect(from.window);
        // The hidden window must not call into the caller any more.
        if (statusCallback_) from.port->SetCallbackStatus(from.window, nullptr);
        if (capControlCallback_) from.port->SetCallbackCapControl(from.window, nullptr);
        if (errorCallback_) from.port->SetCallbackError(from.window, nullptr);
    }
    if (handOver_) handOver_(from.window, to.window, childId_, spareChildId_);
    active_ = backend;
    // The callbacks are in place before the connection, which may report.
    if (statusCallback_) to.port->SetCallbackStatus(to.window, statusCallback_);
    if (capControlCallback_) to.port->SetCallbackCapControl(to.window, capControlCallback_);
    if (errorCallback_) to.port->SetCallbackError(to.window, errorCallback_);
}

void CompositeCapturePort::ReplaySettings(Backend& to, bool connected) {
    CapturePort& port = *to.port;
    const WindowHandle w = to.window;
    if (params_) port.SetSequenceSetup(w, *params_);
    if (audioFormat_) port.SetAudioFormat(w, *audioFormat_);
    if (captureFile_) port.FileSetCaptureFile(w, *captureFile_);
    if (previewRate_) port.SetPreviewRate(w, *previewRate_);
    // Preview and overlay need a connected driver.
    if (preview_ && connected) port.SetPreview(w, *preview_);
    if (scale_) port.SetScale(w, *scale_);
    if (overlay_ && connected) port.SetOverlay(w, *overlay_);
}

bool CompositeCapturePort::DriverDisconnect(WindowHandle window) {
    Backend* b = Route(window);
    return b != nullptr && b->port->DriverDisconnect(b->window);
}

bool CompositeCapturePort::DriverGetCaps(WindowHandle window, CapDriverCaps& caps) {
    Backend* b = Route(window);
    return b != nullptr && b->port->DriverGetCaps(b->window, caps);
}

bool CompositeCapturePort::GetStatus(WindowHandle window, CapStatus& status) {
    Backend* b = Route(window);
    return b != nullptr && b->port->GetStatus(b->window, status);
}

bool CompositeCapturePort::GetSequenceSetup(WindowHandle window, CaptureParms& params) {
    Backend* b = Route(window);
    return b != nullptr && b->port->GetSequenceSetup(b->window, params);
}

bool CompositeCapturePort::SetSequenceSetup(WindowHandle window, const CaptureParms& params) {
    Backend* b = Route(window);
    if (b == nullptr) return false;
    params_ = params;
    return b->port->SetSequenceSetup(b->window, params);
}

bool CompositeCapturePort::GetAudioFormat(WindowHandle window, WaveFormat& format) {
    Backend* b = Route(window);
    return b != nullptr && b->port->GetAudioFormat(b->window, format);
}

bool CompositeCapturePort::SetAudioFormat(WindowHandle window, const WaveFormat& format) {
    Backend* b = Route(window);
    if (b == nullptr) return false;
    audioFormat_ = format;
    return b->port->SetAudioFormat(b->window, format);
}

bool CompositeCapturePort::FileSetCaptureFile(WindowHandle window, std::string_view path) {
    Backend* b = Route(window);
    if (b == nullptr) return false;
    captureFile_ = std::string(path);
    return b->port->FileSetCaptureFile(b->window, path);
}

bool CompositeCapturePort::FileGetCaptureFile(WindowHandle window, std::string& path) {
    Backend* b = Route(window);
    return b != nullptr && b->port->FileGetCaptureFile(b->window, path);
}

bool CompositeCapturePort::FileAllocate(WindowHandle window, std::uint32_t bytes) {
    Backend* b = Route(window);
    return b != nullptr && b->port->FileAllocate(b->window, bytes);
}

bool CompositeCapturePort::FileSaveAs(WindowHandle window, std::string_view path) {
    Backend* b = Route(window);
    return b != nullptr && b->port->FileSaveAs(b->window, path);
}

bool CompositeCapturePort::FileSaveDib(WindowHandle window, std::string_view path) {
    Backend* b = Route(window);
    return b != nullptr && b->port->FileSaveDib(b->window, path);
}

bool CompositeCapturePort::Sequence(WindowHandle window) {
    Backend* b = Route(window);
    return b != nullptr && b->port->Sequence(b->window);
}

bool CompositeCapturePort::GrabFrameNoStop(WindowHandle window) {
    Backend* b = Route(window);
    return b != nullptr && b->port->GrabFrameNoStop(b->window);
}

bool CompositeCapturePort::EditCopy(WindowHandle window) {
    Backend* b = Route(window);
    return b != nullptr && b->port->EditCopy(b->window);
}

bool CompositeCapturePort::DlgVideoSource(WindowHandle window) {
    Backend* b = Route(window);
    return b != nullptr && b->port->DlgVideoSource(b->window);
}

bool CompositeCapturePort::DlgVideoFormat(WindowHandle window) {
    Backend* b = Route(window);
    return b != nullptr && b->port->DlgVideoFormat(b->window);
}

bool CompositeCapturePort::DlgVideoDisplay(WindowHandle window) {
    Backend* b = Route(window);
    return b != nullptr && b->port->DlgVideoDisplay(b->window);
}

bool CompositeCapturePort::DlgVideoCompression(WindowHandle window) {
    Backend* b = Route(window);
    return b != nullptr && b->port->DlgVideoCompression(b->window);
}

bool CompositeCapturePort::SetPreview(WindowHandle window, bool on) {
    Backend* b = Route(window);
    if (b == nullptr) return false;
    preview_ = on;
    return b->port->SetPreview(b->window, on);
}

bool CompositeCapturePort::SetOverlay(WindowHandle window, bool on) {
    Backend* b = Route(window);
    if (b == nullptr) return false;
    overlay_ = on;
    return b->port->SetOverlay(b->window, on);
}

bool CompositeCapturePort::SetScale(WindowHandle window, bool on) {
    Backend* b = Route(window);
    if (b == nullptr) return false;
    scale_ = on;
    return b->port->SetScale(b->window, on);
}

bool CompositeCapturePort::SetPreviewRate(WindowHandle window, std::uint32_t milliseconds) {
    Backend* b = Route(window);
    if (b == nullptr) return false;
    previewRate_ = milliseconds;
    return b->port->SetPreviewRate(b->window, milliseconds);
}

bool CompositeCapturePort::SetCallbackStatus(WindowHandle window, StatusCallbackFn callback) {
    Backend* b = Route(window);
    if (b == nullptr) return false;
    statusCallback_ = callback;
    return b->port->SetCallbackStatus(b->window, std::move(callback));
}

bool CompositeCapturePort::SetCallbackCapControl(WindowHandle window, CapControlCallbackFn callback) {
    Backend* b = Route(window);
    if (b == nullptr) return false;
    capControlCallback_ = callback;
    return b->port->SetCallbackCapControl(b->window, std::move(callback));
}

bool CompositeCapturePort::SetCallbackError(WindowHandle window, ErrorCallbackFn callback) {
    Backend* b = Route(window);
    if (b == nullptr) return false;
    errorCallback_ = callback;
    return b->port->SetCallbackError(b->window, std::move(callback));
}

bool CompositeCapturePort::ClearCallbackVideoStream(WindowHandle window) {
    Backend* b = Route(window);
    return b != nullptr && b->port->ClearCallbackVideoStream(b->window);
}

bool CompositeCapturePort::ClearCallbackFrame(WindowHandle window) {
    Backend* b = Route(window);
    return b != nullptr && b->port->ClearCallbackFrame(b->window);
}

}  // namespace kestrova
