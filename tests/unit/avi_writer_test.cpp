// Files the real exe records are read by ffprobe in the e2e tests; a disk that fills at any byte is
// the fuzz target's, whose whole-file check (avi_check.h) this test shares. Here RIFF limits,
// write-buffer boundaries, 4 GiB rests, and the repair of a file killed at any byte.
#include "capture/avi/avi_headers.h"
#include "capture/avi/avi_repair.h"
#include "capture/avi/avi_writer.h"
#include "platform/binary_file.h"
#include "platform/files.h"

#include "avi_check.h"
#include "pcm_format.h"
#include "small_disk_file.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace kestrova {
namespace {

namespace fs = std::filesystem;
using namespace testing;  // FromUtf8, Pcm, TempDir, SmallDisk, the AVI checks

// A script of frames ('v'), dropped frames ('d') and sound chunks ('a',
// audioBytes each) recorded up to the first write refused; returns what went
// in. Another seed gives other bytes.
inline std::vector<Written> Record(AviWriter& w, const AviVideoFormat& v, const std::string& script,
                                   std::uint32_t audioBytes, std::uint32_t seed = 0) {
    std::vector<Written> out;
    const auto frame = static_cast<std::uint32_t>(((v.width * 3 + 3) & ~3) * v.height);
    for (const char step : script) {
        const Written c{step == 'a' ? 1 : 0, step == 'd' ? 0 : step == 'a' ? audioBytes : frame,
                        static_cast<std::uint32_t>(out.size()) + seed};
        if (!WriteChunk(w, c)) break;
        out.push_back(c);
    }
    return out;
}

inline Bytes ReadBytes(const std::string& path) {
    const std::string file = ReadWholeFile(path).value_or("");
    return Bytes(file.begin(), file.end());
}

inline std::string Script(int slots, int dropEvery) {
    std::string script;
    for (int i = 0; i < slots; ++i) script += i % dropEvery == dropEvery - 1 ? "da" : "va";
    return script;
}

TEST(AviWriter, ContinuesInAvixChunksPastTheRiffLimitWithAnyWriteBuffer) {
    TempDir dir;
    const std::string path = dir.Path("録画ﾃｽﾄ.avi");  // paths are UTF-8
    const AviVideoFormat video{65, 48, 40000};           // rows of 195 bytes pad to 196
    AviWriter w;
    AviWriterOptions o{49152, 16, 10000};
    ASSERT_TRUE(w.Open(path, video, Pcm(1, 8000, 8), o));
    const std::vector<Written> written = Record(w, video, Script(30, 7), 321);  // odd chunks get a pad byte
    ASSERT_EQ(written.size(), 60u);
    ASSERT_TRUE(w.Close());
    // avih counts the first RIFF's frames (what old readers see), the others all.
    const Bytes file = ReadBytes(path);
    const std::vector<Chunk> riffs = CheckFile(file, Of(w, 0), written, Pcm(1, 8000, 8), o);
    ASSERT_GE(riffs.size(), 5u);

    // What one file holds: the seconds the helper gives fit, 5 % more do
    // not (no dropped frames: they are smaller).
    const AviWriterOptions limited{std::uint64_t{1} << 20, 16, 1 << 16};
    const auto slots = static_cast<int>(AviSecondsPerFile(video, Pcm(1, 8000, 8), limited) * 1000000 / 40000);
    Bytes disk;
    ASSERT_TRUE(w.Open(std::make_unique<SmallDisk>(disk, ~0ull), video, Pcm(1, 8000, 8), limited));
    EXPECT_EQ(Record(w, video, Script(slots, slots + 1), 320).size(), 2u * slots);
    EXPECT_FALSE(w.Full());
    EXPECT_LT(Record(w, video, Script(slots / 20, slots), 320).size(), 2u * (slots / 20));
    EXPECT_TRUE(w.Full());
    ASSERT_TRUE(w.Close());
    EXPECT_LE(disk.size(), AviFileLimitBytes(limited));
    // At 96 kHz the sound's 32-bit block count ends a file before the
    // 16 TiB do: 12.4 hours less the 1 % kept back.
    EXPECT_EQ(AviSecondsPerFile(AviVideoFormat{64, 48, 1000000}, Pcm(2, 96000, 16)), 44291u);

    // What Save As copies: the RIFF chunks; of one cut short, those before it.
    EXPECT_EQ(RecordedAviBytes(path), file.size());
    fs::resize_file(FromUtf8(path), riffs[1].at + 100);
    EXPECT_EQ(RecordedAviBytes(path), riffs[1].at);

    // Any write buffer gives the same file: its ends fall anywhere, also
    // inside the size fields fixed up when a RIFF ends. (Frames that bypass
    // the buffer are the fuzz target's.)
    std::vector<std::size_t> buffers{1, 7, 4097};
    for (const std::uint64_t into : {5, 6, 7, 17, 18, 19}) {
        buffers.push_back(riffs[2].at - AviHeaderBytes(true, o) + into);  // the last write before a RIFF ends
    }
    for (const std::size_t buffer : buffers) {
        o.bufferBytes = buffer;
        ASSERT_TRUE(w.Open(dir.Path("buffer.avi"), video, Pcm(1, 8000, 8), o));
        Record(w, video, Script(30, 7), 321);
        ASSERT_TRUE(w.Close());
        EXPECT_EQ(ReadBytes(dir.Path("buffer.avi")), file) << buffer;
    }
}

TEST(PreallocatedFile, ARestOfFourGibOrMoreIsHiddenInSeveralJunkChunks) {
    // A sparse file where the file system allows. Shorter rests are in
    // tests/e2e (of odd length, over an older recording) and the fuzz target.
    TempDir dir;
    const std::string path = dir.Path("capture.avi");
    const std::uint64_t size = (6ull << 30) + 1;  // less the recording, still over 4 GiB
    {
        BinaryFile filler;
        ASSERT_TRUE(filler.OpenForWriting(path));
        ASSERT_TRUE(filler.WriteAt(size - 1, Bytes{0xAB}));
    }
    const AviVideoFormat video{32, 24, 33333};
    AviWriter w;
    ASSERT_TRUE(w.Open(path, video, Pcm(1, 8000, 8)));
    Record(w, video, "vadva", 267);
    ASSERT_TRUE(w.Close());
    EXPECT_EQ(std::tuple(fs::file_size(FromUtf8(path)), RecordedAviBytes(path)), std::tuple(size, w.RecordedBytes()));
    BinaryFile f;
    ASSERT_TRUE(f.OpenForReading(path));
    std::vector<std::uint64_t> top;
    Bytes head(8);
    std::uint64_t end = 0;  // of the last chunk, without a pad byte
    for (std::uint64_t at = 0; at + 8 <= size && top.size() < 8; at = end + (head[4] & 1u)) {
        EXPECT_EQ(f.ReadAt(at, head), 8u);
        top.push_back(AviFile(head).Le(0));
        end = at + 8 + AviFile(head).Le(4);
    }
    EXPECT_EQ(top, (std::vector<std::uint64_t>{FourCC("RIFF"), FourCC("JUNK"), FourCC("JUNK")}));
    EXPECT_EQ(end, size);
}

TEST(AviRepair, AFileKilledAtAnyByteRepairsToWhatClosingThereWouldHaveWritten) {
    // Small RIFFs (7 of them), frames through a small buffer; the second time
    // over an older recording whose chunks line up with the new ones for the
    // first 45 slots (then the file grows): only the note tells them apart.
    const AviVideoFormat video{32, 24, 40000};
    const AviWriterOptions o{40000, 16, 4096};
    const std::string script = Script(60, 9);
    const auto recording = [&](Bytes disk, std::size_t chunks, std::uint32_t seed, std::vector<Write>* log) {
        AviWriter w;
        EXPECT_TRUE(w.Open(std::make_unique<SmallDisk>(disk, ~0ull, log), video, Pcm(1, 8000, 8), o));
        Record(w, video, script.substr(0, chunks), 320, seed);
        EXPECT_TRUE(w.Close());
        return disk;
    };
    std::vector<Bytes> closed;  // the file Close makes after each number of chunks
    for (std::size_t k = 0; k <= script.size(); ++k) closed.push_back(recording({}, k, 0, nullptr));
    const std::vector<Chunk> chunks = AviFile(closed.back()).Tree(0, closed.back().size(), true);
    std::vector<Chunk> data;
    std::copy_if(chunks.begin(), chunks.end(), std::back_inserter(data), [](const Chunk& c) {
        return c.id == kDataIds[0] || c.id == kDataIds[1];
    });
    for (const Bytes& start : {Bytes(), recording({}, 90, 1000, nullptr)}) {
        std::vector<Write> log;
        recording(start, script.size(), 0, &log);
        Bytes disk = start;
        std::uint64_t written = 0;  // the end of the bytes written so far
        for (std::size_t i = 0; i < log.size(); ++i) {
            const Write& w = log[i];
            // At chunk boundaries, in headers, in the notes of progress, in pages.
            // Any write but the first torn after its first byte, a size patch among them.
            std::set<std::size_t> cuts{i > 0 ? 1 : w.data.size(), w.data.size()};
            std::vector<std::uint64_t> at;
            for (const Chunk& c : chunks) at.insert(at.end(), {c.at, c.at + 1, c.at + 8});
            // (The first write, the note at the open, leaves the older recording whole until it is done.)
            for (const std::uint64_t d : {20, 52}) {
                if (i > 0) at.push_back(avi::NoteOffset(true, o.superIndexEntries) + d);
            }
            for (const std::uint64_t a : at) {
                if (a > w.at && a < w.at + w.data.size()) cuts.insert(a - w.at);
            }
            for (std::size_t page = 4096; page < w.data.size(); page += 4096) cuts.insert(page);
            for (const std::size_t cut : cuts) {
                SCOPED_TRACE(::testing::Message() << "write " << i << " cut after " << cut << " of "
                                                  << w.data.size() << (start.empty() ? "" : ", over old bytes"));
                Bytes killed = disk;
                Apply(killed, w, cut);
                const Bytes before = killed;
                const std::uint64_t end = w.truncate ? written : std::max<std::uint64_t>(written, w.at + cut);
                const auto whole = [&](const Chunk& c) { return c.End() <= end; };
                const auto onDisk = static_cast<std::size_t>(std::count_if(data.begin(), data.end(), whole));
                const std::optional<AviRepair> r = RepairInMemory(killed);
                // Only a kill inside the very first write leaves no recording.
                ASSERT_EQ(r.has_value(), i > 0 || cut == w.data.size());
                if (!r) continue;
                // Over old bytes, what came after the last note may be lost:
                // up to a second of frame slots (25, with their sound).
                const std::size_t k = r->frames + r->audioBytes / 320;
                ASSERT_LE(k, onDisk);
                EXPECT_GE(k + (start.empty() ? 0 : 54), onDisk);
                EXPECT_EQ(killed, closed[k]);
                const auto drops = std::count(script.begin(), script.begin() + static_cast<std::ptrdiff_t>(k), 'd');
                const std::optional<AviRepair> again = RepairInMemory(killed);
                EXPECT_EQ(std::tuple(r->error, r->recordedBytes, r->droppedFrames, again && !again->changed),
                          std::tuple(FileError::None, closed[k].size(), static_cast<std::uint32_t>(drops), true));
                // Without room to grow it mends in place, or leaves the file
                // as it was up to the end of the chunks it would keep.
                Bytes tight = before;
                const std::optional<AviRepair> inPlace = RepairInMemory(tight, tight.size());
                const std::uint64_t kept = k == 0 ? AviHeaderBytes(true, o) : data[k - 1].End();
                if (inPlace->error == FileError::None) {
                    EXPECT_EQ(tight, closed[k]);
                } else {
                    EXPECT_EQ(std::tuple(inPlace->error, Bytes(tight.begin(), tight.begin() + kept)),
                              std::tuple(FileError::DiskFull, Bytes(before.begin(), before.begin() + kept)));
                }
            }
            Apply(disk, w, w.data.size());
            if (!w.truncate) written = std::max<std::uint64_t>(written, w.at + w.data.size());
        }
    }
}

}  // namespace
}  // namespace kestrova
