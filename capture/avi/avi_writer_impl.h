// The AVI writer's state. avi_writer.cpp buffers the chunks, appends them and
// splits the recording into RIFFs; avi_salvage.cpp finishes a recording whose
// write failed. The headers and the indexes are rooms of their own
// (avi_headers.h, avi_index.h).
#pragma once

#include "capture/avi/avi_headers.h"
#include "capture/avi/avi_index.h"
#include "capture/avi/avi_writer.h"
#include "capture/avi/riff_chunks.h"
#include "platform/binary_file.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace kestrova {

namespace avi {

// A whole frame's bytes: rows of 24-bit pixels padded to 4 bytes.
std::uint32_t FrameBytes(const AviVideoFormat& video);
// What a recording can be made of: valid formats, and a first RIFF that
// takes the headers, a frame and its indexes.
bool Recordable(const AviVideoFormat& video, const std::optional<WaveFormat>& audio, const AviWriterOptions& options);

}  // namespace avi

struct AviWriter::Impl {
    std::unique_ptr<RandomAccessFile> file;
    std::uint64_t sizeAtOpen = 0;  // a pre-allocated file's room: never given back
    FileError error = FileError::None;  // why the recording failed
    avi::AviFormat format;
    AviWriterOptions options;
    bool open = false;
    bool failed = false;
    bool full = false;  // a chunk was refused: the file holds all it can

    // While the recording writes over older bytes (a larger file), the
    // headers' note is brought up to date once a second of frame slots.
    std::uint64_t notedEnd = 0;
    std::uint32_t noteCopy = 0;  // the copy of the note written last
    std::uint32_t slotsPerNote = 1;

    // Chunks not yet written; they belong at bufferBase.
    avi::Bytes buffer;
    std::uint64_t bufferBase = 0;

    // The RIFF being written.
    std::uint64_t riffStart = 0;  // offset of its 'RIFF'
    std::uint64_t moviStart = 0;  // offset of its 'LIST' 'movi'
    std::uint32_t chunksInRiff = 0;
    std::uint32_t riffChunks = 1;
    avi::FirstRiff first;

    avi::AviIndexes indexes;
    avi::AviCounts counts;
    // counts.largestAudioChunk as the finished RIFFs have it: what it falls
    // back to when the current RIFF's chunks are taken back.
    std::uint32_t largestAudioFinished = 0;
    std::uint64_t recordedBytes = 0;

    std::uint64_t End() const { return bufferBase + buffer.size(); }
    bool Fail();

    // --- buffering (avi_writer.cpp) ---
    bool Flush();
    bool Put(std::span<const std::uint8_t> data);
    bool PutDirect(std::span<const std::uint8_t> data);
    bool Copy(std::span<const std::uint8_t> data);
    bool PatchAt(std::uint64_t offset, std::uint64_t value);

    // --- chunks and RIFFs (avi_writer.cpp) ---
    // The indexes that close the current RIFF, with one more entry for stream.
    std::uint64_t IndexBytesWith(int stream) const { return indexes.BytesWith(stream, first.writing); }
    bool Fits(int stream, std::uint64_t chunkBytes) const;
    bool AppendChunk(int stream, std::span<const std::uint8_t> data, bool key);
    // Counts a chunk whose header lies at `at` and lists it in the indexes.
    void Index(int stream, std::uint64_t at, std::uint32_t size, bool key);
    bool FinishRiff();
    void EndFirstRiff(std::uint64_t riffEnd, std::uint64_t moviEnd, bool withIdx1);
    bool StartRiff();
    // The headers with the counts so far; `finished`: of a finished file.
    bool WriteHeaders(bool finished = false);
    avi::RecordingNote Note(bool finished) const;
    bool NoteProgress();
    bool CoverUnusedEnd();

    // --- finishing a recording whose write failed (avi_salvage.cpp) ---
    std::uint64_t DataEnd() const { return indexes.DataEnd(riffStart, moviStart); }
    void DropLastChunk();
    void Salvage();
};

}  // namespace kestrova
