// The AVI file a recording leaves, read back chunk by chunk and checked
// whole: it must parse, hold what was written and agree with the counts of
// the writer (or of the repair) and with its own indexes. Used by the AVI
// writer's unit test and fuzz target; a broken rule stops the run.
#pragma once

#include "../fuzz/fuzz_check.h"
#include "capture/avi/avi_writer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace kestrova::testing {

using Bytes = std::vector<std::uint8_t>;

// Every header and size is checked as it is read.
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
    // All chunks of the file in file order, a list before what it holds.
    std::vector<Chunk> Tree(std::uint64_t begin, std::uint64_t end, bool top = false) const {
        std::vector<Chunk> out;
        for (const Chunk& c : List(begin, end, top)) {
            out.push_back(c);
            if (c.type == 0) continue;
            const std::vector<Chunk> in = Tree(c.Data() + 4, c.Data() + c.size);
            out.insert(out.end(), in.begin(), in.end());
        }
        return out;
    }

    bool Matches(const Chunk& c, std::span<const std::uint8_t> data) const {
        const auto at = b_.begin() + static_cast<std::ptrdiff_t>(c.Data());
        return c.size == data.size() && std::equal(data.begin(), data.end(), at);
    }

private:
    const std::vector<std::uint8_t>& b_;
};

constexpr std::array<std::uint32_t, 2> kDataIds{FourCC("00db"), FourCC("01wb")};
constexpr std::array<std::uint32_t, 2> kIndexIds{FourCC("ix00"), FourCC("ix01")};

// Chunk data: byte i of the chunk with seed s is (i + s) mod 256.
inline std::span<const std::uint8_t> Content(std::size_t size, std::uint32_t seed) {
    static const Bytes ramp = [] {
        Bytes b((std::size_t{1} << 18) + 256);  // the largest wrong-sized frame fits
        for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i);
        return b;
    }();
    return std::span(ramp).subspan(seed % 256, size);
}

struct Written {
    int stream;  // 0 video (0 bytes: a dropped frame), 1 sound
    std::uint32_t size;
    std::uint32_t seed;
};

inline bool WriteChunk(AviWriter& w, const Written& c) {
    const std::span<const std::uint8_t> data = Content(c.size, c.seed);
    return c.stream == 1 ? w.WriteAudio(data) : c.size == 0 ? w.WriteDroppedFrame() : w.WriteVideoFrame(data);
}

// What a file must hold: the counts of the writer (or of the repair).
struct Expected {
    std::uint64_t fileBytes = 0;
    std::uint64_t recordedBytes = 0;
    std::optional<std::uint32_t> riffs;
    std::uint64_t frames = 0, dropped = 0, audioBytes = 0;
    bool all = true;  // every chunk written, not only a first part
};

inline Expected Of(const AviWriter& w, std::uint64_t preallocated) {
    return {std::max(w.RecordedBytes(), preallocated), w.RecordedBytes(), w.RiffChunks(),
            w.VideoFrames(),  w.DroppedFrames(), w.AudioBytes(), w.Error() == FileError::None};
}

// Whatever the options and wherever the disk filled; returns the file's top
// chunks (its RIFFs, then JUNK over an unused rest).
inline std::vector<Chunk> CheckFile(const Bytes& disk, const Expected& w, const std::vector<Written>& written,
               const std::optional<WaveFormat>& audio, const AviWriterOptions& options) {
    const AviFile f(disk);
    KESTROVA_FUZZ_CHECK(disk.size() == w.fileBytes);
    const std::vector<Chunk> top = f.List(0, disk.size(), true);
    std::size_t riffs = 0;
    while (riffs < top.size() && top[riffs].id == FourCC("RIFF")) ++riffs;
    KESTROVA_FUZZ_CHECK(riffs >= 1 && riffs == w.riffs.value_or(riffs) && top[riffs - 1].End() == w.recordedBytes);
    for (std::size_t i = riffs; i < top.size(); ++i) KESTROVA_FUZZ_CHECK(top[i].id == FourCC("JUNK"));

    // The first RIFF: headers, padding, movi, idx1 unless a full disk left no room.
    const std::vector<Chunk> first = f.Children(top[0]);
    KESTROVA_FUZZ_CHECK(top[0].type == FourCC("AVI ") && first.size() >= 3);
    const bool hasIdx1 = first.size() == 4;
    KESTROVA_FUZZ_CHECK(first[0].type == FourCC("hdrl") && first[1].id == FourCC("JUNK"));  // movi: below
    KESTROVA_FUZZ_CHECK(first[2].Data() + 4 == AviHeaderBytes(audio.has_value(), options));
    KESTROVA_FUZZ_CHECK(hasIdx1 || riffs == 1);
    const std::vector<Chunk> hdrl = f.Children(first[0]);
    const int streams = audio ? 2 : 1;
    KESTROVA_FUZZ_CHECK(hdrl.size() == static_cast<std::size_t>(2 + streams));

    // Every movi list, in order: data chunks, then this RIFF's standard indexes.
    std::vector<Chunk> data, indexes;
    std::size_t firstRiffData = 0;
    for (std::size_t r = 0; r < riffs; ++r) {
        KESTROVA_FUZZ_CHECK(top[r].End() - top[r].at <= options.riffBytes);
        Chunk movi = first[2];
        if (r > 0) {
            const std::vector<Chunk> avix = f.Children(top[r]);
            KESTROVA_FUZZ_CHECK(top[r].type == FourCC("AVIX") && avix.size() == 1);
            movi = avix[0];
        }
        KESTROVA_FUZZ_CHECK(movi.id == FourCC("LIST") && movi.type == FourCC("movi"));
        for (const Chunk& c : f.Children(movi)) {
            const bool isData = c.id == kDataIds[0] || (audio && c.id == kDataIds[1]);
            KESTROVA_FUZZ_CHECK(isData || c.id == kIndexIds[0] || (audio && c.id == kIndexIds[1]));
            (isData ? data : indexes).push_back(c);
        }
        if (r == 0) firstRiffData = data.size();
    }

    // The data chunks are what the writer took, all of it unless the disk filled.
    KESTROVA_FUZZ_CHECK(data.size() <= written.size());
    if (w.all) KESTROVA_FUZZ_CHECK(data.size() == written.size());
    std::uint64_t frames = 0, dropped = 0, firstFrames = 0, audioBytes = 0, largestAudio = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        KESTROVA_FUZZ_CHECK(data[i].id == kDataIds[written[i].stream]);
        KESTROVA_FUZZ_CHECK(f.Matches(data[i], Content(written[i].size, written[i].seed)));
        if (written[i].stream == 1) {
            audioBytes += data[i].size;
            largestAudio = std::max<std::uint64_t>(largestAudio, data[i].size);
            continue;
        }
        ++frames;
        dropped += data[i].size == 0 ? 1 : 0;
        firstFrames += i < firstRiffData ? 1 : 0;
    }
    const std::uint64_t blocks = audio ? audioBytes / audio->nBlockAlign : 0;
    const Chunk& avih = hdrl[0];
    KESTROVA_FUZZ_CHECK(frames == w.frames && dropped == w.dropped && audioBytes == w.audioBytes);
    KESTROVA_FUZZ_CHECK(f.Le(avih.Data() + 16) == firstFrames && ((f.Le(avih.Data() + 12) & 0x10) != 0) == hasIdx1);
    KESTROVA_FUZZ_CHECK(f.Le(f.Children(hdrl.back())[0].Data()) == frames);  // dmlh
    // idx1: the first RIFF's data chunks, relative to its movi list.
    KESTROVA_FUZZ_CHECK(!hasIdx1 || first[3].size == 16 * firstRiffData);
    for (std::size_t i = 0; hasIdx1 && i < firstRiffData; ++i) {
        const std::uint64_t e = first[3].Data() + 16 * i;
        const bool key = data[i].id == kDataIds[1] || data[i].size > 0;
        KESTROVA_FUZZ_CHECK(f.Le(e) == data[i].id && f.Le(e + 4) == (key ? 0x10u : 0u));
        KESTROVA_FUZZ_CHECK(first[2].Data() + f.Le(e + 8) == data[i].at && f.Le(e + 12) == data[i].size);
    }

    // Each stream: its strh length, and a super index whose standard indexes
    // list exactly its data chunks (none when the disk left no room for them).
    for (int s = 0; s < streams; ++s) {
        const std::vector<Chunk> strl = f.Children(hdrl[1 + static_cast<std::size_t>(s)]);
        KESTROVA_FUZZ_CHECK(strl.size() == 3 && strl[0].id == FourCC("strh") && strl[1].id == FourCC("strf") &&
                            strl[2].id == FourCC("indx"));
        KESTROVA_FUZZ_CHECK(f.Le(strl[0].Data() + 32) == (s == 0 ? frames : blocks));
        KESTROVA_FUZZ_CHECK(s == 0 || f.Le(strl[0].Data() + 36) == largestAudio);  // its buffer size
        const std::uint64_t x = strl[2].Data();
        const std::uint64_t entries = f.Le(x + 4);
        KESTROVA_FUZZ_CHECK(entries <= options.superIndexEntries && (hasIdx1 || entries == 0));
        std::vector<std::pair<std::uint64_t, std::uint64_t>> listed, expected;
        std::uint64_t duration = 0;
        for (std::uint64_t e = x + 24; e < x + 24 + 16 * entries; e += 16) {
            const std::uint64_t ix = f.Le(e, 8);
            KESTROVA_FUZZ_CHECK(std::any_of(indexes.begin(), indexes.end(), [&](const Chunk& c) {
                return c.at == ix && c.id == kIndexIds[static_cast<std::size_t>(s)];
            }));
            const std::uint64_t base = f.Le(ix + 20, 8);
            duration += f.Le(e + 12);
            for (std::uint64_t k = ix + 32; k < ix + 32 + 8 * f.Le(ix + 12); k += 8) {
                listed.emplace_back(base + f.Le(k), f.Le(k + 4));
            }
        }
        if (!hasIdx1) continue;
        for (const Chunk& c : data) {
            if (c.id != kDataIds[static_cast<std::size_t>(s)]) continue;
            expected.emplace_back(c.Data(), c.size | (s == 1 || c.size > 0 ? 0 : 0x80000000u));
        }
        KESTROVA_FUZZ_CHECK(listed == expected && duration == (s == 0 ? frames : blocks));
    }
    return top;
}

}  // namespace kestrova::testing
