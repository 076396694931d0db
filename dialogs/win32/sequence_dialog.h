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
std::optional<SequenceFields> RunSequenceDialog(HINSTANCE instance, HWND owner, const SequenceFields& shown);

}  // namespace kestrova

#endif  // RC_INVOKED
