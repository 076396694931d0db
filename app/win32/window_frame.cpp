#include "app/win32/window_frame.h"

#include "platform/win32_text.h"

#include <cwchar>

namespace kestrova {

static_assert(kStyleOverlappedWindow == WS_OVERLAPPEDWINDOW && kStyleDialogFrame == WS_DLGFRAME &&
                  kStyleSysMenu == WS_SYSMENU && kStyleMinimizeBox == WS_MINIMIZEBOX &&
                  kStyleClipChildren == WS_CLIPCHILDREN && kStyleSizableFrame == (WS_THICKFRAME | WS_MAXIMIZEBOX),
              "the main window's styles are the Win32 ones");

void FitWindow(HWND window, StatusBar& statusBar, HFONT statusFont, PictureSize picture, FitOccasion occasion) {
    const FitRule rule = FittingRule(occasion);
    RECT rect{0, 0, picture.width, picture.height};
    AdjustWindowRect(&rect, rule.adjustStyle, TRUE);
    int extra = rule.extraMenuHeights * GetSystemMetrics(SM_CYMENU);
    if (rule.addStatusBarHeight) extra += statusBar.height();
    SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top + extra,
                 SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOMOVE);
    if (rule.recreateStatusBar) statusBar.Create(window, statusFont);
}

RecordingScope::RecordingScope(HWND window, bool& recording)
    : window_(window), recording_(recording), items_(GetMenuItemCount(GetMenu(window))) {
    HMENU bar = GetMenu(window_);
    for (int i = 0; i < items_; ++i) EnableMenuItem(bar, static_cast<UINT>(i), MF_BYPOSITION | MF_GRAYED);
    DrawMenuBar(window_);
    recording_ = true;
}

RecordingScope::~RecordingScope() {
    recording_ = false;
    HMENU bar = GetMenu(window_);
    for (int i = 0; i < items_; ++i) EnableMenuItem(bar, static_cast<UINT>(i), MF_BYPOSITION | MF_ENABLED);
    DrawMenuBar(window_);
}

LOGFONTW StatusLogFont(const AppSettings& settings) {
    const StatusFontSpec spec = StatusFontFromSettings(settings);
    LOGFONTW font{};
    font.lfHeight = spec.height;
    font.lfWeight = spec.weight;
    font.lfItalic = spec.italic;
    font.lfCharSet = spec.charSet;
    wcsncpy(font.lfFaceName, Widen(spec.face).c_str(), LF_FACESIZE - 1);
    return font;
}

GdiObject<HFONT> CreateStatusFont(const AppSettings& settings) {
    const LOGFONTW font = StatusLogFont(settings);
    return GdiObject<HFONT>(CreateFontIndirectW(&font));
}

}  // namespace kestrova
