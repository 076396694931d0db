#include "capture/avi/avi_writer.h"
#include "platform/binary_file.h"
#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrova {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Entries = std::vector<std::pair<std::uint64_t, std::uint32_t>>;  // (data offset, size field)

fs::path FromUtf8(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }

// A fresh directory under the system's temporary directory, removed again.
class TempDir {
public:
    TempDir() {
        static int counter = 0;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        dir_ = fs::temp_directory_path() / ("kestrova-avi-" + std::to_string(stamp) + "-" +
                                            std::to_string(++counter));
        fs::create_directories(dir_);
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    std::string Path(const std::string& name) const {
        const std::u8string s = (dir_ / FromUtf8(name)).u8string();
        return std::string(s.begin(), s.end());
    }

private:
    fs::path dir_;
};

std::uint32_t U32(const Bytes& b, std::uint64_t at) {
    return static_cast<std::uint32_t>(b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16) |
           static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}
std::uint64_t U64(const Bytes& b, std::uint64_t at) { return U32(b, at) | std::uint64_t{U32(b, at + 4)} << 32; }
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
        Chunk c{Tag(b, at), "", at, U32(b, at + 4), {}};
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

WaveFormat Pcm(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits) {
    const auto align = static_cast<std::uint16_t>(channels * bits / 8);
    return WaveFormat{1, channels, rate, rate * align, align, bits, 0};
}

std::size_t FrameSize(int width, int height) { return static_cast<std::size_t>((width * 3 + 3) & ~3) * height; }

Bytes Pattern(std::size_t size, std::size_t seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + seed * 31);
    return b;
}

struct Written {
    std::string id;
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

// A recording read back: its chunks, and the data chunks of every movi list.
struct AviFile {
    Bytes bytes;
    std::vector<Chunk> top;
    std::vector<const Chunk*> data;

    explicit AviFile(const std::string& path) {
        const std::optional<std::string> file = ReadWholeFile(path);
        EXPECT_TRUE(file.has_value()) << path;
        if (file) bytes.assign(file->begin(), file->end());
        top = Parse(bytes, 0, bytes.size());
        for (const Chunk& riff : top) {
            if (riff.id != "RIFF") continue;
            for (const Chunk& c : riff.Child("LIST", "movi").children) {
                if (c.id == "00db" || c.id == "01wb") data.push_back(&c);
            }
        }
    }
    const Chunk& Hdrl() const { return top.at(0).Child("LIST", "hdrl"); }
    std::uint64_t Strh(int stream) const { return Hdrl().Child("LIST", "strl", stream).Child("strh").Data(); }
    std::uint32_t Dmlh() const { return U32(bytes, Hdrl().Child("LIST", "odml").Child("dmlh").Data()); }

    // The data chunks must be what was written, in order.
    void ExpectHolds(const std::vector<Written>& written) const {
        ASSERT_EQ(data.size(), written.size());
        for (std::size_t i = 0; i < data.size(); ++i) {
            EXPECT_EQ(data[i]->id, written[i].id) << i;
            EXPECT_EQ(Slice(bytes, data[i]->Data(), data[i]->size), written[i].data) << i;
        }
    }
    // What a stream's index entries should say: offset, size, top bit for no key frame.
    Entries Expected(const std::string& id, const std::vector<Written>& written) const {
        Entries out;
        for (std::size_t i = 0; i < data.size(); ++i) {
            const std::uint32_t notKey = written[i].dropped ? 1u << 31 : 0;
            if (data[i]->id == id) out.emplace_back(data[i]->Data(), data[i]->size | notKey);
        }
        return out;
    }
    // Super index -> standard indexes -> their entries; the super index durations add up.
    Entries Indexed(int stream, std::uint64_t& duration) const {
        const std::uint64_t x = Hdrl().Child("LIST", "strl", stream).Child("indx").Data();
        EXPECT_EQ(U32(bytes, x), 0x00000004u);  // 4 longs per entry, an index of indexes
        Entries out;
        duration = 0;
        for (std::uint64_t e = x + 24; e < x + 24 + 16 * std::uint64_t{U32(bytes, x + 4)}; e += 16) {
            const std::uint64_t ix = U64(bytes, e);
            EXPECT_EQ(Tag(bytes, ix), stream == 0 ? "ix00" : "ix01");
            EXPECT_EQ(U32(bytes, e + 8), U32(bytes, ix + 4) + 8);
            EXPECT_EQ(U32(bytes, ix + 8), 0x01000002u);  // 2 longs per entry, an index of chunks
            duration += U32(bytes, e + 12);
            const std::uint64_t base = U64(bytes, ix + 20);
            EXPECT_EQ(Tag(bytes, base), "RIFF");
            for (std::uint64_t k = ix + 32; k < ix + 32 + 8 * std::uint64_t{U32(bytes, ix + 12)}; k += 8) {
                out.emplace_back(base + U32(bytes, k), U32(bytes, k + 4));
            }
        }
        return out;
    }
};

TEST(AviWriter, ShortRecordingHasItsCountsChunksAndIndexes) {
    TempDir dir;
    const std::string path = dir.Path("short.avi");
    AviWriter w;
    ASSERT_TRUE(w.Open(path, AviVideoFormat{33, 20, 66666}, Pcm(11025, 1, 8)));  // rows of 99 bytes pad to 100
    const std::vector<Written> written = Record(w, "vavadvava", 33, 20, 735);     // odd chunks get a pad byte
    EXPECT_EQ(w.VideoFrames(), 5u);
    EXPECT_EQ(w.DroppedFrames(), 1u);
    EXPECT_EQ(w.AudioBytes(), 4u * 735);
    ASSERT_TRUE(w.Close());
    const AviFile f(path);
    ASSERT_EQ(f.top.size(), 1u);
    EXPECT_EQ(w.RecordedBytes(), f.bytes.size());
    f.ExpectHolds(written);
    const Chunk& movi = f.top[0].Child("LIST", "movi");
    EXPECT_EQ(movi.at + 12, AviHeaderBytes(true));  // the headers were rewritten in place

    // Formats and rates are ffprobe's to check (tests/e2e); these it ignores.
    const std::uint64_t avih = f.Hdrl().Child("avih").Data();
    EXPECT_EQ(U32(f.bytes, avih + 12) & 0x10, 0x10u);  // AVIF_HASINDEX
    EXPECT_EQ(U32(f.bytes, avih + 16), 5u);            // dwTotalFrames, the dropped one included
    EXPECT_EQ(U32(f.bytes, avih + 28), 2000u);         // dwSuggestedBufferSize: a frame
    EXPECT_EQ(f.Dmlh(), 5u);

    const Chunk& idx1 = f.top[0].Child("idx1");
    ASSERT_EQ(idx1.size, 16 * f.data.size());
    for (std::size_t i = 0; i < f.data.size(); ++i) {
        const std::uint64_t e = idx1.Data() + 16 * i;
        EXPECT_EQ(Tag(f.bytes, e), f.data[i]->id);
        EXPECT_EQ(U32(f.bytes, e + 4), written[i].dropped ? 0u : 0x10u);  // AVIIF_KEYFRAME
        EXPECT_EQ(movi.at + 8 + U32(f.bytes, e + 8), f.data[i]->at);
        EXPECT_EQ(U32(f.bytes, e + 12), f.data[i]->size);
    }
    std::uint64_t duration = 0;
    EXPECT_EQ(f.Indexed(0, duration), f.Expected("00db", written));
    EXPECT_EQ(duration, 5u);
    EXPECT_EQ(f.Indexed(1, duration), f.Expected("01wb", written));
    EXPECT_EQ(duration, 4u * 735);  // blocks
}

TEST(AviWriter, ContinuesInAvixChunksPastTheRiffLimit) {
    TempDir dir;
    const std::string path = dir.Path("long.avi");
    AviWriter w;
    ASSERT_TRUE(w.Open(path, AviVideoFormat{64, 48, 40000}, Pcm(8000, 2, 16), {49152, 16, 10000}));
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
    // avih counts the first RIFF's frames (what old readers see), the others all.
    const std::vector<Chunk>& first = f.top[0].Child("LIST", "movi").children;
    const auto frames = std::count_if(first.begin(), first.end(), [](const Chunk& c) { return c.id == "00db"; });
    const auto sounds = std::count_if(first.begin(), first.end(), [](const Chunk& c) { return c.id == "01wb"; });
    EXPECT_EQ(U32(f.bytes, f.Hdrl().Child("avih").Data() + 16), static_cast<std::uint32_t>(frames));
    EXPECT_EQ(U32(f.bytes, f.Strh(0) + 32), 30u);
    EXPECT_EQ(U32(f.bytes, f.Strh(1) + 32), 30u * 320);
    EXPECT_EQ(f.Dmlh(), 30u);
    EXPECT_EQ(f.top[0].Child("idx1").size, 16u * static_cast<std::uint32_t>(frames + sounds));
    std::uint64_t duration = 0;
    EXPECT_EQ(f.Indexed(0, duration), f.Expected("00db", written));
    EXPECT_EQ(duration, 30u);
    EXPECT_EQ(f.Indexed(1, duration), f.Expected("01wb", written));
    EXPECT_EQ(duration, 30u * 320);
}

TEST(AviWriter, AFullSuperIndexEndsTheRecordingButTheFileStaysWhole) {
    TempDir dir;
    const std::string path = dir.Path("full.avi");
    AviWriter w;
    ASSERT_TRUE(w.Open(path, AviVideoFormat{64, 48, 40000}, std::nullopt, {49152, 2, 10000}));
    const Bytes frame = Pattern(FrameSize(64, 48), 1);
    std::uint32_t accepted = 0;
    while (accepted < 100 && w.WriteVideoFrame(frame)) ++accepted;
    EXPECT_LT(accepted, 100u);
    ASSERT_TRUE(w.Close());
    const AviFile f(path);
    EXPECT_EQ(f.top.size(), 2u);
    EXPECT_EQ(f.data.size(), accepted);
    EXPECT_EQ(U32(f.bytes, f.Strh(0) + 32), accepted);
}

TEST(AviWriter, EveryWriteBufferSizeGivesTheSameFile) {
    // Buffer ends fall anywhere: also inside the size fields fixed up when a
    // RIFF ends, and around frames large enough to bypass the buffer.
    TempDir dir;
    const std::string path = dir.Path("buffer.avi");
    for (const int side : {16, 176}) {  // 176x132 frames (69696 bytes) bypass the buffer
        AviWriterOptions o{side == 16 ? 6000u : 400000u, 8, std::size_t{1} << 20};
        std::string script;
        for (int i = 0; i < 24; ++i) script += i % 5 == 4 ? "da" : "va";
        std::vector<Written> written;
        auto record = [&](std::size_t bufferBytes) {
            o.bufferBytes = bufferBytes;
            AviWriter w;
            EXPECT_TRUE(w.Open(path, AviVideoFormat{side, side * 3 / 4, 33333}, Pcm(8000, 1, 8), o));
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
        for (const std::size_t size : sizes) EXPECT_EQ(record(size).bytes, reference.bytes) << side << " " << size;
    }
}

TEST(AviWriter, RefusesWhatItCannotRecord) {
    TempDir dir;
    const std::string path = dir.Path("refuse.avi");
    AviWriter w;
    EXPECT_FALSE(w.WriteVideoFrame(Pattern(FrameSize(8, 8), 1)));  // not open
    EXPECT_FALSE(w.Close());
    const AviVideoFormat good{8, 8, 33333};
    WaveFormat notPcm = Pcm(22050, 2, 16), badAlign = notPcm, badRate = notPcm;
    notPcm.wFormatTag = 2;
    badAlign.nBlockAlign = 2;
    badRate.nAvgBytesPerSec = 22050;
    for (const auto& audio : {notPcm, badAlign, badRate}) EXPECT_FALSE(w.Open(path, good, audio));
    for (const auto& video : {AviVideoFormat{0, 8, 33333}, AviVideoFormat{8, 32768, 33333}, AviVideoFormat{8, 8, 0}}) {
        EXPECT_FALSE(w.Open(path, video, std::nullopt));
    }
    EXPECT_FALSE(w.Open(path, good, std::nullopt, {8192, 2048, 4096}));  // the headers alone are larger
    EXPECT_FALSE(fs::exists(FromUtf8(path)));
    EXPECT_FALSE(w.Open(dir.Path("missing/x.avi"), good, std::nullopt));
    fs::create_directories(FromUtf8(dir.Path("folder")));
    EXPECT_FALSE(w.Open(dir.Path("folder"), good, std::nullopt));
    EXPECT_FALSE(w.IsOpen());

    // Data that does not fit is refused; the recording goes on.
    ASSERT_TRUE(w.Open(path, good, Pcm(8000, 2, 16)));
    EXPECT_FALSE(w.WriteVideoFrame(Pattern(FrameSize(8, 7), 1)));
    EXPECT_FALSE(w.WriteAudio(Bytes(6)));  // one and a half blocks
    EXPECT_TRUE(w.WriteAudio({}));         // nothing at all
    const std::vector<Written> written = Record(w, "va", 8, 8, 8);
    ASSERT_TRUE(w.Close());
    AviFile(path).ExpectHolds(written);
    ASSERT_TRUE(w.Open(path, good, std::nullopt));
    EXPECT_FALSE(w.WriteAudio(Bytes(4)));
    ASSERT_TRUE(w.Close());  // and nothing recorded is a well-formed file too
    const AviFile empty(path);
    EXPECT_TRUE(empty.data.empty());
    EXPECT_EQ(empty.Hdrl().children.size(), 3u);  // avih, one strl, odml
}

TEST(AviWriter, TakesUtf8Paths) {
    TempDir dir;
    const std::string path = dir.Path("録画ﾃｽﾄ.avi");
    AviWriter w;
    ASSERT_TRUE(w.Open(path, AviVideoFormat{16, 16, 33333}, std::nullopt));
    Record(w, "v", 16, 16, 0);
    ASSERT_TRUE(w.Close());
    EXPECT_EQ(RecordedAviBytes(path), fs::file_size(FromUtf8(path)));
}

// ---------------------------------------------------------------------------
// Pre-allocated files (and the file service past 4 GiB), RecordedAviBytes

// (id, offset, size) of the first chunks at the top of a file, read in place.
std::vector<std::tuple<std::string, std::uint64_t, std::uint32_t>> TopLevel(const std::string& path) {
    std::vector<std::tuple<std::string, std::uint64_t, std::uint32_t>> out;
    BinaryFile f;
    EXPECT_TRUE(f.OpenForReading(path));
    Bytes head(8);
    const std::uint64_t size = f.Size().value_or(0);
    for (std::uint64_t at = 0; at + 8 <= size && out.size() < 8; at += 8 + U32(head, 4) + (head[4] & 1u)) {
        EXPECT_EQ(f.ReadAt(at, head), 8u);
        out.emplace_back(Tag(head, 0), at, U32(head, 4));
    }
    return out;
}

TEST(PreallocatedFile, KeepsItsSizeAndHidesTheUnusedRestInJunk) {
    // Rests too short for a chunk header (left alone), of odd length (the
    // pad byte would lie past the end), and of 4 GiB or more (several JUNKs;
    // a sparse file where the file system allows).
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
        ASSERT_TRUE(w.Open(path, AviVideoFormat{32, 24, 33333}, Pcm(8000, 1, 8)));
        const std::vector<Written> written = Record(w, "vadva", 32, 24, 267);
        ASSERT_TRUE(w.Close());
        recorded = w.RecordedBytes();
        EXPECT_EQ(fs::file_size(FromUtf8(path)), recorded + rest);
        EXPECT_EQ(RecordedAviBytes(path), recorded);
        const auto top = TopLevel(path);
        ASSERT_EQ(top.size(), rest < 8 ? 1u : rest < (4ull << 30) ? 2u : 3u);
        for (std::size_t i = 1; i < top.size(); ++i) EXPECT_EQ(std::get<0>(top[i]), "JUNK");
        if (rest >= 8) {
            EXPECT_EQ(std::get<1>(top.back()) + 8 + std::get<2>(top.back()), recorded + rest);
        }
        if (rest == 1001) AviFile(path).ExpectHolds(written);
    }
    fs::remove(FromUtf8(path));
}

TEST(RecordedAviBytes, CountsOnlyCompleteRiffChunksOfAnAviFile) {
    TempDir dir;
    EXPECT_EQ(RecordedAviBytes(dir.Path("missing.avi")), 0u);
    ASSERT_TRUE(ReplaceFileContents(dir.Path("other.bin"), std::string(5000, 'x')));
    EXPECT_EQ(RecordedAviBytes(dir.Path("other.bin")), 0u);
    // A recording cut short in its second RIFF: the first one counts.
    const std::string path = dir.Path("cut.avi");
    AviWriter w;
    ASSERT_TRUE(w.Open(path, AviVideoFormat{64, 48, 33333}, std::nullopt, {40960, 8, 4096}));
    Record(w, std::string(12, 'v'), 64, 48, 0);
    ASSERT_TRUE(w.Close());
    ASSERT_GE(w.RiffChunks(), 3u);
    EXPECT_EQ(RecordedAviBytes(path), fs::file_size(FromUtf8(path)));
    const std::uint64_t second = std::get<1>(TopLevel(path).at(1));
    fs::resize_file(FromUtf8(path), second + 100);
    EXPECT_EQ(RecordedAviBytes(path), second);
}

}  // namespace
}  // namespace kestrova
