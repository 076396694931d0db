// One Kestrova per settings file: the identity every start with the same
// settings file shares, and the command line a later start hands to the
// Kestrova that already runs with them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova {

// One spelling of the settings file's path: a "\\?\" prefix dropped ("\\?\UNC\"
// becomes "\\"), "/" made "\", a run of separators made one (the leading
// pair of a network path kept), ASCII letters upper case. What only the file
// system knows (short names, links, "." and "..", other letters' case) the
// caller has resolved before.
std::string NormalisedSettingsPath(std::string_view path);

// "Kestrova-" and 32 hex digits drawn from the normalised path: the same for
// every spelling of one file, fit for a kernel object's name (no backslash)
// and a window property's name (an atom holds at most 255 characters).
std::string InstanceIdentity(std::string_view settingsPath);

// The kernel object's name: in the session's own namespace.
std::string InstanceMutexName(std::string_view identity);

// A hand-over: the later start's whole command line tail (the text after the
// program name) as UTF-16 units without a terminating NUL, under this tag
// (WM_COPYDATA's dwData).
inline constexpr std::uint32_t kHandOverTag = 0x4B535431u;  // "KST1"
// The longest command line Windows passes, in units.
inline constexpr std::size_t kHandOverMaxUnits = 32767;

// The handed command line as UTF-8, or nothing when the data is not a
// hand-over: another tag, an odd byte count, more than kHandOverMaxUnits
// units, no data behind a non-zero count. A NUL ends the text early; a lone
// surrogate becomes U+FFFD.
std::optional<std::string> ReadHandOver(std::uint64_t tag, const void* data, std::size_t bytes);

// What a handed command line asks of the running window: "/t" and "/T" arm
// the reservation timer as they do at start; "/t" then sends the window into
// the notification area; without it the window is shown and brought forward.
// A programme file on the line (its full path, as the later start made it)
// is opened in the reservation dialog, over the window shown. Everything
// else on the line is left for now.
struct HandOverRequest {
    bool arm = false;
    bool hide = false;
    std::string programme;

    friend bool operator==(const HandOverRequest&, const HandOverRequest&) = default;
};
HandOverRequest HandOverRequestFor(std::string_view commandLine);

// Requests that waited together: an arm once asked stays asked; the latest
// says whether the window is shown or hidden, and which programme opens
// (the earlier one when the latest names none).
HandOverRequest MergeHandOvers(const std::optional<HandOverRequest>& earlier, const HandOverRequest& later);

// What the running window does now. While it is busy (a recording runs, or a
// modal dialog is open) nothing is done yet: the request waits for the end
// (a scheduled recording keeps the timer armed, so it then has nothing to
// arm). The arm command is posted only when the timer is not armed already.
struct HandOverActions {
    bool wait = false;
    bool postArm = false;
    bool hideInTray = false;
    bool bringForward = false;
    bool openProgramme = false;

    friend bool operator==(const HandOverActions&, const HandOverActions&) = default;
};
HandOverActions HandOverActionsFor(const HandOverRequest& request, bool armed, bool busy);

}  // namespace kestrova
