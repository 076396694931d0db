// "環境設定" (dialog 134, template resources/dialogs/environment.rc).
#pragma once

#define IDD_ENVIRONMENT 134
#define IDC_ENV_PREVIEW_RATE 1002
#define IDC_ENV_PREVIEW_RATE_ARROWS 1003
#define IDC_ENV_VIDEO_BUFFERS 1005
#define IDC_ENV_LEFT_CLICK 1013
#define IDC_ENV_RIGHT_CLICK 1014
#define IDC_ENV_SCALING 1016
#define IDC_ENV_PART_CAPTURE 1058
#define IDC_ENV_PART_MINUTES 1059
#define IDC_ENV_PART_MINUTES_ARROWS 1060

#ifndef RC_INVOKED

#include "dialogs/environment.h"

#include <windows.h>

#include <optional>

namespace kestrova {

// Shows the fields over `owner`; what the controls hold when OK is pressed,
// nothing after Cancel or the close box.
std::optional<EnvironmentFields> RunEnvironmentDialog(HINSTANCE instance, HWND owner, const EnvironmentFields& shown);

}  // namespace kestrova

#endif  // RC_INVOKED
