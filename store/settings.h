// AppSettings: the 44 values kept in the INI file beside the executable,
// read once at start-up and written back once at exit.
#pragma once

#include "store/ini_file.h"
#include "store/settings_list.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova {

inline constexpr std::int32_t kUseDefaultPosition = INT32_MIN;  // CW_USEDEFAULT
inline constexpr char kDefaultWorkFileName[] = "一時ﾌｧｲﾙ.AVI";

// The values a number setting can take (settings_list.h).
template <typename T>
struct SettingRange {
    T low;
    T high;

    constexpr bool Holds(T value) const { return low <= value && value <= high; }
    // The value, or the nearer end when it lies outside.
    constexpr T Clamp(T value) const { return value < low ? low : high < value ? high : value; }
};
using IntRange = SettingRange<std::int32_t>;
using FloatRange = SettingRange<float>;
// A text is held by its buffer (the bytes column) alone.
struct TextRange {
    constexpr bool Holds(std::string_view) const { return true; }
};

constexpr IntRange Range(std::int32_t low, std::int32_t high) { return {low, high}; }
constexpr FloatRange Range(float low, float high) { return {low, high}; }
inline constexpr IntRange kAnyInt{INT32_MIN, INT32_MAX};
inline constexpr TextRange kAnyText{};

// The range of each setting, named as its key: setting_range::VideoBuffers.
// The dialogs and the devices take their limits from here.
namespace setting_range {
#define KESTROVA_SETTING_RANGE(kind, section, key, value, range, bytes, write) \
    inline constexpr kind##Range key = range;
KESTROVA_SETTINGS(KESTROVA_SETTING_RANGE)
#undef KESTROVA_SETTING_RANGE
}  // namespace setting_range

// One field per key of the INI file, named as the key, with the key's
// default (settings_list.h). Text fields are UTF-8; their byte limits hold
// for the CP932 form in the file (paths 259 bytes, other texts 255).
using IntSetting = std::int32_t;
using FloatSetting = float;
using TextSetting = std::string;

struct AppSettings {
#define KESTROVA_SETTING_FIELD(kind, section, key, value, range, bytes, write) kind##Setting key = value;
    KESTROVA_SETTINGS(KESTROVA_SETTING_FIELD)
#undef KESTROVA_SETTING_FIELD
};

struct ScreenSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Reads every key (absent keys take their defaults), holds each number
// within its range, and applies the load adjustments: the default work file
// name under a fixed work file, fast save off while pre-allocation is on,
// and the window position check against the screen.
AppSettings ReadSettings(const IniFile& ini, ScreenSize screen);

// Writes every key in Kestrova's write order; the window position given is
// the window's current top-left corner.
void WriteSettings(IniFile& ini, const AppSettings& settings, std::int32_t windowX, std::int32_t windowY);

// "%f" reading of Frames: 15.00 when no number can be read.
float ParseFrames(std::string_view text);
// A frame rate as Frames holds it: one that is no rate (0 or less, not a
// finite number) is 15.00, any other is held within setting_range::Frames.
float BoundFrames(float framesPerSecond);
// "%2.2f" writing of Frames.
std::string FormatFrames(float frames);

// The file beside the executable, as loaded at start-up and saved at exit.
AppSettings LoadSettingsFile(const std::string& path, ScreenSize screen);
// One atomic rewrite of the file: its current lines kept, every key set.
bool SaveSettingsFile(const std::string& path, const AppSettings& settings, std::int32_t windowX,
                      std::int32_t windowY);

}  // namespace kestrova
