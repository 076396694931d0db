// Files the real exe records are read by ffprobe in the e2e tests; every index, and a disk that
// fills at any byte, are the fuzz target's. Here RIFF limits, write-buffer boundaries, 4 GiB rests,
// and the repair of a file killed at any byte.
#include "capture/avi/avi_headers.h"
#include "capture/avi/avi_repair.h"
#include "capture/avi/avi_writer.h"
#include "platform/binary_file.h"
#include "platform/files.h"

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
using namespace testing;  // FromUtf8, Pcm, TempDir, SmallDisk

// Recordings of the writer: a script of frames, dropped frames and sound
// written with recognisable bytes, and a file read back chunk by chunk with
// its counts.
using Bytes = std::vector<std::uint8_t>;

// Little-endian numbers and four-character codes in a file's bytes.
inline std::uint64_t Le(const Bytes& b, std::uint64_t at, int bytes = 4) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | b.at(at + static_cast<std::uint64_t>(i));
    return value;
}
inline std::string Tag(const Bytes& b, std::uint64_t at) { return std::string(b.begin() + at, b.begin() + at + 4); }

// A chunk; 'RIFF' and 'LIST' ones have a type.
struct Chunk {
    std::string id, type;
    std::uint64_t at = 0;  // of the header
    std::uint32_t size = 0;
    std::uint64_t End() const { return at + 8 + size; }  // without a pad byte
};

inline std::size_t FrameBytes(const AviVideoFormat& v) { return static_cast<std::size_t>((v.width * 3 + 3) & ~3) * v.height; }

inline Bytes Pattern(std::size_t size, std::size_t seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + seed * 31);
    return b;
}

struct Written {
    std::string id;  // 00db or 01wb
    Bytes data;      // none for a dropped frame
};

// Records a script of frames ('v'), dropped frames ('d') and sound chunks
// ('a', audioBytes each) up to the first write refused; returns what went in.
// Another seed gives other bytes.
inline std::vector<Written> Record(AviWriter& w, const AviVideoFormat& v, const std::string& script,
                                   std::size_t audioBytes, std::size_t seed = 0) {
    std::vector<Written> out;
    for (const char step : script) {
        const std::size_t size = step == 'd' ? 0 : step == 'a' ? audioBytes : FrameBytes(v);
        Written c{step == 'a' ? "01wb" : "00db", Pattern(size, out.size() + seed)};
        const bool taken = step == 'd' ? w.WriteDroppedFrame() : step == 'a' ? w.WriteAudio(c.data)
                                                                                : w.WriteVideoFrame(c.data);
        if (!taken) break;
        out.push_back(std::move(c));
    }
    return out;
}

inline Bytes ReadBytes(const std::string& path) {
    const std::string file = ReadWholeFile(path).value_or("");  // none reads as no chunks at all
    return Bytes(file.begin(), file.end());
}

// A recording read back: all its chunks in file order (a list before what
// it holds), its RIFF chunks and its data chunks.
struct AviFile {
    Bytes bytes;
    std::vector<Chunk> chunks, riffs, data;

    explicit AviFile(const std::string& path) : AviFile(ReadBytes(path)) {}
    explicit AviFile(Bytes file) : bytes(std::move(file)) {
        std::set<std::uint64_t> ends{bytes.size()};
        for (std::uint64_t at = 0; at + 8 <= bytes.size(); ends.insert(at)) {
            Chunk c{Tag(bytes, at), "", at, static_cast<std::uint32_t>(Le(bytes, at + 4))};
            const bool list = c.id == "RIFF" || c.id == "LIST";
            if (list) c.type = Tag(bytes, at + 8);
            chunks.push_back(c);
            if (c.id == "RIFF") riffs.push_back(c);
            if (c.id == "00db" || c.id == "01wb") data.push_back(c);
            at = list ? at + 12 : c.End() + (c.size & 1);
        }
        // Each chunk ends where the next one starts; at the end of the file
        // an odd one may lack its pad byte.
        for (const Chunk& c : chunks) {
            EXPECT_TRUE(c.End() <= bytes.size() && ends.count(c.End()) + ends.count(c.End() + 1)) << c.id << c.at;
        }
    }
    // avih's total frames, dmlh's, and the video stream's length.
    std::tuple<std::uint64_t, std::uint64_t, std::uint64_t> Counts() const {
        auto value = [&](const std::string& id, int offset) {  // in the first `id` chunk
            const auto c = std::find_if(chunks.begin(), chunks.end(), [&](const Chunk& c) { return c.id == id; });
            return c == chunks.end() ? ~0ull : Le(bytes, c->at + 8 + offset);
        };
        return {value("avih", 16), value("dmlh", 0), value("strh", 32)};
    }
    // The data chunks are what was written, in order.
    void ExpectHolds(const std::vector<Written>& written) const {
        ASSERT_EQ(data.size(), written.size());
        for (std::size_t i = 0; i < data.size(); ++i) {
            EXPECT_EQ(data[i].id, written[i].id) << i;
            EXPECT_EQ(Bytes(bytes.begin() + data[i].at + 8, bytes.begin() + data[i].End()), written[i].data) << i;
        }
    }
};

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
            // At chunk boundaries, in headers, in the notes of progress, in pages.
            std::set<std::size_t> cuts{w.data.size()};
            std::vector<std::uint64_t> at;
            for (const Chunk& c : file.chunks) at.insert(at.end(), {c.at, c.at + 1, c.at + 8});
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
                const auto whole = [&](const Chunk& c) { return c.End() + (c.size & 1) <= end; };
                const auto onDisk = static_cast<std::size_t>(std::count_if(file.data.begin(), file.data.end(), whole));
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
