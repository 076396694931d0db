// The driver dialogs of the built-in test-pattern device (templates in
// resources/pattern_device.rc). Their ids are stable: the end-to-end tests
// press them by caption and id.
//
//   "ｿｰｽ" (IDD_TESTPATTERN_SOURCE, 400): the picture.
//       IDC_TESTPATTERN_BARS       1001  radio  "ｶﾗｰﾊﾞｰ(&B)"
//       IDC_TESTPATTERN_GRADIENT   1002  radio  "動くｸﾞﾗﾃﾞｰｼｮﾝ(&G)"
//       IDC_TESTPATTERN_DEVICE     1003  static  the device name
//       IDOK 1 "OK" (applies), IDCANCEL 2 "ｷｬﾝｾﾙ"
//
//   "ﾌｫｰﾏｯﾄ" (IDD_TESTPATTERN_FORMAT, 401): the frame size, kept for the next run.
//       IDC_TESTPATTERN_SIZE_160   1011  radio  "160 x 120"
//       IDC_TESTPATTERN_SIZE_320   1012  radio  "320 x 240"
//       IDC_TESTPATTERN_SIZE_640   1013  radio  "640 x 480"
//       IDC_TESTPATTERN_SIZE_1280  1014  radio  "1280 x 720"
//       IDC_TESTPATTERN_SIZE_1920  1017  radio  "1920 x 1080"
//       IDC_TESTPATTERN_PIXEL      1015  static "24 ﾋﾞｯﾄ RGB"
//       IDC_TESTPATTERN_BYTES      1016  static  bytes per frame of the chosen size ("230,400 ﾊﾞｲﾄ")
//       IDOK 1 "OK" (applies; gives the format status text), IDCANCEL 2 "ｷｬﾝｾﾙ"
//
//   "圧縮" (IDD_TESTPATTERN_COMPRESSION, 402): frames are stored uncompressed.
//       IDC_TESTPATTERN_CODEC      1021  drop-down list, one entry "非圧縮 (24 ﾋﾞｯﾄ RGB)"
//       IDC_TESTPATTERN_CODEC_NOTE 1022  static  "ﾌﾚｰﾑは圧縮せずに 24 ﾋﾞｯﾄ RGB のまま保存されます。"
//       IDOK 1 "OK", IDCANCEL 2 "ｷｬﾝｾﾙ"
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
#define IDC_TESTPATTERN_SIZE_1920 1017

#define IDC_TESTPATTERN_CODEC 1021
#define IDC_TESTPATTERN_CODEC_NOTE 1022

#ifndef RC_INVOKED

#include "capture/pattern_device/win32/pattern_window.h"

namespace kestrova {

// Shows dialog `templateId` (one of the three above) modally over the
// capture window's top-level window; OK applies it to the device. True when
// the dialog was shown and closed with either button.
bool RunPatternDialog(HINSTANCE instance, HWND captureWindow, CaptureWindowState& state, int templateId);

}  // namespace kestrova

#endif  // RC_INVOKED
