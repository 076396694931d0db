#include "store/settings.h"

#include "platform/cp932.h"
#include "platform/files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace kestrova {

namespace {

constexpr char kVideo[] = "Video";
constexpr char kAudio[] = "Audio";
constexpr char kGeneral[] = "General";
constexpr std::size_t kPathSize = 260;  // buffer bytes, the NUL included
constexpr std::size_t kTextSize = 256;

enum class Kind { Int, Float, Text };

// One key of the INI file: where it lives, the field it fills, its default
// and its place in the order in which the keys are written.
struct SettingRow {
    const char* section;
    const char* key;
    std::int32_t AppSettings::*intField;
    float AppSettings::*floatField;
    std::string AppSettings::*textField;
    const char* textDefault;  // UTF-8
    std::size_t bufferSize;   // the text buffer it is read through (Float: its text form)
    std::int32_t intDefault;
    float floatDefault;
    Kind kind;
    int writePosition;  // 1..39
};

constexpr SettingRow Int(const char* section, const char* key, std::int32_t AppSettings::*field, std::int32_t def,
                         int write) {
    return {section, key, field, nullptr, nullptr, nullptr, 0, def, 0.0f, Kind::Int, write};
}
constexpr SettingRow Float(const char* section, const char* key, float AppSettings::*field, float def, int write) {
    return {section, key, nullptr, field, nullptr, nullptr, kTextSize, 0, def, Kind::Float, write};
}
constexpr SettingRow Text(const char* section, const char* key, std::string AppSettings::*field, const char* def,
                          std::size_t size, int write) {
    return {section, key, nullptr, nullptr, field, def, size, 0, 0.0f, Kind::Text, write};
}

using S = AppSettings;

// Every settings key, in the order in which they are read.
constexpr SettingRow kSettingsTable[] = {
    //     section   key              field              default                     write
    Text(kVideo,   "TempPath",      &S::TempPath,      "", kPathSize,              1),
    Int(kVideo,    "TempFile",      &S::TempFile,      0,                          2),
    Int(kVideo,    "TempSize",      &S::TempSize,      0,                          3),
    Int(kVideo,    "Preview",       &S::Preview,       1,                          7),
    Int(kVideo,    "Overlay",       &S::Overlay,       0,                          8),
    Int(kVideo,    "Confirm",       &S::Confirm,       0,                          9),
    Int(kVideo,    "Status",        &S::Status,        1,                          10),
    Int(kVideo,    "PreviewRate",   &S::PreviewRate,   66,                         11),
    Float(kVideo,  "Frames",        &S::Frames,        15.0f,                      12),
    Int(kAudio,    "CaptureAudio",  &S::CaptureAudio,  1,                          13),
    Int(kAudio,    "SampleRate",    &S::SampleRate,    44100,                      5),
    Int(kAudio,    "SampleBit",     &S::SampleBit,     16,                         6),
    Int(kAudio,    "SampleChannel", &S::SampleChannel, 2,                          4),
    Int(kVideo,    "Ctrl",          &S::Ctrl,          0,                          14),
    Int(kVideo,    "Shift",         &S::Shift,         0,                          15),
    Int(kVideo,    "LClick",        &S::LClick,        1,                          16),
    Int(kVideo,    "RClick",        &S::RClick,        1,                          17),
    Int(kVideo,    "EndKey",        &S::EndKey,        1,                          18),
    Int(kVideo,    "VkKey",         &S::VkKey,         27,                         19),
    Int(kVideo,    "SnapFile",      &S::SnapFile,      0,                          20),
    Int(kVideo,    "SnapOverWrite", &S::SnapOverWrite, 0,                          21),
    Text(kVideo,   "SnapFileName",  &S::SnapFileName,  "SNAP", kPathSize,          22),
    Int(kVideo,    "PreviewScale",  &S::PreviewScale,  0,                          23),
    Int(kAudio,    "SampleFormat",  &S::SampleFormat,  1,                          24),
    Int(kVideo,    "VideoBuffers",  &S::VideoBuffers,  5,                          25),
    Text(kGeneral, "FontFaceName",  &S::FontFaceName,  "system", kTextSize,        27),
    Int(kGeneral,  "FontSize",      &S::FontSize,      12,                         26),
    Int(kGeneral,  "FontWeight",    &S::FontWeight,    400,                        28),
    Int(kGeneral,  "FontItalic",    &S::FontItalic,    0,                          29),
    Int(kVideo,    "FixedTempFile", &S::FixedTempFile, 1,                          30),
    Text(kVideo,   "TempFileName",  &S::TempFileName,  kDefaultWorkFileName, kTextSize, 31),
    Int(kGeneral,  "WindowPosX",    &S::WindowPosX,    kUseDefaultPosition,        33),
    Int(kGeneral,  "WindowPosY",    &S::WindowPosY,    kUseDefaultPosition,        34),
    Int(kVideo,    "PartCapture",   &S::PartCapture,   0,                          35),
    Int(kVideo,    "PartTime",      &S::PartTime,      900,                        36),
    Int(kVideo,    "DeviceIndex",   &S::DeviceIndex,   0,                          37),
    Text(kVideo,   "Onetouch",      &S::Onetouch,      "15,30,45,60", kTextSize,   38),
    Int(kGeneral,  "TopMost",       &S::TopMost,       0,                          39),
    Int(kGeneral,  "SpeedSave",     &S::SpeedSave,     0,                          32),
};

constexpr std::size_t kKeyCount = std::size(kSettingsTable);
static_assert(kKeyCount == 39);

// Every write position from 1 to 39 is taken exactly once.
constexpr bool WritePositionsArePermutation() {
    for (int position = 1; position <= static_cast<int>(kKeyCount); ++position) {
        const auto found = std::count_if(std::begin(kSettingsTable), std::end(kSettingsTable),
                                         [position](const SettingRow& row) { return row.writePosition == position; });
        if (found != 1) return false;
    }
    return true;
}
static_assert(WritePositionsArePermutation());

void ReadRow(const IniFile& ini, const SettingRow& row, AppSettings& s) {
    switch (row.kind) {
    case Kind::Int:
        s.*row.intField = ini.GetInt(row.section, row.key, row.intDefault);
        break;
    case Kind::Float:
        s.*row.floatField = ParseFrames(ini.GetString(row.section, row.key, FormatFrames(row.floatDefault),
                                                      row.bufferSize));
        break;
    case Kind::Text:
        s.*row.textField =
            Cp932ToUtf8(ini.GetString(row.section, row.key, Utf8ToCp932(row.textDefault), row.bufferSize));
        break;
    }
}

void WriteRow(IniFile& ini, const SettingRow& row, const AppSettings& s) {
    switch (row.kind) {
    case Kind::Int:
        ini.SetString(row.section, row.key, std::to_string(s.*row.intField));
        break;
    case Kind::Float:
        ini.SetString(row.section, row.key, FormatFrames(s.*row.floatField));
        break;
    case Kind::Text:
        ini.SetString(row.section, row.key, Cp932Prefix(Utf8ToCp932(s.*row.textField), row.bufferSize - 1));
        break;
    }
}

}  // namespace

AppSettings::AppSettings() {
    for (const SettingRow& row : kSettingsTable) {
        switch (row.kind) {
        case Kind::Int:
            this->*row.intField = row.intDefault;
            break;
        case Kind::Float:
            this->*row.floatField = row.floatDefault;
            break;
        case Kind::Text:
            this->*row.textField = row.textDefault;
            break;
        }
    }
}

float ParseFrames(std::string_view text) {
    std::string copy(text);
    float value = 0.0f;
    if (std::sscanf(copy.c_str(), "%f", &value) != 1) return 15.0f;
    return value;
}

std::string FormatFrames(float frames) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%2.2f", static_cast<double>(frames));
    return buffer;
}

AppSettings ReadSettings(const IniFile& ini, ScreenSize screen) {
    AppSettings s;
    for (const SettingRow& row : kSettingsTable) ReadRow(ini, row, s);
    // The load adjustments.
    if (s.FixedTempFile != 0 && s.TempFileName.empty()) s.TempFileName = kDefaultWorkFileName;
    if (s.TempFile != 0) s.SpeedSave = 0;
    if (s.WindowPosX < 0 || s.WindowPosX > screen.width || s.WindowPosY < 0 || s.WindowPosY > screen.height) {
        s.WindowPosX = kUseDefaultPosition;
        s.WindowPosY = kUseDefaultPosition;
    }
    return s;
}

void WriteSettings(IniFile& ini, const AppSettings& settings, std::int32_t windowX, std::int32_t windowY) {
    // The window position stored is where the window is now.
    AppSettings s = settings;
    s.WindowPosX = windowX;
    s.WindowPosY = windowY;
    for (int position = 1; position <= static_cast<int>(kKeyCount); ++position) {
        for (const SettingRow& row : kSettingsTable) {
            if (row.writePosition == position) WriteRow(ini, row, s);
        }
    }
}

AppSettings LoadSettingsFile(const std::string& path, ScreenSize screen) {
    std::optional<std::string> bytes = ReadWholeFile(path);
    return ReadSettings(IniFile(bytes ? *bytes : std::string()), screen);
}

bool SaveSettingsFile(const std::string& path, const AppSettings& settings, std::int32_t windowX,
                      std::int32_t windowY) {
    std::optional<std::string> bytes = ReadWholeFile(path);
    IniFile ini(bytes ? *bytes : std::string());
    WriteSettings(ini, settings, windowX, windowY);
    if (bytes && !ini.Changed()) return true;  // nothing to write, as the profile functions would
    return ReplaceFileContents(path, ini.Serialize());
}

}  // namespace kestrova
