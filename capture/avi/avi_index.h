// The indexes of an AVI recording. Every RIFF ends its movi list with one
// standard index per stream ('ix00', 'ix01'; entries relative to the RIFF's
// start); each stream's super index ('indx', in its strl header) lists those,
// so OpenDML readers find every chunk. idx1, after the first RIFF's movi
// list, is for readers that only know that first RIFF.
#pragma once

#include "capture/avi/riff_chunks.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace kestrova::avi {

constexpr std::uint32_t kAviifKeyframe = 0x10;          // idx1 flags
constexpr std::uint32_t kIndexDeltaFrame = 0x80000000;  // standard index size bit

constexpr std::uint32_t kSuperIndexHeader = 24;  // indx data before its entries
constexpr std::uint32_t kSuperIndexEntry = 16;
constexpr std::uint32_t kStdIndexHeader = 24;    // ix## data before its entries
constexpr std::uint32_t kStdIndexEntry = 8;
constexpr std::uint32_t kIdx1Entry = 16;

// An ix## chunk with this many entries, its header included.
inline std::uint64_t StdIndexChunkBytes(std::uint32_t entries) {
    return 8 + kStdIndexHeader + static_cast<std::uint64_t>(kStdIndexEntry) * entries;
}

// An indx chunk with room for this many entries, its header included.
inline std::uint64_t SuperIndexChunkBytes(std::uint32_t entries) {
    return 8 + kSuperIndexHeader + static_cast<std::uint64_t>(kSuperIndexEntry) * entries;
}

struct SuperIndexEntry {
    std::uint64_t offset = 0;  // of the ix## chunk
    std::uint32_t size = 0;    // of the ix## chunk, header included
    std::uint32_t duration = 0;
};

// The super index entries a finished RIFF adds, one per stream that has chunks in it.
using SuperIndexAdditions = std::array<std::optional<SuperIndexEntry>, 2>;

// A data chunk as the standard index of its RIFF lists it.
struct IndexedChunk {
    int stream = 0;
    std::uint32_t offset = 0;  // of its data, from the RIFF's start
    std::uint32_t field = 0;   // its size, with kIndexDeltaFrame for a dropped frame

    std::uint32_t Size() const { return field & ~kIndexDeltaFrame; }
    bool Dropped() const { return (field & kIndexDeltaFrame) != 0; }
};

// The indexes of a recording: the entries of the RIFF being written (its
// standard indexes, and idx1 while it is the first) and the super index
// entries of the finished ones.
class AviIndexes {
public:
    AviIndexes() = default;
    // streams: 1 (video) or 2 (video and sound, whose blocks have
    // audioBlockAlign bytes); superEntries: the room of each super index.
    AviIndexes(int streams, std::uint32_t audioBlockAlign, std::uint32_t superEntries)
        : streamCount_(streams), audioBlockAlign_(audioBlockAlign), superEntries_(superEntries) {}

    // A data chunk of `stream`: where its data starts in the RIFF, where its
    // header lies after the movi list's type (only while idx1 lists the
    // chunks), its size, and whether it is a key frame (a dropped one is not).
    void Add(int stream, std::uint32_t inRiff, std::optional<std::uint32_t> inMovi, std::uint32_t size, bool key);

    // The bytes of the indexes that close the current RIFF, with one more
    // entry for stream (-1: for none) and, withIdx1, idx1 with one more too.
    std::uint64_t BytesWith(int stream, bool withIdx1) const;
    // Another RIFF needs a super index entry of every stream, besides the
    // one the current RIFF takes when it ends.
    bool CanStartRiff() const;

    // The standard indexes that close the current RIFF's movi list at `at`,
    // and the super index entry of each stream in `added`.
    Bytes StandardIndexes(std::uint64_t at, std::uint64_t riffStart, SuperIndexAdditions& added) const;
    // The idx1 chunk of the first RIFF.
    void PutIdx1(Bytes& out) const;
    // The current RIFF has been written with its indexes: its entries move to
    // the super indexes.
    void CommitRiff(const SuperIndexAdditions& added);
    // The first RIFF is complete: idx1 is no longer kept.
    void ReleaseIdx1() { Bytes().swap(idx1_); }

    // A stream's super index, all its reserved entries included.
    void PutSuperIndex(Bytes& out, int stream) const;

    // The end of the current RIFF's last data chunk, or its movi header's end.
    std::uint64_t DataEnd(std::uint64_t riffStart, std::uint64_t moviStart) const;
    // Takes the current RIFF's last data chunk out of its indexes (and out of
    // idx1 too, fromIdx1); nothing when the RIFF has none.
    std::optional<IndexedChunk> DropLast(bool fromIdx1);
    // The largest chunk of `stream` in the current RIFF (0 when it has none).
    std::uint32_t LargestInRiff(int stream) const;

private:
    // A stream's standard index entries of the current RIFF and the super
    // index entries of the finished ones.
    struct StreamIndex {
        Bytes entries;
        std::uint32_t duration = 0;  // frames, or audio blocks, in the current RIFF
        std::vector<SuperIndexEntry> super;

        std::uint32_t Count() const { return static_cast<std::uint32_t>(entries.size() / kStdIndexEntry); }
    };

    std::uint32_t Duration(int stream, std::uint32_t size) const { return stream == 0 ? 1 : size / audioBlockAlign_; }

    int streamCount_ = 1;
    std::uint32_t audioBlockAlign_ = 1;
    std::uint32_t superEntries_ = 0;
    std::array<StreamIndex, 2> streams_;
    Bytes idx1_;
};

}  // namespace kestrova::avi
