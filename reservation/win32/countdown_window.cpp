#include "reservation/win32/countdown_window.h"

#include "platform/win32_dialog.h"
#include "store/string_table.h"

#include <algorithm>
#include <string>

namespace kestrova {

namespace {

constexpr UINT_PTR kSecondTimer = 1;

}  // namespace

void CountdownWindow::Show(HINSTANCE instance, HWND owner) {
    if (!window_) {
        window_.reset(CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_COUNTDOWN), owner,
                                         &GuardedDialogProc<CountdownWindow, &CountdownWindow::Handle>,
                                         reinterpret_cast<LPARAM>(this)));
        if (!window_) return;
    }
    Update(window_.get());
    SetWindowPos(window_.get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
}

void CountdownWindow::Update(HWND dialog) const {
    const std::int64_t left = std::max<std::int64_t>(countdown_.deadline().value_or(0) - clock_.Now(), 0);
    SetControlText(dialog, IDC_COUNTDOWN_TEXT,
                   FillText(strings::kCountdownText, {std::to_string(left), AfterRunName(countdown_.action())}));
}

INT_PTR CountdownWindow::Handle(HWND dialog, UINT message, WPARAM wParam, LPARAM, CountdownWindow& self) {
    switch (message) {
    case WM_INITDIALOG:
        SetTimer(dialog, kSecondTimer, 250, nullptr);  // the seconds as the clock turns them
        return TRUE;
    case WM_TIMER:
        self.Update(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL) return FALSE;
        // The scheduler logs the cancel and hides this window.
        self.cancelled_();
        return TRUE;
    case WM_DESTROY:
        KillTimer(dialog, kSecondTimer);
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace kestrova
