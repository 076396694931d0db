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

// The window's size whose client area holds the picture at `dpi`: the
// picture's rectangle adjusted for the rule's frame style with a menu bar,
// plus its extra height (menu bars, the status bar's height).
SIZE FittedWindowSize(const StatusBar& statusBar, PictureSize picture, const FitRule& rule, int dpi);
// The frame as drawn may be taller than the adjusted rectangle counts (a
// menu bar too wide for the window wraps onto more lines; a window told of
// a new DPI may still be drawn at the old one): the window's height takes
// the difference, so its client area is the one the fit meant.
void AllowForFrame(HWND window, int dpi);
// Sizes the window so for the occasion, allowing for the frame; the status bar is made anew (in the
// status font) where the occasion asks for it.
void FitWindow(HWND window, StatusBar& statusBar, HFONT statusFont, PictureSize picture, FitOccasion occasion,
               int dpi);

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

// The status font at `dpi` (the settings hold its height at 96 DPI).
LOGFONTW StatusLogFont(const AppSettings& settings, int dpi);
GdiObject<HFONT> CreateStatusFont(const AppSettings& settings, int dpi);
// The status bar's own font at `dpi`: the system's status-bar font.
GdiObject<HFONT> CreateStatusBarFont(int dpi);

}  // namespace kestrova
