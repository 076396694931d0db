#include "dialogs/win32/control_values.h"

#include "platform/win32_text.h"

namespace kestrova {

std::string ControlText(HWND dialog, int id) {
    const HWND control = GetDlgItem(dialog, id);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

void SetControlText(HWND dialog, int id, const std::string& text) {
    SetDlgItemTextW(dialog, id, Widen(text).c_str());
}

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void SetChecked(HWND dialog, int id, bool on) { CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED); }

void EnableControls(HWND dialog, std::initializer_list<int> ids, bool on) {
    for (const int id : ids) EnableWindow(GetDlgItem(dialog, id), on ? TRUE : FALSE);
}

}  // namespace kestrova
