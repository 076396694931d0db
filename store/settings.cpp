#include "store/settings.h"

#include "platform/cp932.h"
#include "platform/files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace kestrova {

namespace {

constexpr char kVideo[] = "Video";
constexpr char kAudio[] = "Audio";
constexpr char kGeneral[] = "General";
constexpr char kUnattended[] = "Unattended";
constexpr std::size_t kPathSize = 260;  // buffer bytes, the NUL included
constexpr std::size_t kTextSize = 256;
constexpr std::size_t kCommandSize = 2048;

enum class Kind { Int, Float, Text };

// One key of the INI file: where it lives, the field it fills, its default,
// the range a number is held within and its place in the order in which the
// keys are written.
struct SettingRow {
    const char* section;
    const char* key;
    std::int32_t AppSettings::*intField;
    float AppSettings::*floatField;
    std::string AppSettings::*textField;
    const char* textDefault;  // UTF-8
    std::size_t bufferSize;   // the text buffer it is read through (Float: its text form)
    std::int32_t intDefault;
    IntRange intRange;
    float floatDefault;
    Kind kind;
    int writePosition;  // 1..kKeyCount
};

constexpr SettingRow Row(const char* section, const char* key, std::int32_t AppSettings::*field, std::int32_t def,
                         IntRange range, std::size_t bytes, int write) {
    return {section, key, field, nullptr, nullptr, nullptr, bytes, def, range, 0.0f, Kind::Int, write};
}
// Frames is held by BoundFrames, which takes setting_range::Frames.
constexpr SettingRow Row(const char* section, const char* key, float AppSettings::*field, float def, FloatRange,
                         std::size_t bytes, int write) {
    return {section, key, nullptr, field, nullptr, nullptr, bytes, 0, kAnyInt, def, Kind::Float, write};
}
constexpr SettingRow Row(const char* section, const char* key, std::string AppSettings::*field, const char* def,
                         TextRange, std::size_t bytes, int write) {
    return {section, key, nullptr, nullptr, field, def, bytes, 0, kAnyInt, 0.0f, Kind::Text, write};
}

// Every settings key, in the order in which they are read.
constexpr SettingRow kSettingsTable[] = {
#define KESTROVA_SETTING_ROW(kind, section, key, value, range, bytes, write) \
    Row(k##section, #key, &AppSettings::key, value, setting_range::key, bytes, write),
    KESTROVA_SETTINGS(KESTROVA_SETTING_ROW)
#undef KESTROVA_SETTING_ROW
};

constexpr std::size_t kKeyCount = std::size(kSettingsTable);
static_assert(kKeyCount == 44);

// Every default lies in its range (an empty range holds nothing).
#define KESTROVA_SETTING_DEFAULT_HELD(kind, section, key, value, range, bytes, write) \
    static_assert(setting_range::key.Holds(value), #key "'s default lies outside its range");
KESTROVA_SETTINGS(KESTROVA_SETTING_DEFAULT_HELD)
#undef KESTROVA_SETTING_DEFAULT_HELD
// No frame rate, or none that can be read, is Frames' default.
constexpr float kNoRateFrames = 15.0f;
static_assert(setting_range::Frames.low > 0.0f &&
              std::none_of(std::begin(kSettingsTable), std::end(kSettingsTable), [](const SettingRow& row) {
                  return row.kind == Kind::Float && row.floatDefault != kNoRateFrames;
              }));

// Every write position from 1 to kKeyCount is taken exactly once.
constexpr bool WritePositionsArePermutation() {
    for (int position = 1; position <= static_cast<int>(kKeyCount); ++position) {
        const auto found = std::count_if(std::begin(kSettingsTable), std::end(kSettingsTable),
                                         [position](const SettingRow& row) { return row.writePosition == position; });
        if (found != 1) return false;
    }
    return true;
}
static_assert(WritePositionsArePermutation());

// Kestrova's own keys come after every other key, in a section of their
// own: a file that older versions wrote keeps its lines as they were.
constexpr bool OwnKeysWrittenLast() {
    int lastOther = 0;
    int firstOwn = static_cast<int>(kKeyCount) + 1;
    for (const SettingRow& row : kSettingsTable) {
        const bool own = row.section == kUnattended;
        if (own) firstOwn = std::min(firstOwn, row.writePosition);
        if (!own) lastOther = std::max(lastOther, row.writePosition);
    }
    return lastOther < firstOwn;
}
static_assert(OwnKeysWrittenLast());

constexpr std::size_t TextLength(const char* text) {
    std::size_t n = 0;
    while (text[n] != '\0') ++n;
    return n;
}

// A text is read through a path, text or command buffer, and its default fits it;
// a number has no buffer but the one the Frames text is read through.
constexpr bool BuffersFit() {
    for (const SettingRow& row : kSettingsTable) {
        const bool ok = row.kind == Kind::Int     ? row.bufferSize == 0
                        : row.kind == Kind::Float ? row.bufferSize == kTextSize
                                                  : (row.bufferSize == kPathSize || row.bufferSize == kTextSize ||
                                                     row.bufferSize == kCommandSize) &&
                                                        TextLength(row.textDefault) < row.bufferSize;
        if (!ok) return false;
    }
    return true;
}
static_assert(BuffersFit());

void ReadRow(const IniFile& ini, const SettingRow& row, AppSettings& s) {
    switch (row.kind) {
    case Kind::Int:
        s.*row.intField = row.intRange.Clamp(ini.GetInt(row.section, row.key, row.intDefault));
        break;
    case Kind::Float:
        s.*row.floatField = BoundFrames(
            ParseFrames(ini.GetString(row.section, row.key, FormatFrames(row.floatDefault), row.bufferSize)));
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

float ParseFrames(std::string_view text) {
    std::string copy(text);
    float value = 0.0f;
    if (std::sscanf(copy.c_str(), "%f", &value) != 1) return kNoRateFrames;
    return value;
}

float BoundFrames(float framesPerSecond) {
    if (!std::isfinite(framesPerSecond) || framesPerSecond <= 0.0f) return kNoRateFrames;
    return setting_range::Frames.Clamp(framesPerSecond);
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
