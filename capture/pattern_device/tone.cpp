#include "capture/pattern_device/tone.h"

#include <cmath>
#include <numbers>

namespace kestrova {

namespace {

constexpr std::uint64_t kMicrosecondsPerSecond = 1000000;

// The tone's value at sample n, in -1..1. The phase is taken modulo the rate
// in whole numbers first, so it stays exact however far into a recording n is.
double ToneAt(std::uint64_t n, std::uint32_t rate) {
    const std::uint64_t step = (n % rate) * kTestToneFrequency % rate;
    return std::sin(2.0 * std::numbers::pi * static_cast<double>(step) / static_cast<double>(rate));
}

}  // namespace

std::uint64_t SamplesForDuration(std::uint64_t microseconds, std::uint32_t rate) {
    // Whole seconds and the rest apart: the product never overflows.
    const std::uint64_t seconds = microseconds / kMicrosecondsPerSecond;
    const std::uint64_t rest = microseconds % kMicrosecondsPerSecond;
    return seconds * rate + rest * rate / kMicrosecondsPerSecond;
}

void AppendTone(const WaveFormat& format, std::uint64_t first, std::uint32_t count, std::vector<std::uint8_t>& out) {
    const bool eightBit = format.wBitsPerSample == 8;
    if ((!eightBit && format.wBitsPerSample != 16) || format.nChannels == 0 || format.nSamplesPerSec == 0) return;
    const std::size_t bytesPerSample = eightBit ? 1 : 2;
    out.reserve(out.size() + static_cast<std::size_t>(count) * format.nChannels * bytesPerSample);
    for (std::uint32_t i = 0; i < count; ++i) {
        const double value = ToneAt(first + i, format.nSamplesPerSec);
        for (std::uint16_t channel = 0; channel < format.nChannels; ++channel) {
            if (eightBit) {
                out.push_back(static_cast<std::uint8_t>(128 + std::lround(value * 64.0)));
            } else {
                const auto sample = static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(value * 16384.0)));
                out.push_back(static_cast<std::uint8_t>(sample & 0xFF));
                out.push_back(static_cast<std::uint8_t>(sample >> 8));
            }
        }
    }
}

}  // namespace kestrova
