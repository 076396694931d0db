#include "history/capture_log.h"

#include "platform/binary_file.h"
#include "platform/cp932.h"
#include "store/string_table.h"

#include <algorithm>
#include <climits>

#include <cstdio>
#include <span>

namespace kestrova {

std::string LogDateLine(const Clock& clock, std::int64_t ended, std::int64_t start) {
    const LocalTime date = clock.ToLocal(ended);
    const LocalTime time = clock.ToLocal(start);
    char line[64];
    std::snprintf(line, sizeof line, "%02d-%02d(%02d時%02d分%02d秒)", date.month, date.day, time.hour, time.minute,
                  time.second);
    return line;
}

std::string StatisticsLine(std::uint64_t frames, std::uint64_t dropped, std::uint64_t elapsedMs) {
    const std::string format(LoadText(strings::kRecordingStatistics));
    const auto count = [](std::uint64_t n) { return static_cast<unsigned long>(std::min<std::uint64_t>(n, ULONG_MAX)); };
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format.c_str(), count(frames), count(dropped),
                  static_cast<double>(elapsedMs) * 0.001);
    return buffer;
}

bool AppendLogLine(const std::string& path, std::string_view utf8Line) {
    BinaryFile file;
    if (!file.OpenForWriting(path)) return false;
    const std::optional<std::uint64_t> end = file.Size();
    const std::string bytes = Utf8ToCp932(utf8Line) + "\r\n";
    const bool written =
        end && file.WriteAt(*end, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    return file.Close() && written;
}

}  // namespace kestrova
