// Sizes at a display's DPI. Kestrova's own sizes (the status font's height,
// column widths) are given for 96 DPI and scaled to the DPI of the window
// that shows them; portable, so the rounding is tested natively.
#pragma once

#include <cstdint>
#include <limits>

namespace kestrova {

inline constexpr int kBaseDpi = 96;

// value * toDpi / fromDpi rounded to the nearest whole number, halves away
// from zero, as MulDiv rounds: a negative value scales to the negative of
// its magnitude scaled (a font's character height keeps its sign and size).
// A DPI of zero or less (unknown) counts as 96; the result is held to int.
constexpr int ScaleDpi(int value, int toDpi, int fromDpi = kBaseDpi) {
    const std::int64_t to = toDpi > 0 ? toDpi : kBaseDpi;
    const std::int64_t from = fromDpi > 0 ? fromDpi : kBaseDpi;
    const std::int64_t magnitude = value < 0 ? -static_cast<std::int64_t>(value) : value;
    std::int64_t scaled = (2 * magnitude * to + from) / (2 * from);
    if (value < 0) scaled = -scaled;
    if (scaled > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (scaled < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(scaled);
}

}  // namespace kestrova
