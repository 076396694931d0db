// A picture onto the clipboard.
#pragma once

#include "capture/pattern_device/pattern_renderer.h"

#include <windows.h>

namespace kestrova {

// Puts the frame on the clipboard as CF_DIB; false (and the clipboard as it
// was) when it cannot.
bool PutFrameOnClipboard(HWND owner, const DibFrame& frame);

}  // namespace kestrova
