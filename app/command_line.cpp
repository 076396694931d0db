#include "app/command_line.h"

#include "platform/ascii.h"

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

std::optional<ProgrammeArgument> FindProgrammeFile(std::string_view tail) {
    for (std::size_t at = 0; at < tail.size();) {
        if (tail[at] == ' ' || tail[at] == '\t') {
            ++at;
            continue;
        }
        const bool quoted = tail[at] == '"';
        const std::size_t begin = quoted ? at + 1 : at;
        std::size_t end = quoted ? tail.find('"', begin) : tail.find_first_of(" \t", begin);
        if (end == std::string_view::npos) end = tail.size();
        const std::string_view argument = tail.substr(begin, end - begin);
        const std::size_t next = quoted && end < tail.size() ? end + 1 : end;
        const std::string lowered = AsciiLowered(argument);
        if (lowered.ends_with(".tvpi") || lowered.ends_with(".tvpid")) {
            return ProgrammeArgument{std::string(argument), std::string(tail.substr(0, at)) + std::string(tail.substr(next))};
        }
        at = next;
    }
    return std::nullopt;
}

LaunchActions LaunchActionsFor(int mode) {
    return LaunchActions{mode == kLaunchArmHidden || mode == kLaunchArmVisible, mode == kLaunchArmHidden};
}

}  // namespace kestrova
