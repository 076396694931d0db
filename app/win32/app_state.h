// Process-wide state of the Windows program: one thread owns all of it.
#pragma once

#include "app/settings.h"
#include "reservation/reservation.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace kestrova {

struct AppState {
    HINSTANCE instance = nullptr;
    int launchMode = 0;
    int powerOffAtExit = 0;
    std::string settingsPath;
    std::string reservationPath;
    AppSettings settings;
    std::int32_t confirmState = 0;  // the runtime confirm-before-capture state
    ReservationTable reservations;
    std::string mainTitle;          // UTF-8
    HFONT statusFont = nullptr;
    NOTIFYICONDATAW trayIcon{};
    HWND mainWindow = nullptr;
};

extern AppState g_app;

// Loads a string-table resource as UTF-8 (empty when there is none).
std::string LoadResourceText(UINT id);

// The notification icon's callback message.
inline constexpr UINT kTrayMessage = 519;

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Switches the machine off: takes the shutdown privilege the process token
// needs on NT-based Windows, then asks for a forced power-off.
void PowerOffMachine();

// The status font made from the settings (face, height, weight, italic).
HFONT CreateStatusFont(const AppSettings& settings);

}  // namespace kestrova
