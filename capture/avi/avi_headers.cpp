#include "capture/avi/avi_headers.h"

#include <algorithm>
#include <numeric>

namespace kestrova {
namespace avi {
namespace {

constexpr std::uint32_t kAvifHasIndex = 0x10;
constexpr std::uint32_t kAvifIsInterleaved = 0x100;
constexpr std::uint32_t kAvifWasCaptureFile = 0x10000;

constexpr std::uint32_t kDmlhBytes = 248;
constexpr std::uint32_t kHeaderAlignment = 4096;
constexpr std::uint32_t kNoteId = FourCC("KvRn");

// The LIST 'hdrl' chunk, its header included.
std::uint64_t HdrlBytes(bool withAudio, std::uint32_t superIndexEntries) {
    const std::uint64_t indx = SuperIndexChunkBytes(superIndexEntries);
    const std::uint64_t videoStrl = 12 + (8 + 56) + (8 + 40) + indx;
    const std::uint64_t audioStrl = 12 + (8 + 56) + (8 + 18) + indx;
    const std::uint64_t odml = 12 + 8 + kDmlhBytes;
    return 12 + (8 + 56) + videoStrl + (withAudio ? audioStrl : 0) + odml;
}

// FNV-1a: tells a torn note from a whole one.
std::uint32_t NoteCheck(std::span<const std::uint8_t> bytes) {
    return std::accumulate(bytes.begin(), bytes.end(), 2166136261u,
                           [](std::uint32_t h, std::uint8_t b) { return (h ^ b) * 16777619u; });
}

class HeaderWriter {
public:
    HeaderWriter(const AviFormat& format, const AviCounts& counts, const FirstRiff& first,
                 const AviIndexes& indexes, const RecordingNote& note)
        : format_(format), counts_(counts), first_(first), indexes_(indexes), note_(note) {}

    Bytes Build() const {
        Bytes out;
        out.reserve(format_.headerBytes);
        const std::size_t riff = OpenList(out, FourCC("RIFF"), FourCC("AVI "));
        const std::size_t hdrl = OpenList(out, FourCC("LIST"), FourCC("hdrl"));
        PutMainHeader(out);
        PutVideoStream(out);
        if (format_.audio.has_value()) PutAudioStream(out);
        const std::size_t odml = OpenList(out, FourCC("LIST"), FourCC("odml"));
        Put32(out, FourCC("dmlh"));
        Put32(out, kDmlhBytes);
        Put32(out, counts_.videoFrames);
        PutZeros(out, kDmlhBytes - 4);
        CloseList(out, odml);
        CloseList(out, hdrl);

        const std::size_t junk = out.size();
        Put32(out, FourCC("JUNK"));
        Put32(out, static_cast<std::uint32_t>(format_.headerBytes - 12 - (junk + 8)));
        const Bytes note = NoteCopies(note_);
        out.insert(out.end(), note.begin(), note.end());
        PutZeros(out, format_.headerBytes - 12 - out.size());
        OpenList(out, FourCC("LIST"), FourCC("movi"));
        // Until the first RIFF is complete its sizes stay 0: "unknown".
        Store32(out.data() + riff + 4, first_.size);
        Store32(out.data() + format_.headerBytes - 8, first_.moviSize);
        return out;
    }

private:
    void PutMainHeader(Bytes& out) const {
        const AviVideoFormat& video = format_.video;
        const bool withAudio = format_.audio.has_value();
        const std::uint32_t largestChunk = std::max(format_.frameBytes, counts_.largestAudioChunk);
        const std::uint64_t bytesPerSec = std::uint64_t{format_.frameBytes} * 1000000 / video.microSecPerFrame +
                                          (withAudio ? format_.audio->nAvgBytesPerSec : 0);
        Put32(out, FourCC("avih"));
        Put32(out, 56);
        Put32(out, video.microSecPerFrame);
        Put32(out, SaturatedU32(bytesPerSec));
        Put32(out, 0);  // dwPaddingGranularity
        Put32(out, (first_.hasIdx1 ? kAvifHasIndex : 0) | kAvifWasCaptureFile | (withAudio ? kAvifIsInterleaved : 0));
        Put32(out, first_.writing ? counts_.videoFrames : first_.frames);
        Put32(out, 0);  // dwInitialFrames
        Put32(out, withAudio ? 2 : 1);
        Put32(out, largestChunk);
        Put32(out, static_cast<std::uint32_t>(video.width));
        Put32(out, static_cast<std::uint32_t>(video.height));
        PutZeros(out, 16);
    }

    void PutVideoStream(Bytes& out) const {
        const AviVideoFormat& video = format_.video;
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
        Put32(out, counts_.videoFrames);
        Put32(out, format_.frameBytes);
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
        Put32(out, format_.frameBytes);
        PutZeros(out, 16);
        indexes_.PutSuperIndex(out, 0);
        CloseList(out, strl);
    }

    void PutAudioStream(Bytes& out) const {
        const WaveFormat& a = *format_.audio;
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
        // A count of blocks past 32 bits (12.4 hours at 96 kHz) stays at the
        // largest value instead of starting again from 0: the indexes hold
        // the sound's true length, which is what readers play.
        Put32(out, SaturatedU32(counts_.audioBytes / a.nBlockAlign));
        Put32(out, counts_.largestAudioChunk);
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
        indexes_.PutSuperIndex(out, 1);
        CloseList(out, strl);
    }

    const AviFormat& format_;
    const AviCounts& counts_;
    const FirstRiff& first_;
    const AviIndexes& indexes_;
    const RecordingNote& note_;
};

}  // namespace

Bytes BuildAviHeaders(const AviFormat& format, const AviCounts& counts, const FirstRiff& first,
                      const AviIndexes& indexes, const RecordingNote& note) {
    return HeaderWriter(format, counts, first, indexes, note).Build();
}

std::uint64_t NoteOffset(bool withAudio, std::uint32_t superIndexEntries) {
    return 12 + HdrlBytes(withAudio, superIndexEntries) + 8;
}

Bytes NoteBytes(const RecordingNote& note) {
    Bytes out;
    Put32(out, kNoteId);
    Put32(out, kNoteBytes);
    Put64(out, note.sizeAtOpen);
    Put64(out, note.writtenEnd);
    Put32(out, note.riffBytes);
    Put32(out, NoteCheck(out));
    return out;
}

Bytes NoteCopies(const RecordingNote& note) {
    Bytes out;
    for (std::uint32_t i = 0; i < kNoteCopies; ++i) {
        const Bytes one = NoteBytes(note);
        out.insert(out.end(), one.begin(), one.end());
    }
    return out;
}

std::optional<RecordingNote> ReadNote(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kNoteBytes || Load32(bytes.data()) != kNoteId || Load32(bytes.data() + 4) != kNoteBytes ||
        Load32(bytes.data() + 28) != NoteCheck(bytes.first(28))) {
        return std::nullopt;
    }
    const auto load64 = [&](std::size_t at) {
        return Load32(bytes.data() + at) | std::uint64_t{Load32(bytes.data() + at + 4)} << 32;
    };
    return RecordingNote{load64(8), load64(16), Load32(bytes.data() + 24)};
}

}  // namespace avi

std::uint32_t AviHeaderBytes(bool withAudio, const AviWriterOptions& options) {
    const std::uint64_t least = avi::NoteOffset(withAudio, options.superIndexEntries) +
                                std::uint64_t{avi::kNoteCopies} * avi::kNoteBytes + 12 /* LIST movi */;
    return avi::SaturatedU32((least + avi::kHeaderAlignment - 1) / avi::kHeaderAlignment * avi::kHeaderAlignment);
}

}  // namespace kestrova
