// What is left when a recording goes wrong: finishing the file after a failed
// write (a full disk), and reading back how much of a file is a complete
// recording (after a crash or a kill, for Save As).
#include "capture/avi/avi_writer_impl.h"

#include <algorithm>

namespace kestrova {

using avi::Bytes;
using avi::Load32;

// Takes the current RIFF's last data chunk back out of the recording.
void AviWriter::Impl::DropLastChunk() {
    const std::optional<avi::IndexedChunk> dropped = indexes.DropLast(first.writing);
    if (!dropped) return;
    --chunksInRiff;
    if (dropped->stream == 0) {
        --counts.videoFrames;
        if (dropped->Dropped()) --counts.droppedFrames;
    } else {
        counts.audioBytes -= dropped->Size();
        // The headers' buffer size is the largest chunk the file holds.
        counts.largestAudioChunk = std::max(largestAudioFinished, indexes.LargestInRiff(1));
    }
}

// Ends the recording with the chunks wholly on the disk: those a failed
// write cut off are taken back. When the indexes find no room, the last
// chunks give up theirs, so the file keeps its indexes unless writing
// fails for another reason than a full disk. Only the headers, written
// over the file's start, need no room at all.
void AviWriter::Impl::Salvage() {
    buffer.clear();
    while (chunksInRiff > 0 && DataEnd() > bufferBase) DropLastChunk();
    for (int attempt = 0;; ++attempt) {
        const std::uint64_t end = DataEnd();
        // Whatever lies after the chunks kept is given up; the room a
        // pre-allocated file had stays.
        bufferBase = end;
        // Best effort: what a failed cut leaves lies after the chunks kept,
        // where the index and the RIFF's end are written next.
        static_cast<void>(file->Truncate(std::max(end, sizeAtOpen)));
        failed = false;
        if (!first.writing && chunksInRiff == 0) {
            // An AVIX with nothing in it: the RIFF before it is whole.
            bufferBase = riffStart;
            static_cast<void>(file->Truncate(std::max(riffStart, sizeAtOpen)));  // outside every RIFF either way
            --riffChunks;
            return;
        }
        if (FinishRiff()) return;
        if (error != FileError::DiskFull || chunksInRiff == 0 || attempt >= 64) break;
        const std::uint64_t wanted = IndexBytesWith(-1) + (std::uint64_t{64} << 10);
        const std::uint64_t target = end > wanted ? end - wanted : 0;
        while (chunksInRiff > 0 && DataEnd() > target) DropLastChunk();
    }
    // No index could be written: the first RIFF is kept for readers that
    // scan its chunks; a later one goes.
    failed = false;
    const std::uint64_t end = DataEnd();
    bufferBase = end;
    if (first.writing) {
        EndFirstRiff(end, end, false);
    } else {
        while (chunksInRiff > 0) DropLastChunk();
        bufferBase = riffStart;
        --riffChunks;
    }
    static_cast<void>(file->Truncate(std::max(bufferBase, sizeAtOpen)));  // outside every RIFF either way
}

namespace {

// How many RIFFs the headers know as finished: the most entries any stream's
// super index has in use. Nothing when the headers carry no super index.
std::optional<std::uint32_t> RiffsTheHeadersKnow(const AviReader& read, std::uint64_t size) {
    std::uint8_t head[24];
    if (size < sizeof head || !read(0, head) || Load32(head + 12) != FourCC("LIST") ||
        Load32(head + 20) != FourCC("hdrl")) {
        return std::nullopt;
    }
    const std::uint64_t hdrlEnd = std::min<std::uint64_t>(20 + std::uint64_t{Load32(head + 16)}, size);
    Bytes hdrl(static_cast<std::size_t>(std::min<std::uint64_t>(hdrlEnd, std::uint64_t{4} << 20)));
    if (!read(0, hdrl)) return std::nullopt;
    std::optional<std::uint32_t> known;
    // The strl lists hold their indx after strh and strf; walk the chunks.
    const auto walk = [&](std::size_t at, std::size_t end, auto& self) -> void {
        while (at + 8 <= end) {
            const std::uint32_t id = Load32(&hdrl[at]);
            const std::uint32_t length = Load32(&hdrl[at + 4]);
            if (id == FourCC("LIST") && at + 12 <= end) {
                self(at + 12, std::min<std::size_t>(end, at + 8 + length), self);
            } else if (id == FourCC("indx") && at + 16 <= end) {
                known = std::max(known.value_or(0), Load32(&hdrl[at + 12]));
            }
            at += 8 + length + (length & 1);
        }
    };
    walk(24, hdrl.size(), walk);
    return known;
}

}  // namespace

std::uint64_t RecordedAviBytes(const AviReader& read, std::uint64_t size) {
    // A RIFF counts once its size is written and the headers know it: a
    // recording stopped between the two (a kill) ends before it.
    const std::optional<std::uint32_t> known = RiffsTheHeadersKnow(read, size);
    std::uint64_t end = 0;
    for (std::uint32_t riffs = 0; !known || riffs < *known; ++riffs) {
        std::uint8_t head[12];
        if (end + sizeof head > size || !read(end, head) || Load32(head) != FourCC("RIFF")) break;
        const std::uint32_t type = Load32(head + 8);
        if (type != (end == 0 ? FourCC("AVI ") : FourCC("AVIX"))) break;
        const std::uint32_t chunkSize = Load32(head + 4);
        // A RIFF whose size is still unknown (0) or reaches past the end of
        // the file is no complete recording.
        if (chunkSize <= 4 || end + 8 + chunkSize > size) break;
        end = std::min(end + 8 + chunkSize + (chunkSize & 1), size);
    }
    return end;
}

std::uint64_t RecordedAviBytes(const std::string& path) {
    BinaryFile file;
    if (!file.OpenForReading(path)) return 0;
    const std::optional<std::uint64_t> size = file.Size();
    if (!size) return 0;
    return RecordedAviBytes(
        [&file](std::uint64_t offset, std::span<std::uint8_t> into) {
            const std::optional<std::size_t> got = file.ReadAt(offset, into);
            return got && *got == into.size();
        },
        *size);
}

}  // namespace kestrova
