// The file, chunk by chunk:
//
//   RIFF 'AVI '                          at most riffBytes
//     LIST 'hdrl'
//       avih                             frame period, counts, size
//       LIST 'strl'  strh 'vids', strf BITMAPINFOHEADER, indx
//       LIST 'strl'  strh 'auds', strf WAVEFORMATEX, indx   (with sound)
//       LIST 'odml'  dmlh                total frame count
//     JUNK                               pads the headers to a 4 KiB multiple
//     LIST 'movi'  00db 01wb 00db ... ix00 ix01
//     idx1                               the chunks of this first RIFF
//   RIFF 'AVIX'                          the same limit; as many as needed
//     LIST 'movi'  00db 01wb ... ix00 ix01
//   ...
//   JUNK                                 the unused rest of a larger file
//
// The headers have a fixed size, reserved at Open and written again with the
// final counts by Close. Every RIFF ends its movi list with one standard
// index per stream ('ix00', 'ix01'; entries relative to the RIFF's start);
// each stream's super index ('indx', in its strl) lists those, so OpenDML
// readers find every chunk. idx1 is for readers that only know the first
// RIFF. Chunks go through a large buffer (frames mostly around it, see
// PutDirect); only the few size fields of a finished RIFF and the headers are
// written out of order.
#include "capture/avi/avi_writer.h"

#include "platform/binary_file.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <vector>

namespace kestrova {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kAvifHasIndex = 0x10;
constexpr std::uint32_t kAvifIsInterleaved = 0x100;
constexpr std::uint32_t kAvifWasCaptureFile = 0x10000;
constexpr std::uint32_t kAviifKeyframe = 0x10;          // idx1 flags
constexpr std::uint32_t kIndexDeltaFrame = 0x80000000;  // standard index size bit
constexpr std::uint8_t kIndexOfIndexes = 0;
constexpr std::uint8_t kIndexOfChunks = 1;

constexpr std::uint32_t kDmlhBytes = 248;
constexpr std::uint32_t kSuperIndexHeader = 24;  // indx data before its entries
constexpr std::uint32_t kSuperIndexEntry = 16;
constexpr std::uint32_t kStdIndexHeader = 24;    // ix## data before its entries
constexpr std::uint32_t kStdIndexEntry = 8;
constexpr std::uint32_t kIdx1Entry = 16;
constexpr std::uint32_t kHeaderAlignment = 4096;
constexpr std::uint64_t kPageBytes = 4096;
// Pieces this large are written without copying them into the buffer.
constexpr std::size_t kDirectWriteBytes = std::size_t{64} << 10;
constexpr std::uint64_t kMaxRiffBytes = 0xFFFFFFFF;
// The largest JUNK chunk laid over the unused end of a file (even).
constexpr std::uint64_t kMaxJunkData = 0xFFFFFF00;
constexpr int kMaxSide = 32767;

constexpr std::array<std::uint32_t, 2> kChunkIds{FourCC("00db"), FourCC("01wb")};
constexpr std::array<std::uint32_t, 2> kIndexIds{FourCC("ix00"), FourCC("ix01")};

void Put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(Bytes& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void Put64(Bytes& out, std::uint64_t v) {
    Put32(out, static_cast<std::uint32_t>(v));
    Put32(out, static_cast<std::uint32_t>(v >> 32));
}

void PutZeros(Bytes& out, std::size_t n) { out.insert(out.end(), n, 0); }

void Store32(std::uint8_t* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t Load32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

// Opens a LIST (or RIFF) chunk in out; CloseList fills in its size.
std::size_t OpenList(Bytes& out, std::uint32_t id, std::uint32_t type) {
    const std::size_t at = out.size();
    Put32(out, id);
    Put32(out, 0);
    Put32(out, type);
    return at;
}

void CloseList(Bytes& out, std::size_t at) {
    Store32(out.data() + at + 4, static_cast<std::uint32_t>(out.size() - at - 8));
}

std::uint32_t SaturatedU32(std::uint64_t v) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(v, 0xFFFFFFFF));
}

std::uint32_t FrameBytes(const AviVideoFormat& video) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(video.width) * 3 + 3) & ~3u;
    return stride * static_cast<std::uint32_t>(video.height);
}

bool ValidVideo(const AviVideoFormat& video) {
    return video.width >= 1 && video.width <= kMaxSide && video.height >= 1 && video.height <= kMaxSide &&
           video.microSecPerFrame > 0;
}

bool ValidAudio(const WaveFormat& a) {
    return a.wFormatTag == 1 && a.nChannels > 0 && a.wBitsPerSample > 0 && a.wBitsPerSample % 8 == 0 &&
           a.nSamplesPerSec > 0 && a.nBlockAlign == a.nChannels * (a.wBitsPerSample / 8) &&
           a.nAvgBytesPerSec == static_cast<std::uint64_t>(a.nSamplesPerSec) * a.nBlockAlign;
}

struct SuperIndexEntry {
    std::uint64_t offset = 0;  // of the ix## chunk
    std::uint32_t size = 0;    // of the ix## chunk, header included
    std::uint32_t duration = 0;
};

// A stream's indexes: the standard index entries of the current RIFF and the
// super index entries of the finished ones.
struct StreamIndex {
    Bytes entries;
    std::uint32_t duration = 0;  // frames, or audio blocks, in the current RIFF
    std::vector<SuperIndexEntry> super;

    std::uint32_t Count() const { return static_cast<std::uint32_t>(entries.size() / kStdIndexEntry); }
};

std::uint64_t StdIndexChunkBytes(std::uint32_t entries) {
    return 8 + kStdIndexHeader + static_cast<std::uint64_t>(kStdIndexEntry) * entries;
}

}  // namespace

std::uint32_t AviHeaderBytes(bool withAudio, const AviWriterOptions& options) {
    const std::uint64_t indx =
        8 + kSuperIndexHeader + static_cast<std::uint64_t>(kSuperIndexEntry) * options.superIndexEntries;
    const std::uint64_t videoStrl = 12 + (8 + 56) + (8 + 40) + indx;
    const std::uint64_t audioStrl = 12 + (8 + 56) + (8 + 18) + indx;
    const std::uint64_t odml = 12 + 8 + kDmlhBytes;
    const std::uint64_t hdrl = 12 + (8 + 56) + videoStrl + (withAudio ? audioStrl : 0) + odml;
    const std::uint64_t least = 12 + hdrl + 8 /* JUNK */ + 12 /* LIST movi */;
    return SaturatedU32((least + kHeaderAlignment - 1) / kHeaderAlignment * kHeaderAlignment);
}

struct AviWriter::Impl {
    std::unique_ptr<RandomAccessFile> file;
    std::uint64_t sizeAtOpen = 0;  // a pre-allocated file's room: never given back
    FileError error = FileError::None;  // why the recording failed
    AviVideoFormat video;
    std::optional<WaveFormat> audio;
    AviWriterOptions options;
    bool open = false;
    bool failed = false;
    std::uint32_t frameBytes = 0;
    std::uint32_t headerBytes = 0;

    // Chunks not yet written; they belong at bufferBase.
    Bytes buffer;
    std::uint64_t bufferBase = 0;

    // The RIFF being written.
    std::uint64_t riffStart = 0;  // offset of its 'RIFF'
    std::uint64_t moviStart = 0;  // offset of its 'LIST' 'movi'
    std::uint32_t chunksInRiff = 0;
    std::uint32_t riffChunks = 1;
    // The first RIFF: its idx1 entries while it is written, then its sizes.
    Bytes idx1;
    std::uint32_t firstRiffSize = 0;
    std::uint32_t firstMoviSize = 0;
    std::uint32_t firstRiffFrames = 0;
    bool inFirstRiff = true;
    bool hasIdx1 = true;  // false only when a failed recording found no room for it

    std::array<StreamIndex, 2> streams;
    std::uint32_t videoFrames = 0;
    std::uint32_t droppedFrames = 0;
    std::uint64_t audioBytes = 0;
    std::uint32_t largestAudioChunk = 0;
    std::uint64_t recordedBytes = 0;

    std::uint64_t End() const { return bufferBase + buffer.size(); }

    bool Fail() {
        if (error == FileError::None) error = file->LastError() == FileError::None ? FileError::Other : file->LastError();
        failed = true;
        return false;
    }

    bool Flush() {
        if (buffer.empty()) return true;
        if (!file->WriteAt(bufferBase, buffer)) return Fail();
        bufferBase += buffer.size();
        buffer.clear();
        return true;
    }

    bool Put(std::span<const std::uint8_t> data) {
        if (data.size() >= kDirectWriteBytes) return PutDirect(data);
        return Copy(data);
    }

    // A large piece (a frame) goes to the file from the caller's memory, not
    // through the buffer: copying it there cost a sixth of the writer's time.
    // Its start, up to the next page boundary of the file, still goes through
    // the buffer, and so does its end after the last whole page: every write
    // but the last begins and ends on a page boundary, and the system never
    // has to read a page of a pre-allocated file to change part of it.
    bool PutDirect(std::span<const std::uint8_t> data) {
        const std::size_t head = static_cast<std::size_t>((kPageBytes - End() % kPageBytes) % kPageBytes);
        if (!Copy(data.first(head)) || !Flush()) return false;
        data = data.subspan(head);
        const std::size_t pages = data.size() / kPageBytes * kPageBytes;
        if (!file->WriteAt(bufferBase, data.first(pages))) return Fail();
        bufferBase += pages;
        return Copy(data.subspan(pages));
    }

    bool Copy(std::span<const std::uint8_t> data) {
        while (!data.empty()) {
            const std::size_t room = options.bufferBytes - buffer.size();
            const std::size_t n = std::min(room, data.size());
            buffer.insert(buffer.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
            data = data.subspan(n);
            if (buffer.size() >= options.bufferBytes && !Flush()) return false;
        }
        return true;
    }

    bool Put(const Bytes& data) { return Put(std::span<const std::uint8_t>(data)); }

    bool PatchAt(std::uint64_t offset, std::uint64_t value) {
        std::uint8_t bytes[4];
        Store32(bytes, static_cast<std::uint32_t>(value));
        return file->WriteAt(offset, bytes) || Fail();
    }

    int StreamCount() const { return audio ? 2 : 1; }

    // The indexes that close the current RIFF, with one more entry for stream.
    std::uint64_t IndexBytesWith(int stream) const {
        std::uint64_t bytes = 0;
        for (int s = 0; s < StreamCount(); ++s) {
            const std::uint32_t n = streams[s].Count() + (s == stream ? 1 : 0);
            if (n > 0) bytes += StdIndexChunkBytes(n);
        }
        if (inFirstRiff) bytes += 8 + idx1.size() + kIdx1Entry;
        return bytes;
    }

    bool Fits(int stream, std::uint64_t chunkBytes) const {
        return End() + chunkBytes + IndexBytesWith(stream) - riffStart <= options.riffBytes;
    }

    bool AppendChunk(int stream, std::span<const std::uint8_t> data, bool key) {
        if (data.size() > 0x7FFFFFFF) return false;
        const auto size = static_cast<std::uint32_t>(data.size());
        const std::uint64_t chunkBytes = 8 + std::uint64_t{size} + (size & 1);
        if (!Fits(stream, chunkBytes)) {
            if (chunksInRiff == 0 || !CanStartRiff()) return false;
            if (!FinishRiff() || !StartRiff()) return false;
            if (!Fits(stream, chunkBytes)) return false;
        }
        const std::uint64_t at = End();
        if (inFirstRiff) {
            Put32(idx1, kChunkIds[stream]);
            Put32(idx1, key ? kAviifKeyframe : 0);
            Put32(idx1, static_cast<std::uint32_t>(at - (moviStart + 8)));
            Put32(idx1, size);
        }
        StreamIndex& index = streams[stream];
        Put32(index.entries, static_cast<std::uint32_t>(at + 8 - riffStart));
        Put32(index.entries, size | (key ? 0 : kIndexDeltaFrame));
        index.duration += stream == 0 ? 1 : size / audio->nBlockAlign;
        ++chunksInRiff;
        // Counted now: a chunk whose write fails is taken back by Salvage.
        if (stream == 0) {
            ++videoFrames;
            if (!key) ++droppedFrames;
        } else {
            audioBytes += size;
            largestAudioChunk = std::max(largestAudioChunk, size);
        }

        std::uint8_t head[8];
        Store32(head, kChunkIds[stream]);
        Store32(head + 4, size);
        static constexpr std::uint8_t kPad[1] = {0};
        return Put(head) && Put(data) && ((size & 1) == 0 || Put(kPad));
    }

    // Another RIFF needs a super index entry of every stream, besides the
    // one the current RIFF takes when it ends.
    bool CanStartRiff() const {
        for (int s = 0; s < StreamCount(); ++s) {
            const std::size_t taken = streams[s].super.size() + (streams[s].entries.empty() ? 0 : 1);
            if (taken + 1 > options.superIndexEntries) return false;
        }
        return true;
    }

    // The standard indexes that close the current RIFF's movi list at `at`,
    // with the super index entry of each stream.
    Bytes StdIndexChunks(std::uint64_t at, std::array<std::optional<SuperIndexEntry>, 2>& added) const {
        Bytes out;
        for (int s = 0; s < StreamCount(); ++s) {
            const StreamIndex& index = streams[s];
            if (index.entries.empty()) continue;
            const std::uint32_t n = index.Count();
            added[s] = SuperIndexEntry{at + out.size(), static_cast<std::uint32_t>(StdIndexChunkBytes(n)),
                                       index.duration};
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

    // Ends the current RIFF: its chunks go to the disk, then its indexes (the
    // standard ones in movi, idx1 after it in the first RIFF) and its size
    // fields. Nothing is taken as done unless all of it was written.
    bool FinishRiff() {
        if (!Flush()) return false;
        std::array<std::optional<SuperIndexEntry>, 2> added;
        Bytes indexes = StdIndexChunks(End(), added);
        const std::uint64_t moviEnd = End() + indexes.size();
        if (inFirstRiff) {
            Put32(indexes, FourCC("idx1"));
            Put32(indexes, static_cast<std::uint32_t>(idx1.size()));
            indexes.insert(indexes.end(), idx1.begin(), idx1.end());
        }
        if (!file->WriteAt(End(), indexes)) return Fail();
        const std::uint64_t riffEnd = End() + indexes.size();
        // The first RIFF's sizes are in the headers, written at the end.
        if (!inFirstRiff && !(PatchAt(riffStart + 4, riffEnd - riffStart - 8) &&
                              PatchAt(moviStart + 4, moviEnd - moviStart - 8))) {
            return false;
        }
        bufferBase = riffEnd;
        for (int s = 0; s < StreamCount(); ++s) {
            if (!added[s]) continue;
            streams[s].super.push_back(*added[s]);
            streams[s].entries.clear();
            streams[s].duration = 0;
        }
        if (inFirstRiff) EndFirstRiff(riffEnd, moviEnd, true);
        return true;
    }

    void EndFirstRiff(std::uint64_t riffEnd, std::uint64_t moviEnd, bool withIdx1) {
        Bytes().swap(idx1);
        firstRiffFrames = videoFrames;
        firstRiffSize = static_cast<std::uint32_t>(riffEnd - 8);
        firstMoviSize = static_cast<std::uint32_t>(moviEnd - moviStart - 8);
        hasIdx1 = withIdx1;
        inFirstRiff = false;
    }

    // --- finishing a recording whose write failed ---

    // The end of the current RIFF's last data chunk, or its movi header's end.
    std::uint64_t DataEnd() const {
        std::uint64_t end = moviStart + 12;
        for (int s = 0; s < StreamCount(); ++s) {
            const Bytes& e = streams[s].entries;
            if (e.empty()) continue;
            const std::uint32_t size = Load32(&e[e.size() - 4]) & ~kIndexDeltaFrame;
            end = std::max(end, riffStart + Load32(&e[e.size() - 8]) + size + (size & 1));
        }
        return end;
    }

    // Takes the current RIFF's last data chunk back out of the recording.
    void DropLastChunk() {
        int last = -1;
        std::uint32_t lastOffset = 0;
        for (int s = 0; s < StreamCount(); ++s) {
            const Bytes& e = streams[s].entries;
            if (!e.empty() && (last < 0 || Load32(&e[e.size() - 8]) > lastOffset)) {
                last = s;
                lastOffset = Load32(&e[e.size() - 8]);
            }
        }
        if (last < 0) return;
        StreamIndex& index = streams[last];
        const std::uint32_t field = Load32(&index.entries[index.entries.size() - 4]);
        index.entries.erase(index.entries.end() - kStdIndexEntry, index.entries.end());
        if (inFirstRiff && idx1.size() >= kIdx1Entry) idx1.erase(idx1.end() - kIdx1Entry, idx1.end());
        --chunksInRiff;
        if (last == 0) {
            --index.duration;
            --videoFrames;
            if ((field & kIndexDeltaFrame) != 0) --droppedFrames;
        } else {
            const std::uint32_t size = field & ~kIndexDeltaFrame;
            index.duration -= size / audio->nBlockAlign;
            audioBytes -= size;
        }
    }

    // Ends the recording with the chunks wholly on the disk: those a failed
    // write cut off are taken back. When the indexes find no room, the last
    // chunks give up theirs, so the file keeps its indexes unless writing
    // fails for another reason than a full disk. Only the headers, written
    // over the file's start, need no room at all.
    void Salvage() {
        buffer.clear();
        while (chunksInRiff > 0 && DataEnd() > bufferBase) DropLastChunk();
        for (int attempt = 0;; ++attempt) {
            const std::uint64_t end = DataEnd();
            // Whatever lies after the chunks kept is given up; the room a
            // pre-allocated file had stays.
            bufferBase = end;
            file->Truncate(std::max(end, sizeAtOpen));
            failed = false;
            if (!inFirstRiff && chunksInRiff == 0) {
                // An AVIX with nothing in it: the RIFF before it is whole.
                bufferBase = riffStart;
                file->Truncate(std::max(riffStart, sizeAtOpen));
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
        if (inFirstRiff) {
            EndFirstRiff(end, end, false);
        } else {
            while (chunksInRiff > 0) DropLastChunk();
            bufferBase = riffStart;
            --riffChunks;
        }
        file->Truncate(std::max(bufferBase, sizeAtOpen));
    }

    bool StartRiff() {
        riffStart = End();
        moviStart = riffStart + 12;
        chunksInRiff = 0;
        ++riffChunks;
        Bytes head;
        OpenList(head, FourCC("RIFF"), FourCC("AVIX"));
        OpenList(head, FourCC("LIST"), FourCC("movi"));
        // The headers now describe a complete first RIFF: a recording that
        // ends without Close still plays up to here.
        return Put(head) && WriteHeaders();
    }

    void PutMainHeader(Bytes& out) const {
        const bool withAudio = audio.has_value();
        const std::uint32_t largestChunk = std::max(frameBytes, largestAudioChunk);
        const std::uint64_t bytesPerSec =
            std::uint64_t{frameBytes} * 1000000 / video.microSecPerFrame + (withAudio ? audio->nAvgBytesPerSec : 0);
        Put32(out, FourCC("avih"));
        Put32(out, 56);
        Put32(out, video.microSecPerFrame);
        Put32(out, SaturatedU32(bytesPerSec));
        Put32(out, 0);  // dwPaddingGranularity
        Put32(out, (hasIdx1 ? kAvifHasIndex : 0) | kAvifWasCaptureFile | (withAudio ? kAvifIsInterleaved : 0));
        Put32(out, inFirstRiff ? videoFrames : firstRiffFrames);
        Put32(out, 0);  // dwInitialFrames
        Put32(out, withAudio ? 2 : 1);
        Put32(out, largestChunk);
        Put32(out, static_cast<std::uint32_t>(video.width));
        Put32(out, static_cast<std::uint32_t>(video.height));
        PutZeros(out, 16);
    }

    void PutSuperIndex(Bytes& out, int s) const {
        const StreamIndex& index = streams[s];
        Put32(out, FourCC("indx"));
        Put32(out, kSuperIndexHeader + kSuperIndexEntry * options.superIndexEntries);
        Put16(out, 4);  // wLongsPerEntry
        out.push_back(0);
        out.push_back(kIndexOfIndexes);
        Put32(out, static_cast<std::uint32_t>(index.super.size()));
        Put32(out, kChunkIds[s]);
        PutZeros(out, 12);
        for (const SuperIndexEntry& e : index.super) {
            Put64(out, e.offset);
            Put32(out, e.size);
            Put32(out, e.duration);
        }
        PutZeros(out, std::size_t{kSuperIndexEntry} * (options.superIndexEntries - index.super.size()));
    }

    void PutVideoStream(Bytes& out) const {
        const std::uint32_t period = video.microSecPerFrame;
        const std::uint32_t gcd = std::gcd(period, 1000000u);
        const std::size_t strl = OpenList(out, FourCC("LIST"), FourCC("strl"));
        Put32(out, FourCC("strh"));
        Put32(out, 56);
        Put32(out, FourCC("vids"));
        Put32(out, FourCC("DIB "));
        Put32(out, 0);  // dwFlags
        Put16(out, 0);  // wPriority
        Put16(out, 0);  // wLanguage
        Put32(out, 0);  // dwInitialFrames
        Put32(out, period / gcd);
        Put32(out, 1000000 / gcd);
        Put32(out, 0);  // dwStart
        Put32(out, videoFrames);
        Put32(out, frameBytes);
        Put32(out, 0xFFFFFFFF);  // dwQuality: the default
        Put32(out, 0);           // dwSampleSize: frames vary (dropped ones are empty)
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, static_cast<std::uint32_t>(video.width));
        Put16(out, static_cast<std::uint32_t>(video.height));
        Put32(out, FourCC("strf"));
        Put32(out, 40);
        Put32(out, 40);
        Put32(out, static_cast<std::uint32_t>(video.width));
        Put32(out, static_cast<std::uint32_t>(video.height));
        Put16(out, 1);   // biPlanes
        Put16(out, 24);  // biBitCount
        Put32(out, 0);   // BI_RGB
        Put32(out, frameBytes);
        PutZeros(out, 16);
        PutSuperIndex(out, 0);
        CloseList(out, strl);
    }

    void PutAudioStream(Bytes& out) const {
        const WaveFormat& a = *audio;
        const std::size_t strl = OpenList(out, FourCC("LIST"), FourCC("strl"));
        Put32(out, FourCC("strh"));
        Put32(out, 56);
        Put32(out, FourCC("auds"));
        Put32(out, 0);
        Put32(out, 0);
        Put16(out, 0);
        Put16(out, 0);
        Put32(out, 0);
        Put32(out, a.nBlockAlign);
        Put32(out, a.nAvgBytesPerSec);
        Put32(out, 0);
        Put32(out, static_cast<std::uint32_t>(audioBytes / a.nBlockAlign));
        Put32(out, largestAudioChunk);
        Put32(out, 0xFFFFFFFF);
        Put32(out, a.nBlockAlign);
        PutZeros(out, 8);
        Put32(out, FourCC("strf"));
        Put32(out, 18);
        Put16(out, a.wFormatTag);
        Put16(out, a.nChannels);
        Put32(out, a.nSamplesPerSec);
        Put32(out, a.nAvgBytesPerSec);
        Put16(out, a.nBlockAlign);
        Put16(out, a.wBitsPerSample);
        Put16(out, 0);  // cbSize
        PutSuperIndex(out, 1);
        CloseList(out, strl);
    }

    Bytes BuildHeaders() const {
        Bytes out;
        out.reserve(headerBytes);
        const std::size_t riff = OpenList(out, FourCC("RIFF"), FourCC("AVI "));
        const std::size_t hdrl = OpenList(out, FourCC("LIST"), FourCC("hdrl"));
        PutMainHeader(out);
        PutVideoStream(out);
        if (audio.has_value()) PutAudioStream(out);
        const std::size_t odml = OpenList(out, FourCC("LIST"), FourCC("odml"));
        Put32(out, FourCC("dmlh"));
        Put32(out, kDmlhBytes);
        Put32(out, videoFrames);
        PutZeros(out, kDmlhBytes - 4);
        CloseList(out, odml);
        CloseList(out, hdrl);

        const std::size_t junk = out.size();
        Put32(out, FourCC("JUNK"));
        Put32(out, static_cast<std::uint32_t>(headerBytes - 12 - (junk + 8)));
        PutZeros(out, headerBytes - 12 - out.size());
        OpenList(out, FourCC("LIST"), FourCC("movi"));
        // Until the first RIFF is complete its sizes stay 0: "unknown".
        Store32(out.data() + riff + 4, firstRiffSize);
        Store32(out.data() + headerBytes - 8, firstMoviSize);
        return out;
    }

    bool WriteHeaders() { return file->WriteAt(0, BuildHeaders()) || Fail(); }

    // Lays JUNK chunks over the part of the file after the recording.
    bool CoverUnusedEnd() {
        const std::optional<std::uint64_t> size = file->Size();
        if (!size) return Fail();
        std::uint64_t at = End();
        while (*size >= at + 8) {
            const std::uint64_t data = std::min(*size - at - 8, kMaxJunkData);
            std::uint8_t head[8];
            Store32(head, FourCC("JUNK"));
            Store32(head + 4, static_cast<std::uint32_t>(data));
            if (!file->WriteAt(at, head)) return Fail();
            at += 8 + data + (data & 1);
        }
        return true;
    }
};

AviWriter::AviWriter() : impl_(std::make_unique<Impl>()) {}

AviWriter::~AviWriter() {
    if (IsOpen()) Close();
}

bool AviWriter::Open(const std::string& path, const AviVideoFormat& video, const std::optional<WaveFormat>& audio) {
    return Open(path, video, audio, AviWriterOptions{});
}

namespace {

// What a recording can be made of: valid formats, and a first RIFF that
// takes the headers, a frame and its indexes.
bool Recordable(const AviVideoFormat& video, const std::optional<WaveFormat>& audio, const AviWriterOptions& options) {
    if (!ValidVideo(video) || (audio && !ValidAudio(*audio))) return false;
    if (options.bufferBytes == 0 || options.riffBytes > kMaxRiffBytes || options.superIndexEntries == 0) return false;
    return std::uint64_t{AviHeaderBytes(audio.has_value(), options)} + 8 + FrameBytes(video) + 8 + kIdx1Entry +
               StdIndexChunkBytes(1) <=
           options.riffBytes;
}

}  // namespace

bool AviWriter::Open(const std::string& path, const AviVideoFormat& video, const std::optional<WaveFormat>& audio,
                     const AviWriterOptions& options) {
    if (IsOpen()) Close();
    if (!Recordable(video, audio, options)) return false;
    auto file = std::make_unique<BinaryFile>();
    return file->OpenForWriting(path) && Open(std::move(file), video, audio, options);
}

bool AviWriter::Open(std::unique_ptr<RandomAccessFile> file, const AviVideoFormat& video,
                     const std::optional<WaveFormat>& audio, const AviWriterOptions& options) {
    if (IsOpen()) Close();
    impl_ = std::make_unique<Impl>();
    if (file == nullptr || !Recordable(video, audio, options)) return false;
    Impl& w = *impl_;
    w.file = std::move(file);
    w.video = video;
    w.audio = audio;
    w.options = options;
    w.frameBytes = FrameBytes(video);
    w.headerBytes = AviHeaderBytes(audio.has_value(), options);
    w.bufferBase = w.headerBytes;
    w.moviStart = w.headerBytes - 12;
    w.sizeAtOpen = w.file->Size().value_or(0);
    if (!w.WriteHeaders()) {
        w.file->Close();
        return false;
    }
    w.buffer.reserve(options.bufferBytes);
    w.open = true;
    return true;
}

bool AviWriter::WriteVideoFrame(std::span<const std::uint8_t> dib) {
    Impl& w = *impl_;
    if (!w.open || w.failed || dib.size() != w.frameBytes) return false;
    return w.AppendChunk(0, dib, true);
}

bool AviWriter::WriteDroppedFrame() {
    Impl& w = *impl_;
    return w.open && !w.failed && w.AppendChunk(0, {}, false);
}

bool AviWriter::WriteAudio(std::span<const std::uint8_t> pcm) {
    Impl& w = *impl_;
    if (!w.open || w.failed || !w.audio || pcm.size() % w.audio->nBlockAlign != 0) return false;
    if (pcm.empty()) return true;
    return w.AppendChunk(1, pcm, true);
}

bool AviWriter::Close() {
    Impl& w = *impl_;
    if (!w.open) return false;
    if (!w.failed) w.FinishRiff();
    if (w.failed) w.Salvage();
    w.recordedBytes = w.End();
    bool ok = w.CoverUnusedEnd() && w.WriteHeaders();
    ok = w.file->Close() && ok;
    w.open = false;
    Bytes().swap(w.buffer);
    return ok;
}

bool AviWriter::IsOpen() const { return impl_->open; }

std::uint64_t AviWriter::RecordedBytes() const { return impl_->open ? impl_->End() : impl_->recordedBytes; }

std::uint32_t AviWriter::VideoFrames() const { return impl_->videoFrames; }

std::uint32_t AviWriter::DroppedFrames() const { return impl_->droppedFrames; }

std::uint64_t AviWriter::AudioBytes() const { return impl_->audioBytes; }

std::uint32_t AviWriter::RiffChunks() const { return impl_->riffChunks; }

FileError AviWriter::Error() const { return impl_->error; }

std::uint64_t AviWriter::RoomLeft(std::uint64_t volumeFree) const {
    const Impl& w = *impl_;
    if (!w.open) return 0;
    // What the file holds already (a pre-allocated file: its whole size),
    // against where the recording and its indexes will end.
    const std::uint64_t have = volumeFree + std::max(w.sizeAtOpen, w.bufferBase);
    const std::uint64_t finish = w.End() + w.IndexBytesWith(-1);
    return have > finish ? have - finish : 0;
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
