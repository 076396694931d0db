#include "app/win32/window_frame.h"

#include "platform/win32_dpi.h"
#include "platform/win32_text.h"

#include <cwchar>

namespace kestrova {

static_assert(kStyleOverlappedWindow == WS_OVERLAPPEDWINDOW && kStyleDialogFrame == WS_DLGFRAME &&
                  kStyleSysMenu == WS_SYSMENU && kStyleMinimizeBox == WS_MINIMIZEBOX &&
                  kStyleClipChildren == WS_CLIPCHILDREN && kStyleSizableFrame == (WS_THICKFRAME | WS_MAXIMIZEBOX),
              "the main window's styles are the Win32 ones");

SIZE FittedWindowSize(const StatusBar& statusBar, PictureSize picture, const FitRule& rule, int dpi) {
    const RECT rect = AdjustedWindowRect(RECT{0, 0, picture.width, picture.height}, rule.adjustStyle, true, 0, dpi);
    int extra = rule.extraMenuHeights * MetricForDpi(SM_CYMENU, dpi);
    if (rule.addStatusBarHeight) extra += statusBar.height();
    return SIZE{rect.right - rect.left, rect.bottom - rect.top + extra};
}

void AllowForFrame(HWND window, int dpi) {
    if (IsIconic(window)) return;
    RECT outer{};
    RECT client{};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    const auto style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
    const RECT frame = AdjustedWindowRect(RECT{}, style, GetMenu(window) != nullptr, exStyle, dpi);
    const int extra = (outer.bottom - outer.top - client.bottom) - (frame.bottom - frame.top);
    if (extra == 0) return;
    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top + extra,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FitWindow(HWND window, StatusBar& statusBar, HFONT statusFont, PictureSize picture, FitOccasion occasion,
               int dpi) {
    const FitRule rule = FittingRule(occasion);
    const SIZE size = FittedWindowSize(statusBar, picture, rule, dpi);
    SetWindowPos(window, nullptr, 0, 0, size.cx, size.cy, SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOMOVE);
    AllowForFrame(window, dpi);
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

LOGFONTW StatusLogFont(const AppSettings& settings, int dpi) {
    const StatusFontSpec spec = StatusFontFromSettings(settings);
    LOGFONTW font{};
    font.lfHeight = StatusFontHeightAt(spec.height, dpi);
    font.lfWeight = spec.weight;
    font.lfItalic = spec.italic;
    font.lfCharSet = spec.charSet;
    wcsncpy(font.lfFaceName, Widen(spec.face).c_str(), LF_FACESIZE - 1);
    return font;
}

GdiObject<HFONT> CreateStatusFont(const AppSettings& settings, int dpi) {
    const LOGFONTW font = StatusLogFont(settings, dpi);
    return GdiObject<HFONT>(CreateFontIndirectW(&font));
}

GdiObject<HFONT> CreateStatusBarFont(int dpi) {
    const LOGFONTW font = SystemStatusFont(dpi);
    return GdiObject<HFONT>(CreateFontIndirectW(&font));
}

}  // namespace kestrova
