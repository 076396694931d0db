// Two capture ports shown as one: the drivers of the first (AVICap) listed
// first, then the single device of the second (the built-in test pattern),
// all within the ten driver indices.
//
// Each backend has a capture window of its own; one of them is active at a
// time, is shown and carries the child id the caller asked for, while the
// other is hidden under a spare id. Connecting a driver of the other backend
// switches: the previously active backend is disconnected, the window's place
// is handed over, and what the caller had set on "the" capture window (the
// callbacks, the capture file, the sequence set-up, the audio format, the
// preview rate, scale, preview and overlay) is set again on the new one, so
// the pair behaves like one window whose driver changed.
//
// Every other call goes to the active backend's own window. The handle the
// caller got from CreateCaptureWindow (and either backend window's handle)
// is accepted by all calls; any other handle is refused.
#pragma once

#include "capture/forwarding_port.h"

#include <array>
#include <functional>
#include <optional>

namespace kestrova {

// Moves the capture window's place from one backend window to the other:
// `to` takes `from`'s rectangle and `childId` and is shown; `from` is hidden
// and gets `spareChildId`.
using WindowHandOverFn =
    std::function<void(WindowHandle from, WindowHandle to, int childId, int spareChildId)>;

// The child id of the hidden backend window (one above it if the caller's
// own id is this one).
inline constexpr int kSpareCaptureChildId = 0x7FF0;

class CompositeCapturePort : public ForwardingPort {
public:
    // `drivers` lists up to ten drivers; `extra` has one, at index 0, and
    // is listed after them when there is room.
    CompositeCapturePort(CapturePort& drivers, CapturePort& extra, WindowHandOverFn handOver);

    bool GetDriverDescription(int index, std::string& name, std::string& version) override;
    // Makes the extra backend's window and, when there are drivers, the
    // drivers' window (shown and active). Returns the active window.
    WindowHandle CreateCaptureWindow(std::string_view name, std::uint32_t style, int x, int y, int width, int height,
                                     WindowHandle parent, int id) override;
    // Switches the active backend when the index belongs to the other one.
    bool DriverConnect(WindowHandle window, int index) override;
    // What is kept for the backend that takes over.
    bool SetSequenceSetup(WindowHandle window, const CaptureParms& params) override;
    bool SetAudioFormat(WindowHandle window, const WaveFormat& format) override;
    bool FileSetCaptureFile(WindowHandle window, std::string_view path) override;
    bool SetPreview(WindowHandle window, bool on) override;
    bool SetOverlay(WindowHandle window, bool on) override;
    bool SetScale(WindowHandle window, bool on) override;
    bool SetPreviewRate(WindowHandle window, std::uint32_t milliseconds) override;
    bool SetCallbackStatus(WindowHandle window, StatusCallbackFn callback) override;
    bool SetCallbackCapControl(WindowHandle window, CapControlCallbackFn callback) override;
    bool SetCallbackError(WindowHandle window, ErrorCallbackFn callback) override;

protected:
    // Every other call goes to the active backend's own window.
    CapturePort* Route(WindowHandle& window) override;
    CapturePort& Base() override;

private:
    struct Backend {
        CapturePort* port = nullptr;
        WindowHandle window = 0;
    };
    static constexpr int kDrivers = 0;
    static constexpr int kExtra = 1;

    // The number of drivers `drivers` lists (counted once per window).
    int DriverCount();
    // The active backend when `window` is one of ours, else null.
    Backend* Active(WindowHandle window);
    template <class Value>
    bool Remember(WindowHandle window, std::optional<Value>& kept, const Value& value);
    [[nodiscard]] bool SwitchTo(int backend);
    [[nodiscard]] bool ReplaySettings(Backend& to, bool connected);

    std::array<Backend, 2> backends_;
    WindowHandOverFn handOver_;
    std::optional<int> driverCount_;
    int active_ = -1;
    WindowHandle handle_ = 0;  // what CreateCaptureWindow returned
    int childId_ = 0;
    int spareChildId_ = kSpareCaptureChildId;

    // What was last set on the capture window, for the backend that takes over.
    StatusCallbackFn statusCallback_;
    CapControlCallbackFn capControlCallback_;
    ErrorCallbackFn errorCallback_;
    std::optional<std::string> captureFile_;
    std::optional<CaptureParms> params_;
    std::optional<WaveFormat> audioFormat_;
    std::optional<std::uint32_t> previewRate_;
    std::optional<bool> preview_;
    std::optional<bool> overlay_;
    std::optional<bool> scale_;
};

}  // namespace kestrova
