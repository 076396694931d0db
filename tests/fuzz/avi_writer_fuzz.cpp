// The AVI writer on a small disk: formats, options, a pre-allocated file and
// a run of writes all come from the input. Whatever happens, Close leaves a
// whole file (RIFF 'AVI ', 'AVIX' RIFFs, JUNK over the unused rest) whose
// chunks, indexes and counts agree with each other and with the writer.
// The same chunks are then recorded again and killed after as many bytes as
// the disk held; the repair must make a whole file of a first part of them.
#include "../unit/avi_check.h"
#include "../unit/small_disk_file.h"
#include "capture/avi/avi_repair.h"
#include "capture/avi/avi_writer.h"
#include "fuzz_check.h"

#include <algorithm>
#include <span>
#include <vector>

namespace {

using namespace kestrova;
using namespace kestrova::testing;

// Records the chunks again into `disk`, killed after `budget` bytes, and
// repairs what is left: a whole file with the chunks of a first part.
void CheckKilled(Bytes disk, std::uint64_t budget, const AviVideoFormat& video, const std::optional<WaveFormat>& audio,
                 const AviWriterOptions& options, const std::vector<Written>& written) {
    std::vector<Write> log;
    {
        Bytes scratch = disk;
        AviWriter w;
        KESTROVA_FUZZ_CHECK(w.Open(std::make_unique<SmallDisk>(scratch, ~0ull, &log), video, audio, options));
        for (const Written& c : written) KESTROVA_FUZZ_CHECK(WriteChunk(w, c));
    }
    // The write that crosses the budget leaves its first bytes; no later
    // write or cut reaches the disk (the writer never knew).
    std::uint64_t left = budget;
    for (const Write& write : log) {
        const std::uint64_t n = write.truncate ? 0 : std::min<std::uint64_t>(write.data.size(), left);
        if (write.truncate ? left > 0 : n > 0) Apply(disk, write, static_cast<std::size_t>(n));
        left -= n;
    }
    const std::optional<AviRepair> r = RepairInMemory(disk);
    // Only a kill in the opening writes leaves none: over older bytes the
    // note goes first, then the headers at 0 (and the first chunk header).
    std::uint64_t opening = 0;
    for (const Write& write : log) {
        opening += write.data.size();
        if (write.at == 0) break;
    }
    KESTROVA_FUZZ_CHECK(r || budget < opening + 32);
    if (!r) return;
    KESTROVA_FUZZ_CHECK(r->error == FileError::None);
    const Expected e{r->changed ? r->recordedBytes : disk.size(), r->recordedBytes, std::nullopt, r->frames,
                     r->droppedFrames, r->audioBytes, false};
    CheckFile(disk, e, written, audio, options);
    const std::optional<AviRepair> again = RepairInMemory(disk);
    KESTROVA_FUZZ_CHECK(again && !again->changed && again->frames == r->frames && again->audioBytes == r->audioBytes);
}

std::optional<WaveFormat> AudioFormat(std::uint32_t shape, fuzz::ByteReader& in) {
    if ((shape & 2) == 0) return std::nullopt;
    const auto channels = static_cast<std::uint16_t>(1 + in.U8() % 4);
    const auto bits = static_cast<std::uint16_t>(8 * (1 + in.U8() % 4));
    const std::uint32_t rate = in.U32() % 200000;  // 0 is refused
    const auto align = static_cast<std::uint16_t>(channels * bits / 8);
    WaveFormat a{1, channels, rate, rate * align, align, bits, 0};
    if (shape & 4) {  // one field that does not agree
        switch (in.U8() % 5) {
        case 0: a.wFormatTag = 3; break;
        case 1: ++a.nBlockAlign; break;
        case 2: ++a.nAvgBytesPerSec; break;
        case 3: a.wBitsPerSample = 12; break;
        default: a.nChannels = 0; break;
        }
    }
    return a;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    fuzz::ByteReader in(input, size);
    const std::uint32_t shape = in.U8();
    // Frames of 64 KiB and more bypass the write buffer: sides up to 160.
    const int big = (shape & 1) ? 96 : 0;
    AviVideoFormat video;
    video.width = 1 + big + static_cast<int>(in.U8() % 64);
    video.height = 1 + big + static_cast<int>(in.U8() % 64);
    video.microSecPerFrame = in.U32();  // 0 is refused
    const std::optional<WaveFormat> audio = AudioFormat(shape, in);
    AviWriterOptions options;
    options.riffBytes = 4096 + std::uint64_t{in.U16()} * 4;
    options.superIndexEntries = in.U8() % 17;  // 0 is refused
    options.bufferBytes = (shape & 8) ? in.U8() % 17 : 1 + in.U32() % (std::uint32_t{1} << 20);
    const std::uint64_t capacity = in.U32() % (std::uint32_t{1} << 21);
    // A pre-allocated file: stale bytes, or the input's own.
    Bytes disk((shape & 16) ? std::min<std::uint64_t>(capacity, std::uint64_t{in.U16()} * 8) : 0, 0xAB);
    if (shape & 32) {
        const std::string_view rest = in.Rest();
        for (std::size_t i = 0; i < disk.size() && !rest.empty(); ++i) {
            disk[i] = static_cast<std::uint8_t>(rest[i % rest.size()]);
        }
    }
    const std::uint64_t preallocated = disk.size();
    const Bytes before = disk;

    AviWriter w;
    const bool open = w.Open(std::make_unique<SmallDisk>(disk, capacity), video, audio, options);
    const auto frameBytes = static_cast<std::size_t>(((video.width * 3 + 3) & ~3) * video.height);
    const std::size_t align = audio && audio->nBlockAlign > 0 ? audio->nBlockAlign : 4;
    std::vector<Written> written;
    int calls = 0;
    while (!in.AtEnd() && calls < 2000) {
        const std::uint32_t op = in.U8();
        const std::uint32_t param = in.U16();
        for (std::uint32_t repeat = 1 + (op >> 3); repeat > 0 && calls < 2000; --repeat, ++calls) {
            const bool failedBefore = w.Error() != FileError::None;
            const auto seed = static_cast<std::uint32_t>(written.size());
            int stream = 0;
            std::size_t bytes = frameBytes;
            bool ok = false;
            switch (op & 7) {
            case 0:
            case 1: ok = w.WriteVideoFrame(Content(bytes, seed)); break;
            case 2:
                bytes = param % (2 * frameBytes + 2);
                ok = w.WriteVideoFrame(Content(bytes, seed));
                KESTROVA_FUZZ_CHECK(!ok || bytes == frameBytes);
                break;
            case 3: bytes = 0; ok = w.WriteDroppedFrame(); break;
            default:
                stream = 1;
                bytes = (op & 7) == 4 ? (param % 64) * align : (op & 7) == 5 ? param % 4096 : 0;
                ok = w.WriteAudio(Content(bytes, seed));
                KESTROVA_FUZZ_CHECK(!ok || (audio && bytes % align == 0));
                if (bytes == 0) KESTROVA_FUZZ_CHECK(ok == (open && !failedBefore && audio.has_value()));
                break;
            }
            // Nothing is written before Open succeeds or after a failed write.
            if (!open || failedBefore) KESTROVA_FUZZ_CHECK(!ok || (stream == 1 && bytes == 0));
            if (ok && (stream == 0 || bytes > 0)) written.push_back({stream, static_cast<std::uint32_t>(bytes), seed});
        }
    }

    KESTROVA_FUZZ_CHECK(w.Close() == open);
    if (!open) return 0;
    KESTROVA_FUZZ_CHECK(w.Error() == FileError::None || w.Error() == FileError::DiskFull);
    CheckFile(disk, Of(w, preallocated), written, audio, options);
    CheckKilled(before, capacity, video, audio, options, written);
    return 0;
}
