// A capture port that passes every call on to another one, chosen per call
// by Route: the forwarding is written once, here. GuardedPort passes a call
// on only while its window is a live window (otherwise the answer is false,
// and nothing is sent): the "no capture window" case is settled where the
// port is chosen, once, not at every call. CompositeCapturePort routes each
// call to the backend whose window is active.
#pragma once

#include "capture/capture_port.h"

#include <utility>

namespace kestrova {

class ForwardingPort : public CapturePort {
public:
    bool GetDriverDescription(int index, std::string& name, std::string& version) override {
        return Base().GetDriverDescription(index, name, version);
    }
    WindowHandle CreateCaptureWindow(std::string_view name, std::uint32_t style, int x, int y, int width, int height,
                                     WindowHandle parent, int id) override {
        return Base().CreateCaptureWindow(name, style, x, y, width, height, parent, id);
    }
    bool IsWindow(WindowHandle w) override { return Send(w, &CapturePort::IsWindow); }
    void SetWindowPos(WindowHandle w, int x, int y, int width, int height, std::uint32_t flags) override {
        if (CapturePort* to = Route(w)) to->SetWindowPos(w, x, y, width, height, flags);
    }
    bool DriverConnect(WindowHandle w, int index) override { return Send(w, &CapturePort::DriverConnect, index); }
    bool DriverDisconnect(WindowHandle w) override { return Send(w, &CapturePort::DriverDisconnect); }
    bool DriverGetCaps(WindowHandle w, CapDriverCaps& caps) override { return Send(w, &CapturePort::DriverGetCaps, caps); }
    bool GetStatus(WindowHandle w, CapStatus& status) override { return Send(w, &CapturePort::GetStatus, status); }
    bool GetSequenceSetup(WindowHandle w, CaptureParms& p) override { return Send(w, &CapturePort::GetSequenceSetup, p); }
    bool SetSequenceSetup(WindowHandle w, const CaptureParms& p) override {
        return Send(w, &CapturePort::SetSequenceSetup, p);
    }
    bool GetAudioFormat(WindowHandle w, WaveFormat& f) override { return Send(w, &CapturePort::GetAudioFormat, f); }
    bool SetAudioFormat(WindowHandle w, const WaveFormat& f) override { return Send(w, &CapturePort::SetAudioFormat, f); }
    bool FileSetCaptureFile(WindowHandle w, std::string_view path) override {
        return Send(w, &CapturePort::FileSetCaptureFile, path);
    }
    bool FileGetCaptureFile(WindowHandle w, std::string& path) override {
        return Send(w, &CapturePort::FileGetCaptureFile, path);
    }
    bool FileAllocate(WindowHandle w, std::uint32_t bytes) override { return Send(w, &CapturePort::FileAllocate, bytes); }
    bool FileSaveAs(WindowHandle w, std::string_view path) override { return Send(w, &CapturePort::FileSaveAs, path); }
    bool FileSaveDib(WindowHandle w, std::string_view path) override { return Send(w, &CapturePort::FileSaveDib, path); }
    bool Sequence(WindowHandle w) override { return Send(w, &CapturePort::Sequence); }
    bool GrabFrameNoStop(WindowHandle w) override { return Send(w, &CapturePort::GrabFrameNoStop); }
    bool EditCopy(WindowHandle w) override { return Send(w, &CapturePort::EditCopy); }
    bool DlgVideoSource(WindowHandle w) override { return Send(w, &CapturePort::DlgVideoSource); }
    bool DlgVideoFormat(WindowHandle w) override { return Send(w, &CapturePort::DlgVideoFormat); }
    bool DlgVideoDisplay(WindowHandle w) override { return Send(w, &CapturePort::DlgVideoDisplay); }
    bool DlgVideoCompression(WindowHandle w) override { return Send(w, &CapturePort::DlgVideoCompression); }
    bool SetPreview(WindowHandle w, bool on) override { return Send(w, &CapturePort::SetPreview, on); }
    bool SetOverlay(WindowHandle w, bool on) override { return Send(w, &CapturePort::SetOverlay, on); }
    bool SetScale(WindowHandle w, bool on) override { return Send(w, &CapturePort::SetScale, on); }
    bool SetPreviewRate(WindowHandle w, std::uint32_t ms) override { return Send(w, &CapturePort::SetPreviewRate, ms); }
    bool SetCallbackStatus(WindowHandle w, StatusCallbackFn f) override {
        return Send(w, &CapturePort::SetCallbackStatus, std::move(f));
    }
    bool SetCallbackCapControl(WindowHandle w, CapControlCallbackFn f) override {
        return Send(w, &CapturePort::SetCallbackCapControl, std::move(f));
    }
    bool SetCallbackError(WindowHandle w, ErrorCallbackFn f) override {
        return Send(w, &CapturePort::SetCallbackError, std::move(f));
    }
    bool ClearCallbackVideoStream(WindowHandle w) override { return Send(w, &CapturePort::ClearCallbackVideoStream); }
    bool ClearCallbackFrame(WindowHandle w) override { return Send(w, &CapturePort::ClearCallbackFrame); }

protected:
    // The port a call about `window` goes to, with `window` made the handle
    // that port knows it by; null: the call goes nowhere and answers false.
    virtual CapturePort* Route(WindowHandle& window) = 0;
    // The port of the calls about no window (the drivers, a new window).
    virtual CapturePort& Base() = 0;

    template <class Method, class... Args>
    bool Send(WindowHandle window, Method method, Args&&... args) {
        CapturePort* to = Route(window);
        return to != nullptr && (to->*method)(window, std::forward<Args>(args)...);
    }
};

// Every message goes to the inner port's window only while it is a live
// window; otherwise nothing is sent and the answer is false.
class GuardedPort : public ForwardingPort {
public:
    explicit GuardedPort(CapturePort& inner) : inner_(inner) {}

protected:
    CapturePort* Route(WindowHandle& window) override {
        return window != 0 && inner_.IsWindow(window) ? &inner_ : nullptr;
    }
    CapturePort& Base() override { return inner_; }

private:
    CapturePort& inner_;
};

}  // namespace kestrova
