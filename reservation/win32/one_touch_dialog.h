// "ﾜﾝﾀｯﾁﾀｲﾏｰ" (dialog 142): how many minutes to record now.
#pragma once

#define IDD_ONETOUCH 142
#define IDC_ONETOUCH_MINUTES 1050

#ifndef RC_INVOKED
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace kestrova {

// The minutes to record, or nothing when the dialog was cancelled.
std::optional<std::int32_t> RunOneTouchDialog(HINSTANCE instance, HWND owner, const std::string& onetouchSetting);

}  // namespace kestrova

#endif
