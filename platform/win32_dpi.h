// The DPI a window is shown at and the system sizes for it. Windows 10 has
// per-monitor functions for them; the exe also runs on Windows 7, so they are
// looked up when first needed, and without them every window is at the
// system's DPI (the screen's LOGPIXELSY) and the plain functions answer.
#pragma once

#include <windows.h>

namespace kestrova {

// The system's DPI: GetDpiForSystem, else the screen's LOGPIXELSY.
int SystemDpi();
// GetDpiForWindow, else the system's DPI.
int WindowDpi(HWND window);
// GetSystemMetricsForDpi, else GetSystemMetrics scaled from the system's DPI.
int MetricForDpi(int index, int dpi);
// The window rectangle around the client rectangle `rect`:
// AdjustWindowRectExForDpi, else AdjustWindowRectEx.
RECT AdjustedWindowRect(RECT rect, DWORD style, bool menu, DWORD exStyle, int dpi);
// The system's status-bar font (NONCLIENTMETRICS) at `dpi`.
LOGFONTW SystemStatusFont(int dpi);

}  // namespace kestrova
