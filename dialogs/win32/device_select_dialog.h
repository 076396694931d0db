// "ｷｬﾌﾟﾁｬﾃﾞﾊﾞｲｽ選択" (dialog 133, template resources/dialogs/device_select.rc):
// the capture driver to connect (rules in dialogs/device_select.h).
#pragma once

#define IDD_DEVICE_SELECT 133
#define IDC_DEVICE_LIST 1001  // one line per driver, the one in use chosen

#ifndef RC_INVOKED

#include "capture/capture_device.h"
#include "store/settings.h"

#include <windows.h>

namespace kestrova {

// Runs the dialog over owner; OK connects the chosen driver of the device
// (may be null) and shows its picture as the settings say.
void RunDeviceSelectDialog(HINSTANCE instance, HWND owner, CaptureDevice* device, const AppSettings& settings);

}  // namespace kestrova

#endif  // RC_INVOKED
