// The program's texts by string-table id. The table is generated from
// resources/strings.txt, the same source as the resource script.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrova {

struct StringTableEntry {
    unsigned id;
    const char* text;  // UTF-8
};

extern const StringTableEntry kStringTable[];
extern const std::size_t kStringTableSize;

// The text of id, or the empty text when the table has none.
std::string_view LoadText(unsigned id);

// The text of id (a format with one "%s") filled with value.
std::string FormatText(unsigned id, const std::string& value);

namespace strings {
inline constexpr unsigned kProductName = 103;
inline constexpr unsigned kClassName = 109;
inline constexpr unsigned kNoDeviceQuestion = 110;
inline constexpr unsigned kOverwriteQuestion = 111;
inline constexpr unsigned kCopiedToClipboard = 112;
inline constexpr unsigned kRecordingStatistics = 113;
inline constexpr unsigned kSavedTo = 114;
inline constexpr unsigned kFrameRates = 116;
inline constexpr unsigned kSaveFailed = 120;
inline constexpr unsigned kNotSavedTo = 121;
inline constexpr unsigned kWorkFileFailed = 122;
inline constexpr unsigned kOneTouchLengths = 32796;
inline constexpr unsigned kHistoryTemplate = 32798;
}  // namespace strings

}  // namespace kestrova
