// The sound of the built-in test-pattern device: a steady 1 kHz sine at half
// full scale, in any PCM format the device accepts (8-bit unsigned or 16-bit
// signed little-endian samples, one or two channels carrying the same
// signal). Each sample is a function of its index alone, so a recording can
// produce the tone in pieces of any length without clicks at the joins.
#pragma once

#include "capture/capture_port.h"

#include <cstdint>
#include <vector>

namespace kestrova {

inline constexpr std::uint32_t kTestToneFrequency = 1000;

// Sample frames (samples per channel) that cover `microseconds` at `rate`
// samples per second, rounded down. Exact over the whole 64-bit range of
// times, so cumulative totals computed from it never drift.
std::uint64_t SamplesForDuration(std::uint64_t microseconds, std::uint32_t rate);

// Appends `count` sample frames of the tone, starting at sample `first`, in
// the layout of `format` (count * nBlockAlign bytes). Nothing is appended for
// a format with a bit depth other than 8 or 16 or without channels.
void AppendTone(const WaveFormat& format, std::uint64_t first, std::uint32_t count, std::vector<std::uint8_t>& out);

}  // namespace kestrova
