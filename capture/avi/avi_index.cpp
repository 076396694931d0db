#include "capture/avi/avi_index.h"

#include <algorithm>

namespace kestrova::avi {
namespace {

constexpr std::array<std::uint32_t, 2> kIndexIds{FourCC("ix00"), FourCC("ix01")};
constexpr std::uint8_t kIndexOfIndexes = 0;
constexpr std::uint8_t kIndexOfChunks = 1;

}  // namespace

void AviIndexes::Add(int stream, std::uint32_t inRiff, std::optional<std::uint32_t> inMovi, std::uint32_t size,
                     bool key) {
    if (inMovi) {
        Put32(idx1_, kChunkIds[stream]);
        Put32(idx1_, key ? kAviifKeyframe : 0);
        Put32(idx1_, *inMovi);
        Put32(idx1_, size);
    }
    StreamIndex& index = streams_[stream];
    Put32(index.entries, inRiff);
    Put32(index.entries, size | (key ? 0 : kIndexDeltaFrame));
    index.duration += Duration(stream, size);
}

std::uint64_t AviIndexes::BytesWith(int stream, bool withIdx1) const {
    std::uint64_t bytes = 0;
    for (int s = 0; s < streamCount_; ++s) {
        const std::uint32_t n = streams_[s].Count() + (s == stream ? 1 : 0);
        if (n > 0) bytes += StdIndexChunkBytes(n);
    }
    if (withIdx1) bytes += 8 + idx1_.size() + kIdx1Entry;
    return bytes;
}

bool AviIndexes::CanStartRiff() const {
    for (int s = 0; s < streamCount_; ++s) {
        const std::size_t taken = streams_[s].super.size() + (streams_[s].entries.empty() ? 0 : 1);
        if (taken + 1 > superEntries_) return false;
    }
    return true;
}

Bytes AviIndexes::StandardIndexes(std::uint64_t at, std::uint64_t riffStart, SuperIndexAdditions& added) const {
    Bytes out;
    for (int s = 0; s < streamCount_; ++s) {
        const StreamIndex& index = streams_[s];
        if (index.entries.empty()) continue;
        const std::uint32_t n = index.Count();
        added[s] = SuperIndexEntry{at + out.size(), static_cast<std::uint32_t>(StdIndexChunkBytes(n)), index.duration};
        Put32(out, kIndexIds[s]);
        Put32(out, static_cast<std::uint32_t>(StdIndexChunkBytes(n) - 8));
        Put16(out, 2);  // wLongsPerEntry
        out.push_back(0);
        out.push_back(kIndexOfChunks);
        Put32(out, n);
        Put32(out, kChunkIds[s]);
        Put64(out, riffStart);  // qwBaseOffset
        Put32(out, 0);
        out.insert(out.end(), index.entries.begin(), index.entries.end());
    }
    return out;
}

void AviIndexes::PutIdx1(Bytes& out) const {
    Put32(out, FourCC("idx1"));
    Put32(out, static_cast<std::uint32_t>(idx1_.size()));
    out.insert(out.end(), idx1_.begin(), idx1_.end());
}

void AviIndexes::CommitRiff(const SuperIndexAdditions& added) {
    for (int s = 0; s < streamCount_; ++s) {
        if (!added[s]) continue;
        streams_[s].super.push_back(*added[s]);
        streams_[s].entries.clear();
        streams_[s].duration = 0;
    }
}

void AviIndexes::PutSuperIndex(Bytes& out, int stream) const {
    const StreamIndex& index = streams_[stream];
    Put32(out, FourCC("indx"));
    Put32(out, kSuperIndexHeader + kSuperIndexEntry * superEntries_);
    Put16(out, 4);  // wLongsPerEntry
    out.push_back(0);
    out.push_back(kIndexOfIndexes);
    Put32(out, static_cast<std::uint32_t>(index.super.size()));
    Put32(out, kChunkIds[stream]);
    PutZeros(out, 12);
    for (const SuperIndexEntry& e : index.super) {
        Put64(out, e.offset);
        Put32(out, e.size);
        Put32(out, e.duration);
    }
    PutZeros(out, std::size_t{kSuperIndexEntry} * (superEntries_ - index.super.size()));
}

std::uint64_t AviIndexes::DataEnd(std::uint64_t riffStart, std::uint64_t moviStart) const {
    std::uint64_t end = moviStart + 12;
    for (int s = 0; s < streamCount_; ++s) {
        const Bytes& e = streams_[s].entries;
        if (e.empty()) continue;
        const std::uint32_t size = Load32(&e[e.size() - 4]) & ~kIndexDeltaFrame;
        end = std::max(end, riffStart + Load32(&e[e.size() - 8]) + size + (size & 1));
    }
    return end;
}

std::optional<IndexedChunk> AviIndexes::DropLast(bool fromIdx1) {
    int last = -1;
    std::uint32_t lastOffset = 0;
    for (int s = 0; s < streamCount_; ++s) {
        const Bytes& e = streams_[s].entries;
        if (!e.empty() && (last < 0 || Load32(&e[e.size() - 8]) > lastOffset)) {
            last = s;
            lastOffset = Load32(&e[e.size() - 8]);
        }
    }
    if (last < 0) return std::nullopt;
    StreamIndex& index = streams_[last];
    const IndexedChunk dropped{last, lastOffset, Load32(&index.entries[index.entries.size() - 4])};
    index.entries.erase(index.entries.end() - kStdIndexEntry, index.entries.end());
    if (fromIdx1 && idx1_.size() >= kIdx1Entry) idx1_.erase(idx1_.end() - kIdx1Entry, idx1_.end());
    index.duration -= Duration(last, dropped.Size());
    return dropped;
}

std::uint32_t AviIndexes::LargestInRiff(int stream) const {
    const Bytes& e = streams_[stream].entries;
    std::uint32_t largest = 0;
    for (std::size_t at = 0; at < e.size(); at += kStdIndexEntry) {
        largest = std::max(largest, Load32(&e[at + 4]) & ~kIndexDeltaFrame);
    }
    return largest;
}

}  // namespace kestrova::avi
