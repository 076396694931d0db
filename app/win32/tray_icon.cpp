#include "app/win32/tray_icon.h"

#include "platform/win32_text.h"
#include "store/string_table.h"

#include <cwchar>

namespace kestrova {

void TrayIcon::Init(HWND owner, HINSTANCE instance, UINT iconResource, UINT callbackMessage) {
    instance_ = instance;
    data_ = NOTIFYICONDATAW{};
    data_.cbSize = sizeof data_;
    data_.hWnd = owner;
    data_.uID = 1;
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data_.uCallbackMessage = callbackMessage;
    data_.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(iconResource));
    const std::wstring tip = Widen(LoadText(strings::kProductName));
    wcsncpy(data_.szTip, tip.c_str(), sizeof data_.szTip / sizeof data_.szTip[0] - 1);
}

void TrayIcon::Show() { Shell_NotifyIconW(NIM_ADD, &data_); }

void TrayIcon::Hide() { Shell_NotifyIconW(NIM_DELETE, &data_); }

void TrayIcon::Balloon(const std::wstring& title, const std::wstring& text) {
    NOTIFYICONDATAW balloon = data_;
    balloon.uFlags = NIF_INFO;
    wcsncpy(balloon.szInfo, text.c_str(), sizeof balloon.szInfo / sizeof balloon.szInfo[0] - 1);
    wcsncpy(balloon.szInfoTitle, title.c_str(), sizeof balloon.szInfoTitle / sizeof balloon.szInfoTitle[0] - 1);
    balloon.dwInfoFlags = NIIF_ERROR;
    Shell_NotifyIconW(NIM_MODIFY, &balloon);
}

void TrayIcon::SwapIcon(UINT iconResource) {
    Hide();
    data_.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(iconResource));
    Show();
}

}  // namespace kestrova
