// The capture port of the Windows program.
#pragma once

#include "capture/capture_port.h"

#include <windows.h>

#include <memory>

namespace kestrova {

// The AVICap port; when the environment variable KESTROVA_TESTPATTERN is
// exactly "1", a port that lists the AVICap drivers and then the built-in
// test-pattern device (if it still fits in the ten driver indices).
std::unique_ptr<CapturePort> CreateCapturePort(HINSTANCE instance);

}  // namespace kestrova
