// Process-wide state of the Windows program: one thread owns all of it.
#pragma once

#include "store/settings.h"
#include "app/win32/device_services_win32.h"
#include "app/win32/status_bar.h"
#include "capture/capture_device.h"
#include "capture/capture_port.h"
#include "reservation/reservation.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>
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
    int timerArmed = 0;
    // A recording is running: it returns only when it has ended, and no
    // command or timer tick may start anything inside it.
    bool recording = false;

    // Owned by the main window: made at its creation, released at its
    // destruction (the port outlives the device that talks through it).
    std::unique_ptr<CapturePort> capturePort;
    std::unique_ptr<CaptureDevice> device;
    StatusBar statusBar;
    Win32DeviceServices services;

    // Texts handed to the status bar by reference live here.
    std::string textBuffer;
    std::string statisticsText;
    std::string snapshotMessage;
    std::string snapshotPath;
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
LOGFONTW StatusLogFont(const AppSettings& settings);
HFONT CreateStatusFont(const AppSettings& settings);

// Main-window operations used by the capture and reservation code.
void SetWorkFileTitle(const std::string& path);
int LockMenuBar();
void UnlockMenuBar(int count);
void SwapTrayIcon(UINT iconResource);

// Releases the device and its port if the main window did not (the runs that
// end without destroying it).
void ReleaseCaptureDevice();

}  // namespace kestrova
