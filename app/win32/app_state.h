// The Windows program's state. wWinMain owns the one AppState of the run;
// the main window reaches it through its window data and hands each command
// the parts it works with (CommandContext). One thread owns all of it.
#pragma once

#include "app/win32/device_services_win32.h"
#include "app/win32/scheduler_host.h"
#include "app/win32/status_bar.h"
#include "app/win32/tray_icon.h"
#include "capture/capture_device.h"
#include "capture/capture_port.h"
#include "platform/win32_handles.h"
#include "platform/clock.h"
#include "reservation/reservation.h"
#include "reservation/scheduler.h"
#include "store/settings.h"

#include <windows.h>

#include <memory>
#include <string>

namespace kestrova {

// The status bar keeps only a reference to an owner-drawn text: each writer
// keeps its text here, where it outlives the display.
struct StatusTexts {
    std::string menuHelp;
    std::string message;     // what the last snapshot or clipboard copy did
    std::string statistics;  // the last recording's figures
};

// What the running program switches on and off besides the settings.
struct RunState {
    std::int32_t confirm = 0;  // confirm before capture (-1 on), kept in the settings too
    std::int32_t oneTouchMinutes = 0;  // the last one-touch length chosen
    // A recording is running: it returns only when it has ended, and no
    // command or timer tick may start anything inside it.
    bool recording = false;
};

struct AppState {
    AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    HINSTANCE instance = nullptr;
    int launchMode = 0;
    int powerOffAtExit = 0;
    std::string settingsPath;
    std::string reservationPath;
    AppSettings settings;
    ReservationTable reservations;
    RunState run;
    std::string mainTitle;  // UTF-8
    GdiObject<HFONT> statusFont;
    TrayIcon tray;
    HWND mainWindow = nullptr;

    // Made when the main window is created, released when it is destroyed
    // (the port outlives the device that talks through it).
    std::unique_ptr<CapturePort> capturePort;
    std::unique_ptr<CaptureDevice> device;
    StatusBar statusBar;
    Win32DeviceServices services;
    StatusTexts texts;

    // The reservation timer (made once the paths are known).
    SystemClock clock;
    Win32SchedulerHost schedulerHost{*this};
    std::unique_ptr<Scheduler> scheduler;
};

// Loads a string-table resource as UTF-8 (empty when there is none).
std::string LoadResourceText(HINSTANCE instance, UINT id);

// The notification icon's callback message.
inline constexpr UINT kTrayMessage = 519;
// The schedule is looked at again (after a sleep or a clock change).
inline constexpr UINT kReviewMessage = WM_APP + 1;

// The main window's class procedure; the window is created with its
// AppState as the creation parameter.
LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Releases the device and its port if the main window did not (the runs that
// end without destroying it).
void ReleaseCaptureDevice(AppState& app);

// Switches the machine off: takes the shutdown privilege the process token
// needs on NT-based Windows, then asks for a forced power-off.
void PowerOffMachine();

}  // namespace kestrova
