// A PCM audio format for the tests.
#pragma once

#include "capture/capture_port.h"

namespace kestrova::testing {

inline WaveFormat Pcm(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
    const auto align = static_cast<std::uint16_t>(channels * bits / 8);
    return WaveFormat{1, channels, rate, rate * align, align, bits, 0};
}

}  // namespace kestrova::testing
