// "ｽﾅｯﾌﾟｼｮｯﾄ設定" (dialog 138, template resources/dialogs/snapshot_settings.rc).
#pragma once

#define IDD_SNAPSHOT_SETTINGS 138
#define IDC_SNAPSHOT_NUMBERED 1017
#define IDC_SNAPSHOT_NAME 1018
#define IDC_SNAPSHOT_NUMBER_ARROWS 1019
#define IDC_SNAPSHOT_NUMBER 1020
#define IDC_SNAPSHOT_OVERWRITE 1021

#ifndef RC_INVOKED

#include "capture/capture_device.h"
#include "dialogs/snapshot_settings.h"

#include <windows.h>

#include <optional>

namespace kestrova {

// Shows the fields over `owner`; what the controls hold when OK is pressed,
// nothing after Cancel or the close box.
// ｵﾌﾟｼｮﾝ → ｽﾅｯﾌﾟｼｮｯﾄ設定: numbered snapshots. The next number lives with
// the device; without one it starts at 0.
void SnapshotSettingsCommand(HINSTANCE instance, HWND owner, AppSettings& settings, CaptureDevice* device);

}  // namespace kestrova

#endif  // RC_INVOKED
