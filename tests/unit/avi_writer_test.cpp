// Files the real exe records are read by ffprobe in the e2e tests and every index is checked by the
// fuzz target; here RIFF limits, write-buffer boundaries, a full disk at every byte, 4 GiB rests,
// and the repair of a file killed at any byte.
#include "capture/avi/avi_repair.h"
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


// Every write of a recording, in order, over the file's first bytes.
struct Write {
    std::uint64_t at;
    Bytes data;
    bool truncate;
};
class WriteLog final : public RandomAccessFile {
public:
    WriteLog(std::vector<Write>& log, std::uint64_t size) : log_(log), size_(size) {}
    bool WriteAt(std::uint64_t at, std::span<const std::uint8_t> data) override {
        log_.push_back({at, Bytes(data.begin(), data.end()), false});
        size_ = std::max<std::uint64_t>(size_, at + data.size());
        return true;
    }
    std::optional<std::uint64_t> Size() const override { return size_; }
    bool Truncate(std::uint64_t size) override {
        log_.push_back({size, {}, true});
        size_ = size;
        return true;
    }
    bool Close() override { return true; }
    FileError LastError() const override { return FileError::None; }

private:
    std::vector<Write>& log_;
    std::uint64_t size_;
};

void Apply(Bytes& disk, const Write& w, std::size_t bytes) {
    if (w.truncate) return disk.resize(w.at);
    if (w.at + bytes > disk.size()) disk.resize(w.at + bytes);
    std::copy_n(w.data.begin(), bytes, disk.begin() + static_cast<std::ptrdiff_t>(w.at));
}

std::optional<AviRepair> Repair(Bytes& disk, std::uint64_t capacity) {
    SmallDisk file(disk, capacity);
    const AviReader read = [&disk](std::uint64_t at, std::span<std::uint8_t> into) {
        if (at > disk.size() || into.size() > disk.size() - at) return false;
        std::copy_n(disk.begin() + static_cast<std::ptrdiff_t>(at), into.size(), into.begin());
        return true;
    };
    return RepairAviFile(read, disk.size(), file);
}

TEST(AviRepair, AFileKilledAtAnyByteRepairsToWhatClosingThereWouldHaveWritten) {
    // Small RIFFs (7 of them), frames through a small buffer; the second time
    // over an older recording whose chunks line up with the new ones for the
    // first 45 slots (then the file grows): only the note tells them apart.
    const AviVideoFormat video{32, 24, 40000};
    const AviWriterOptions o{40000, 16, 4096};
    const std::string script = Script(60, 9);
    const auto recording = [&](Bytes disk, std::size_t chunks, std::size_t seed, std::vector<Write>* log) {
        AviWriter w;
        EXPECT_TRUE(log ? w.Open(std::make_unique<WriteLog>(*log, disk.size()), video, Pcm(1, 8000, 8), o)
                        : w.Open(std::make_unique<SmallDisk>(disk, ~0ull), video, Pcm(1, 8000, 8), o));
        Record(w, video, script.substr(0, chunks), 320, seed);
        EXPECT_TRUE(w.Close());
        return disk;
    };
    std::vector<Bytes> closed;  // the file Close makes after each number of chunks
    for (std::size_t k = 0; k <= script.size(); ++k) closed.push_back(recording({}, k, 0, nullptr));
    const AviFile file(closed.back());
    for (const Bytes& start : {Bytes(), recording({}, 90, 1000, nullptr)}) {
        std::vector<Write> log;
        recording(start, script.size(), 0, &log);
        Bytes disk = start;
        std::uint64_t written = 0;  // the end of the bytes written so far
        for (std::size_t i = 0; i < log.size(); ++i) {
            const Write& w = log[i];
            std::set<std::size_t> cuts{w.data.size()};  // at chunk boundaries, in headers, in pages
            for (const Chunk& c : file.chunks) {
                for (const std::uint64_t d : {0, 1, 8}) {
                    if (c.at + d > w.at && c.at + d < w.at + w.data.size()) cuts.insert(c.at + d - w.at);
                }
            }
            for (std::size_t page = 4096; page < w.data.size(); page += 4096) cuts.insert(page);
            for (const std::size_t cut : cuts) {
                SCOPED_TRACE(::testing::Message() << "write " << i << " cut after " << cut << " of "
                                                  << w.data.size() << (start.empty() ? "" : ", over old bytes"));
                Bytes killed = disk;
                Apply(killed, w, cut);
                const Bytes before = killed;
                const std::uint64_t end = w.truncate ? written : std::max<std::uint64_t>(written, w.at + cut);
                const auto whole = [&](const Chunk& c) { return c.End() + (c.size & 1) <= end; };
                const auto onDisk = static_cast<std::size_t>(std::count_if(file.data.begin(), file.data.end(), whole));
                const std::optional<AviRepair> r = Repair(killed, ~0ull);
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
                const std::optional<AviRepair> again = Repair(killed, ~0ull);
                EXPECT_EQ(std::tuple(r->error, r->recordedBytes, r->droppedFrames, again && !again->changed),
                          std::tuple(FileError::None, closed[k].size(), static_cast<std::uint32_t>(drops), true));
                // Without room to grow it mends in place, or leaves the file
                // as it was up to the end of the chunks it would keep.
                Bytes tight = before;
                const std::optional<AviRepair> inPlace = Repair(tight, tight.size());
                const std::uint64_t kept = k == 0 ? AviHeaderBytes(true, o) : file.data[k - 1].End();
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
