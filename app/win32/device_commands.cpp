// The sound mixer (the capture driver's own dialogs are the device's calls).
#include "app/win32/commands.h"

#include <shellapi.h>

namespace kestrova {

// Current Windows has no "sndvol32.exe"; its recording-devices panel stands
// in, and nothing happens without either.
void MixerCommand() {
    wchar_t found[MAX_PATH];
    if (SearchPathW(nullptr, L"sndvol32.exe", nullptr, MAX_PATH, found, nullptr) != 0) {
        ShellExecuteW(nullptr, nullptr, found, L"/record", nullptr, SW_SHOW);
    } else if (SearchPathW(nullptr, L"mmsys.cpl", nullptr, MAX_PATH, found, nullptr) != 0) {
        ShellExecuteW(nullptr, nullptr, L"control.exe", L"mmsys.cpl,,1", nullptr, SW_SHOW);
    }
}

}  // namespace kestrova
