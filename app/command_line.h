#pragma once

#include <string_view>

namespace kestrova {

// How Kestrova was started: 0 plain, 1 "/t" (arm the reservation timer and
// hide in the notification area), 2 "/T" (arm and stay visible).
enum LaunchModeValue { kLaunchPlain = 0, kLaunchArmHidden = 1, kLaunchArmVisible = 2 };

// Every "/t" or "/T" anywhere in the command line counts; the last one wins.
int ScanCommandLine(std::string_view tail);

// What the main window does once it is up, for the way Kestrova was started:
// arm the reservation timer, and go straight into the notification area.
struct LaunchActions {
    bool armTimer = false;
    bool minimize = false;

    friend bool operator==(const LaunchActions&, const LaunchActions&) = default;
};
LaunchActions LaunchActionsFor(int mode);

}  // namespace kestrova
