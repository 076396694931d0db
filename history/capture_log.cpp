#include "history/capture_log.h"

#include "platform/binary_file.h"
#include "platform/cp932.h"

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
