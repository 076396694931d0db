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

CompositeCapturePort::Backend* CompositeCapturePort::Active(WindowHandle window) {
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

bool CompositeCapturePort::DriverConnect(WindowHandle window, int index) {
    if (Active(window) == nullptr) return false;
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

    // A switch counts only when the new backend took what the caller had
    // set on the window: else the caller would record otherwise than asked.
    const bool switching = target != active_;
    const bool callbacks = !switching || SwitchTo(target);
    const bool connected = to.port->DriverConnect(to.window, backendIndex);
    return connected && callbacks && (!switching || ReplaySettings(to, connected));
}

// The old backend lets go (what it answers no longer matters: it is
// hidden); the new one takes the callbacks before the connection, which
// may report. False when it did not take them.
bool CompositeCapturePort::SwitchTo(int backend) {
    Backend& from = backends_[static_cast<std::size_t>(active_)];
    Backend& to = backends_[static_cast<std::size_t>(backend)];
    if (from.port->IsWindow(from.window)) {
        bool ignored = from.port->DriverDisconnect(from.window);
        // The hidden window must not call into the caller any more.
        if (statusCallback_) ignored = from.port->SetCallbackStatus(from.window, nullptr);
        if (capControlCallback_) ignored = from.port->SetCallbackCapControl(from.window, nullptr);
        if (errorCallback_) ignored = from.port->SetCallbackError(from.window, nullptr);
        static_cast<void>(ignored);
    }
    if (handOver_) handOver_(from.window, to.window, childId_, spareChildId_);
    active_ = backend;
    bool taken = true;
    if (statusCallback_) taken = to.port->SetCallbackStatus(to.window, statusCallback_) && taken;
    if (capControlCallback_) taken = to.port->SetCallbackCapControl(to.window, capControlCallback_) && taken;
    if (errorCallback_) taken = to.port->SetCallbackError(to.window, errorCallback_) && taken;
    return taken;
}

// What the caller set on the window, set again on the new backend's; the
// display (rate, scale, preview, overlay) follows when it can.
bool CompositeCapturePort::ReplaySettings(Backend& to, bool connected) {
    CapturePort& port = *to.port;
    const WindowHandle w = to.window;
    bool taken = true;
    if (params_) taken = port.SetSequenceSetup(w, *params_) && taken;
    if (audioFormat_) taken = port.SetAudioFormat(w, *audioFormat_) && taken;
    if (captureFile_) taken = port.FileSetCaptureFile(w, *captureFile_) && taken;
    bool shown = true;
    if (previewRate_) shown = port.SetPreviewRate(w, *previewRate_);
    // Preview and overlay need a connected driver.
    if (preview_ && connected) shown = port.SetPreview(w, *preview_);
    if (scale_) shown = port.SetScale(w, *scale_);
    if (overlay_ && connected) shown = port.SetOverlay(w, *overlay_);
    static_cast<void>(shown);
    return taken;
}

CapturePort* CompositeCapturePort::Route(WindowHandle& window) {
    Backend* b = Active(window);
    if (b == nullptr) return nullptr;
    window = b->window;
    return b->port;
}

CapturePort& CompositeCapturePort::Base() { return *backends_[kDrivers].port; }

// What is set on "the" capture window is kept for the backend that takes over.
template <class Value>
bool CompositeCapturePort::Remember(WindowHandle window, std::optional<Value>& kept, const Value& value) {
    if (Active(window) != nullptr) kept = value;
    return true;
}

bool CompositeCapturePort::SetSequenceSetup(WindowHandle window, const CaptureParms& params) {
    return Remember(window, params_, params) && ForwardingPort::SetSequenceSetup(window, params);
}

bool CompositeCapturePort::SetAudioFormat(WindowHandle window, const WaveFormat& format) {
    return Remember(window, audioFormat_, format) && ForwardingPort::SetAudioFormat(window, format);
}

bool CompositeCapturePort::FileSetCaptureFile(WindowHandle window, std::string_view path) {
    return Remember(window, captureFile_, std::string(path)) && ForwardingPort::FileSetCaptureFile(window, path);
}

bool CompositeCapturePort::SetPreview(WindowHandle window, bool on) {
    return Remember(window, preview_, on) && ForwardingPort::SetPreview(window, on);
}

bool CompositeCapturePort::SetOverlay(WindowHandle window, bool on) {
    return Remember(window, overlay_, on) && ForwardingPort::SetOverlay(window, on);
}

bool CompositeCapturePort::SetScale(WindowHandle window, bool on) {
    return Remember(window, scale_, on) && ForwardingPort::SetScale(window, on);
}

bool CompositeCapturePort::SetPreviewRate(WindowHandle window, std::uint32_t milliseconds) {
    return Remember(window, previewRate_, milliseconds) && ForwardingPort::SetPreviewRate(window, milliseconds);
}

bool CompositeCapturePort::SetCallbackStatus(WindowHandle window, StatusCallbackFn callback) {
    if (Active(window) != nullptr) statusCallback_ = callback;
    return ForwardingPort::SetCallbackStatus(window, std::move(callback));
}

bool CompositeCapturePort::SetCallbackCapControl(WindowHandle window, CapControlCallbackFn callback) {
    if (Active(window) != nullptr) capControlCallback_ = callback;
    return ForwardingPort::SetCallbackCapControl(window, std::move(callback));
}

bool CompositeCapturePort::SetCallbackError(WindowHandle window, ErrorCallbackFn callback) {
    if (Active(window) != nullptr) errorCallback_ = callback;
    return ForwardingPort::SetCallbackError(window, std::move(callback));
}

}  // namespace kestrova
