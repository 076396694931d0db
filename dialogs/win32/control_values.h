// Moving values between a dialog's controls and the settings dialogs' value
// structs (text is UTF-8 on this side).
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

namespace kestrova {

std::string ControlText(HWND dialog, int id);
void SetControlText(HWND dialog, int id, const std::string& text);
bool IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool on);
void EnableControls(HWND dialog, std::initializer_list<int> ids, bool on);

}  // namespace kestrova
