// The main window: creation, sizing, commands and the save at destruction.
#include "app/win32/app_state.h"
#include "platform/win32_text.h"
#include "resource_ids.h"

namespace kestrova {

namespace {

int g_statusBarHeight = 0;

// Sizes the window so that its client area holds a w x h picture plus the
// extra height, with the frame of the given style and a menu bar.
void FitWindow(HWND hwnd, int w, int h, DWORD adjustStyle, int extraHeight) {
    RECT rect{0, 0, w, h};
    AdjustWindowRect(&rect, adjustStyle, TRUE);
    SetWindowPos(hwnd, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top + extraHeight,
                 SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOMOVE);
}

void OnCreate(HWND hwnd) {
    g_app.mainWindow = hwnd;
    const AppSettings& s = g_app.settings;
    const int w = 320;
    const int h = 240;
    if (s.PreviewScale != 0) {
        FitWindow(hwnd, w, h, WS_OVERLAPPEDWINDOW, g_statusBarHeight);
    } else {
        FitWindow(hwnd, w, h, WS_DLGFRAME, GetSystemMetrics(SM_CYMENU) + g_statusBarHeight);
    }
    if (g_app.launchMode == 1) {
        PostMessageW(hwnd, WM_COMMAND, IDM_TIMER, 0);
        PostMessageW(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
    } else if (g_app.launchMode == 2) {
        PostMessageW(hwnd, WM_COMMAND, IDM_TIMER, 0);
    }
    if (s.TopMost != 0) SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void OnDestroy(HWND hwnd) {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    SaveSettingsFile(g_app.settingsPath, g_app.settings, rect.left, rect.top);
    SaveReservationsFile(g_app.reservationPath, g_app.reservations);
    Shell_NotifyIconW(NIM_DELETE, &g_app.trayIcon);
    if (g_app.statusFont != nullptr) {
        DeleteObject(g_app.statusFont);
        g_app.statusFont = nullptr;
    }
    g_app.mainWindow = nullptr;
    PostQuitMessage(0);
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        OnCreate(hwnd);
        return 0;
    case WM_DESTROY:
        OnDestroy(hwnd);
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDM_EXIT:
            DestroyWindow(hwnd);
            return 0;
        default:
            break;
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace kestrova
