// ｵﾌﾟｼｮﾝ(&O): how the picture and the window are shown.
#include "app/view_toggles.h"
#include "app/win32/commands.h"
#include "app/win32/window_frame.h"
#include "app/window_rules.h"
#include "platform/win32_text.h"

#include <commdlg.h>

namespace kestrova {

void PreviewCommand(CommandContext& c) {
    if (c.device != nullptr) TogglePreview(*c.device, c.settings);
}

void OverlayCommand(CommandContext& c) {
    if (c.device == nullptr) return;
    const std::optional<PictureSize> picture = ToggleOverlay(*c.device, c.settings);
    if (!picture) return;
    // The overlay shows the picture unscaled: the frame can no longer be resized.
    SetWindowLongW(c.window, GWL_STYLE, GetWindowLongW(c.window, GWL_STYLE) & ~(WS_THICKFRAME | WS_MAXIMIZEBOX));
    FitWindow(c.window, c.statusBar, c.statusFont.get(), *picture, FitOccasion::OverlayOn);
}

void StatusDisplayCommand(CommandContext& c) {
    if (c.device != nullptr) ToggleStatusDisplay(*c.device, c.settings);
}

void ConfirmCommand(CommandContext& c) {
    c.run.confirm = ToggleMinusOne(c.run.confirm);
    c.settings.Confirm = c.run.confirm;
}

void TopMostCommand(CommandContext& c) {
    c.settings.TopMost = ToggleMinusOne(c.settings.TopMost);
    SetWindowPos(c.window, c.settings.TopMost != 0 ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
}

void FontCommand(CommandContext& c) {
    LOGFONTW font = StatusLogFont(c.settings);
    CHOOSEFONTW choose{};
    choose.lStructSize = sizeof choose;
    choose.hwndOwner = c.window;
    choose.lpLogFont = &font;
    choose.iPointSize = 10;
    choose.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_LIMITSIZE;
    choose.nFontType = SCREEN_FONTTYPE;
    choose.nSizeMin = 6;
    choose.nSizeMax = 48;
    if (!ChooseFontW(&choose)) return;
    c.statusFont.reset(CreateFontIndirectW(&font));
    StoreStatusFont(c.settings, StatusFontSpec{font.lfHeight, font.lfWeight, font.lfItalic, font.lfCharSet,
                                               Narrow(font.lfFaceName)});
}

}  // namespace kestrova
