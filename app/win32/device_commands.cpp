// The capture driver's own dialogs, the sound settings and the choice of device.
#include "app/view_toggles.h"
#include "app/win32/commands.h"
#include "app/win32/window_frame.h"
#include "dialogs/win32/device_select_dialog.h"

#include <shellapi.h>

namespace kestrova {

void SourceDialogCommand(CommandContext& c) {
    if (c.device != nullptr) c.device->ShowSourceDialog();
}

void FormatDialogCommand(CommandContext& c) {
    if (c.device == nullptr) return;
    if (const std::optional<PictureSize> picture = ChangeVideoFormat(*c.device, c.settings)) {
        FitWindow(c.window, c.statusBar, c.statusFont.get(), *picture, FitOccasion::AfterFormatDialog);
    }
}

void DisplayDialogCommand(CommandContext& c) {
    if (c.device != nullptr) c.device->ShowDisplayDialog();
}

void CompressionDialogCommand(CommandContext& c) {
    if (c.device != nullptr) c.device->ShowCompressionDialog();
}

void AudioFormatCommand(CommandContext& c) {
    if (c.device != nullptr) c.device->ChooseAudioFormat();
}

// The sound mixer in recording mode. Current Windows has no "sndvol32.exe";
// its recording-devices panel stands in, and nothing happens without either.
void MixerCommand(CommandContext&) {
    wchar_t found[MAX_PATH];
    if (SearchPathW(nullptr, L"sndvol32.exe", nullptr, MAX_PATH, found, nullptr) != 0) {
        ShellExecuteW(nullptr, nullptr, found, L"/record", nullptr, SW_SHOW);
    } else if (SearchPathW(nullptr, L"mmsys.cpl", nullptr, MAX_PATH, found, nullptr) != 0) {
        ShellExecuteW(nullptr, nullptr, L"control.exe", L"mmsys.cpl,,1", nullptr, SW_SHOW);
    }
}

void DeviceSelectCommand(CommandContext& c) {
    RunDeviceSelectDialog(c.instance, c.window, c.device, c.settings);
    // The dialog may have connected another driver, or failed to.
    EnableMenuItem(GetMenu(c.window), kCaptureMenuPosition,
                   MF_BYPOSITION | (c.Connected() ? MF_ENABLED : (MF_GRAYED | MF_DISABLED)));
    DrawMenuBar(c.window);
}

}  // namespace kestrova
