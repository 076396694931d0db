// The pieces every part of the AVI writer lays down: little-endian numbers
// and RIFF lists, built in memory before they go to the file.
#pragma once

#include "capture/avi/avi_writer.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrova::avi {

using Bytes = std::vector<std::uint8_t>;

// The data chunks of the two streams: video frames and sound.
constexpr std::array<std::uint32_t, 2> kChunkIds{FourCC("00db"), FourCC("01wb")};

inline void Put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void Put32(Bytes& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

inline void Put64(Bytes& out, std::uint64_t v) {
    Put32(out, static_cast<std::uint32_t>(v));
    Put32(out, static_cast<std::uint32_t>(v >> 32));
}

inline void PutZeros(Bytes& out, std::size_t n) { out.insert(out.end(), n, 0); }

inline void Store32(std::uint8_t* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline std::uint32_t Load32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

// Opens a LIST (or RIFF) chunk in out; CloseList fills in its size.
inline std::size_t OpenList(Bytes& out, std::uint32_t id, std::uint32_t type) {
    const std::size_t at = out.size();
    Put32(out, id);
    Put32(out, 0);
    Put32(out, type);
    return at;
}

inline void CloseList(Bytes& out, std::size_t at) {
    Store32(out.data() + at + 4, static_cast<std::uint32_t>(out.size() - at - 8));
}

inline std::uint32_t SaturatedU32(std::uint64_t v) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(v, 0xFFFFFFFF));
}

}  // namespace kestrova::avi
