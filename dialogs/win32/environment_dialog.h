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
// ｵﾌﾟｼｮﾝ → 環境設定: preview, parts, stop conditions, buffers. After OK with
// a device the main window's frame changes: the result holds the picture's
// size for a fixed frame, or nothing for a scaled (sizable) one. Nothing
// comes back after Cancel or without a device.
struct EnvironmentOutcome {
    std::optional<PictureExtent> fixedPicture;
};
std::optional<EnvironmentOutcome> EnvironmentCommand(HINSTANCE instance, HWND owner, AppSettings& settings,
                                                     CaptureDevice* device);

}  // namespace kestrova

#endif  // RC_INVOKED
