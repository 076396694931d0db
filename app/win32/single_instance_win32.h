// One Kestrova per settings file, the Windows side: the named mutex a start
// claims, the search for the window of the Kestrova that holds it, and the
// hand-over of the command line to that window (WM_COPYDATA).
#pragma once

#include "platform/win32_handles.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace kestrova {

// WM_COPYDATA's answer to a hand-over: taken, and the window was shown (the
// start that handed over brings it forward).
inline constexpr LRESULT kHandOverTaken = 1;
inline constexpr LRESULT kHandOverShown = 2;

// This start's claim on the settings file beside the executable, held
// (through the mutex's owner) until the end of the run.
class InstanceClaim {
public:
    // Made before any window or file: the mutex named for the settings file.
    InstanceClaim();

    // True when this start is to run: it holds the settings, at once or once
    // the Kestrova that held them ended while this one waited. False when the
    // command line went to the window of the Kestrova that holds them, or when
    // no such window showed within a few seconds (it is still starting, or
    // asking a question): this start then ends without running.
    bool Settle(const std::wstring& className, std::wstring_view commandLine);

    // The name the running window answers to (a window property).
    const std::wstring& identity() const { return identity_; }

private:
    std::wstring identity_;
    OwnedMutex mutex_;
    bool owner_ = false;
};

}  // namespace kestrova
