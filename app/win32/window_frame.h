// The main window's frame: fitting it to the picture, the menu bar while a
// recording runs, the title, and the status font.
#pragma once

#include "app/view_toggles.h"
#include "app/win32/status_bar.h"
#include "app/window_rules.h"
#include "platform/win32_handles.h"

#include <windows.h>

#include <string>

namespace kestrova {

// Sizes the window so that its client area holds the picture: the rectangle
// adjusted for the occasion's frame style with a menu bar, plus its extra
// height; the status bar is made anew where the occasion asks for it.
void FitWindow(HWND window, StatusBar& statusBar, HFONT statusFont, PictureSize picture, FitOccasion occasion);

// Greys every top-level menu item; returns how many there are.
int LockMenuBar(HWND window);
void UnlockMenuBar(HWND window, int count);

LOGFONTW StatusLogFont(const AppSettings& settings);
GdiObject<HFONT> CreateStatusFont(const AppSettings& settings);

}  // namespace kestrova
