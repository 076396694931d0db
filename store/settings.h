// AppSettings: the 39 values kept in the INI file beside the executable,
// read once at start-up and written back once at exit.
#pragma once

#include "store/ini_file.h"

#include <cstdint>
#include <string>

namespace kestrova {

inline constexpr std::int32_t kUseDefaultPosition = INT32_MIN;  // CW_USEDEFAULT
inline constexpr char kDefaultWorkFileName[] = "一時ﾌｧｲﾙ.AVI";

// Text fields are UTF-8; their byte limits hold for the CP932 form in the
// file (paths 259 bytes, other texts 255).
struct AppSettings {
    std::string TempPath;
    std::int32_t TempFile = 0;
    std::int32_t TempSize = 0;
    std::int32_t Preview = 1;
    std::int32_t Overlay = 0;
    std::int32_t Confirm = 0;
    std::int32_t Status = 1;
    std::int32_t PreviewRate = 66;
    float Frames = 15.0f;
    std::int32_t CaptureAudio = 1;
    std::int32_t SampleRate = 44100;
    std::int32_t SampleBit = 16;
    std::int32_t SampleChannel = 2;
    std::int32_t Ctrl = 0;
    std::int32_t Shift = 0;
    std::int32_t LClick = 1;
    std::int32_t RClick = 1;
    std::int32_t EndKey = 1;
    std::int32_t VkKey = 27;
    std::int32_t SnapFile = 0;
    std::int32_t SnapOverWrite = 0;
    std::string SnapFileName = "SNAP";
    std::int32_t PreviewScale = 0;
    std::int32_t SampleFormat = 1;
    std::int32_t VideoBuffers = 5;
    std::string FontFaceName = "system";
    std::int32_t FontSize = 12;
    std::int32_t FontWeight = 400;
    std::int32_t FontItalic = 0;
    std::int32_t FixedTempFile = 1;
    std::string TempFileName = kDefaultWorkFileName;
    std::int32_t WindowPosX = kUseDefaultPosition;
    std::int32_t WindowPosY = kUseDefaultPosition;
    std::int32_t PartCapture = 0;
    std::int32_t PartTime = 900;
    std::int32_t DeviceIndex = 0;
    std::string Onetouch = "15,30,45,60";
    std::int32_t TopMost = 0;
    std::int32_t SpeedSave = 0;
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
