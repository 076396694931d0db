// Real files are read by ffprobe in tests/e2e/test_avi_files.py and every index is checked by the
// fuzz target; here RIFF limits, write-buffer boundaries, a full disk at every byte, 4 GiB rests.
#include "capture/avi/avi_writer.h"
#include "platform/binary_file.h"
#include "platform/files.h"

#include "pcm_format.h"
#include "recorded_avi.h"
#include "temp_dir.h"
#include "small_disk_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace kestrova {
namespace {

namespace fs = std::filesystem;
using namespace testing;  // FromUtf8, Pcm, TempDir, the recordings read back

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
    const AviFile f(path);
    ASSERT_GE(f.riffs.size(), 5u);
    EXPECT_EQ(f.riffs.size(), w.RiffChunks());
    f.ExpectHolds(written);
    EXPECT_EQ(std::tuple(f.riffs[1].type, f.riffs[1].End() <= f.riffs[1].at + 49152), std::tuple(std::string("AVIX"), true));
    // avih counts the first RIFF's frames (what old readers see), the others all.
    const auto frames = std::count_if(f.data.begin(), f.data.end(),
                                      [&](const Chunk& c) { return c.id == "00db" && c.at < f.riffs[1].at; });
    EXPECT_EQ(f.Counts(), std::tuple(static_cast<std::uint64_t>(frames), 30u, 30u));

    // What Save As copies: the RIFF chunks; of one cut short, those before it.
    EXPECT_EQ(RecordedAviBytes(path), f.bytes.size());
    fs::resize_file(FromUtf8(path), f.riffs[1].at + 100);
    EXPECT_EQ(RecordedAviBytes(path), f.riffs[1].at);

    // Any write buffer gives the same file: its ends fall anywhere, also
    // inside the size fields fixed up when a RIFF ends. (Frames that bypass
    // the buffer are the fuzz target's.)
    std::vector<std::size_t> buffers{1, 7, 4097};
    for (const std::uint64_t into : {5, 6, 7, 17, 18, 19}) {
        buffers.push_back(f.riffs[2].at - AviHeaderBytes(true, o) + into);  // the last write before a RIFF ends
    }
    for (const std::size_t buffer : buffers) {
        o.bufferBytes = buffer;
        ASSERT_TRUE(w.Open(dir.Path("buffer.avi"), video, Pcm(1, 8000, 8), o));
        Record(w, video, Script(30, 7), 321);
        ASSERT_TRUE(w.Close());
        EXPECT_EQ(ReadBytes(dir.Path("buffer.avi")), f.bytes) << buffer;
    }
}

TEST(AviWriter, AFullDiskEndsTheRecordingWithAWholeFile) {
    // The disk fills at every kind of place: in a frame, in the sound, in the
    // indexes, in a pre-allocated file's room, in a later RIFF. The file then
    // holds the chunks written before, with counts that agree. (The fuzz
    // target checks its indexes too, on any disk.)
    const std::string script = Script(60, 9);
    const AviVideoFormat video{32, 24, 40000};
    for (const std::uint64_t preallocated : {0ull, 30000ull}) {
        for (std::uint64_t capacity = preallocated + 4700; capacity < 140000; capacity += 3331) {
            SCOPED_TRACE(::testing::Message() << "capacity " << capacity << ", pre-allocated " << preallocated);
            Bytes disk(preallocated, 0xAB);
            AviWriter w;
            ASSERT_TRUE(
                w.Open(std::make_unique<SmallDisk>(disk, capacity), video, Pcm(1, 8000, 8), {40000, 16, 4096}));
            std::vector<Written> written = Record(w, video, script, 320);
            ASSERT_TRUE(w.Close());
            EXPECT_EQ(w.Error(), written.size() < script.size() ? FileError::DiskFull : FileError::None);
            const AviFile f(disk);
            ASSERT_GE(written.size(), f.data.size());
            written.resize(f.data.size());
            f.ExpectHolds(written);
            const auto frames = static_cast<std::uint64_t>(
                std::count_if(written.begin(), written.end(), [](const Written& c) { return c.id == "00db"; }));
            EXPECT_EQ(std::tuple(std::get<1>(f.Counts()), std::get<2>(f.Counts()), w.VideoFrames(), w.AudioBytes()),
                      std::tuple(frames, frames, frames, (written.size() - frames) * 320));
            EXPECT_EQ(f.bytes.size(), std::max(w.RecordedBytes(), preallocated));
        }
    }
}

TEST(PreallocatedFile, ARestOfFourGibOrMoreIsHiddenInSeveralJunkChunks) {
    // A sparse file where the file system allows. Shorter rests are in
    // tests/e2e (of odd length, over an older recording) and the fuzz target.
    TempDir dir;
    const std::string path = dir.Path("capture.avi");
    const AviVideoFormat video{32, 24, 33333};
    const std::uint64_t rest = (6ull << 30) + 1;
    std::uint64_t recorded = 0;
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            BinaryFile filler;
            ASSERT_TRUE(filler.OpenForWriting(path));
            ASSERT_TRUE(filler.WriteAt(recorded + rest - 1, Bytes{0xAB}));
        }
        AviWriter w;
        ASSERT_TRUE(w.Open(path, video, Pcm(1, 8000, 8)));
        Record(w, video, "vadva", 267);
        ASSERT_TRUE(w.Close());
        recorded = w.RecordedBytes();
    }
    EXPECT_EQ(std::tuple(fs::file_size(FromUtf8(path)), RecordedAviBytes(path)), std::tuple(recorded + rest, recorded));
    BinaryFile f;
    ASSERT_TRUE(f.OpenForReading(path));
    std::vector<std::string> top;
    Bytes head(8);
    std::uint64_t end = 0;  // of the last chunk, without a pad byte
    for (std::uint64_t at = 0; at + 8 <= recorded + rest && top.size() < 8; at = end + (head[4] & 1u)) {
        EXPECT_EQ(f.ReadAt(at, head), 8u);
        top.push_back(Tag(head, 0));
        end = at + 8 + Le(head, 4);
    }
    EXPECT_EQ(top, (std::vector<std::string>{"RIFF", "JUNK", "JUNK"}));
    EXPECT_EQ(end, recorded + rest);
}

}  // namespace
}  // namespace kestrova
