// Menu commands and accelerators. The main window looks a command's id up
// in the command table (command_table.cpp), whose row hands the handler the
// parts of the program it works with; each group of commands lives in a
// file of its own, each settings dialog's beside its dialog.
#pragma once

#include "app/win32/device_services_win32.h"
#include "app/win32/status_bar.h"
#include "capture/capture_device.h"
#include "platform/win32_handles.h"
#include "store/settings.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace kestrova {

class MainWindow;
struct RunState;

// The "ｷｬﾌﾟﾁｬ(&C)" menu's place in the menu bar (greyed without a driver).
inline constexpr int kCaptureMenuPosition = 1;

using CommandHandler = void (*)(MainWindow& window);

// The handler of a command id; null for an id that has none.
CommandHandler FindCommand(UINT id);

// capture_commands.cpp
void RecordCommand(HWND window, RunState& run, bool confirm, CaptureDevice& device, StatusBar& status,
                   Win32DeviceServices& reporter);
// 開始ﾜﾝﾀｯﾁ: a recording of the minutes chosen, straight away.
void OneTouchCommand(HINSTANCE instance, HWND window, RunState& run, const std::string& lengths, CaptureDevice* device,
                     StatusBar& status, Win32DeviceServices& reporter);
void SnapshotCommand(CaptureDevice& device, StatusBar& status);
void ClipboardCommand(CaptureDevice& device, StatusBar& status);

// view_commands.cpp
void ConfirmCommand(AppSettings& settings);
void TopMostCommand(HWND window, AppSettings& settings);
// The font dialog; true when a font was chosen (and stored in the settings).
bool FontCommand(HWND window, AppSettings& settings);

// device_commands.cpp
// The sound mixer in recording mode.
void MixerCommand();

}  // namespace kestrova
