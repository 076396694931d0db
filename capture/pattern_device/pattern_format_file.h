// The format the test-pattern device keeps between runs, as a capture card's
// driver keeps its own: the frame size and the picture, in a small INI file
// of the device's beside the executable. A size that the device does not
// offer (a hand-edited file) becomes the nearest one it does, and the file
// is then written back with it.
#pragma once

#include "capture/pattern_device/pattern_model.h"

#include <string>
#include <string_view>

namespace kestrova {

inline constexpr std::string_view kPatternFormatFileName = "KestrovaTestPattern.ini";

struct PatternFormat {
    FrameSize size = kTestPatternDefaultSize;
    PatternKind picture = PatternKind::ColourBars;

    friend bool operator==(const PatternFormat&, const PatternFormat&) = default;
};

// The offered size whose pixel count comes nearest (the smaller on a tie).
FrameSize NearestPatternSize(FrameSize size);

// The stored format in the file's bytes, made valid; `repaired` tells that
// what was stored was not (so it is to be written back).
struct StoredPatternFormat {
    PatternFormat format;
    bool repaired = false;
};
StoredPatternFormat ParsePatternFormat(std::string_view bytes);
// The file's bytes with the format set (its other lines kept).
std::string UpdatePatternFormat(std::string_view bytes, const PatternFormat& format);

// The file at `path`: a missing or unreadable file is the default format.
// A repaired format is written back at once.
PatternFormat LoadPatternFormat(const std::string& path);
// False when the file cannot be written; the device keeps the format for
// this run all the same.
bool SavePatternFormat(const std::string& path, const PatternFormat& format);

}  // namespace kestrova
