// Time per frame of the test-pattern renderer at the sizes the device offers
// (and at 1280x720, the one recording has to keep up with at 30 frames per
// second on one core). Usage: pattern_bench [frames]
#include "capture/pattern_device/pattern_renderer.h"
#include "capture/pattern_device/pattern_model.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    using namespace kestrova;
    using Clock = std::chrono::steady_clock;
    const long frames = argc > 1 ? std::max(1L, std::strtol(argv[1], nullptr, 10)) : 300;

    std::printf("%-10s %-16s %12s %10s\n", "size", "picture", "ms/frame", "max fps");
    unsigned checksum = 0;
    for (const FrameSize& size : kTestPatternSizes) {
        for (PatternKind kind : {PatternKind::ColourBars, PatternKind::MovingGradient}) {
            DibFrame frame;
            PatternRequest request{kind, size.width, size.height, 0, 0};
            RenderPattern(request, frame);  // sizes the buffer outside the timing
            const auto start = Clock::now();
            for (long i = 0; i < frames; ++i) {
                request.frameNumber = static_cast<std::uint32_t>(i);
                request.milliseconds = static_cast<std::uint32_t>(i * 33);
                RenderPattern(request, frame);
                checksum += frame.bits[frame.bits.size() / 2];
            }
            const double ms =
                std::chrono::duration<double, std::milli>(Clock::now() - start).count() / static_cast<double>(frames);
            char label[32];
            std::snprintf(label, sizeof label, "%dx%d", size.width, size.height);
            std::printf("%-10s %-16s %12.3f %10.0f\n", label,
                        kind == PatternKind::ColourBars ? "colour bars" : "moving gradient", ms, 1000.0 / ms);
        }
    }
    std::printf("(checksum %u)\n", checksum);
    return 0;
}
