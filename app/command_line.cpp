#include "app/command_line.h"

namespace kestrova {

int ScanCommandLine(std::string_view tail) {
    int mode = kLaunchPlain;
    for (std::size_t i = 0; i + 1 < tail.size(); ++i) {
        if (tail[i] != '/') continue;
        if (tail[i + 1] == 't') mode = kLaunchArmHidden;
        else if (tail[i + 1] == 'T') mode = kLaunchArmVisible;
    }
    return mode;
}

LaunchActions LaunchActionsFor(int mode) {
    return LaunchActions{mode == kLaunchArmHidden || mode == kLaunchArmVisible, mode == kLaunchArmHidden};
}

}  // namespace kestrova
