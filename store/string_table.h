// The program's texts by string-table id. The table is generated from
// resources/strings.txt, the same source as the resource script.
#pragma once

#include <cstddef>
#include <initializer_list>
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

// The text of id with "%1" .. "%9" replaced by the values in order (a
// value's own "%" is left alone).
std::string FillText(unsigned id, std::initializer_list<std::string_view> values);

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
inline constexpr unsigned kNotRecorded = 150;
inline constexpr unsigned kStartedLate = 151;
inline constexpr unsigned kMissedNotice = 152;
inline constexpr unsigned kMissedSummary = 153;
inline constexpr unsigned kOverlapMark = 154;
inline constexpr unsigned kRoomShort = 155;
inline constexpr unsigned kKeptAt = 156;
inline constexpr unsigned kRecordingFailed = 157;
inline constexpr unsigned kReasonAnotherRecording = 160;
inline constexpr unsigned kReasonNotRunning = 161;
inline constexpr unsigned kReasonTimerOff = 162;
inline constexpr unsigned kReasonAsleep = 163;
inline constexpr unsigned kReasonClockChanged = 164;
inline constexpr unsigned kReasonPassedWhenReserved = 165;
inline constexpr unsigned kReasonTimerLate = 166;
inline constexpr unsigned kReasonNoDevice = 167;
inline constexpr unsigned kOverlapWarning = 170;
inline constexpr unsigned kMoreOverlaps = 171;
inline constexpr unsigned kErrorCaption = 180;
inline constexpr unsigned kWarningCaption = 181;
inline constexpr unsigned kOneTouchLengths = 32796;
inline constexpr unsigned kHistoryTemplate = 32798;
}  // namespace strings

}  // namespace kestrova
