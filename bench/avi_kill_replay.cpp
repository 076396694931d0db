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
//
// Prints one line per file: its name, then what the kill interrupted.
#include "capture/avi/avi_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    explicit WriteLog(std::vector<Write>& log) : log_(log) {}
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

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: avi_kill_replay DIR [FRAMES [RIFF_BYTES]]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const int frames = argc > 2 ? std::atoi(argv[2]) : 60;
    AviWriterOptions options;
    options.riffBytes = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : std::uint64_t{2} << 20;
    options.bufferBytes = std::size_t{64} << 10;

    std::vector<Write> log;
    WaveFormat sound{};
    sound.wFormatTag = 1;
    sound.nChannels = 2;
    sound.nSamplesPerSec = 44100;
    sound.wBitsPerSample = 16;
    sound.nBlockAlign = 4;
    sound.nAvgBytesPerSec = 44100 * 4;
    AviWriter writer;
    if (!writer.Open(std::make_unique<WriteLog>(log), AviVideoFormat{320, 240, 66666}, sound, options)) {
        std::fprintf(stderr, "avi_kill_replay: Open failed\n");
        return 1;
    }
    Bytes picture(320 * 240 * 3);
    const Bytes pcm(2940 * 4);  // one frame period of sound
    for (int i = 0; i < frames; ++i) {
        std::fill(picture.begin(), picture.end(), static_cast<std::uint8_t>(i));
        const bool ok = i % 7 == 5 ? writer.WriteDroppedFrame() : writer.WriteVideoFrame(picture);
        if (!ok || !writer.WriteAudio(pcm)) {
            std::fprintf(stderr, "avi_kill_replay: a write failed\n");
            return 1;
        }
    }
    if (!writer.Close()) {
        std::fprintf(stderr, "avi_kill_replay: Close failed\n");
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
