// Menu commands and accelerators. The main window looks a command's id up
// in the command table (command_table.cpp) and calls its handler with the
// parts of the program it works with; each group of commands lives in a
// file of its own.
#pragma once

#include "app/win32/app_state.h"

#include <windows.h>

namespace kestrova {

// The "ｷｬﾌﾟﾁｬ(&C)" menu's place in the menu bar (greyed without a driver).
inline constexpr int kCaptureMenuPosition = 1;

struct CommandContext {
    HWND window;  // the main window
    HINSTANCE instance;
    AppSettings& settings;
    RunState& run;
    CaptureDevice* device;  // null without a capture window
    StatusBar& statusBar;
    StatusTexts& texts;
    GdiObject<HFONT>& statusFont;
    Scheduler* scheduler;
    // The live reservation table, its file and the clock the reservations keep.
    ReservationTable& reservations;
    const std::string& reservationPath;
    const Clock& clock;

    bool Connected() const { return device != nullptr && device->connected(); }
};

using CommandHandler = void (*)(CommandContext& context);

// The handler of a command id; null for an id that has none.
CommandHandler FindCommand(UINT id);

// file_commands.cpp
void ExitCommand(CommandContext& c);
void SaveAsCommand(CommandContext& c);

// capture_commands.cpp
void RecordCommand(CommandContext& c);
void SnapshotCommand(CommandContext& c);
void ClipboardCommand(CommandContext& c);
void OneTouchCommand(CommandContext& c);

// view_commands.cpp
void PreviewCommand(CommandContext& c);
void OverlayCommand(CommandContext& c);
void StatusDisplayCommand(CommandContext& c);
void ConfirmCommand(CommandContext& c);
void TopMostCommand(CommandContext& c);
void FontCommand(CommandContext& c);

// timer_commands.cpp
void TimerCommand(CommandContext& c);
void ReservationsCommand(CommandContext& c);

// The settings dialogs, each in <name>_command.cpp.
void AboutCommand(CommandContext& c);
void SequenceCommand(CommandContext& c);
void EnvironmentCommand(CommandContext& c);
void TempDiskCommand(CommandContext& c);
void SnapshotSettingsCommand(CommandContext& c);

// device_commands.cpp
void SourceDialogCommand(CommandContext& c);
void FormatDialogCommand(CommandContext& c);
void DisplayDialogCommand(CommandContext& c);
void CompressionDialogCommand(CommandContext& c);
void AudioFormatCommand(CommandContext& c);
void MixerCommand(CommandContext& c);
void DeviceSelectCommand(CommandContext& c);

}  // namespace kestrova
