// The built-in test-pattern device as a capture port (Windows build): one
// driver, "Kestrova Test Pattern", at index 0. Its capture window is a real
// child window of the class "KestrovaTestPattern" that paints the live
// pattern at the preview rate while the preview is on (stretched to the
// window with scaling on, else unscaled in the top-left corner on black).
// Status texts reach the status callback synchronously. The source, format
// and compression dialogs are modal dialogs from resources/test_pattern.rc;
// there is no display dialog and no overlay. Recording, file allocation,
// save-as, save-DIB, grab and copy are not available yet (they return false).
//
// Dialogs and their controls (ids are stable: the end-to-end tests press
// them by caption and id):
//
//   "ｿｰｽ" (IDD_TESTPATTERN_SOURCE, 400): the picture.
//       IDC_TESTPATTERN_BARS       1001  radio  "ｶﾗｰﾊﾞｰ(&B)"
//       IDC_TESTPATTERN_GRADIENT   1002  radio  "動くｸﾞﾗﾃﾞｰｼｮﾝ(&G)"
//       IDC_TESTPATTERN_DEVICE     1003  static  the device name
//       IDOK 1 "OK" (applies), IDCANCEL 2 "ｷｬﾝｾﾙ"
//
//   "ﾌｫｰﾏｯﾄ" (IDD_TESTPATTERN_FORMAT, 401): the frame size.
//       IDC_TESTPATTERN_SIZE_160   1011  radio  "160 x 120"
//       IDC_TESTPATTERN_SIZE_320   1012  radio  "320 x 240"
//       IDC_TESTPATTERN_SIZE_640   1013  radio  "640 x 480"
//       IDC_TESTPATTERN_SIZE_1280  1014  radio  "1280 x 720"
//       IDC_TESTPATTERN_PIXEL      1015  static "24 ﾋﾞｯﾄ RGB"
//       IDC_TESTPATTERN_BYTES      1016  static  bytes per frame of the chosen size ("230,400 ﾊﾞｲﾄ")
//       IDOK 1 "OK" (applies; gives the format status text), IDCANCEL 2 "ｷｬﾝｾﾙ"
//
//   "圧縮" (IDD_TESTPATTERN_COMPRESSION, 402): frames are stored uncompressed.
//       IDC_TESTPATTERN_CODEC      1021  drop-down list, one entry "非圧縮 (24 ﾋﾞｯﾄ RGB)"
//       IDC_TESTPATTERN_CODEC_NOTE 1022  static  "ﾌﾚｰﾑは圧縮せずに 24 ﾋﾞｯﾄ RGB のまま保存されます。"
//       IDOK 1 "OK", IDCANCEL 2 "ｷｬﾝｾﾙ"
//
// The dialog calls return true when the dialog was shown (closed with either
// button), false without a connection or when it cannot be shown.
#pragma once

#define IDD_TESTPATTERN_SOURCE 400
#define IDD_TESTPATTERN_FORMAT 401
#define IDD_TESTPATTERN_COMPRESSION 402

#define IDC_TESTPATTERN_BARS 1001
#define IDC_TESTPATTERN_GRADIENT 1002
#define IDC_TESTPATTERN_DEVICE 1003

#define IDC_TESTPATTERN_SIZE_160 1011
#define IDC_TESTPATTERN_SIZE_320 1012
#define IDC_TESTPATTERN_SIZE_640 1013
#define IDC_TESTPATTERN_SIZE_1280 1014
#define IDC_TESTPATTERN_PIXEL 1015
#define IDC_TESTPATTERN_BYTES 1016

#define IDC_TESTPATTERN_CODEC 1021
#define IDC_TESTPATTERN_CODEC_NOTE 1022

#ifndef RC_INVOKED

#include "capture/capture_port.h"

#include <windows.h>

#include <memory>

namespace kestrova {

// The window class of the capture window.
inline constexpr wchar_t kTestPatternWindowClass[] = L"KestrovaTestPattern";

// The port; the window class is registered with `instance` (which also
// holds the dialog templates). Null only when the class cannot be registered.
std::unique_ptr<CapturePort> CreateTestPatternPort(HINSTANCE instance);

}  // namespace kestrova

#endif  // RC_INVOKED
