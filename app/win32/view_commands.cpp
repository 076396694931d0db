// ｵﾌﾟｼｮﾝ(&O): how the window is shown (the picture's own toggles are the
// portable ones in app/view_toggles.h).
#include "app/win32/commands.h"
#include "app/win32/main_window.h"
#include "app/win32/window_frame.h"
#include "app/window_rules.h"
#include "platform/win32_dpi.h"
#include "platform/win32_text.h"

#include <commdlg.h>

namespace kestrova {

void ConfirmCommand(AppSettings& settings) { settings.Confirm = ToggleMinusOne(settings.Confirm); }

void TopMostCommand(HWND window, AppSettings& settings) {
    settings.TopMost = ToggleMinusOne(settings.TopMost);
    SetWindowPos(window, settings.TopMost != 0 ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

// The font dialog measures heights at the system's DPI (the screen's
// LOGPIXELSY), whatever display the window is on.
bool FontCommand(HWND window, AppSettings& settings) {
    const int dialogDpi = SystemDpi();
    LOGFONTW font = StatusLogFont(settings, dialogDpi);
    CHOOSEFONTW choose{};
    choose.lStructSize = sizeof choose;
    choose.hwndOwner = window;
    choose.lpLogFont = &font;
    choose.iPointSize = 10;
    choose.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_LIMITSIZE;
    choose.nFontType = SCREEN_FONTTYPE;
    choose.nSizeMin = 6;
    choose.nSizeMax = 48;
    if (!ChooseFontW(&choose)) return false;
    StoreStatusFont(settings, StatusFontSpec{StoredStatusFontHeight(font.lfHeight, choose.iPointSize, dialogDpi),
                                             font.lfWeight, font.lfItalic, font.lfCharSet, Narrow(font.lfFaceName)});
    return true;
}

}  // namespace kestrova
