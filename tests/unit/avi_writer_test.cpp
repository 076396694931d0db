#include "capture/avi/avi_writer.h"
#include "platform/binary_file.h"
#include "platform/files.h"

#include "pcm_format.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

namespace kestrova {
namespace {

namespace fs = std::filesystem;
using testing::FromUtf8;
using testing::Pcm;
using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

// Little-endian numbers and four-character codes in a file's bytes.
std::uint64_t Le(const Bytes& b, std::uint64_t at, int bytes = 4) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | b.at(at + static_cast<std::uint64_t>(i));
    return value;
}
Bytes Slice(const Bytes& b, std::uint64_t at, std::uint64_t n) {
    const auto from = b.begin() + static_cast<std::ptrdiff_t>(at);
    return Bytes(from, from + static_cast<std::ptrdiff_t>(n));
}
std::string Tag(const Bytes& b, std::uint64_t at) {
    const Bytes tag = Slice(b, at, 4);
    return std::string(tag.begin(), tag.end());
}

// A RIFF chunk; 'RIFF' and 'LIST' ones have a type and children.
struct Chunk {
    std::string id, type;
    std::uint64_t at = 0;  // of the header
    std::uint32_t size = 0;
    std::vector<Chunk> children;

    std::uint64_t Data() const { return at + 8; }
    std::uint64_t End() const { return at + 8 + size + (size & 1); }
    const Chunk& Child(const std::string& i, const std::string& t = "", int nth = 0) const {
        const auto c = std::find_if(children.begin(), children.end(), [&](const Chunk& c) {
            return c.id == i && (t.empty() || c.type == t) && nth-- == 0;
        });
        if (c != children.end()) return *c;
        ADD_FAILURE() << "no " << i << " " << t << " in " << id << " " << type;
        static const Chunk none;
        return none;
    }
};

// The chunks in [begin, end): each must fit (an odd last one may lack its pad byte).
std::vector<Chunk> Parse(const Bytes& b, std::uint64_t begin, std::uint64_t end) {
    std::vector<Chunk> out;
    std::uint64_t at = begin;
    for (; at + 8 <= end; at = out.back().End()) {
        Chunk c{Tag(b, at), "", at, static_cast<std::uint32_t>(Le(b, at + 4)), {}};
        if (c.Data() + c.size > end) {
            ADD_FAILURE() << c.id << " at " << at << " runs past " << end;
            return out;
        }
        if (c.id == "RIFF" || c.id == "LIST") {
            c.type = Tag(b, at + 8);
            c.children = Parse(b, at + 12, c.Data() + c.size);
        }
        out.push_back(std::move(c));
    }
    EXPECT_GE(at, end) << "stray bytes at " << at;
    return out;
}

std::size_t FrameSize(int width, int height) { return static_cast<std::size_t>((width * 3 + 3) & ~3) * height; }

Bytes Pattern(std::size_t size, std::size_t seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + seed * 31);
    return b;
}

struct Written {
    std::string id;  // 00db or 01wb
    Bytes data;
    bool dropped;
};

// Records a script of frames ('v'), dropped frames ('d') and sound chunks
// ('a', audioBytes each) and returns what went in.
std::vector<Written> Record(AviWriter& w, const std::string& script, int width, int height, std::size_t audioBytes) {
    std::vector<Written> out;
    for (const char step : script) {
        if (step == 'v') out.push_back({"00db", Pattern(FrameSize(width, height), out.size()), false});
        if (step == 'd') out.push_back({"00db", {}, true});
        if (step == 'a') out.push_back({"01wb", Pattern(audioBytes, out.size()), false});
        const Written& last = out.back();
        EXPECT_TRUE(last.dropped ? w.WriteDroppedFrame()
                                 : last.id == "00db" ? w.WriteVideoFrame(last.data) : w.WriteAudio(last.data));
    }
    return out;
}

Bytes ReadBytes(const std::string& path) {
    const std::optional<std::string> file = ReadWholeFile(path);
    EXPECT_TRUE(file.has_value()) << path;
    return file ? Bytes(file->begin(), file->end()) : Bytes();
}

// A recording read back: its chunks, and the data chunks of every movi list.
struct AviFile {
    Bytes bytes;
    std::vector<Chunk> top;
    std::vector<const Chunk*> data;

    explicit AviFile(const std::string& path) : AviFile(ReadBytes(path)) {}
    explicit AviFile(Bytes file) : bytes(std::move(file)) {
        top = Parse(bytes, 0, bytes.size());
        for (const Chunk& riff : top) {
            if (riff.id != "RIFF") continue;
            for (const Chunk& c : riff.Child("LIST", "movi").children) {
                if (c.id == "00db" || c.id == "01wb") data.push_back(&c);
            }
        }
    }
    const Chunk& Hdrl() const { return top.at(0).Child("LIST", "hdrl"); }
    std::uint64_t Avih(int offset) const { return Le(bytes, Hdrl().Child("avih").Data() + offset); }
    std::uint64_t Dmlh() const { return Le(bytes, Hdrl().Child("LIST", "odml").Child("dmlh").Data()); }
    std::uint64_t StrhLength(int stream) const {
        return Le(bytes, Hdrl().Child("LIST", "strl", stream).Child("strh").Data() + 32);
    }

    // The data chunks are what was written, in order.
    void ExpectHolds(const std::vector<Written>& written) const {
        ASSERT_EQ(data.size(), written.size());
        for (std::size_t i = 0; i < data.size(); ++i) {
            EXPECT_EQ(data[i]->id, written[i].id) << i;
            EXPECT_EQ(Slice(bytes, data[i]->Data(), data[i]->size), written[i].data) << i;
        }
    }
    // Each stream's super index lists standard indexes whose entries are its
    // data chunks (offset, size, top bit for no key frame), with durations
    // adding up to the frames and the audio blocks.
    void ExpectIndexes(const std::vector<Written>& written, std::uint64_t frames, std::uint64_t blocks) const {
        for (const int stream : {0, 1}) {
            SCOPED_TRACE(stream);
            std::vector<std::pair<std::uint64_t, std::uint64_t>> expected, indexed;
            for (std::size_t i = 0; i < data.size(); ++i) {
                if (data[i]->id != (stream == 0 ? "00db" : "01wb")) continue;
                expected.emplace_back(data[i]->Data(), data[i]->size | (written[i].dropped ? 1u << 31 : 0));
            }
            const std::uint64_t x = Hdrl().Child("LIST", "strl", stream).Child("indx").Data();
            EXPECT_EQ(Le(bytes, x), 0x00000004u);  // 4 longs per entry, an index of indexes
            std::uint64_t duration = 0;
            for (std::uint64_t e = x + 24; e < x + 24 + 16 * Le(bytes, x + 4); e += 16) {
                const std::uint64_t ix = Le(bytes, e, 8), base = Le(bytes, ix + 20, 8);
                EXPECT_EQ(Tag(bytes, ix), stream == 0 ? "ix00" : "ix01");
                EXPECT_EQ(Le(bytes, e + 8), Le(bytes, ix + 4) + 8);
                EXPECT_EQ(Le(bytes, ix + 8), 0x01000002u);  // 2 longs per entry, an index of chunks
                EXPECT_EQ(Tag(bytes, base), "RIFF");
                duration += Le(bytes, e + 12);
                for (std::uint64_t k = ix + 32; k < ix + 32 + 8 * Le(bytes, ix + 12); k += 8) {
                    indexed.emplace_back(base + Le(bytes, k), Le(bytes, k + 4));
                }
            }
            EXPECT_EQ(indexed, expected);
            EXPECT_EQ(duration, stream == 0 ? frames : blocks);
        }
    }
};

TEST(AviWriter, ShortRecordingHasItsCountsChunksAndIndexes) {
    TempDir dir;
    const std::string path = dir.Path("録画ﾃｽﾄ.avi");  // paths are UTF-8
    AviWriter w;
    ASSERT_TRUE(w.Open(path, AviVideoFormat{33, 20, 66666}, Pcm(1, 11025, 8)));  // rows of 99 bytes pad to 100
    const std::vector<Written> written = Record(w, "vavadvava", 33, 20, 735);     // odd chunks get a pad byte
    EXPECT_EQ(std::tuple(w.VideoFrames(), w.DroppedFrames(), w.AudioBytes()), std::tuple(5u, 1u, 4ull * 735));
    ASSERT_TRUE(w.Close());
    const AviFile f(path);
    ASSERT_EQ(f.top.size(), 1u);
    EXPECT_EQ(w.RecordedBytes(), f.bytes.size());
    f.ExpectHolds(written);
    const Chunk& movi = f.top[0].Child("LIST", "movi");
    EXPECT_EQ(movi.at + 12, AviHeaderBytes(true));  // the headers were rewritten in place
    // Formats and rates are ffprobe's to check (tests/e2e); these it ignores:
    // AVIF_HASINDEX, dwTotalFrames (the dropped one included), dwSuggestedBufferSize.
    EXPECT_EQ(std::tuple(f.Avih(12) & 0x10, f.Avih(16), f.Avih(28), f.Dmlh()), std::tuple(0x10u, 5u, 2000u, 5u));
    const Chunk& idx1 = f.top[0].Child("idx1");
    ASSERT_EQ(idx1.size, 16 * f.data.size());
    for (std::size_t i = 0; i < f.data.size(); ++i) {
        const std::uint64_t e = idx1.Data() + 16 * i;
        EXPECT_EQ(Tag(f.bytes, e), f.data[i]->id);
        EXPECT_EQ(Le(f.bytes, e + 4), written[i].dropped ? 0u : 0x10u);  // AVIIF_KEYFRAME
        EXPECT_EQ(movi.at + 8 + Le(f.bytes, e + 8), f.data[i]->at);
        EXPECT_EQ(Le(f.bytes, e + 12), f.data[i]->size);
    }
    f.ExpectIndexes(written, 5, 4 * 735);
}

TEST(AviWriter, ContinuesInAvixChunksPastTheRiffLimitUntilTheSuperIndexIsFull) {
    TempDir dir;
    const std::string path = dir.Path("long.avi");
    AviWriter w;
    ASSERT_TRUE(w.Open(path, AviVideoFormat{64, 48, 40000}, Pcm(2, 8000, 16), {49152, 16, 10000}));
    std::string script;
    for (int i = 0; i < 30; ++i) script += i % 7 == 6 ? "da" : "va";
    const std::vector<Written> written = Record(w, script, 64, 48, 1280);
    ASSERT_TRUE(w.Close());
    const AviFile f(path);
    ASSERT_GE(f.top.size(), 5u);
    EXPECT_EQ(f.top.size(), w.RiffChunks());
    f.ExpectHolds(written);
    for (std::size_t r = 0; r < f.top.size(); ++r) {
        EXPECT_EQ(f.top[r].type, r == 0 ? "AVI " : "AVIX");
        EXPECT_LE(f.top[r].End() - f.top[r].at, 49152u);
        EXPECT_EQ(f.top[r].children.back().id, r == 0 ? "idx1" : "LIST");
    }
    // avih and idx1 count the first RIFF's chunks (what old readers see), the others all.
    const std::vector<Chunk>& first = f.top[0].Child("LIST", "movi").children;
    const auto frames = std::count_if(first.begin(), first.end(), [](const Chunk& c) { return c.id == "00db"; });
    EXPECT_EQ(f.Avih(16), static_cast<std::uint64_t>(frames));
    EXPECT_EQ(f.top[0].Child("idx1").size, 16 * (first.size() - 2));  // less ix00 and ix01
    EXPECT_EQ(std::tuple(f.StrhLength(0), f.StrhLength(1), f.Dmlh()), std::tuple(30u, 30u * 320, 30u));
    f.ExpectIndexes(written, 30, 30 * 320);

    // What Save As copies: the RIFF chunks; of one cut short, those before it.
    EXPECT_EQ(RecordedAviBytes(path), f.bytes.size());
    fs::resize_file(FromUtf8(path), f.top[1].at + 100);
    EXPECT_EQ(RecordedAviBytes(path), f.top[1].at);
    EXPECT_EQ(RecordedAviBytes(dir.Path("missing.avi")), 0u);
    ASSERT_TRUE(ReplaceFileContents(dir.Path("other.bin"), std::string(5000, 'x')));
    EXPECT_EQ(RecordedAviBytes(dir.Path("other.bin")), 0u);

    // A full super index refuses further frames; the file stays whole.
    ASSERT_TRUE(w.Open(dir.Path("full.avi"), AviVideoFormat{64, 48, 40000}, std::nullopt, {49152, 2, 10000}));
    std::uint32_t accepted = 0;
    while (accepted < 100 && w.WriteVideoFrame(Pattern(FrameSize(64, 48), 1))) ++accepted;
    EXPECT_LT(accepted, 100u);
    ASSERT_TRUE(w.Close());
    const AviFile full(dir.Path("full.avi"));
    EXPECT_EQ(full.top.size(), 2u);
    EXPECT_EQ(full.data.size(), accepted);
    EXPECT_EQ(full.StrhLength(0), accepted);
}

TEST(AviWriter, EveryWriteBufferSizeGivesTheSameFile) {
    // Buffer ends fall anywhere: also inside the size fields fixed up when a
    // RIFF ends, and around frames large enough to bypass the buffer.
    TempDir dir;
    const std::string path = dir.Path("buffer.avi");
    for (const int side : {16, 176}) {  // 176x132 frames (69696 bytes) bypass the buffer
        SCOPED_TRACE(side);
        AviWriterOptions o{side == 16 ? 6000u : 400000u, 8, std::size_t{1} << 20};
        std::string script;
        for (int i = 0; i < 24; ++i) script += i % 5 == 4 ? "da" : "va";
        std::vector<Written> written;
        auto record = [&](std::size_t bufferBytes) {
            o.bufferBytes = bufferBytes;
            AviWriter w;
            EXPECT_TRUE(w.Open(path, AviVideoFormat{side, side * 3 / 4, 33333}, Pcm(1, 8000, 8), o));
            written = Record(w, script, side, side * 3 / 4, 267);
            EXPECT_TRUE(w.Close());
            EXPECT_GE(w.RiffChunks(), 4u);
            return AviFile(path);
        };
        const AviFile reference = record(std::size_t{1} << 20);
        reference.ExpectHolds(written);
        std::vector<std::size_t> sizes{7, 13, 4095, 4097, 65536};
        if (side == 16) sizes.insert(sizes.end(), {1, 2, 3, 5});  // byte by byte: slow with large frames
        for (const Chunk& riff : reference.top) {
            for (const std::uint64_t into : {5, 6, 7, 17, 18, 19}) {  // the last write before a RIFF ends
                if (riff.at > AviHeaderBytes(true, o)) sizes.push_back(riff.at - AviHeaderBytes(true, o) + into);
            }
        }
        for (const std::size_t size : sizes) EXPECT_EQ(record(size).bytes, reference.bytes) << size;
    }
}

TEST(AviWriter, RefusesWhatItCannotRecord) {
    TempDir dir;
    const std::string path = dir.Path("refuse.avi");
    AviWriter w;
    EXPECT_FALSE(w.WriteVideoFrame(Pattern(FrameSize(8, 8), 1)) || w.Close());  // not open
    WaveFormat notPcm = Pcm(2, 22050, 16), badAlign = notPcm, badRate = notPcm;
    notPcm.wFormatTag = 2;
    badAlign.nBlockAlign = 2;
    badRate.nAvgBytesPerSec = 22050;
    const AviVideoFormat good{8, 8, 33333};
    for (auto [video, audio] : {std::pair<AviVideoFormat, std::optional<WaveFormat>>{good, notPcm}, {good, badAlign},
                                {good, badRate}, {{0, 8, 33333}, {}}, {{8, 32768, 33333}, {}}, {{8, 8, 0}, {}}}) {
        EXPECT_FALSE(w.Open(path, video, audio));
    }
    EXPECT_FALSE(w.Open(path, good, std::nullopt, {8192, 2048, 4096}));  // the headers alone are larger
    EXPECT_FALSE(fs::exists(FromUtf8(path)));
    EXPECT_FALSE(w.Open(dir.Path("missing/x.avi"), good, std::nullopt) || w.IsOpen());

    // Data that does not fit is refused; the recording goes on.
    ASSERT_TRUE(w.Open(path, good, Pcm(2, 8000, 16)));
    EXPECT_FALSE(w.WriteVideoFrame(Pattern(FrameSize(8, 7), 1)));
    EXPECT_FALSE(w.WriteAudio(Bytes(6)));  // one and a half blocks
    EXPECT_TRUE(w.WriteAudio({}));         // nothing at all
    const std::vector<Written> written = Record(w, "va", 8, 8, 8);
    ASSERT_TRUE(w.Close());
    AviFile(path).ExpectHolds(written);
    // Sound on a recording without it; and nothing recorded is a well-formed file too.
    ASSERT_TRUE(w.Open(path, good, std::nullopt));
    EXPECT_FALSE(w.WriteAudio(Bytes(4)));
    ASSERT_TRUE(w.Close());
    const AviFile empty(path);
    EXPECT_TRUE(empty.data.empty());
    EXPECT_EQ(empty.Hdrl().children.size(), 3u);  // avih, one strl, odml
}

// A file on a disk that holds `capacity` bytes of it: a write past that
// writes what fits and fails as a full disk does; cutting the file frees room.
class SmallDisk final : public RandomAccessFile {
public:
    SmallDisk(Bytes& data, std::uint64_t capacity) : data_(data), capacity_(capacity) {}
    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> in) override {
        const std::uint64_t fits = offset >= capacity_ ? 0 : std::min<std::uint64_t>(in.size(), capacity_ - offset);
        if (offset + fits > data_.size()) data_.resize(offset + fits);
        std::copy_n(in.begin(), fits, data_.begin() + static_cast<std::ptrdiff_t>(offset));
        if (fits == in.size()) return true;
        error_ = FileError::DiskFull;
        return false;
    }
    std::optional<std::uint64_t> Size() const override { return data_.size(); }
    bool Truncate(std::uint64_t size) override {
        data_.resize(std::min(size, capacity_));
        return size <= capacity_;
    }
    bool Close() override { return true; }
    FileError LastError() const override { return error_; }

private:
    Bytes& data_;
    std::uint64_t capacity_;
    FileError error_ = FileError::None;
};

TEST(AviWriter, AFullDiskEndsTheRecordingWithAWholeFile) {
    // The disk fills at every kind of place: in a frame, in the sound, in the
    // indexes, in a pre-allocated file's room, in a later RIFF. The file then
    // holds the chunks written before, with counts and indexes that agree.
    std::string script;
    for (int i = 0; i < 60; ++i) script += i % 9 == 8 ? "da" : "va";
    const AviWriterOptions small{40000, 16, 4096};
    for (const std::uint64_t preallocated : {0ull, 30000ull}) {
        for (std::uint64_t capacity = preallocated + 4700; capacity < 140000; capacity += 3331) {
            SCOPED_TRACE(::testing::Message() << "capacity " << capacity << ", pre-allocated " << preallocated);
            Bytes disk(preallocated, 0xAB);
            AviWriter w;
            ASSERT_TRUE(w.Open(std::make_unique<SmallDisk>(disk, capacity), AviVideoFormat{32, 24, 40000},
                               Pcm(1, 8000, 8), small));
            std::vector<Written> written;
            for (const char step : script) {
                const bool dropped = step == 'd';
                Written chunk{step == 'a' ? "01wb" : "00db",
                              dropped ? Bytes() : Pattern(step == 'a' ? 320 : FrameSize(32, 24), written.size()),
                              dropped};
                if (!(dropped ? w.WriteDroppedFrame()
                              : step == 'a' ? w.WriteAudio(chunk.data) : w.WriteVideoFrame(chunk.data))) {
                    break;
                }
                written.push_back(std::move(chunk));
            }
            const bool full = written.size() < script.size();
            ASSERT_TRUE(w.Close());
            EXPECT_EQ(w.Error(), full ? FileError::DiskFull : FileError::None);
            const AviFile f(disk);
            ASSERT_GE(written.size(), f.data.size());
            written.resize(f.data.size());
            f.ExpectHolds(written);
            const auto frames = static_cast<std::uint64_t>(
                std::count_if(written.begin(), written.end(), [](const Written& c) { return c.id == "00db"; }));
            EXPECT_EQ(std::tuple(f.StrhLength(0), f.Dmlh(), w.VideoFrames()), std::tuple(frames, frames, frames));
            EXPECT_EQ(w.AudioBytes(), (written.size() - frames) * 320);
            if (f.top[0].children.back().id == "idx1") f.ExpectIndexes(written, frames, (written.size() - frames) * 320);
            EXPECT_EQ(f.bytes.size(), std::max(w.RecordedBytes(), preallocated));
        }
    }
}

TEST(PreallocatedFile, KeepsItsSizeAndHidesTheUnusedRestInJunk) {
    // Rests too short for a chunk header (left alone), of odd length (the
    // pad byte would lie past the end), and of 4 GiB or more (several JUNKs;
    // a sparse file where the file system allows). The chunks at the top
    // are read in place.
    TempDir dir;
    const std::string path = dir.Path("capture.avi");
    std::uint64_t recorded = 0;
    for (const std::uint64_t rest : {0ull, 7ull, 8ull, 1001ull, (6ull << 30) + 1}) {
        SCOPED_TRACE(rest);
        if (recorded > 0) {
            fs::remove(FromUtf8(path));
            BinaryFile filler;  // stale bytes, not zeros
            ASSERT_TRUE(filler.OpenForWriting(path));
            ASSERT_TRUE(rest > 4096 ? filler.WriteAt(recorded + rest - 1, Bytes{0xAB})
                                    : filler.WriteAt(0, Bytes(recorded + rest, 0xAB)));
        }
        AviWriter w;
        ASSERT_TRUE(w.Open(path, AviVideoFormat{32, 24, 33333}, Pcm(1, 8000, 8)));
        const std::vector<Written> written = Record(w, "vadva", 32, 24, 267);
        ASSERT_TRUE(w.Close());
        recorded = w.RecordedBytes();
        EXPECT_EQ(fs::file_size(FromUtf8(path)), recorded + rest);
        EXPECT_EQ(RecordedAviBytes(path), recorded);
        std::vector<std::string> top, expected{"RIFF", "JUNK", "JUNK"};
        expected.resize(rest < 8 ? 1 : rest < (4ull << 30) ? 2 : 3);
        BinaryFile f;
        ASSERT_TRUE(f.OpenForReading(path));
        Bytes head(8);
        std::uint64_t end = 0;  // of the last chunk, without a pad byte
        for (std::uint64_t at = 0; at + 8 <= recorded + rest && top.size() < 8; at = end + (head[4] & 1u)) {
            EXPECT_EQ(f.ReadAt(at, head), 8u);
            top.push_back(Tag(head, 0));
            end = at + 8 + Le(head, 4);
        }
        EXPECT_EQ(top, expected);
        EXPECT_EQ(end, rest < 8 ? recorded : recorded + rest);
        if (rest == 1001) AviFile(path).ExpectHolds(written);
    }
    fs::remove(FromUtf8(path));
}

}  // namespace
}  // namespace kestrova
