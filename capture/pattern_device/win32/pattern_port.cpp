#include "capture/pattern_device/win32/pattern_port.h"

#include "capture/win32/dib_clipboard.h"
#include "capture/pattern_device/win32/pattern_dialogs.h"
#include "capture/pattern_device/win32/pattern_files.h"
#include "capture/pattern_device/win32/pattern_recording.h"
#include "capture/pattern_device/win32/pattern_window.h"
#include "platform/files.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrova {

namespace {

// The window style and the SetWindowPos flags go to the system unchanged.
static_assert(kStyleChild == WS_CHILD && kStyleVisible == WS_VISIBLE, "capture window styles");
static_assert(kWindowPosNoMove == SWP_NOMOVE && kWindowPosNoZOrder == SWP_NOZORDER, "SetWindowPos flags");

class PatternPort final : public CapturePort {
public:
    explicit PatternPort(HINSTANCE instance) : instance_(instance) {}

    bool GetDriverDescription(int index, std::string& name, std::string& version) override {
        return PatternModel::Describe(index, name, version);
    }

    WindowHandle CreateCaptureWindow(std::string_view name, std::uint32_t style, int x, int y, int width,
                                     int height, WindowHandle parent, int id) override {
        return reinterpret_cast<WindowHandle>(
            CreatePatternWindow(instance_, name, style, x, y, width, height, ToHwnd(parent), id));
    }

    bool IsWindow(WindowHandle window) override { return Find(window) != nullptr; }

    void SetWindowPos(WindowHandle window, int x, int y, int width, int height, std::uint32_t flags) override {
        if (Find(window) != nullptr) ::SetWindowPos(ToHwnd(window), nullptr, x, y, width, height, flags);
    }

    bool DriverConnect(WindowHandle window, int index) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr || state->model.capturing()) return false;
        const bool connected = state->model.Connect(index);
        Restart(window, *state);
        return connected;
    }

    bool DriverDisconnect(WindowHandle window) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr || state->model.capturing()) return false;
        const bool done = state->model.Disconnect();
        Restart(window, *state);
        return done;
    }

    bool DriverGetCaps(WindowHandle window, CapDriverCaps& caps) override {
        const CaptureWindowState* state = Find(window);
        return state != nullptr && state->model.GetCaps(caps);
    }

    bool GetStatus(WindowHandle window, CapStatus& status) override {
        const CaptureWindowState* state = Find(window);
        return state != nullptr && state->model.GetStatus(status);
    }

    bool GetSequenceSetup(WindowHandle window, CaptureParms& params) override {
        const CaptureWindowState* state = Find(window);
        if (state == nullptr) return false;
        params = state->model.params();
        return true;
    }

    bool SetSequenceSetup(WindowHandle window, const CaptureParms& params) override {
        CaptureWindowState* state = Find(window);
        return state != nullptr && state->model.SetSequenceSetup(params);
    }

    bool GetAudioFormat(WindowHandle window, WaveFormat& format) override {
        const CaptureWindowState* state = Find(window);
        if (state == nullptr) return false;
        format = state->model.audioFormat();
        return true;
    }

    bool SetAudioFormat(WindowHandle window, const WaveFormat& format) override {
        CaptureWindowState* state = Find(window);
        return state != nullptr && state->model.SetAudioFormat(format);
    }

    bool FileSetCaptureFile(WindowHandle window, std::string_view path) override {
        CaptureWindowState* state = Find(window);
        return state != nullptr && state->model.SetCaptureFile(path);
    }

    bool FileGetCaptureFile(WindowHandle window, std::string& path) override {
        const CaptureWindowState* state = Find(window);
        if (state == nullptr) return false;
        path = state->model.captureFile();
        return true;
    }

    // The file operations need no connection; none touches the capture
    // file while a recording runs.
    bool FileAllocate(WindowHandle window, std::uint32_t bytes) override {
        const CaptureWindowState* state = Find(window);
        if (state == nullptr || state->model.capturing()) return false;
        try {
            return AllocateFile(state->model.captureFile(), bytes);
        } catch (...) {
            return false;
        }
    }

    bool FileSaveAs(WindowHandle window, std::string_view path) override {
        const CaptureWindowState* state = Find(window);
        if (state == nullptr || state->model.capturing() || path.empty()) return false;
        try {
            return CopyRecording(state->model.captureFile(), std::string(path));
        } catch (...) {
            return false;
        }
    }

    // The frame on show as a 24-bit BMP file.
    bool FileSaveDib(WindowHandle window, std::string_view path) override {
        const CaptureWindowState* state = Find(window);
        if (state == nullptr || path.empty()) return false;
        try {
            const std::vector<std::uint8_t> bmp = BmpFileBytes(state->frame);
            return !bmp.empty() &&
                   ReplaceFileContents(std::string(path),
                                       std::string_view(reinterpret_cast<const char*>(bmp.data()), bmp.size()));
        } catch (...) {
            return false;
        }
    }

    // Records into the capture file and returns when the recording has
    // ended: true when a recording was made.
    bool Sequence(WindowHandle window) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr || state->model.capturing() || !state->model.connected()) return false;
        state->model.SetCapturing(true);
        bool made = false;
        try {
            made = RecordOnPatternWindow(ToHwnd(window), *state);
        } catch (...) {
            made = false;
        }
        state->model.SetCapturing(false);
        if (state->destroyed) delete state;
        return made;
    }

    // A fresh frame, shown and kept (the preview goes on).
    bool GrabFrameNoStop(WindowHandle window) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr || state->model.capturing() || !state->model.connected()) return false;
        try {
            if (!state->model.NextFrame(state->frame)) return false;
        } catch (...) {
            return false;
        }
        InvalidateRect(ToHwnd(window), nullptr, FALSE);
        UpdateWindow(ToHwnd(window));
        return true;
    }

    // The frame on show to the clipboard.
    bool EditCopy(WindowHandle window) override {
        const CaptureWindowState* state = Find(window);
        if (state == nullptr) return false;
        try {
            return PutFrameOnClipboard(ToHwnd(window), state->frame);
        } catch (...) {
            return false;
        }
    }

    bool DlgVideoSource(WindowHandle window) override {
        return RunDialog(window, IDD_TESTPATTERN_SOURCE);
    }
    bool DlgVideoFormat(WindowHandle window) override {
        return RunDialog(window, IDD_TESTPATTERN_FORMAT);
    }
    bool DlgVideoDisplay(WindowHandle) override { return false; }
    bool DlgVideoCompression(WindowHandle window) override {
        return RunDialog(window, IDD_TESTPATTERN_COMPRESSION);
    }

    bool SetPreview(WindowHandle window, bool on) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr || !state->model.SetPreview(on)) return false;
        UpdatePreviewTimer(ToHwnd(window), *state);
        RefreshPreview(ToHwnd(window), *state);
        return true;
    }

    // No overlay hardware: only "off" succeeds.
    bool SetOverlay(WindowHandle window, bool on) override { return Find(window) != nullptr && !on; }

    bool SetScale(WindowHandle window, bool on) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr) return false;
        state->model.SetScale(on);
        InvalidateRect(ToHwnd(window), nullptr, FALSE);
        return true;
    }

    bool SetPreviewRate(WindowHandle window, std::uint32_t milliseconds) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr) return false;
        state->model.SetPreviewRate(milliseconds);
        UpdatePreviewTimer(ToHwnd(window), *state);
        return true;
    }

    bool SetCallbackStatus(WindowHandle window, StatusCallbackFn callback) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr) return false;
        state->model.SetStatusCallback(std::move(callback));
        return true;
    }

    bool SetCallbackCapControl(WindowHandle window, CapControlCallbackFn callback) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr) return false;
        state->capControl = std::move(callback);
        return true;
    }

    bool SetCallbackError(WindowHandle window, ErrorCallbackFn callback) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr) return false;
        state->error = std::move(callback);
        return true;
    }

    bool ClearCallbackVideoStream(WindowHandle window) override { return Find(window) != nullptr; }
    bool ClearCallbackFrame(WindowHandle window) override { return Find(window) != nullptr; }

private:
    static CaptureWindowState* Find(WindowHandle window) { return FindPatternWindow(window); }

    // After a connection change: the timer follows the model, the picture restarts.
    static void Restart(WindowHandle window, CaptureWindowState& state) {
        UpdatePreviewTimer(ToHwnd(window), state);
        RefreshPreview(ToHwnd(window), state);
    }

    bool RunDialog(WindowHandle window, int templateId) {
        CaptureWindowState* state = Find(window);
        if (state == nullptr || state->model.capturing() || !state->model.connected()) return false;
        return RunPatternDialog(instance_, ToHwnd(window), *state, templateId);
    }

    HINSTANCE instance_;
};

}  // namespace

std::unique_ptr<CapturePort> CreatePatternPort(HINSTANCE instance) {
    if (!RegisterPatternWindowClass(instance)) return nullptr;
    return std::make_unique<PatternPort>(instance);
}

}  // namespace kestrova
