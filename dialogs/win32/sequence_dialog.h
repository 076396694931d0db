// "ｼｰｹﾝｽ" (dialog 136, template resources/dialogs/sequence.rc).
#pragma once

#define IDD_SEQUENCE 136
#define IDC_SEQUENCE_RATE 1008
#define IDC_SEQUENCE_AUDIO 1010

#ifndef RC_INVOKED

#include "dialogs/sequence.h"

#include <windows.h>

#include <optional>

namespace kestrova {

// Shows the fields over `owner`; what the field (its whole text) and the
// box hold when OK is pressed, nothing after Cancel or the close box.
// ﾋﾞﾃﾞｵ設定 → ｼｰｹﾝｽ: the frame rate and sound, shown from the settings (and
// the device) and kept in them after OK.
void SequenceCommand(HINSTANCE instance, HWND owner, AppSettings& settings, CaptureDevice* device);

}  // namespace kestrova

#endif  // RC_INVOKED
