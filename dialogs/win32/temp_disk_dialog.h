// "ﾃﾝﾎﾟﾗﾘﾃﾞｨｽｸ" (dialog 135, template resources/dialogs/temp_disk.rc): the
// work directory and work file (rules in dialogs/temp_disk.h).
#pragma once

#define IDD_TEMP_DISK 135
#define IDC_TEMP_BROWSE 3            // 参照: the folder browser
#define IDC_TEMP_DIRECTORY 1004      // the work directory
#define IDC_TEMP_SIZE 1005           // pre-allocation in MB
#define IDC_TEMP_SIZE_SPIN 1006      // its arrows (0 to 4095), at the field's right end
#define IDC_TEMP_RESERVE 1007        // 領域確保
#define IDC_TEMP_FILE_NAME 1008      // the fixed work file's name
#define IDC_TEMP_FIXED 1044          // 固定
#define IDC_TEMP_PER_CAPTURE 1045    // ｷｬﾌﾟﾁｬ毎にﾜｰｸﾌｧｲﾙを作成
#define IDC_TEMP_SPEED_SAVE 1046     // 高速保存

#ifndef RC_INVOKED

#include "capture/capture_device.h"
#include "store/settings.h"

#include <windows.h>

namespace kestrova {

// Runs the dialog over owner; OK stores the settings and applies them to
// the device (may be null) and the current directory at once.
void RunTempDiskDialog(HINSTANCE instance, HWND owner, AppSettings& settings, CaptureDevice* device);

}  // namespace kestrova

#endif  // RC_INVOKED
