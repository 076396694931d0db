// Sustained write rate of the AVI writer against the disk's own sequential
// write rate, on the same file system, in one run:
//
//   dd if=/dev/zero of=DIR/avi_bench_dd.bin bs=1M count=N conv=fdatasync
//   AviWriter: 1280x720 24-bit frames and 44.1 kHz stereo sound, as fast as
//              it goes, until N MiB; Close, then fdatasync
//
// Both clocks stop when the data is on the disk, so the page cache cannot
// flatter either. The rounds alternate which one goes first; between runs the
// file is deleted and the file system synced, at once: in a virtual machine
// that hands freed memory back to its host (a balloon with free page
// reporting, about 2 s after the memory is freed), a pause there makes the
// next run fault its page cache in afresh, at half the speed or less. For the
// same reason one untimed round of both comes first. Even so, one run in
// two or three comes out far slower, for either program, so the summary gives
// the median and the best run of each. Also measured: the writer into
// /dev/null, its own processor time without the system's copying.
//
//   avi_bench [DIR] [--mib N] [--rounds R] [--size WxH] [--buffer-bytes N]
#include "capture/avi/avi_writer.h"
#include "capture/pattern_device/pattern_renderer.h"
#include "platform/binary_file.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace kestrova;
using Clock = std::chrono::steady_clock;

struct Run {
    double seconds = 0;
    double cpuSeconds = 0;
    std::uint64_t bytes = 0;
    double MBps() const { return static_cast<double>(bytes) / 1e6 / seconds; }
    double CpuPercent() const { return 100.0 * cpuSeconds / seconds; }
};

double CpuSeconds(int who) {
    rusage use{};
    getrusage(who, &use);
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

void Settle(const std::string& file) {
    std::remove(file.c_str());
    ::sync();
}

Run RunDd(const std::string& file, std::uint64_t mib) {
    const std::string command = "dd if=/dev/zero of='" + file + "' bs=1M count=" + std::to_string(mib) +
                                " conv=fdatasync 2>/dev/null";
    Run run;
    const double cpu = CpuSeconds(RUSAGE_CHILDREN);
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "avi_bench: dd failed\n");
        std::exit(1);
    }
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.cpuSeconds = CpuSeconds(RUSAGE_CHILDREN) - cpu;
    run.bytes = mib << 20;
    return run;
}

struct Material {
    AviVideoFormat video{1280, 720, 33333};
    WaveFormat audio{1, 2, 44100, 176400, 4, 16, 0};
    std::vector<DibFrame> frames;
    std::vector<std::uint8_t> pcm;  // one frame period of sound
};

Run RunWriter(const std::string& file, std::uint64_t mib, const Material& m, const AviWriterOptions& options,
              bool sync) {
    Run run;
    const double cpu = CpuSeconds(RUSAGE_SELF);
    const auto start = Clock::now();
    AviWriter writer;
    bool ok = writer.Open(file, m.video, m.audio, options);
    const std::uint64_t target = mib << 20;
    for (std::size_t i = 0; ok && writer.RecordedBytes() < target; ++i) {
        ok = writer.WriteVideoFrame(m.frames[i % m.frames.size()].bits) && writer.WriteAudio(m.pcm);
    }
    ok = writer.Close() && ok;
    if (ok && sync) {
        BinaryFile f;
        ok = f.OpenForWriting(file) && f.Sync();
    }
    if (!ok) {
        std::fprintf(stderr, "avi_bench: writing %s failed\n", file.c_str());
        std::exit(1);
    }
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.cpuSeconds = CpuSeconds(RUSAGE_SELF) - cpu;
    run.bytes = writer.RecordedBytes();
    return run;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = ".";
    std::uint64_t mib = 3072;
    int rounds = 3;
    Material m;
    AviWriterOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--mib" && hasValue) {
            mib = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--rounds" && hasValue) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &m.video.width, &m.video.height) != 2) return 2;
        } else if (arg == "--buffer-bytes" && hasValue) {
            options.bufferBytes = std::strtoull(argv[++i], nullptr, 10);
        } else if (!arg.empty() && arg[0] != '-') {
            dir = arg;
        } else {
            std::fprintf(stderr, "usage: avi_bench [DIR] [--mib N] [--rounds R] [--size WxH] [--buffer-bytes N]\n");
            return 2;
        }
    }

    m.frames.resize(8);
    for (std::size_t i = 0; i < m.frames.size(); ++i) {
        const auto n = static_cast<std::uint32_t>(i);
        RenderPattern({PatternKind::MovingGradient, m.video.width, m.video.height, n, n * 33}, m.frames[i]);
    }
    const std::size_t blocksPerFrame = m.audio.nAvgBytesPerSec / 30 / m.audio.nBlockAlign;
    m.pcm.assign(blocksPerFrame * m.audio.nBlockAlign, 0x11);

    const std::string ddFile = dir + "/avi_bench_dd.bin";
    const std::string aviFile = dir + "/avi_bench.avi";
    std::printf("%llu MiB per run, %dx%d frames with 44.1 kHz stereo sound, write buffer %zu KiB, in %s\n",
                static_cast<unsigned long long>(mib), m.video.width, m.video.height, options.bufferBytes >> 10,
                dir.c_str());

    const Run null = RunWriter("/dev/null", mib, m, options, false);
    std::printf("writer into /dev/null: %.2f ms of CPU per GiB\n", null.cpuSeconds * 1000 / (static_cast<double>(mib) / 1024));

    RunDd(ddFile, mib);
    Settle(ddFile);
    RunWriter(aviFile, mib, m, options, true);
    Settle(aviFile);

    std::vector<double> ddRates, writerRates, ratios, ddCpu, writerCpu;
    for (int r = 0; r < rounds; ++r) {
        Run dd, avi;
        for (int step = 0; step < 2; ++step) {
            if ((step == 0) == (r % 2 == 0)) {
                dd = RunDd(ddFile, mib);
                Settle(ddFile);
            } else {
                avi = RunWriter(aviFile, mib, m, options, true);
                Settle(aviFile);
            }
        }
        ddRates.push_back(dd.MBps());
        writerRates.push_back(avi.MBps());
        ratios.push_back(avi.MBps() / dd.MBps());
        ddCpu.push_back(dd.CpuPercent());
        writerCpu.push_back(avi.CpuPercent());
        std::printf("round %d: dd %6.0f MB/s (%4.1f %% CPU), writer %6.0f MB/s (%4.1f %% CPU), ratio %.2f\n", r + 1,
                    dd.MBps(), dd.CpuPercent(), avi.MBps(), avi.CpuPercent(), ratios.back());
        std::fflush(stdout);
    }
    std::printf("median: dd %.0f MB/s (%.1f %% CPU), writer %.0f MB/s (%.1f %% CPU), ratio %.2f\n", Median(ddRates),
                Median(ddCpu), Median(writerRates), Median(writerCpu), Median(ratios));
    const double ddBest = *std::max_element(ddRates.begin(), ddRates.end());
    const double writerBest = *std::max_element(writerRates.begin(), writerRates.end());
    std::printf("best:   dd %.0f MB/s, writer %.0f MB/s, ratio %.2f\n", ddBest, writerBest, writerBest / ddBest);
    return 0;
}
