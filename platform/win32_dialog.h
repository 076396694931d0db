// Modal dialogs: the dialog's data travels as the creation parameter and is
// kept in the dialog's window data; no exception reaches the system's dialog
// manager (one closes the dialog as cancelled).
#pragma once

#include <windows.h>

#include <optional>

namespace kestrova {

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
