// The built-in test-pattern device as a capture port (Windows build): one
// driver, "Kestrova Test Pattern", at index 0. Its capture window is a real
// child window of the class "KestrovaTestPattern" that paints the live
// pattern at the preview rate while the preview is on (stretched to the
// window with scaling on, else unscaled in the top-left corner on black).
// Status texts reach the status callback synchronously. The source, format
// and compression dialogs are modal dialogs from resources/test_pattern.rc;
// there is no display dialog and no overlay.
//
// Recording (Sequence) is synchronous: it returns when the recording has
// ended, true when one was made. The capture file becomes an AVI file with
// the pictures at the requested frame period (frames whose time passed are
// written as dropped frames) and, when the parameters ask for sound, a 1 kHz
// test tone in the current audio format, in step with the pictures. With
// fMakeUserHitOKToCapture a message box comes first: caption "ｷｬﾌﾟﾁｬ", text
// "OKを押すとｷｬﾌﾟﾁｬを開始します", buttons IDOK 1 "OK" and IDCANCEL 2
// (Cancel: no recording, false). The capture-control callback is called with
// state 1 (preroll; false: no recording) once before the first frame and with
// state 2 (capturing; false: the recording ends) after every frame. It ends
// at the time limit (fLimitEnabled, wTimeLimit seconds, 0 = none), on the
// abort key (vKeyAbort: virtual key, 0x4000 Shift, 0x8000 Ctrl) or a left or
// right click (fAbortLeftMouse / fAbortRightMouse) in any of the program's
// windows, or when the capture window is destroyed. While it runs only
// painting reaches the program's windows: timer and posted messages wait in
// the queue until it has returned, and keys and clicks are taken out of the
// queue and not dispatched. The capture window shows the recorded frames.
// CAPSTATUS counts frames with the dropped ones (dwCurrentVideoFrame), the
// dropped ones, the sound's sample frames and the milliseconds since the
// first frame; fCapturingNow is 1 during the recording (as seen from the
// callbacks). Status texts: 4010 at the start, 4011 at the end with the
// figures, 4012 when the file cannot be created, 4013 on a write error.
//
// FileAllocate makes the capture file exist with exactly that many bytes;
// FileSaveAs copies the recording held in it (not the unused space after
// it). GrabFrameNoStop shows and keeps a fresh frame; FileSaveDib writes the
// frame on show (the last grabbed, recorded or previewed one) as a 24-bit
// BMP file and EditCopy puts it on the clipboard as CF_DIB. While a
// recording runs, connecting, dialogs, grabbing and the capture-file
// operations are refused.
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
