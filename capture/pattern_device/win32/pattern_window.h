// The capture window of the built-in test-pattern device: a child window of
// the class "KestrovaTestPattern" that owns the device model and paints the
// live pattern at the preview rate while the preview is on (stretched to the
// window with scaling on, else unscaled in the top-left corner on black).
#pragma once

#include "capture/capture_port.h"
#include "capture/pattern_device/pattern_model.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace kestrova {

inline constexpr wchar_t kPatternWindowClass[] = L"KestrovaTestPattern";

// What one capture window holds. Owned by the window: made before it,
// handed over at its creation and deleted when it is destroyed (or, when
// that happens during a recording, by the recording once it has returned).
struct CaptureWindowState {
    CaptureWindowState();

    PatternModel model;
    std::string formatFile;  // where the device keeps its format between runs
    DibFrame frame;  // the frame on show (previewed, grabbed or recorded); empty while nothing is shown
    CapControlCallbackFn capControl;
    ErrorCallbackFn error;
    bool destroyed = false;  // the window went during the recording, which then deletes this
};

inline HWND ToHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

// Registers the window class with `instance` unless it is there already.
bool RegisterPatternWindowClass(HINSTANCE instance);

// Creates a capture window with a fresh state; null when it cannot.
HWND CreatePatternWindow(HINSTANCE instance, std::string_view name, std::uint32_t style, int x, int y,
                         int width, int height, HWND parent, int id);

// The state of a live capture window of this device; null for any other window.
CaptureWindowState* FindPatternWindow(WindowHandle window);

// Starts, re-times or stops the preview timer to match the model.
void UpdatePreviewTimer(HWND window, const CaptureWindowState& state);

// Keeps the model's size and picture for the next run. A file that cannot
// be written leaves them for this run only, and the status text says so.
void SaveFormat(const CaptureWindowState& state);

// Takes the next live frame (or drops the picture when the preview is off)
// and has the window repainted.
void RefreshPreview(HWND window, CaptureWindowState& state);

}  // namespace kestrova
