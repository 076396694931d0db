// A PCM audio format for the tests.
#pragma once

#include "capture/capture_port.h"

namespace kestrova::testing {

inline WaveFormat Pcm(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
    WaveFormat f;
    f.wFormatTag = 1;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

}  // namespace kestrova::testing
