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

// A recording runs, from the menu or the reservation timer: every top-level
// menu item is greyed and the flag that holds off commands and ticks is set,
// for the scope's life and undone on every way out of it.
class RecordingScope {
public:
    RecordingScope(HWND window, bool& recording);
    ~RecordingScope();
    RecordingScope(const RecordingScope&) = delete;
    RecordingScope& operator=(const RecordingScope&) = delete;

private:
    HWND window_;
    bool& recording_;
    int items_;
};

LOGFONTW StatusLogFont(const AppSettings& settings);
GdiObject<HFONT> CreateStatusFont(const AppSettings& settings);

}  // namespace kestrova
