#include "store/settings.h"

#include "platform/cp932.h"
#include "platform/files.h"

#include <cstdio>
#include <cstdlib>

namespace kestrova {

namespace {

constexpr char kVideo[] = "Video";
constexpr char kAudio[] = "Audio";
constexpr char kGeneral[] = "General";
constexpr std::size_t kPathSize = 260;
constexpr std::size_t kTextSize = 256;

std::string ReadText(const IniFile& ini, const char* section, const char* key, const std::string& def,
                     std::size_t size) {
    return Cp932ToUtf8(ini.GetString(section, key, Utf8ToCp932(def), size));
}

void WriteText(IniFile& ini, const char* section, const char* key, const std::string& value, std::size_t size) {
    std::string bytes = Utf8ToCp932(value);
    ini.SetString(section, key, Cp932Prefix(bytes, size - 1));
}

void WriteInt(IniFile& ini, const char* section, const char* key, std::int32_t value) {
    ini.SetString(section, key, std::to_string(value));
}

}  // namespace

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
    AppSettings d;  // the defaults
    AppSettings s;
    s.TempPath = ReadText(ini, kVideo, "TempPath", d.TempPath, kPathSize);
    s.TempFile = ini.GetInt(kVideo, "TempFile", d.TempFile);
    s.TempSize = ini.GetInt(kVideo, "TempSize", d.TempSize);
    s.Preview = ini.GetInt(kVideo, "Preview", d.Preview);
    s.Overlay = ini.GetInt(kVideo, "Overlay", d.Overlay);
    s.Confirm = ini.GetInt(kVideo, "Confirm", d.Confirm);
    s.Status = ini.GetInt(kVideo, "Status", d.Status);
    s.PreviewRate = ini.GetInt(kVideo, "PreviewRate", d.PreviewRate);
    s.Frames = ParseFrames(ini.GetString(kVideo, "Frames", "15.00", kTextSize));
    s.CaptureAudio = ini.GetInt(kAudio, "CaptureAudio", d.CaptureAudio);
    s.SampleRate = ini.GetInt(kAudio, "SampleRate", d.SampleRate);
    s.SampleBit = ini.GetInt(kAudio, "SampleBit", d.SampleBit);
    s.SampleChannel = ini.GetInt(kAudio, "SampleChannel", d.SampleChannel);
    s.Ctrl = ini.GetInt(kVideo, "Ctrl", d.Ctrl);
    s.Shift = ini.GetInt(kVideo, "Shift", d.Shift);
    s.LClick = ini.GetInt(kVideo, "LClick", d.LClick);
    s.RClick = ini.GetInt(kVideo, "RClick", d.RClick);
    s.EndKey = ini.GetInt(kVideo, "EndKey", d.EndKey);
    s.VkKey = ini.GetInt(kVideo, "VkKey", d.VkKey);
    s.SnapFile = ini.GetInt(kVideo, "SnapFile", d.SnapFile);
    s.SnapOverWrite = ini.GetInt(kVideo, "SnapOverWrite", d.SnapOverWrite);
    s.SnapFileName = ReadText(ini, kVideo, "SnapFileName", d.SnapFileName, kPathSize);
    s.PreviewScale = ini.GetInt(kVideo, "PreviewScale", d.PreviewScale);
    s.SampleFormat = ini.GetInt(kAudio, "SampleFormat", d.SampleFormat);
    s.VideoBuffers = ini.GetInt(kVideo, "VideoBuffers", d.VideoBuffers);
    s.FontFaceName = ReadText(ini, kGeneral, "FontFaceName", d.FontFaceName, kTextSize);
    s.FontSize = ini.GetInt(kGeneral, "FontSize", d.FontSize);
    s.FontWeight = ini.GetInt(kGeneral, "FontWeight", d.FontWeight);
    s.FontItalic = ini.GetInt(kGeneral, "FontItalic", d.FontItalic);
    s.FixedTempFile = ini.GetInt(kVideo, "FixedTempFile", d.FixedTempFile);
    s.TempFileName = ReadText(ini, kVideo, "TempFileName", d.TempFileName, kTextSize);
    s.WindowPosX = ini.GetInt(kGeneral, "WindowPosX", d.WindowPosX);
    s.WindowPosY = ini.GetInt(kGeneral, "WindowPosY", d.WindowPosY);
    s.PartCapture = ini.GetInt(kVideo, "PartCapture", d.PartCapture);
    s.PartTime = ini.GetInt(kVideo, "PartTime", d.PartTime);
    s.DeviceIndex = ini.GetInt(kVideo, "DeviceIndex", d.DeviceIndex);
    s.Onetouch = ReadText(ini, kVideo, "Onetouch", d.Onetouch, kTextSize);
    s.TopMost = ini.GetInt(kGeneral, "TopMost", d.TopMost);
    if (s.FixedTempFile != 0 && s.TempFileName.empty()) s.TempFileName = kDefaultWorkFileName;
    s.SpeedSave = ini.GetInt(kGeneral, "SpeedSave", d.SpeedSave);
    if (s.TempFile != 0) s.SpeedSave = 0;
    if (s.WindowPosX < 0 || s.WindowPosX > screen.width || s.WindowPosY < 0 || s.WindowPosY > screen.height) {
        s.WindowPosX = kUseDefaultPosition;
        s.WindowPosY = kUseDefaultPosition;
    }
    return s;
}

void WriteSettings(IniFile& ini, const AppSettings& s, std::int32_t windowX, std::int32_t windowY) {
    WriteText(ini, kVideo, "TempPath", s.TempPath, kPathSize);
    WriteInt(ini, kVideo, "TempFile", s.TempFile);
    WriteInt(ini, kVideo, "TempSize", s.TempSize);
    WriteInt(ini, kAudio, "SampleChannel", s.SampleChannel);
    WriteInt(ini, kAudio, "SampleRate", s.SampleRate);
    WriteInt(ini, kAudio, "SampleBit", s.SampleBit);
    WriteInt(ini, kVideo, "Preview", s.Preview);
    WriteInt(ini, kVideo, "Overlay", s.Overlay);
    WriteInt(ini, kVideo, "Confirm", s.Confirm);
    WriteInt(ini, kVideo, "Status", s.Status);
    WriteInt(ini, kVideo, "PreviewRate", s.PreviewRate);
    ini.SetString(kVideo, "Frames", FormatFrames(s.Frames));
    WriteInt(ini, kAudio, "CaptureAudio", s.CaptureAudio);
    WriteInt(ini, kVideo, "Ctrl", s.Ctrl);
    WriteInt(ini, kVideo, "Shift", s.Shift);
    WriteInt(ini, kVideo, "LClick", s.LClick);
    WriteInt(ini, kVideo, "RClick", s.RClick);
    WriteInt(ini, kVideo, "EndKey", s.EndKey);
    WriteInt(ini, kVideo, "VkKey", s.VkKey);
    WriteInt(ini, kVideo, "SnapFile", s.SnapFile);
    WriteInt(ini, kVideo, "SnapOverWrite", s.SnapOverWrite);
    WriteText(ini, kVideo, "SnapFileName", s.SnapFileName, kPathSize);
    WriteInt(ini, kVideo, "PreviewScale", s.PreviewScale);
    WriteInt(ini, kAudio, "SampleFormat", s.SampleFormat);
    WriteInt(ini, kVideo, "VideoBuffers", s.VideoBuffers);
    WriteInt(ini, kGeneral, "FontSize", s.FontSize);
    WriteText(ini, kGeneral, "FontFaceName", s.FontFaceName, kTextSize);
    WriteInt(ini, kGeneral, "FontWeight", s.FontWeight);
    WriteInt(ini, kGeneral, "FontItalic", s.FontItalic);
    WriteInt(ini, kVideo, "FixedTempFile", s.FixedTempFile);
    WriteText(ini, kVideo, "TempFileName", s.TempFileName, kTextSize);
    WriteInt(ini, kGeneral, "SpeedSave", s.SpeedSave);
    WriteInt(ini, kGeneral, "WindowPosX", windowX);
    WriteInt(ini, kGeneral, "WindowPosY", windowY);
    WriteInt(ini, kVideo, "PartCapture", s.PartCapture);
    WriteInt(ini, kVideo, "PartTime", s.PartTime);
    WriteInt(ini, kVideo, "DeviceIndex", s.DeviceIndex);
    WriteText(ini, kVideo, "Onetouch", s.Onetouch, kTextSize);
    WriteInt(ini, kGeneral, "TopMost", s.TopMost);
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
