// Every file a kill can leave behind while the AVI writer records: records a
// short test recording (320x240, 15 fps, 44.1 kHz 16-bit stereo, every 7th
// frame slot dropped, small RIFFs so that many are completed) into memory,
// noting each write, then replays the writes one by one. After each write
// (and after each 4 KiB page of a write over bytes already written: a kill
// can cut a write between pages) the complete part, what
// RecordedAviBytes accepts, is written to DIR as a file of its own, once per
// distinct contents. bench/crash_safety.py checks each one as it checks the
// recordings it kills.
//
//   avi_kill_replay DIR [FRAMES [RIFF_BYTES]]
//   avi_kill_replay --repair DIR [FRAMES [RIFF_BYTES]]
//
// Prints one line per file: its name, then what the kill interrupted.
//
// With --repair, each file a kill can leave (cut after each write, after
// each 4 KiB page of a write and at each chunk boundary inside one) is
// repaired (RepairAviFile) instead, once into a new file and once over an
// older, longer recording of the same kind whose chunks line up with the
// new one's. Each distinct repaired file is written to DIR and must read
// without a word from ffprobe and ffmpeg, with the frame slots, pictures and
// sound the repair reports. Prints one line per pass: the kill points, the
// frames kept against those whole on the disk, the files checked.
#include "capture/avi/avi_repair.h"
#include "capture/avi/avi_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace kestrova;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPage = 4096;

struct Write {
    std::uint64_t at = 0;
    Bytes data;
    bool truncate = false;  // at is the new size
};

// Keeps nothing but the list of writes.
class WriteLog final : public RandomAccessFile {
public:
    explicit WriteLog(std::vector<Write>& log, std::uint64_t size = 0) : log_(log), size_(size) {}
    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> data) override {
        log_.push_back({offset, Bytes(data.begin(), data.end()), false});
        size_ = std::max(size_, offset + data.size());
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
    std::uint64_t size_ = 0;
};

// RecordedAviBytes on bytes in memory.
std::uint64_t CompletePart(const Bytes& f) {
    return kestrova::RecordedAviBytes(
        [&f](std::uint64_t offset, std::span<std::uint8_t> into) {
            if (offset + into.size() > f.size()) return false;
            std::memcpy(into.data(), f.data() + offset, into.size());
            return true;
        },
        f.size());
}

void Apply(Bytes& f, std::uint64_t at, std::span<const std::uint8_t> data) {
    if (at + data.size() > f.size()) f.resize(at + data.size());
    std::copy(data.begin(), data.end(), f.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace

WaveFormat Sound() {
    WaveFormat sound{};
    sound.wFormatTag = 1;
    sound.nChannels = 2;
    sound.nSamplesPerSec = 44100;
    sound.wBitsPerSample = 16;
    sound.nBlockAlign = 4;
    sound.nAvgBytesPerSec = 44100 * 4;
    return sound;
}

// The test recording into `file`, every 7th slot dropped, the pictures'
// bytes from `seed`.
bool RecordTo(std::unique_ptr<RandomAccessFile> file, int frames, const AviWriterOptions& options, int seed) {
    AviWriter writer;
    if (!writer.Open(std::move(file), AviVideoFormat{320, 240, 66666}, Sound(), options)) return false;
    Bytes picture(320 * 240 * 3);
    const Bytes pcm(2940 * 4);  // one frame period of sound
    for (int i = 0; i < frames; ++i) {
        std::fill(picture.begin(), picture.end(), static_cast<std::uint8_t>(i + seed));
        const bool ok = i % 7 == 5 ? writer.WriteDroppedFrame() : writer.WriteVideoFrame(picture);
        if (!ok || !writer.WriteAudio(pcm)) return false;
    }
    return writer.Close();
}

// A file in memory.
class MemoryFile final : public RandomAccessFile {
public:
    explicit MemoryFile(Bytes& bytes) : bytes_(bytes) {}
    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> data) override {
        Apply(bytes_, offset, data);
        return true;
    }
    std::optional<std::uint64_t> Size() const override { return bytes_.size(); }
    bool Truncate(std::uint64_t size) override {
        bytes_.resize(size);
        return true;
    }
    bool Close() override { return true; }
    FileError LastError() const override { return FileError::None; }

private:
    Bytes& bytes_;
};

std::optional<AviRepair> RepairInMemory(Bytes& f) {
    MemoryFile file(f);
    return RepairAviFile(
        [&f](std::uint64_t offset, std::span<std::uint8_t> into) {
            if (offset > f.size() || into.size() > f.size() - offset) return false;
            std::memcpy(into.data(), f.data() + offset, into.size());
            return true;
        },
        f.size(), file);
}

// The chunks of a file: where each starts, and its data chunks' ends (with
// the pad byte) and whether they are frames.
struct Layout {
    std::vector<std::uint64_t> starts;
    std::vector<std::pair<std::uint64_t, bool>> data;
};

std::uint32_t Le32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0] | at[1] << 8 | at[2] << 16) | static_cast<std::uint32_t>(at[3]) << 24;
}

void Walk(const Bytes& f, std::uint64_t at, std::uint64_t end, Layout& out) {
    while (at + 8 <= end) {
        const std::uint32_t id = Le32(&f[at]);
        const std::uint32_t size = Le32(&f[at + 4]);
        out.starts.push_back(at);
        if (id == FourCC("RIFF") || id == FourCC("LIST")) Walk(f, at + 12, std::min<std::uint64_t>(end, at + 8 + size), out);
        if (id == FourCC("00db") || id == FourCC("01wb")) out.data.emplace_back(at + 8 + size + (size & 1), id == FourCC("00db"));
        at += 8 + size + (size & 1);
    }
}

std::string Run(const std::string& command) {
    std::string out;
    if (std::FILE* p = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
        pclose(p);
    }
    return out;
}

// ffprobe and ffmpeg say nothing, and find what the repair reports.
bool Reads(const std::string& path, const AviRepair& r) {
    const std::string err = path + ".err";
    const std::string probe = Run("ffprobe -v error -show_entries stream=codec_type,nb_frames -of csv=p=0 '" + path +
                                  "' 2>'" + err + "'");
    const std::string decode = Run("ffmpeg -nostdin -v error -i '" + path + "' -f null - -progress pipe:1 2>>'" + err + "'");
    const std::string sound = Run("ffmpeg -nostdin -v error -i '" + path + "' -map 0:a -c copy -f data - 2>>'" + err +
                                  "' | wc -c");
    const std::string said = Run("cat '" + err + "'");
    std::remove(err.c_str());
    const std::size_t frame = decode.rfind("frame=");
    const unsigned long decoded = frame == std::string::npos ? 0 : std::strtoul(decode.c_str() + frame + 6, nullptr, 10);
    // A length of 0 is "N/A" to ffprobe.
    const auto count = [](std::uint64_t n) { return n == 0 ? std::string("N/A") : std::to_string(n); };
    const std::string expected = "video," + count(r.frames) + "\naudio," + count(r.audioBytes / 4) + "\n";
    const bool ok = said.empty() && probe == expected && decoded == r.frames - r.droppedFrames &&
                    std::strtoull(sound.c_str(), nullptr, 10) == r.audioBytes;
    if (!ok) std::printf("%s\tdoes not read as repaired: %s%s", path.c_str(), said.c_str(), probe.c_str());
    return ok;
}

// One pass of the repair replay; false when a file did not read.
bool ReplayRepairs(const std::string& dir, int frames, const AviWriterOptions& options, bool overOld) {
    Bytes start;
    if (overOld && !RecordTo(std::make_unique<MemoryFile>(start), frames * 3 / 2, options, 100)) return false;
    std::vector<Write> log;
    if (!RecordTo(std::make_unique<WriteLog>(log, start.size()), frames, options, 0)) return false;
    Bytes whole = start;
    for (const Write& w : log) w.truncate ? whole.resize(w.at) : Apply(whole, w.at, w.data);
    Layout layout;
    Walk(whole, 0, whole.size(), layout);

    std::map<std::size_t, std::uint64_t> seen;  // hash -> size
    std::uint64_t points = 0, kept = 0, onDisk = 0, maxLoss = 0, none = 0, files = 0, bad = 0;
    Bytes file = start;
    std::uint64_t written = 0;
    for (std::size_t k = 0; k < log.size(); ++k) {
        const Write& w = log[k];
        std::vector<std::size_t> cuts{w.data.size()};
        // Between pages only where it writes over this recording's bytes
        // (headers, size fields); elsewhere at the chunk boundaries.
        for (std::size_t page = kPage; w.at < written && page < w.data.size(); page += kPage) cuts.push_back(page);
        for (const std::uint64_t at : layout.starts) {
            for (const std::uint64_t d : {0, 1, 8}) {
                if (at + d > w.at && at + d < w.at + w.data.size()) cuts.push_back(at + d - w.at);
            }
        }
        for (const std::size_t cut : cuts) {
            Bytes state = file;
            if (w.truncate) {
                state.resize(w.at);
            } else {
                Apply(state, w.at, std::span<const std::uint8_t>(w.data).first(cut));
            }
            const std::uint64_t end = w.truncate ? written : std::max<std::uint64_t>(written, w.at + cut);
            std::uint64_t slots = 0;
            for (const auto& [chunkEnd, isFrame] : layout.data) slots += chunkEnd <= end && isFrame ? 1 : 0;
            ++points;
            const std::optional<AviRepair> r = RepairInMemory(state);
            if (!r) {
                ++none;
                continue;
            }
            kept += r->frames;
            onDisk += slots;
            maxLoss = std::max<std::uint64_t>(maxLoss, slots - std::min<std::uint64_t>(slots, r->frames));
            const std::size_t hash = std::hash<std::string_view>{}(
                std::string_view(reinterpret_cast<const char*>(state.data()), state.size()));
            if (!seen.emplace(hash, state.size()).second) continue;
            char name[64];
            std::snprintf(name, sizeof name, "/repaired-%s%05zu-%06zu.avi", overOld ? "old-" : "", k, cut);
            const std::string path = dir + name;
            std::FILE* out = std::fopen(path.c_str(), "wb");
            if (out == nullptr || std::fwrite(state.data(), 1, state.size(), out) != state.size() || std::fclose(out) != 0) {
                std::fprintf(stderr, "avi_kill_replay: cannot write %s\n", path.c_str());
                return false;
            }
            ++files;
            if (!Reads(path, *r)) ++bad;
        }
        w.truncate ? file.resize(w.at) : Apply(file, w.at, w.data);
        if (!w.truncate) written = std::max<std::uint64_t>(written, w.at + w.data.size());
    }
    std::printf("%s: %llu kill points (%llu left no recording: inside the first write), %llu frame slots kept of %llu "
                "whole on the disk (at most %llu lost at one point), %llu distinct files, %llu do not read\n",
                overOld ? "over an older recording" : "new file", static_cast<unsigned long long>(points),
                static_cast<unsigned long long>(none), static_cast<unsigned long long>(kept),
                static_cast<unsigned long long>(onDisk), static_cast<unsigned long long>(maxLoss),
                static_cast<unsigned long long>(files), static_cast<unsigned long long>(bad));
    return bad == 0;
}

int main(int argc, char** argv) {
    const bool repair = argc > 1 && std::string_view(argv[1]) == "--repair";
    if (repair) {
        --argc;
        ++argv;
    }
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: avi_kill_replay [--repair] DIR [FRAMES [RIFF_BYTES]]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const int frames = argc > 2 ? std::atoi(argv[2]) : 60;
    AviWriterOptions options;
    options.riffBytes = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : std::uint64_t{2} << 20;
    options.bufferBytes = std::size_t{64} << 10;
    if (repair) {
        const bool fresh = ReplayRepairs(dir, frames, options, false);
        return ReplayRepairs(dir, frames, options, true) && fresh ? 0 : 1;
    }

    std::vector<Write> log;
    if (!RecordTo(std::make_unique<WriteLog>(log), frames, options, 0)) {
        std::fprintf(stderr, "avi_kill_replay: the recording failed\n");
        return 1;
    }

    Bytes file;
    std::set<std::pair<std::uint64_t, std::size_t>> seen;
    const auto keep = [&](std::size_t k, std::size_t pages) {
        const std::uint64_t end = CompletePart(file);
        if (end == 0) return;
        const std::string_view part(reinterpret_cast<const char*>(file.data()), end);
        if (!seen.insert({end, std::hash<std::string_view>{}(part)}).second) return;
        char name[64];
        std::snprintf(name, sizeof name, "state%05zu-%03zu.avi", k, pages);
        const std::string path = dir + "/" + name;
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr || std::fwrite(part.data(), 1, part.size(), out) != part.size() || std::fclose(out) != 0) {
            std::fprintf(stderr, "avi_kill_replay: cannot write %s\n", path.c_str());
            std::exit(1);
        }
        const Write& w = log[k];
        if (pages == 0) {
            std::printf("%s\tafter write %zu of %zu (%zu bytes at %llu)\n", name, k + 1, log.size(), w.data.size(),
                        static_cast<unsigned long long>(w.at));
        } else {
            std::printf("%s\tinside write %zu of %zu (%zu bytes at %llu): its first %zu pages\n", name, k + 1,
                        log.size(), w.data.size(), static_cast<unsigned long long>(w.at), pages);
        }
    };
    for (std::size_t k = 0; k < log.size(); ++k) {
        const Write& w = log[k];
        if (w.truncate) {
            file.resize(w.at);
        } else {
            // A write over bytes already there (the headers, size fields),
            // cut after each of its pages.
            if (w.at < file.size()) {
                const std::span<const std::uint8_t> data(w.data);
                const Bytes before = file;
                for (std::size_t pages = 1; pages * kPage < data.size(); ++pages) {
                    Apply(file, w.at, data.first(pages * kPage));
                    keep(k, pages);
                    file = before;
                }
            }
            Apply(file, w.at, w.data);
        }
        keep(k, 0);
    }
    return 0;
}
