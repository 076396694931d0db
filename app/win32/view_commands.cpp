// ｵﾌﾟｼｮﾝ(&O): how the window is shown (the picture's own toggles are the
// portable ones in app/view_toggles.h).
#include "app/win32/commands.h"
#include "app/win32/main_window.h"
#include "app/win32/window_frame.h"
#include "app/window_rules.h"
#include "platform/win32_text.h"

#include <commdlg.h>

namespace kestrova {

void ConfirmCommand(RunState& run, AppSettings& settings) {
    run.confirm = ToggleMinusOne(run.confirm);
    settings.Confirm = run.confirm;
}

void TopMostCommand(HWND window, AppSettings& settings) {
    settings.TopMost = ToggleMinusOne(settings.TopMost);
    SetWindowPos(window, settings.TopMost != 0 ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void FontCommand(HWND window, AppSettings& settings, GdiObject<HFONT>& statusFont) {
    LOGFONTW font = StatusLogFont(settings);
    CHOOSEFONTW choose{};
    choose.lStructSize = sizeof choose;
    choose.hwndOwner = window;
    choose.lpLogFont = &font;
    choose.iPointSize = 10;
    choose.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_LIMITSIZE;
    choose.nFontType = SCREEN_FONTTYPE;
    choose.nSizeMin = 6;
    choose.nSizeMax = 48;
    if (!ChooseFontW(&choose)) return;
    statusFont.reset(CreateFontIndirectW(&font));
    StoreStatusFont(settings, StatusFontSpec{font.lfHeight, font.lfWeight, font.lfItalic, font.lfCharSet,
                                             Narrow(font.lfFaceName)});
}

}  // namespace kestrova
