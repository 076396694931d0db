// "ﾊﾞｰｼﾞｮﾝ情報" (dialog 103, template resources/dialogs/about.rc): the
// product, the installed capture drivers and the link to the user guide
// beside the executable (dialogs/about.h).
#pragma once

#define IDD_ABOUT 103
#define IDC_ABOUT_ICON 2        // the program's icon
#define IDC_ABOUT_DRIVERS 1000  // one line per driver, nothing can be chosen
#define IDC_ABOUT_LINK 1016     // owner-drawn; its caption is the file it opens

#ifndef RC_INVOKED

#include "capture/capture_device.h"

#include <windows.h>

namespace kestrova {

// Runs the dialog over owner, listing the drivers of the device (may be null).
void RunAboutDialog(HINSTANCE instance, HWND owner, const CaptureDevice* device);

}  // namespace kestrova

#endif  // RC_INVOKED
