// The writer itself: chunks go through a large buffer (frames mostly around
// it, see PutDirect) and each RIFF is closed with its indexes when the next
// chunk would not fit in it; only the few size fields of a finished RIFF and
// the headers are written out of order. The file's layout is described in
// avi_headers.h.
#include "capture/avi/avi_writer.h"

#include "capture/avi/avi_writer_impl.h"
#include "platform/binary_file.h"

#include <algorithm>
#include <cmath>

namespace kestrova {

using avi::Bytes;

namespace {

constexpr std::uint64_t kPageBytes = 4096;
// Pieces this large are written without copying them into the buffer.
constexpr std::size_t kDirectWriteBytes = std::size_t{64} << 10;
constexpr std::uint64_t kMaxRiffBytes = 0xFFFFFFFF;
// The largest JUNK chunk laid over the unused end of a file (even).
constexpr std::uint64_t kMaxJunkData = 0xFFFFFF00;
constexpr int kMaxSide = 32767;

bool ValidVideo(const AviVideoFormat& video) {
    return video.width >= 1 && video.width <= kMaxSide && video.height >= 1 && video.height <= kMaxSide &&
           video.microSecPerFrame > 0;
}

bool ValidAudio(const WaveFormat& a) {
    return a.wFormatTag == 1 && a.nChannels > 0 && a.wBitsPerSample > 0 && a.wBitsPerSample % 8 == 0 &&
           a.nSamplesPerSec > 0 && a.nBlockAlign == a.nChannels * (a.wBitsPerSample / 8) &&
           a.nAvgBytesPerSec == static_cast<std::uint64_t>(a.nSamplesPerSec) * a.nBlockAlign;
}

}  // namespace

namespace avi {

std::uint32_t FrameBytes(const AviVideoFormat& video) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(video.width) * 3 + 3) & ~3u;
    return stride * static_cast<std::uint32_t>(video.height);
}

bool Recordable(const AviVideoFormat& video, const std::optional<WaveFormat>& audio, const AviWriterOptions& options) {
    if (!ValidVideo(video) || (audio && !ValidAudio(*audio))) return false;
    if (options.bufferBytes == 0 || options.riffBytes > kMaxRiffBytes || options.superIndexEntries == 0) return false;
    return std::uint64_t{AviHeaderBytes(audio.has_value(), options)} + 8 + FrameBytes(video) + 8 + kIdx1Entry +
               StdIndexChunkBytes(1) <=
           options.riffBytes;
}

}  // namespace avi

std::uint64_t AviFileLimitBytes(const AviWriterOptions& options) {
    return options.riffBytes * options.superIndexEntries;
}

std::uint64_t AviSecondsPerFile(const AviVideoFormat& video, const std::optional<WaveFormat>& audio,
                                const AviWriterOptions& options) {
    if (!avi::Recordable(video, audio, options)) return 0;
    const double period = video.microSecPerFrame;
    // A frame slot: its chunk, its standard index entry and (in the first
    // RIFF) its idx1 entry; the same for the sound that comes with it.
    const double frame = 8.0 + avi::FrameBytes(video) + avi::kStdIndexEntry + avi::kIdx1Entry;
    const double sound = audio ? std::ceil(audio->nAvgBytesPerSec * period / 1e6) + audio->nBlockAlign : 0.0;
    const double slot = frame + (audio ? sound + 9 + avi::kStdIndexEntry + avi::kIdx1Entry : 0.0);
    // A RIFF ends when the next chunk does not fit: at most a frame and its
    // sound stay unused, besides the RIFF's and its indexes' own headers.
    const double riffUsable = static_cast<double>(options.riffBytes) - slot - 24 - 2 * 32 - 8;
    const double usable = riffUsable * options.superIndexEntries - AviHeaderBytes(audio.has_value(), options);
    if (usable <= 0) return 0;
    // The streams' lengths are 32-bit counts: of frames, and of sound
    // blocks (at 96 kHz a file's sound would overflow after 12.4 hours).
    double seconds = std::min(std::floor(usable / slot), 4294967294.0) * period / 1e6;
    if (audio) seconds = std::min(seconds, 4294967295.0 * audio->nBlockAlign / audio->nAvgBytesPerSec);
    return static_cast<std::uint64_t>(seconds * 0.99);
}

bool AviWriter::Impl::Fail() {
    if (error == FileError::None) error = file->LastError() == FileError::None ? FileError::Other : file->LastError();
    failed = true;
    return false;
}

bool AviWriter::Impl::Flush() {
    if (buffer.empty()) return true;
    if (!file->WriteAt(bufferBase, buffer)) return Fail();
    bufferBase += buffer.size();
    buffer.clear();
    return true;
}

bool AviWriter::Impl::Put(std::span<const std::uint8_t> data) {
    if (data.size() >= kDirectWriteBytes) return PutDirect(data);
    return Copy(data);
}

// A large piece (a frame) goes to the file from the caller's memory, not
// through the buffer: copying it there cost a sixth of the writer's time.
// Its start, up to the next page boundary of the file, still goes through
// the buffer, and so does its end after the last whole page: every write
// but the last begins and ends on a page boundary, and the system never
// has to read a page of a pre-allocated file to change part of it.
bool AviWriter::Impl::PutDirect(std::span<const std::uint8_t> data) {
    const std::size_t head = static_cast<std::size_t>((kPageBytes - End() % kPageBytes) % kPageBytes);
    if (!Copy(data.first(head)) || !Flush()) return false;
    data = data.subspan(head);
    const std::size_t pages = data.size() / kPageBytes * kPageBytes;
    if (!file->WriteAt(bufferBase, data.first(pages))) return Fail();
    bufferBase += pages;
    return Copy(data.subspan(pages));
}

bool AviWriter::Impl::Copy(std::span<const std::uint8_t> data) {
    while (!data.empty()) {
        const std::size_t room = options.bufferBytes - buffer.size();
        const std::size_t n = std::min(room, data.size());
        buffer.insert(buffer.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
        data = data.subspan(n);
        if (buffer.size() >= options.bufferBytes && !Flush()) return false;
    }
    return true;
}

bool AviWriter::Impl::PatchAt(std::uint64_t offset, std::uint64_t value) {
    std::uint8_t bytes[4];
    avi::Store32(bytes, static_cast<std::uint32_t>(value));
    return file->WriteAt(offset, bytes) || Fail();
}

bool AviWriter::Impl::Fits(int stream, std::uint64_t chunkBytes) const {
    return End() + chunkBytes + IndexBytesWith(stream) - riffStart <= options.riffBytes;
}

bool AviWriter::Impl::AppendChunk(int stream, std::span<const std::uint8_t> data, bool key) {
    if (data.size() > 0x7FFFFFFF) return false;
    const auto size = static_cast<std::uint32_t>(data.size());
    const std::uint64_t chunkBytes = 8 + std::uint64_t{size} + (size & 1);
    const bool lastSlot = stream == 0 && counts.videoFrames == 0xFFFFFFFF;
    if (lastSlot || (!Fits(stream, chunkBytes) && chunksInRiff > 0 && !indexes.CanStartRiff())) {
        full = true;
        return false;
    }
    if (!Fits(stream, chunkBytes)) {
        if (chunksInRiff == 0) return false;
        if (!FinishRiff() || !StartRiff()) return false;
        if (!Fits(stream, chunkBytes)) return false;
    }
    if (stream == 0 && counts.videoFrames % slotsPerNote == 0 && !NoteProgress()) return false;
    const std::uint64_t at = End();
    // Counted now: a chunk whose write fails is taken back by Salvage.
    Index(stream, at, size, key);

    std::uint8_t head[8];
    avi::Store32(head, avi::kChunkIds[stream]);
    avi::Store32(head + 4, size);
    static constexpr std::uint8_t kPad[1] = {0};
    return Put(head) && Put(data) && ((size & 1) == 0 || Put(kPad));
}

void AviWriter::Impl::Index(int stream, std::uint64_t at, std::uint32_t size, bool key) {
    std::optional<std::uint32_t> inMovi;
    if (first.writing) inMovi = static_cast<std::uint32_t>(at - (moviStart + 8));
    indexes.Add(stream, static_cast<std::uint32_t>(at + 8 - riffStart), inMovi, size, key);
    ++chunksInRiff;
    if (stream == 0) {
        ++counts.videoFrames;
        if (!key) ++counts.droppedFrames;
    } else {
        counts.audioBytes += size;
        counts.largestAudioChunk = std::max(counts.largestAudioChunk, size);
    }
}

// Ends the current RIFF: its chunks go to the disk, then its indexes (the
// standard ones in movi, idx1 after it in the first RIFF) and its size
// fields. Nothing is taken as done unless all of it was written.
bool AviWriter::Impl::FinishRiff() {
    if (!Flush()) return false;
    avi::SuperIndexAdditions added;
    Bytes closing = indexes.StandardIndexes(End(), riffStart, added);
    const std::uint64_t moviEnd = End() + closing.size();
    if (first.writing) indexes.PutIdx1(closing);
    if (!file->WriteAt(End(), closing)) return Fail();
    const std::uint64_t riffEnd = End() + closing.size();
    // The first RIFF's sizes are in the headers, written at the end.
    if (!first.writing && !(PatchAt(riffStart + 4, riffEnd - riffStart - 8) &&
                            PatchAt(moviStart + 4, moviEnd - moviStart - 8))) {
        return false;
    }
    bufferBase = riffEnd;
    indexes.CommitRiff(added);
    largestAudioFinished = counts.largestAudioChunk;
    if (first.writing) EndFirstRiff(riffEnd, moviEnd, true);
    return true;
}

void AviWriter::Impl::EndFirstRiff(std::uint64_t riffEnd, std::uint64_t moviEnd, bool withIdx1) {
    indexes.ReleaseIdx1();
    first.frames = counts.videoFrames;
    first.size = static_cast<std::uint32_t>(riffEnd - 8);
    first.moviSize = static_cast<std::uint32_t>(moviEnd - moviStart - 8);
    first.hasIdx1 = withIdx1;
    first.writing = false;
}

bool AviWriter::Impl::StartRiff() {
    riffStart = End();
    moviStart = riffStart + 12;
    chunksInRiff = 0;
    ++riffChunks;
    Bytes head;
    avi::OpenList(head, FourCC("RIFF"), FourCC("AVIX"));
    avi::OpenList(head, FourCC("LIST"), FourCC("movi"));
    // The headers now describe a complete first RIFF: a recording that
    // ends without Close still plays up to here.
    return Put(head) && WriteHeaders();
}

bool AviWriter::Impl::WriteHeaders(bool finished) {
    if (!file->WriteAt(0, avi::BuildAviHeaders(format, counts, first, indexes, Note(finished)))) return Fail();
    notedEnd = bufferBase;
    return true;
}

// What this recording wrote: bufferBase, up to which every write has
// returned. Once finished, the file is all its own.
avi::RecordingNote AviWriter::Impl::Note(bool finished) const {
    if (finished) return {0, End(), static_cast<std::uint32_t>(options.riffBytes)};
    return {sizeAtOpen, bufferBase, static_cast<std::uint32_t>(options.riffBytes)};
}

// Only needed while the recording is still inside the file's older bytes:
// past them the file grows, and whatever it holds is this recording's.
bool AviWriter::Impl::NoteProgress() {
    if (bufferBase >= sizeAtOpen || bufferBase == notedEnd) return true;
    noteCopy = (noteCopy + 1) % avi::kNoteCopies;
    if (!file->WriteAt(avi::NoteOffset(format.audio.has_value(), options.superIndexEntries) +
                           std::uint64_t{noteCopy} * avi::kNoteBytes,
                       avi::NoteBytes(Note(false)))) {
        return Fail();
    }
    notedEnd = bufferBase;
    return true;
}

// Lays JUNK chunks over the part of the file after the recording.
bool AviWriter::Impl::CoverUnusedEnd() {
    const std::optional<std::uint64_t> size = file->Size();
    if (!size) return Fail();
    std::uint64_t at = End();
    while (*size >= at + 8) {
        const std::uint64_t data = std::min(*size - at - 8, kMaxJunkData);
        std::uint8_t head[8];
        avi::Store32(head, FourCC("JUNK"));
        avi::Store32(head + 4, static_cast<std::uint32_t>(data));
        if (!file->WriteAt(at, head)) return Fail();
        at += 8 + data + (data & 1);
    }
    return true;
}

AviWriter::AviWriter() : impl_(std::make_unique<Impl>()) {}

AviWriter::~AviWriter() {
    if (IsOpen()) Close();
}

bool AviWriter::Open(const std::string& path, const AviVideoFormat& video, const std::optional<WaveFormat>& audio) {
    return Open(path, video, audio, AviWriterOptions{});
}

bool AviWriter::Open(const std::string& path, const AviVideoFormat& video, const std::optional<WaveFormat>& audio,
                     const AviWriterOptions& options) {
    if (IsOpen()) Close();
    if (!avi::Recordable(video, audio, options)) return false;
    auto file = std::make_unique<BinaryFile>();
    return file->OpenForWriting(path) && Open(std::move(file), video, audio, options);
}

bool AviWriter::Open(std::unique_ptr<RandomAccessFile> file, const AviVideoFormat& video,
                     const std::optional<WaveFormat>& audio, const AviWriterOptions& options) {
    if (IsOpen()) Close();
    impl_ = std::make_unique<Impl>();
    if (file == nullptr || !avi::Recordable(video, audio, options)) return false;
    Impl& w = *impl_;
    w.file = std::move(file);
    w.format = {video, audio, avi::FrameBytes(video), AviHeaderBytes(audio.has_value(), options)};
    w.slotsPerNote = std::max<std::uint32_t>(1000000 / video.microSecPerFrame, 1);
    w.options = options;
    w.indexes = avi::AviIndexes(audio ? 2 : 1, audio ? audio->nBlockAlign : 1, options.superIndexEntries);
    w.bufferBase = w.format.headerBytes;
    w.moviStart = w.format.headerBytes - 12;
    w.sizeAtOpen = w.file->Size().value_or(0);
    // Over older bytes the note goes first: a kill in the middle of the
    // headers must not leave the older recording's note in them.
    const bool noted = w.sizeAtOpen == 0 ||
                       w.file->WriteAt(avi::NoteOffset(audio.has_value(), options.superIndexEntries),
                                       avi::NoteCopies(w.Note(false)));
    if (!noted || !w.WriteHeaders()) {
        static_cast<void>(w.file->Close());  // the open has failed already
        return false;
    }
    w.buffer.reserve(options.bufferBytes);
    w.open = true;
    return true;
}

bool AviWriter::WriteVideoFrame(std::span<const std::uint8_t> dib) {
    Impl& w = *impl_;
    if (!w.open || w.failed || dib.size() != w.format.frameBytes) return false;
    return w.AppendChunk(0, dib, true);
}

bool AviWriter::WriteDroppedFrame() {
    Impl& w = *impl_;
    return w.open && !w.failed && w.AppendChunk(0, {}, false);
}

bool AviWriter::WriteAudio(std::span<const std::uint8_t> pcm) {
    Impl& w = *impl_;
    if (!w.open || w.failed || !w.format.audio || pcm.size() % w.format.audio->nBlockAlign != 0) return false;
    if (pcm.empty()) return true;
    return w.AppendChunk(1, pcm, true);
}

bool AviWriter::Close() {
    Impl& w = *impl_;
    if (!w.open) return false;
    if (!w.failed) w.FinishRiff();
    if (w.failed) w.Salvage();
    w.recordedBytes = w.End();
    bool ok = w.CoverUnusedEnd() && w.WriteHeaders(true);
    ok = w.file->Close() && ok;
    w.open = false;
    Bytes().swap(w.buffer);
    return ok;
}

bool AviWriter::IsOpen() const { return impl_->open; }

std::uint64_t AviWriter::RecordedBytes() const { return impl_->open ? impl_->End() : impl_->recordedBytes; }

std::uint32_t AviWriter::VideoFrames() const { return impl_->counts.videoFrames; }

std::uint32_t AviWriter::DroppedFrames() const { return impl_->counts.droppedFrames; }

std::uint64_t AviWriter::AudioBytes() const { return impl_->counts.audioBytes; }

std::uint32_t AviWriter::RiffChunks() const { return impl_->riffChunks; }

FileError AviWriter::Error() const { return impl_->error; }

bool AviWriter::Full() const { return impl_->full; }

std::uint64_t AviWriter::RoomLeft(std::uint64_t volumeFree) const {
    const Impl& w = *impl_;
    if (!w.open) return 0;
    // What the file holds already (a pre-allocated file: its whole size),
    // against where the recording and its indexes will end.
    const std::uint64_t have = volumeFree + std::max(w.sizeAtOpen, w.bufferBase);
    const std::uint64_t finish = w.End() + w.IndexBytesWith(-1);
    return have > finish ? have - finish : 0;
}

}  // namespace kestrova
