// The built-in test-pattern device as a capture port (Windows build): one
// driver, "Kestrova Test Pattern", at index 0. Its capture window is a real
// child window of the class "KestrovaTestPattern" that paints the live
// pattern at the preview rate while the preview is on (stretched to the
// window with scaling on, else unscaled in the top-left corner on black).
// Status texts reach the status callback synchronously. The source, format
// and compression dialogs are modal dialogs from resources/pattern_device.rc
// (capture/pattern_device/win32/pattern_dialogs.h); there is no display
// dialog and no overlay.
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
#include "capture/capture_port.h"

#include <windows.h>

#include <memory>

namespace kestrova {

// The port; the window class is registered with `instance` (which also
// holds the dialog templates). Null only when the class cannot be registered.
std::unique_ptr<CapturePort> CreatePatternPort(HINSTANCE instance);

}  // namespace kestrova
