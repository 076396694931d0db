#pragma once

#include <optional>
#include <string>
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

// A TV-guide programme file named on the command line: the first argument,
// in double quotes or not, whose name ends in ".tvpi" or ".tvpid" (any
// case); `rest` is the line without it, so a "/t" inside its path arms
// nothing.
struct ProgrammeArgument {
    std::string path;
    std::string rest;

    friend bool operator==(const ProgrammeArgument&, const ProgrammeArgument&) = default;
};
std::optional<ProgrammeArgument> FindProgrammeFile(std::string_view tail);

}  // namespace kestrova
