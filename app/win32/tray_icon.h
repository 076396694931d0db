// The notification-area icon of the main window.
#pragma once

#include <windows.h>
#include <shellapi.h>

namespace kestrova {

class TrayIcon {
public:
    // The icon of `owner`, id 1, reporting to it with `callbackMessage`, tip "Kestrova".
    void Init(HWND owner, HINSTANCE instance, UINT iconResource, UINT callbackMessage);
    void Show();
    void Hide();
    // Takes the icon away, changes its picture and shows it again.
    void SwapIcon(UINT iconResource);

private:
    HINSTANCE instance_ = nullptr;
    NOTIFYICONDATAW data_{};
};

}  // namespace kestrova
