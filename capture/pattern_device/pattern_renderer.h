// The pictures of the built-in test-pattern device, rendered into 24-bit
// DIB memory: blue-green-red bytes, rows bottom-up, each row padded to a
// multiple of 4 bytes (what a BITMAPINFOHEADER with biBitCount 24 and
// BI_RGB describes). Text is drawn with a small built-in bitmap font, so no
// system font is involved and the output is the same on every machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kestrova {

enum class PatternKind : std::uint8_t {
    ColourBars = 0,      // 75% bars, a moving marker, the running clock and the frame counter
    MovingGradient = 1,  // a gradient that drifts with time, with the clock and counter in a box
};

// The largest width or height the renderer accepts.
inline constexpr int kMaxPatternDimension = 4096;

// What to render: the picture, its size and the two running values shown.
struct PatternRequest {
    PatternKind kind = PatternKind::ColourBars;
    int width = 0;
    int height = 0;
    std::uint32_t frameNumber = 0;   // shown as "FRAME 0000123"; moves the bar marker
    std::uint32_t milliseconds = 0;  // shown as "HH:MM:SS.mmm"; moves the gradient
};

// A rendered frame: the DIB bits of a width x height 24-bit image.
struct DibFrame {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bits;
};

// Bytes per DIB row: width * 3 rounded up to a multiple of 4.
std::size_t DibStride(int width);
// Bytes of a whole image (biSizeImage).
std::size_t DibImageSize(int width, int height);

// True when both sides are within 1..kMaxPatternDimension.
bool IsRenderableSize(int width, int height);

// Renders into bits, which must hold exactly DibImageSize(width, height)
// bytes (padding bytes are written as 0). Returns false and leaves bits
// alone when the size is not renderable or the buffer size does not match.
bool RenderPattern(const PatternRequest& request, std::span<std::uint8_t> bits);

// Renders into frame, sizing its buffer. False (frame untouched) when the
// size is not renderable.
bool RenderPattern(const PatternRequest& request, DibFrame& frame);

// The clock text: hours (at least two digits), minutes, seconds and
// milliseconds, e.g. "01:02:03.045".
std::string FormatPatternClock(std::uint32_t milliseconds);

// The counter text, e.g. "FRAME 0000123".
std::string FormatPatternCounter(std::uint32_t frameNumber);

}  // namespace kestrova
