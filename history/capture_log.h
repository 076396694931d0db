// The text log "Capture.log": three lines for every scheduled recording,
// appended in the current directory (the work directory), CP932 text with
// CR LF line ends, never read or cut by the program.
#pragma once

#include "platform/clock.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova {

inline constexpr char kCaptureLogName[] = "Capture.log";
inline constexpr char kLogSeparator[] = "----------";

// "%02d-%02d(%02d時%02d分%02d秒)": the month and day of `ended` with the
// clock time of the reservation's `start`, both local.
std::string LogDateLine(const Clock& clock, std::int64_t ended, std::int64_t start);

// The statistics line of a recording: string 113 filled with its frames,
// dropped frames and seconds.
std::string StatisticsLine(std::uint64_t frames, std::uint64_t dropped, std::uint64_t elapsedMs);

// Appends the line (UTF-8, stored as CP932) and CR LF to the file in one
// write. False when the file cannot be opened or written.
bool AppendLogLine(const std::string& path, std::string_view utf8Line);

}  // namespace kestrova
