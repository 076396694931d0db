// AppSettings: the 39 values kept in the INI file beside the executable,
// read once at start-up and written back once at exit.
#pragma once

#include "store/ini_file.h"
#include "store/settings_list.h"

#include <cstdint>
#include <string>

namespace kestrova {

inline constexpr std::int32_t kUseDefaultPosition = INT32_MIN;  // CW_USEDEFAULT
inline constexpr char kDefaultWorkFileName[] = "一時ﾌｧｲﾙ.AVI";

// One field per key of the INI file, named as the key, with the key's
// default (settings_list.h). Text fields are UTF-8; their byte limits hold
// for the CP932 form in the file (paths 259 bytes, other texts 255).
using IntSetting = std::int32_t;
using FloatSetting = float;
using TextSetting = std::string;

struct AppSettings {
#define KESTROVA_SETTING_FIELD(kind, section, key, value, bytes, write) kind##Setting key = value;
    KESTROVA_SETTINGS(KESTROVA_SETTING_FIELD)
#undef KESTROVA_SETTING_FIELD
};

struct ScreenSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Reads every key (absent keys take their defaults) and applies the load
// adjustments: the default work file name under a fixed work file, fast save
// off while pre-allocation is on, and the window position check against the
// screen.
AppSettings ReadSettings(const IniFile& ini, ScreenSize screen);

// Writes every key in Kestrova's write order; the window position given is
// the window's current top-left corner.
void WriteSettings(IniFile& ini, const AppSettings& settings, std::int32_t windowX, std::int32_t windowY);

// "%f" reading of Frames: 15.00 when no number can be read.
float ParseFrames(std::string_view text);
// "%2.2f" writing of Frames.
std::string FormatFrames(float frames);

// The file beside the executable, as loaded at start-up and saved at exit.
AppSettings LoadSettingsFile(const std::string& path, ScreenSize screen);
// One atomic rewrite of the file: its current lines kept, the 39 keys set.
bool SaveSettingsFile(const std::string& path, const AppSettings& settings, std::int32_t windowX,
                      std::int32_t windowY);

}  // namespace kestrova
