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
// The headers, everything before the first movi list's data, have a fixed
// size (AviHeaderBytes), reserved at Open and written again with the counts
// when a RIFF starts and when the recording closes. The indexes are
// avi_index.h's.
//
// The note at the start of the padding tells the repair of a file that a
// kill left unfinished (avi_repair.h) which bytes this recording wrote: a
// file that was larger before (pre-allocated, or an older recording) still
// holds stale chunks past them, which may look exactly like this
// recording's own. Readers skip it with the JUNK chunk.
#pragma once

#include "capture/avi/avi_index.h"
#include "capture/avi/riff_chunks.h"

#include <cstdint>
#include <optional>
#include <span>

namespace kestrova::avi {

// What the recording is made of, fixed at Open.
struct AviFormat {
    AviVideoFormat video;
    std::optional<WaveFormat> audio;
    std::uint32_t frameBytes = 0;   // a whole frame
    std::uint32_t headerBytes = 0;  // AviHeaderBytes
};

// What the recording holds so far.
struct AviCounts {
    std::uint32_t videoFrames = 0;    // frame slots, dropped ones included
    std::uint32_t droppedFrames = 0;  // the empty ones among them
    std::uint64_t audioBytes = 0;
    std::uint32_t largestAudioChunk = 0;
};

// The first RIFF ('AVI '). The headers hold its sizes, 0 ("unknown") until
// it is complete.
struct FirstRiff {
    bool writing = true;  // still the RIFF being written
    bool hasIdx1 = true;  // false only when a failed recording found no room for it
    std::uint32_t size = 0;
    std::uint32_t moviSize = 0;
    std::uint32_t frames = 0;  // the frame slots it holds, once complete
};

// What the note says.
struct RecordingNote {
    std::uint64_t sizeAtOpen = 0;  // the file's size when the recording began; 0 once it is finished
    std::uint64_t writtenEnd = 0;  // every byte before this offset was written by this recording
    std::uint32_t riffBytes = 0;   // the RIFF limit the recording keeps to

    friend bool operator==(const RecordingNote&, const RecordingNote&) = default;
};

constexpr std::uint32_t kNoteBytes = 32;
// The note is kept twice, side by side, and progress rewrites the copies in
// turn: a kill that tears one write leaves the other whole.
constexpr std::uint32_t kNoteCopies = 2;

// Where the note's first copy lies in the headers (the second follows it).
std::uint64_t NoteOffset(bool withAudio, std::uint32_t superIndexEntries);
Bytes NoteBytes(const RecordingNote& note);
// Both copies of the note, as the headers and a recording's open hold them.
Bytes NoteCopies(const RecordingNote& note);
// The note in these bytes, or nothing when they hold none (or a torn one).
std::optional<RecordingNote> ReadNote(std::span<const std::uint8_t> bytes);

// The headers: headerBytes bytes from the file's start, up to and including
// the first movi list's header.
Bytes BuildAviHeaders(const AviFormat& format, const AviCounts& counts, const FirstRiff& first,
                      const AviIndexes& indexes, const RecordingNote& note);

}  // namespace kestrova::avi
