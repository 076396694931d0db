#include "capture/pattern_device/pattern_renderer.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace kestrova {

namespace {

// ---------------------------------------------------------------------------
// The bitmap font: 5 x 7 cells, one byte per row, bit 4 the leftmost column.

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = kGlyphWidth + 1;
constexpr int kLineAdvance = kGlyphHeight + 2;

using GlyphRows = std::array<std::uint8_t, kGlyphHeight>;

constexpr std::uint8_t Row(const char (&cells)[kGlyphWidth + 1]) {
    std::uint8_t mask = 0;
    for (int i = 0; i < kGlyphWidth; ++i) mask = static_cast<std::uint8_t>((mask << 1) | (cells[i] == '#' ? 1 : 0));
    return mask;
}

struct Glyph {
    char ch;
    GlyphRows rows;
};

// clang-format off
constexpr Glyph kGlyphs[] = {
    {'0', {Row(" ### "), Row("#   #"), Row("#  ##"), Row("# # #"), Row("##  #"), Row("#   #"), Row(" ### ")}},
    {'1', {Row("  #  "), Row(" ##  "), Row("  #  "), Row("  #  "), Row("  #  "), Row("  #  "), Row(" ### ")}},
    {'2', {Row(" ### "), Row("#   #"), Row("    #"), Row("   # "), Row("  #  "), Row(" #   "), Row("#####")}},
    {'3', {Row("#####"), Row("   # "), Row("  #  "), Row("   # "), Row("    #"), Row("#   #"), Row(" ### ")}},
    {'4', {Row("   # "), Row("  ## "), Row(" # # "), Row("#  # "), Row("#####"), Row("   # "), Row("   # ")}},
    {'5', {Row("#####"), Row("#    "), Row("#### "), Row("    #"), Row("    #"), Row("#   #"), Row(" ### ")}},
    {'6', {Row("  ## "), Row(" #   "), Row("#    "), Row("#### "), Row("#   #"), Row("#   #"), Row(" ### ")}},
    {'7', {Row("#####"), Row("    #"), Row("   # "), Row("  #  "), Row(" #   "), Row(" #   "), Row(" #   ")}},
    {'8', {Row(" ### "), Row("#   #"), Row("#   #"), Row(" ### "), Row("#   #"), Row("#   #"), Row(" ### ")}},
    {'9', {Row(" ### "), Row("#   #"), Row("#   #"), Row(" ####"), Row("    #"), Row("   # "), Row(" ##  ")}},
    {':', {Row("     "), Row(" ##  "), Row(" ##  "), Row("     "), Row(" ##  "), Row(" ##  "), Row("     ")}},
    {'.', {Row("     "), Row("     "), Row("     "), Row("     "), Row("     "), Row(" ##  "), Row(" ##  ")}},
    {'-', {Row("     "), Row("     "), Row("     "), Row("#####"), Row("     "), Row("     "), Row("     ")}},
    {'A', {Row(" ### "), Row("#   #"), Row("#   #"), Row("#####"), Row("#   #"), Row("#   #"), Row("#   #")}},
    {'B', {Row("#### "), Row("#   #"), Row("#   #"), Row("#### "), Row("#   #"), Row("#   #"), Row("#### ")}},
    {'C', {Row(" ### "), Row("#   #"), Row("#    "), Row("#    "), Row("#    "), Row("#   #"), Row(" ### ")}},
    {'D', {Row("###  "), Row("#  # "), Row("#   #"), Row("#   #"), Row("#   #"), Row("#  # "), Row("###  ")}},
    {'E', {Row("#####"), Row("#    "), Row("#    "), Row("#### "), Row("#    "), Row("#    "), Row("#####")}},
    {'F', {Row("#####"), Row("#    "), Row("#    "), Row("#### "), Row("#    "), Row("#    "), Row("#    ")}},
    {'G', {Row(" ### "), Row("#   #"), Row("#    "), Row("# ###"), Row("#   #"), Row("#   #"), Row(" ####")}},
    {'H', {Row("#   #"), Row("#   #"), Row("#   #"), Row("#####"), Row("#   #"), Row("#   #"), Row("#   #")}},
    {'I', {Row(" ### "), Row("  #  "), Row("  #  "), Row("  #  "), Row("  #  "), Row("  #  "), Row(" ### ")}},
    {'J', {Row("  ###"), Row("   # "), Row("   # "), Row("   # "), Row("   # "), Row("#  # "), Row(" ##  ")}},
    {'K', {Row("#   #"), Row("#  # "), Row("# #  "), Row("##   "), Row("# #  "), Row("#  # "), Row("#   #")}},
    {'L', {Row("#    "), Row("#    "), Row("#    "), Row("#    "), Row("#    "), Row("#    "), Row("#####")}},
    {'M', {Row("#   #"), Row("## ##"), Row("# # #"), Row("# # #"), Row("#   #"), Row("#   #"), Row("#   #")}},
    {'N', {Row("#   #"), Row("#   #"), Row("##  #"), Row("# # #"), Row("#  ##"), Row("#   #"), Row("#   #")}},
    {'O', {Row(" ### "), Row("#   #"), Row("#   #"), Row("#   #"), Row("#   #"), Row("#   #"), Row(" ### ")}},
    {'P', {Row("#### "), Row("#   #"), Row("#   #"), Row("#### "), Row("#    "), Row("#    "), Row("#    ")}},
    {'Q', {Row(" ### "), Row("#   #"), Row("#   #"), Row("#   #"), Row("# # #"), Row("#  # "), Row(" ## #")}},
    {'R', {Row("#### "), Row("#   #"), Row("#   #"), Row("#### "), Row("# #  "), Row("#  # "), Row("#   #")}},
    {'S', {Row(" ####"), Row("#    "), Row("#    "), Row(" ### "), Row("    #"), Row("    #"), Row("#### ")}},
    {'T', {Row("#####"), Row("  #  "), Row("  #  "), Row("  #  "), Row("  #  "), Row("  #  "), Row("  #  ")}},
    {'U', {Row("#   #"), Row("#   #"), Row("#   #"), Row("#   #"), Row("#   #"), Row("#   #"), Row(" ### ")}},
    {'V', {Row("#   #"), Row("#   #"), Row("#   #"), Row("#   #"), Row("#   #"), Row(" # # "), Row("  #  ")}},
    {'W', {Row("#   #"), Row("#   #"), Row("#   #"), Row("# # #"), Row("# # #"), Row("# # #"), Row(" # # ")}},
    {'X', {Row("#   #"), Row("#   #"), Row(" # # "), Row("  #  "), Row(" # # "), Row("#   #"), Row("#   #")}},
    {'Y', {Row("#   #"), Row("#   #"), Row(" # # "), Row("  #  "), Row("  #  "), Row("  #  "), Row("  #  ")}},
    {'Z', {Row("#####"), Row("    #"), Row("   # "), Row("  #  "), Row(" #   "), Row("#    "), Row("#####")}},
};
// clang-format on

// Indexed by character code; characters without a glyph draw as blanks.
constexpr std::array<GlyphRows, 128> MakeFontTable() {
    std::array<GlyphRows, 128> table{};
    for (const Glyph& glyph : kGlyphs) table[static_cast<unsigned char>(glyph.ch)] = glyph.rows;
    return table;
}
constexpr std::array<GlyphRows, 128> kFont = MakeFontTable();

// ---------------------------------------------------------------------------
// Drawing into the bottom-up image. Coordinates are top-down, as a viewer
// sees the picture.

struct Bgr {
    std::uint8_t b;
    std::uint8_t g;
    std::uint8_t r;
};

constexpr Bgr kBlack{0, 0, 0};
constexpr Bgr kWhite{255, 255, 255};
constexpr Bgr kTextBox{24, 24, 24};

struct Canvas {
    std::uint8_t* bits;
    int width;
    int height;
    std::size_t stride;

    // The first byte of the top-down row y.
    std::uint8_t* RowAt(int y) const { return bits + static_cast<std::size_t>(height - 1 - y) * stride; }

    // Fills the rectangle, clipped to the image.
    void Fill(int left, int top, int right, int bottom, Bgr colour) const {
        left = std::max(left, 0);
        top = std::max(top, 0);
        right = std::min(right, width);
        bottom = std::min(bottom, height);
        if (left >= right || top >= bottom) return;
        for (int y = top; y < bottom; ++y) {
            std::uint8_t* p = RowAt(y) + static_cast<std::size_t>(left) * 3;
            for (int x = left; x < right; ++x, p += 3) {
                p[0] = colour.b;
                p[1] = colour.g;
                p[2] = colour.r;
            }
        }
    }

    // Copies the top-down row `from` onto the rows first..last-1.
    void RepeatRow(int from, int first, int last) const {
        const std::size_t bytes = static_cast<std::size_t>(width) * 3;
        for (int y = first; y < last; ++y) std::memcpy(RowAt(y), RowAt(from), bytes);
    }
};

// Width and height in pixels of text at the given scale.
int TextWidth(std::string_view text, int scale) {
    if (text.empty()) return 0;
    return (static_cast<int>(text.size()) * kGlyphAdvance - 1) * scale;
}

void DrawText(const Canvas& canvas, int left, int top, std::string_view text, int scale, Bgr colour) {
    int x = left;
    for (char ch : text) {
        const auto code = static_cast<unsigned char>(ch);
        const GlyphRows& rows = kFont[code < kFont.size() ? code : 0];
        for (int gy = 0; gy < kGlyphHeight; ++gy) {
            for (int gx = 0; gx < kGlyphWidth; ++gx) {
                if ((rows[static_cast<std::size_t>(gy)] & (0x10 >> gx)) == 0) continue;
                const int px = x + gx * scale;
                const int py = top + gy * scale;
                canvas.Fill(px, py, px + scale, py + scale, colour);
            }
        }
        x += kGlyphAdvance * scale;
    }
}

// Text scale for the picture: one font pixel per 120 rows, at least 1, and
// never so large that the clock runs off a narrow picture.
int TextScale(int width, int height) { return std::max(1, std::min(height / 120, width / 100)); }

// The clock above the counter, centred on (centreX, top..).
void DrawClockAndCounter(const Canvas& canvas, int centreX, int top, int scale, const PatternRequest& request,
                         Bgr colour) {
    const std::string clock = FormatPatternClock(request.milliseconds);
    const std::string counter = FormatPatternCounter(request.frameNumber);
    DrawText(canvas, centreX - TextWidth(clock, scale) / 2, top, clock, scale, colour);
    DrawText(canvas, centreX - TextWidth(counter, scale) / 2, top + kLineAdvance * scale, counter, scale, colour);
}

// Height of the two text lines.
int ClockAndCounterHeight(int scale) { return (kLineAdvance + kGlyphHeight) * scale; }

// ---------------------------------------------------------------------------
// Colour bars: seven 75% bars over two thirds of the picture, a strip of
// reversed bars with a marker that steps one place per frame, and a black
// band with the clock and the frame counter.

constexpr std::array<Bgr, 7> kBars{{
    {191, 191, 191},  // white
    {0, 191, 191},    // yellow
    {191, 191, 0},    // cyan
    {0, 191, 0},      // green
    {191, 0, 191},    // magenta
    {0, 0, 191},      // red
    {191, 0, 0},      // blue
}};

constexpr std::array<Bgr, 7> kReversedBars{{
    {191, 0, 0},      // blue
    {0, 0, 0},        // black
    {191, 0, 191},    // magenta
    {0, 0, 0},        // black
    {191, 191, 0},    // cyan
    {0, 0, 0},        // black
    {191, 191, 191},  // white
}};

constexpr std::uint32_t kMarkerSteps = 64;  // frames for the marker to cross the strip

void FillBarRow(const Canvas& canvas, int y, const std::array<Bgr, 7>& bars) {
    std::uint8_t* p = canvas.RowAt(y);
    for (int x = 0; x < canvas.width; ++x, p += 3) {
        const Bgr& c = bars[static_cast<std::size_t>(x * 7 / canvas.width)];
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
    }
}

void RenderColourBars(const Canvas& canvas, const PatternRequest& request) {
    const int w = canvas.width;
    const int h = canvas.height;
    const int barsEnd = h * 2 / 3;
    const int stripEnd = h * 3 / 4;

    if (barsEnd > 0) {
        FillBarRow(canvas, 0, kBars);
        canvas.RepeatRow(0, 1, barsEnd);
    }
    if (stripEnd > barsEnd) {
        FillBarRow(canvas, barsEnd, kReversedBars);
        canvas.RepeatRow(barsEnd, barsEnd + 1, stripEnd);
        const int markerWidth = std::max(2, w / 16);
        const auto travel = static_cast<std::uint32_t>(std::max(0, w - markerWidth));
        const int markerLeft =
            static_cast<int>(request.frameNumber % kMarkerSteps * travel / (kMarkerSteps - 1));
        canvas.Fill(markerLeft, barsEnd, markerLeft + markerWidth, stripEnd, kWhite);
    }
    canvas.Fill(0, stripEnd, w, h, kBlack);

    const int scale = TextScale(w, h);
    const int textTop = stripEnd + (h - stripEnd - ClockAndCounterHeight(scale)) / 2;
    DrawClockAndCounter(canvas, w / 2, textTop, scale, request, kWhite);
}

// ---------------------------------------------------------------------------
// Moving gradient: red runs across, green runs down and blue runs along the
// diagonal, each a triangle wave that drifts at its own speed, so every
// pixel changes over time and nothing jumps.

// 0..255..0 over a period of 512.
constexpr std::uint8_t Triangle(std::uint32_t v) {
    const std::uint32_t t = v & 511u;
    return static_cast<std::uint8_t>(t < 256u ? t : 511u - t);
}

// Drift in wave units: `perSecond` units per second (512 units per cycle).
std::uint32_t Drift(std::uint32_t milliseconds, std::uint32_t perSecond) {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(milliseconds) * perSecond / 1000u);
}

void RenderGradient(const Canvas& canvas, const PatternRequest& request) {
    const int w = canvas.width;
    const int h = canvas.height;
    const std::uint32_t redDrift = Drift(request.milliseconds, 128);   // 4 s per cycle
    const std::uint32_t greenDrift = Drift(request.milliseconds, 64);  // 8 s per cycle
    const std::uint32_t blueDrift = Drift(request.milliseconds, 96);

    // Red by column and blue by x + y, computed once per frame.
    std::array<std::uint8_t, kMaxPatternDimension> red{};
    std::array<std::uint8_t, 2 * kMaxPatternDimension> blue{};
    for (int x = 0; x < w; ++x)
        red[static_cast<std::size_t>(x)] = Triangle(static_cast<std::uint32_t>(x * 512 / w) + redDrift);
    for (int d = 0; d < w + h; ++d)
        blue[static_cast<std::size_t>(d)] = Triangle(static_cast<std::uint32_t>(d * 256 / h) - blueDrift);

    for (int y = 0; y < h; ++y) {
        const std::uint8_t green = Triangle(static_cast<std::uint32_t>(y * 512 / h) - greenDrift);
        const std::uint8_t* diagonal = blue.data() + y;
        std::uint8_t* p = canvas.RowAt(y);
        for (int x = 0; x < w; ++x, p += 3) {
            p[0] = diagonal[x];
            p[1] = green;
            p[2] = red[static_cast<std::size_t>(x)];
        }
    }

    const int scale = TextScale(w, h);
    const int margin = 3 * scale;
    const int boxWidth = TextWidth(FormatPatternCounter(request.frameNumber), scale) + 2 * margin;
    const int boxHeight = ClockAndCounterHeight(scale) + 2 * margin;
    const int boxLeft = margin;
    const int boxTop = h - margin - boxHeight;
    canvas.Fill(boxLeft, boxTop, boxLeft + boxWidth, boxTop + boxHeight, kTextBox);
    DrawClockAndCounter(canvas, boxLeft + boxWidth / 2, boxTop + margin, scale, request, kWhite);
}

}  // namespace

std::size_t DibStride(int width) {
    if (width <= 0) return 0;
    return (static_cast<std::size_t>(width) * 3 + 3) & ~static_cast<std::size_t>(3);
}

std::size_t DibImageSize(int width, int height) {
    if (height <= 0) return 0;
    return DibStride(width) * static_cast<std::size_t>(height);
}

bool IsRenderableSize(int width, int height) {
    return width >= 1 && height >= 1 && width <= kMaxPatternDimension && height <= kMaxPatternDimension;
}

bool RenderPattern(const PatternRequest& request, std::span<std::uint8_t> bits) {
    if (!IsRenderableSize(request.width, request.height)) return false;
    if (bits.size() != DibImageSize(request.width, request.height)) return false;

    const Canvas canvas{bits.data(), request.width, request.height, DibStride(request.width)};
    const std::size_t used = static_cast<std::size_t>(request.width) * 3;
    if (canvas.stride != used) {
        for (int y = 0; y < request.height; ++y) std::memset(canvas.RowAt(y) + used, 0, canvas.stride - used);
    }
    switch (request.kind) {
    case PatternKind::MovingGradient:
        RenderGradient(canvas, request);
        break;
    case PatternKind::ColourBars:
    default:
        RenderColourBars(canvas, request);
        break;
    }
    return true;
}

bool RenderPattern(const PatternRequest& request, DibFrame& frame) {
    if (!IsRenderableSize(request.width, request.height)) return false;
    frame.bits.resize(DibImageSize(request.width, request.height));
    frame.width = request.width;
    frame.height = request.height;
    return RenderPattern(request, std::span<std::uint8_t>(frame.bits));
}

std::string FormatPatternClock(std::uint32_t milliseconds) {
    const std::uint32_t hours = milliseconds / 3600000u;
    const std::uint32_t minutes = milliseconds / 60000u % 60u;
    const std::uint32_t seconds = milliseconds / 1000u % 60u;
    const std::uint32_t millis = milliseconds % 1000u;
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", static_cast<unsigned>(hours),
                  static_cast<unsigned>(minutes), static_cast<unsigned>(seconds), static_cast<unsigned>(millis));
    return text;
}

std::string FormatPatternCounter(std::uint32_t frameNumber) {
    char text[32];
    std::snprintf(text, sizeof text, "FRAME %07u", static_cast<unsigned>(frameNumber));
    return text;
}

}  // namespace kestrova
