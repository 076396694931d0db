// Writes a test-pattern AVI with the recording writer, as fast as it can or
// in real time, and prints what it wrote as one JSON line. Used by the AVI
// end-to-end tests and by hand.
//
//   avi_tool FILE [--size WxH] [--period US | --fps N] [--frames N | --seconds S | --bytes N]
//                 [--audio RATE,CHANNELS,BITS] [--drop-every N] [--realtime] [--sync] [--kill]
//                 [--riff-bytes N] [--super-entries N] [--buffer-bytes N]
//   avi_tool FILE --repair
//
// --drop-every N records every Nth frame slot as dropped (empty); --bytes
// records until the file holds at least N bytes; --sync waits until the file
// is on the disk before the clock stops; --riff-bytes and --super-entries
// shrink the RIFF and super index sizes (to reach OpenDML with small files);
// --kill ends the program without closing the file, as a kill would (what
// the write buffer holds is lost). --repair repairs FILE (RepairAviFile) and
// prints what it holds.
#include "capture/avi/avi_repair.h"
#include "capture/avi/avi_writer.h"
#include "capture/pattern_device/pattern_renderer.h"
#include "platform/binary_file.h"

#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace kestrova;

struct Args {
    std::string path;
    AviVideoFormat video{320, 240, 33333};
    std::optional<WaveFormat> audio;
    std::uint64_t frames = 0;
    double seconds = 0;
    std::uint64_t bytes = 0;
    std::uint32_t dropEvery = 0;
    bool realtime = false;
    bool sync = false;
    bool kill = false;
    bool repair = false;
    AviWriterOptions options;
};

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr,
                 "avi_tool: %s\nusage: avi_tool FILE [--size WxH] [--period US | --fps N] "
                 "[--frames N | --seconds S | --bytes N] [--audio RATE,CHANNELS,BITS] [--drop-every N] "
                 "[--realtime] [--sync] [--kill] [--riff-bytes N] [--super-entries N] [--buffer-bytes N]\n"
                 "       avi_tool FILE --repair\n",
                 why);
    std::exit(2);
}

std::uint64_t Number(const char* text) {
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0') Usage("not a number");
    return v;
}

Args Parse(int argc, char** argv) {
    Args a;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) Usage("missing value");
            return argv[++i];
        };
        if (arg == "--size") {
            if (std::sscanf(value(), "%dx%d", &a.video.width, &a.video.height) != 2) Usage("bad --size");
        } else if (arg == "--period") {
            a.video.microSecPerFrame = static_cast<std::uint32_t>(Number(value()));
        } else if (arg == "--fps") {
            const std::uint64_t fps = Number(value());
            if (fps == 0) Usage("bad --fps");
            a.video.microSecPerFrame = static_cast<std::uint32_t>(1000000 / fps);
        } else if (arg == "--frames") {
            a.frames = Number(value());
        } else if (arg == "--seconds") {
            a.seconds = std::atof(value());
        } else if (arg == "--bytes") {
            a.bytes = Number(value());
        } else if (arg == "--audio") {
            unsigned rate = 0, channels = 0, bits = 0;
            if (std::sscanf(value(), "%u,%u,%u", &rate, &channels, &bits) != 3) Usage("bad --audio");
            WaveFormat f;
            f.wFormatTag = 1;
            f.nChannels = static_cast<std::uint16_t>(channels);
            f.nSamplesPerSec = rate;
            f.wBitsPerSample = static_cast<std::uint16_t>(bits);
            f.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
            f.nAvgBytesPerSec = rate * f.nBlockAlign;
            a.audio = f;
        } else if (arg == "--drop-every") {
            a.dropEvery = static_cast<std::uint32_t>(Number(value()));
        } else if (arg == "--realtime") {
            a.realtime = true;
        } else if (arg == "--sync") {
            a.sync = true;
        } else if (arg == "--kill") {
            a.kill = true;
        } else if (arg == "--repair") {
            a.repair = true;
        } else if (arg == "--riff-bytes") {
            a.options.riffBytes = Number(value());
        } else if (arg == "--super-entries") {
            a.options.superIndexEntries = static_cast<std::uint32_t>(Number(value()));
        } else if (arg == "--buffer-bytes") {
            a.options.bufferBytes = static_cast<std::size_t>(Number(value()));
        } else if (!arg.empty() && arg[0] != '-' && a.path.empty()) {
            a.path = arg;
        } else {
            Usage(("unknown argument " + arg).c_str());
        }
    }
    if (a.path.empty()) Usage("no file");
    if (a.frames == 0 && a.seconds > 0) {
        a.frames = static_cast<std::uint64_t>(std::ceil(a.seconds * 1e6 / a.video.microSecPerFrame));
    }
    if (a.frames == 0 && a.bytes == 0) a.frames = 30;
    return a;
}

double CpuSeconds() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

// A quiet square wave: audio whose bytes are not all alike.
void Tone(const WaveFormat& f, std::uint64_t firstBlock, std::uint64_t blocks, std::vector<std::uint8_t>& out) {
    out.resize(static_cast<std::size_t>(blocks) * f.nBlockAlign);
    const int bytesPerSample = f.wBitsPerSample / 8;
    for (std::uint64_t b = 0; b < blocks; ++b) {
        const bool high = ((firstBlock + b) / 50) % 2 == 0;
        for (int c = 0; c < f.nChannels; ++c) {
            std::uint8_t* sample = out.data() + b * f.nBlockAlign + static_cast<std::size_t>(c * bytesPerSample);
            if (bytesPerSample == 1) {
                sample[0] = high ? 0x90 : 0x70;
            } else {
                std::memset(sample, 0, static_cast<std::size_t>(bytesPerSample));
                sample[bytesPerSample - 1] = high ? 0x08 : 0xF8;
            }
        }
    }
}

int Repair(const std::string& path) {
    const auto start = std::chrono::steady_clock::now();
    const std::optional<AviRepair> r = RepairAviFile(path);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!r) {
        std::printf("{\"recording\": false, \"seconds\": %.3f}\n", seconds);
        return 1;
    }
    std::printf("{\"recording\": true, \"frames\": %u, \"dropped\": %u, \"audio_bytes\": %llu, \"duration_ms\": %llu, "
                "\"recorded_bytes\": %llu, \"changed\": %s, \"cut\": %s, \"error\": %d, \"seconds\": %.3f}\n",
                r->frames, r->droppedFrames, static_cast<unsigned long long>(r->audioBytes),
                static_cast<unsigned long long>(r->durationMs), static_cast<unsigned long long>(r->recordedBytes),
                r->changed ? "true" : "false", r->cut ? "true" : "false", static_cast<int>(r->error), seconds);
    return r->error == FileError::None ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    using Clock = std::chrono::steady_clock;
    const Args args = Parse(argc, argv);
    if (args.repair) return Repair(args.path);

    // A few frames rendered up front, shown in turn.
    std::vector<DibFrame> pictures(8);
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const auto n = static_cast<std::uint32_t>(i);
        if (!RenderPattern({PatternKind::ColourBars, args.video.width, args.video.height, n, n * 33}, pictures[i])) {
            Usage("size not renderable");
        }
    }

    AviWriter writer;
    if (!writer.Open(args.path, args.video, args.audio, args.options)) {
        std::fprintf(stderr, "avi_tool: cannot open %s\n", args.path.c_str());
        return 1;
    }
    const double cpuStart = CpuSeconds();
    const auto start = Clock::now();
    std::vector<std::uint8_t> pcm;
    std::uint64_t blocksWritten = 0;
    bool full = false;
    for (std::uint64_t frame = 0;; ++frame) {
        if (args.frames != 0 && frame >= args.frames) break;
        if (args.bytes != 0 && writer.RecordedBytes() >= args.bytes) break;
        if (args.realtime) {
            std::this_thread::sleep_until(start + std::chrono::microseconds(frame * args.video.microSecPerFrame));
        }
        const bool drop = args.dropEvery != 0 && frame % args.dropEvery == args.dropEvery - 1;
        const bool ok = drop ? writer.WriteDroppedFrame()
                             : writer.WriteVideoFrame(pictures[frame % pictures.size()].bits);
        if (!ok) {
            full = true;
            break;
        }
        if (args.audio) {
            // The sound up to the end of this frame slot.
            const std::uint64_t due = (frame + 1) * args.video.microSecPerFrame * args.audio->nSamplesPerSec / 1000000;
            Tone(*args.audio, blocksWritten, due - blocksWritten, pcm);
            if (!writer.WriteAudio(pcm)) {
                full = true;
                break;
            }
            blocksWritten = due;
        }
    }
    if (args.kill) {
        std::printf("{\"frames\": %u, \"killed\": true}\n", writer.VideoFrames());
        std::fflush(stdout);
        std::_Exit(0);
    }
    const bool closed = writer.Close();
    bool synced = true;
    if (args.sync) {
        BinaryFile file;
        synced = file.OpenForWriting(args.path) && file.Sync();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = CpuSeconds() - cpuStart;
    const double mb = static_cast<double>(writer.RecordedBytes()) / 1e6;
    std::printf("{\"frames\": %u, \"dropped\": %u, \"audio_bytes\": %llu, \"recorded_bytes\": %llu, "
                "\"riff_chunks\": %u, \"full\": %s, \"seconds\": %.3f, \"cpu_seconds\": %.3f, \"mb_per_s\": %.1f}\n",
                writer.VideoFrames(), writer.DroppedFrames(), static_cast<unsigned long long>(writer.AudioBytes()),
                static_cast<unsigned long long>(writer.RecordedBytes()), writer.RiffChunks(),
                full && writer.Full() ? "true" : "false", seconds, cpu, seconds > 0 ? mb / seconds : 0.0);
    if (!closed || !synced) {
        std::fprintf(stderr, "avi_tool: writing %s failed\n", args.path.c_str());
        return 1;
    }
    return 0;
}
