// AVI writer: an uncompressed 24-bit DIB video stream and, optionally, a PCM
// audio stream, in RIFF AVI form; past 1 GiB the file continues in OpenDML
// (AVI 2.0) form, so long recordings are not cut at 2 or 4 GB.
#pragma once

#include "capture/capture_port.h"
#include "platform/binary_file.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace kestrova {

// A RIFF chunk id as the file holds it (little-endian).
constexpr std::uint32_t FourCC(const char (&s)[5]) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[0])) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[2])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[3])) << 24;
}

struct AviVideoFormat {
    int width = 320;
    int height = 240;
    std::uint32_t microSecPerFrame = 66666;  // the frame period
};

// Sizes of the file's pieces. Recordings use the defaults; tests shrink them
// to reach the OpenDML parts with small files.
struct AviWriterOptions {
    // The largest RIFF chunk: the first ('AVI ', the part old readers see,
    // with its idx1) and each 'AVIX' continuation after it. At most 4 GiB.
    std::uint64_t riffBytes = std::uint64_t{1} << 30;
    // Entries reserved in each stream's super index ('indx'): one per RIFF
    // chunk, so with 1 GiB chunks 16384 entries hold 16 TiB (7 hours of
    // uncompressed 1920x1080 at 100 frames a second). Each costs 16 bytes
    // of header per stream: 256 KiB.
    std::uint32_t superIndexEntries = 16384;
    // The write buffer: the file is written in pieces of this size, except
    // frames of 64 KiB and more, which go to the file from the caller's
    // memory (a write of their own, page-aligned).
    std::size_t bufferBytes = std::size_t{1} << 20;
};

// The first chunks of the file, up to and including the 'movi' list header:
// the whole space Open reserves for the headers (a multiple of 4 KiB).
std::uint32_t AviHeaderBytes(bool withAudio, const AviWriterOptions& options = {});

// The most one file can take: a RIFF chunk for every super index entry
// (16 TiB with the defaults). A recording that reaches it ends there (the
// write functions refuse, Full() tells why) with a whole file.
std::uint64_t AviFileLimitBytes(const AviWriterOptions& options = {});

// Whole seconds of a recording in this format (a sound chunk with each
// frame, as the test-pattern device writes them) that surely fit in one
// file: what each RIFF may leave unused, the headers and the indexes are
// counted, and 1 % is kept back. 0 for a format the writer refuses.
std::uint64_t AviSecondsPerFile(const AviVideoFormat& video, const std::optional<WaveFormat>& audio,
                                const AviWriterOptions& options = {});

class AviWriter {
public:
    AviWriter();
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Starts a recording into path. An existing file is overwritten in place
    // (a pre-allocated file keeps its allocated size as unused space after
    // the recording). Returns false when the file cannot be written.
    // The video format must have sides of 1..32767 pixels and a non-zero
    // frame period; the audio format must be consistent PCM (format tag 1,
    // nBlockAlign = nChannels * wBitsPerSample / 8, nAvgBytesPerSec =
    // nSamplesPerSec * nBlockAlign). Opening an open writer closes its
    // recording first.
    bool Open(const std::string& path, const AviVideoFormat& video, const std::optional<WaveFormat>& audio);
    bool Open(const std::string& path, const AviVideoFormat& video, const std::optional<WaveFormat>& audio,
              const AviWriterOptions& options);
    // The same on a file already open for writing (tests and fuzzers give
    // files that fail where they choose).
    bool Open(std::unique_ptr<RandomAccessFile> file, const AviVideoFormat& video,
              const std::optional<WaveFormat>& audio, const AviWriterOptions& options);

    // The write functions return false and leave the recording as it was
    // when their argument does not fit (a frame of the wrong size, a partial
    // audio block, sound on a recording without audio) or when the file is
    // full (every super index entry used, or 2^32 - 1 frame slots: 497 days
    // at 100 frames a second); the recording goes on and Close
    // completes the file with what it holds. A failed write to the disk ends
    // the recording: every later call returns false, and Close finishes the
    // file with the chunks that reached the disk whole (see Close).

    // One frame: width * height 24-bit pixels, bottom-up rows padded to 4
    // bytes (a BI_RGB DIB without its header).
    bool WriteVideoFrame(std::span<const std::uint8_t> dib);
    // A frame slot whose picture could not be captured in time: an empty
    // chunk, so the stream's timeline (and the sync with the sound) holds.
    bool WriteDroppedFrame();
    // PCM bytes, whole blocks of the audio format, as one chunk. An empty
    // span writes nothing and succeeds.
    bool WriteAudio(std::span<const std::uint8_t> pcm);

    // Writes the headers' final counts and the indexes and closes the file.
    // When the file was larger than the recording (pre-allocated), the rest
    // is covered by 'JUNK' chunks so readers do not take the stale bytes
    // there for frames.
    //
    // After a failed write (a full disk), the file still ends whole: the
    // chunks the failure cut short are taken back, and when the indexes find
    // no room, the last chunks give up theirs; only if even that fails is
    // the first RIFF left without idx1 (readers scan it) and a later one
    // dropped. The counts then tell what the file holds.
    //
    // False when the file could not be finished (or was not open).
    bool Close();

    bool IsOpen() const;
    // Bytes of the recording so far (what Save As copies once closed).
    std::uint64_t RecordedBytes() const;
    std::uint32_t VideoFrames() const;     // frame slots written, dropped ones included
    std::uint32_t DroppedFrames() const;   // the empty ones among them
    std::uint64_t AudioBytes() const;
    // RIFF chunks so far: 1 for the 'AVI ' one, plus one per 'AVIX'.
    std::uint32_t RiffChunks() const;
    // Why the recording ended early (None while every write succeeded).
    FileError Error() const;
    // True once a chunk was refused because the file is full (see
    // AviFileLimitBytes).
    bool Full() const;
    // The bytes the recording may still add, given the free space of the
    // file's volume: what the file holds already counts, and room for the
    // indexes that close it is kept back.
    std::uint64_t RoomLeft(std::uint64_t volumeFree) const;

private:
    struct Impl;
    // Finishes, with this writer's own steps, a recording that a kill left
    // unfinished (avi_repair.cpp).
    friend struct AviRecovery;
    std::unique_ptr<Impl> impl_;
};

// The size of the recording held in an AVI file (its RIFF chunks, without the
// unused pre-allocated space after them), or 0 when the file holds none. A
// RIFF counts when its size is written and the headers count it too.
std::uint64_t RecordedAviBytes(const std::string& path);

// The same over any bytes: `read` fills `into` from `offset` (false when it
// cannot), `size` is the file's size.
using AviReader = std::function<bool(std::uint64_t offset, std::span<std::uint8_t> into)>;
std::uint64_t RecordedAviBytes(const AviReader& read, std::uint64_t size);

}  // namespace kestrova
