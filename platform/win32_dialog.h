// Modal dialogs: the dialog's data travels as the creation parameter and is
// kept in the dialog's window data; no exception reaches the system's dialog
// manager (one closes the dialog as cancelled). And moving values between a
// dialog's controls and the program (text is UTF-8 on this side).
#pragma once

#include <windows.h>

#include "platform/win32_text.h"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string>

namespace kestrova {

inline std::wstring WindowTextW(HWND control) {
    std::wstring text(static_cast<std::size_t>(std::max(GetWindowTextLengthW(control), 0)) + 1, L'\0');
    const int got = GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(got, 0)));
    return text;
}

inline std::wstring ControlTextW(HWND dialog, int id) { return WindowTextW(GetDlgItem(dialog, id)); }

inline std::string ControlText(HWND dialog, int id) { return Narrow(ControlTextW(dialog, id)); }

inline void SetControlText(HWND dialog, int id, const std::string& text) {
    SetDlgItemTextW(dialog, id, Widen(text).c_str());
}

inline bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

inline void SetChecked(HWND dialog, int id, bool on) {
    CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

inline void EnableControls(HWND dialog, std::initializer_list<int> ids, bool on) {
    for (const int id : ids) EnableWindow(GetDlgItem(dialog, id), on ? TRUE : FALSE);
}

template <typename T>
using DialogHandler = INT_PTR (*)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, T& data);

// The handler sees WM_INITDIALOG with the data already kept, and nothing
// before it.
template <typename T, DialogHandler<T> Handle>
INT_PTR CALLBACK GuardedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        T* data = reinterpret_cast<T*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (data == nullptr) return FALSE;
        return Handle(dialog, message, wParam, lParam, *data);
    } catch (...) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
}

// Runs the dialog `templateId` on `data` and gives what EndDialog was told.
template <typename T, DialogHandler<T> Handle>
INT_PTR RunModalDialog(HINSTANCE instance, HWND owner, int templateId, T& data) {
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner, GuardedDialogProc<T, Handle>,
                           reinterpret_cast<LPARAM>(&data));
}

// OK keeps what `read` gives and closes the dialog, Cancel closes it; false
// for any other command.
template <typename T, typename Read>
bool EndOnOkOrCancel(HWND dialog, WORD command, T& data, Read read) {
    if (command == IDOK) {
        data = read();
    } else if (command != IDCANCEL) {
        return false;
    }
    EndDialog(dialog, command);
    return true;
}

// A dialog that edits a copy of `shown`: the copy as OK left it, nothing
// when cancelled.
template <typename T, DialogHandler<T> Handle>
std::optional<T> EditInDialog(HINSTANCE instance, HWND owner, int templateId, const T& shown) {
    T edited = shown;
    if (RunModalDialog<T, Handle>(instance, owner, templateId, edited) != IDOK) return std::nullopt;
    return edited;
}

}  // namespace kestrova
