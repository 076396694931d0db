// Recording on a test-pattern capture window: the recording session linked
// to the system (high-resolution waits, the confirmation box, the key and
// mouse messages handed to the abort rule, the preview of the recorded
// frames).
#pragma once

#include "capture/pattern_device/win32/pattern_window.h"

namespace kestrova {

// Records into the window's capture file and returns when the recording has
// ended: true when a recording was made. The caller has marked the model
// capturing; a window destroyed meanwhile leaves the state for the caller to free.
bool RecordOnPatternWindow(HWND window, CaptureWindowState& state);

}  // namespace kestrova
