// An AVI file read back chunk by chunk for the AVI writer's fuzz target:
// every header and size is checked as it is read, so a file that does not
// parse whole stops the run.
#pragma once

#include "capture/avi/avi_writer.h"
#include "fuzz_check.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

namespace kestrova::fuzz {

struct Chunk {
    std::uint32_t id = 0, size = 0, type = 0;
    std::uint64_t at = 0;
    std::uint64_t Data() const { return at + 8; }
    std::uint64_t End() const { return at + 8 + size + (size & 1); }
};

class AviFile {
public:
    explicit AviFile(const std::vector<std::uint8_t>& bytes) : b_(bytes) {}

    std::uint64_t Le(std::uint64_t at, int n = 4) const {
        KESTROVA_FUZZ_CHECK(at + static_cast<std::uint64_t>(n) <= b_.size());
        std::uint64_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = v << 8 | b_[at + static_cast<std::uint64_t>(i)];
        return v;
    }

    // The chunks of [begin, end); only at the top may the last one lack its
    // pad byte, or a rest too short for a chunk header follow.
    std::vector<Chunk> List(std::uint64_t begin, std::uint64_t end, bool top = false) const {
        std::vector<Chunk> out;
        std::uint64_t at = begin;
        for (; at + 8 <= end; at = out.back().End()) {
            Chunk c{static_cast<std::uint32_t>(Le(at)), static_cast<std::uint32_t>(Le(at + 4)), 0, at};
            KESTROVA_FUZZ_CHECK(c.Data() + c.size <= end);
            if (c.id == FourCC("RIFF") || c.id == FourCC("LIST")) {
                KESTROVA_FUZZ_CHECK(c.size >= 4);
                c.type = static_cast<std::uint32_t>(Le(at + 8));
            }
            out.push_back(c);
        }
        KESTROVA_FUZZ_CHECK(at == end || (top && (at == end + 1 || at + 8 > end)));
        return out;
    }
    std::vector<Chunk> Children(const Chunk& list) const { return List(list.Data() + 4, list.Data() + list.size); }

    bool Matches(const Chunk& c, std::span<const std::uint8_t> data) const {
        const auto at = b_.begin() + static_cast<std::ptrdiff_t>(c.Data());
        return c.size == data.size() && std::equal(data.begin(), data.end(), at);
    }

private:
    const std::vector<std::uint8_t>& b_;
};

inline void CheckIds(const std::vector<Chunk>& chunks, std::initializer_list<std::uint32_t> ids) {
    KESTROVA_FUZZ_CHECK(chunks.size() == ids.size());
    KESTROVA_FUZZ_CHECK(std::equal(ids.begin(), ids.end(), chunks.begin(), [](std::uint32_t id, const Chunk& c) {
        return id == c.id || (c.id == FourCC("LIST") && id == c.type);
    }));
}

}  // namespace kestrova::fuzz
