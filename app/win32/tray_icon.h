// The notification-area icon of the main window.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace kestrova {

class TrayIcon {
public:
    // The icon of `owner`, id 1, reporting to it with `callbackMessage`, tip "Kestrova".
    void Init(HWND owner, HINSTANCE instance, UINT iconResource, UINT callbackMessage);
    void Show();
    void Hide();
    // Takes the icon away, changes its picture and shows it again.
    void SwapIcon(UINT iconResource);
    // A balloon over the icon (when it is shown).
    void Balloon(const std::wstring& title, const std::wstring& text);

private:
    HINSTANCE instance_ = nullptr;
    NOTIFYICONDATAW data_{};
};

}  // namespace kestrova
