// The AVICap adapter: the capture port over the system's capture-window
// class (vfw32). Every call is one capGetDriverDescriptionW,
// capCreateCaptureWindowW, IsWindow, SetWindowPos or WM_CAP_* message; texts
// travel in the wide forms, so Japanese paths work whatever the system code
// page is.
#pragma once

#include "capture/capture_port.h"

#include <windows.h>

#include <set>

namespace kestrova {

class AviCapPort : public CapturePort {
public:
    AviCapPort() = default;
    // Takes its callbacks off the capture windows that are still alive.
    ~AviCapPort() override;
    AviCapPort(const AviCapPort&) = delete;
    AviCapPort& operator=(const AviCapPort&) = delete;

    bool GetDriverDescription(int index, std::string& name, std::string& version) override;
    WindowHandle CreateCaptureWindow(std::string_view name, std::uint32_t style, int x, int y, int width, int height,
                                     WindowHandle parent, int id) override;
    bool IsWindow(WindowHandle window) override;
    void SetWindowPos(WindowHandle window, int x, int y, int width, int height, std::uint32_t flags) override;

    bool DriverConnect(WindowHandle window, int index) override;
    bool DriverDisconnect(WindowHandle window) override;
    bool DriverGetCaps(WindowHandle window, CapDriverCaps& caps) override;
    bool GetStatus(WindowHandle window, CapStatus& status) override;
    bool GetSequenceSetup(WindowHandle window, CaptureParms& params) override;
    bool SetSequenceSetup(WindowHandle window, const CaptureParms& params) override;
    bool GetAudioFormat(WindowHandle window, WaveFormat& format) override;
    bool SetAudioFormat(WindowHandle window, const WaveFormat& format) override;
    bool FileSetCaptureFile(WindowHandle window, std::string_view path) override;
    bool FileGetCaptureFile(WindowHandle window, std::string& path) override;
    bool FileAllocate(WindowHandle window, std::uint32_t bytes) override;
    bool FileSaveAs(WindowHandle window, std::string_view path) override;
    bool FileSaveDib(WindowHandle window, std::string_view path) override;
    bool Sequence(WindowHandle window) override;
    bool GrabFrameNoStop(WindowHandle window) override;
    bool EditCopy(WindowHandle window) override;
    bool DlgVideoSource(WindowHandle window) override;
    bool DlgVideoFormat(WindowHandle window) override;
    bool DlgVideoDisplay(WindowHandle window) override;
    bool DlgVideoCompression(WindowHandle window) override;
    bool SetPreview(WindowHandle window, bool on) override;
    bool SetOverlay(WindowHandle window, bool on) override;
    bool SetScale(WindowHandle window, bool on) override;
    bool SetPreviewRate(WindowHandle window, std::uint32_t milliseconds) override;
    bool SetCallbackStatus(WindowHandle window, StatusCallbackFn callback) override;
    bool SetCallbackCapControl(WindowHandle window, CapControlCallbackFn callback) override;
    bool SetCallbackError(WindowHandle window, ErrorCallbackFn callback) override;
    bool ClearCallbackVideoStream(WindowHandle window) override;
    bool ClearCallbackFrame(WindowHandle window) override;

private:
    // The windows this port has put callbacks on (the callbacks themselves
    // live in a table keyed by window, where the plain AVICap callbacks find
    // them).
    std::set<HWND> callbackWindows_;
};

}  // namespace kestrova
