// The minute before the action after a run (dialog 143, template in
// resources/dialogs/countdown.rc): which action comes in how many seconds,
// and ｷｬﾝｾﾙ. Modeless and above other windows; each second it reads the
// countdown, which the scheduler owns.
#pragma once

#define IDD_COUNTDOWN 143
#define IDC_COUNTDOWN_TEXT 1062

#ifndef RC_INVOKED
#include <windows.h>

#include "platform/clock.h"
#include "platform/win32_handles.h"
#include "reservation/after_run.h"

#include <functional>

namespace kestrova {

class CountdownWindow {
public:
    CountdownWindow(const Clock& clock, const AfterRunCountdown& countdown, std::function<void()> cancelled)
        : clock_(clock), countdown_(countdown), cancelled_(std::move(cancelled)) {}

    void Show(HINSTANCE instance, HWND owner);
    void Hide() { window_.reset(); }
    bool Shown() const { return static_cast<bool>(window_); }

    // What the dialog's procedure reaches (GuardedDialogProc).
    static INT_PTR Handle(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, CountdownWindow& self);

private:
    void Update(HWND dialog) const;

    const Clock& clock_;
    const AfterRunCountdown& countdown_;
    std::function<void()> cancelled_;
    UniqueWindow window_;
};

}  // namespace kestrova

#endif
