#include "capture/pattern_device/pattern_format_file.h"

#include "platform/files.h"
#include "store/ini_file.h"

#include <cstdint>
#include <cstdlib>
#include <optional>

namespace kestrova {

namespace {

constexpr std::string_view kSection = "Format";
constexpr std::string_view kWidthKey = "Width";
constexpr std::string_view kHeightKey = "Height";
constexpr std::string_view kPictureKey = "Picture";

std::int64_t Pixels(FrameSize size) { return std::int64_t{size.width} * size.height; }

// The value of an integer key, or nothing when it is absent.
std::optional<std::int32_t> IntKey(const IniFile& ini, std::string_view key) {
    if (!ini.HasValue(kSection, key)) return std::nullopt;
    return ini.GetInt(kSection, key, 0);
}

}  // namespace

FrameSize NearestPatternSize(FrameSize size) {
    if (size.width <= 0 || size.height <= 0) return kTestPatternSizes.front();
    FrameSize best = kTestPatternSizes.front();
    for (const FrameSize& offered : kTestPatternSizes) {
        if (std::llabs(Pixels(offered) - Pixels(size)) < std::llabs(Pixels(best) - Pixels(size))) best = offered;
    }
    return best;
}

StoredPatternFormat ParsePatternFormat(std::string_view bytes) {
    const IniFile ini(bytes);
    StoredPatternFormat stored;
    const std::optional<std::int32_t> width = IntKey(ini, kWidthKey);
    const std::optional<std::int32_t> height = IntKey(ini, kHeightKey);
    if (width || height) {
        const FrameSize asked{width.value_or(0), height.value_or(0)};
        stored.format.size = NearestPatternSize(asked);
        stored.repaired = !(stored.format.size == asked);
    }
    if (const std::optional<std::int32_t> picture = IntKey(ini, kPictureKey)) {
        stored.format.picture = *picture == 1 ? PatternKind::MovingGradient : PatternKind::ColourBars;
        stored.repaired = stored.repaired || (*picture != 0 && *picture != 1);
    }
    return stored;
}

std::string UpdatePatternFormat(std::string_view bytes, const PatternFormat& format) {
    IniFile ini(bytes);
    ini.SetString(kSection, kWidthKey, std::to_string(format.size.width));
    ini.SetString(kSection, kHeightKey, std::to_string(format.size.height));
    ini.SetString(kSection, kPictureKey, format.picture == PatternKind::MovingGradient ? "1" : "0");
    return ini.Serialize();
}

PatternFormat LoadPatternFormat(const std::string& path) {
    const std::optional<std::string> bytes = ReadWholeFile(path);
    if (!bytes) return PatternFormat{};
    const StoredPatternFormat stored = ParsePatternFormat(*bytes);
    // The repaired values are used either way; a file that cannot be
    // rewritten is repaired again at the next load.
    if (stored.repaired) static_cast<void>(ReplaceFileContents(path, UpdatePatternFormat(*bytes, stored.format)));
    return stored.format;
}

bool SavePatternFormat(const std::string& path, const PatternFormat& format) {
    const std::string bytes = ReadWholeFile(path).value_or(std::string());
    return ReplaceFileContents(path, UpdatePatternFormat(bytes, format));
}

}  // namespace kestrova
