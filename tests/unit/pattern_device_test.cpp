// The test-pattern device. Its live picture, dialogs, capture file status and saved bitmaps are
// checked on the real program in tests/e2e (test_main_window.py, test_recording.py).
#include "capture/pattern_device/pattern_renderer.h"
#include "capture/pattern_device/pattern_format_file.h"
#include "capture/pattern_device/pattern_model.h"
#include "platform/files.h"

#include "pcm_format.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace kestrova {
namespace {

using testing::Pcm;
using Pixel = std::array<int, 3>;  // blue, green, red

// The pixel at (x, y) counted from the top-left, as a viewer sees it.
Pixel PixelAt(const DibFrame& f, int x, int y) {
    const std::size_t at =
        static_cast<std::size_t>(f.height - 1 - y) * DibStride(f.width) + static_cast<std::size_t>(x) * 3;
    return {f.bits[at], f.bits[at + 1], f.bits[at + 2]};
}

DibFrame Render(PatternKind kind, int width, int height, std::uint32_t frame, std::uint32_t ms) {
    DibFrame out;
    EXPECT_TRUE(RenderPattern(PatternRequest{kind, width, height, frame, ms}, out)) << width << "x" << height;
    EXPECT_EQ(out.bits.size(), DibImageSize(width, height));
    return out;
}

// Pixels within the rows top..bottom-1 that differ between a and b.
int DifferingPixels(const DibFrame& a, const DibFrame& b, int top, int bottom) {
    int count = 0;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < a.width; ++x) count += PixelAt(a, x, y) != PixelAt(b, x, y) ? 1 : 0;
    }
    return count;
}

TEST(PatternRenderer, AnySizeRendersUprightWithZeroPaddingAndBadRequestsLeaveTheBufferAlone) {
    std::vector<FrameSize> sizes(kTestPatternSizes.begin(), kTestPatternSizes.end());
    sizes.insert(sizes.end(), {{1, 1}, {2, 3}, {7, 5}, {kMaxPatternDimension, 2}});
    for (auto [w, h] : sizes) {
        for (PatternKind kind : {PatternKind::ColourBars, PatternKind::MovingGradient}) Render(kind, w, h, 12345, 67890);
    }
    // Rows of 3 pixels take 12 bytes; the padding is written as zero,
    // whatever the buffer held.
    std::vector<std::uint8_t> bits(DibImageSize(3, 5), 0xAA);
    ASSERT_TRUE(RenderPattern(PatternRequest{PatternKind::ColourBars, 3, 5, 0, 0}, bits));
    for (std::size_t at = 9; at < bits.size(); at += at % 12 == 11 ? 10 : 1) EXPECT_EQ(bits[at], 0) << at;
    // Rows from the bottom up: the second bar is yellow at the top, the black
    // text band at the bottom.
    const DibFrame bars = Render(PatternKind::ColourBars, 320, 240, 0, 0);
    EXPECT_EQ(std::tuple(PixelAt(bars, 320 * 3 / 14, 0), PixelAt(bars, 0, 239)), std::tuple(Pixel{0, 191, 191}, Pixel{}));

    for (auto [w, h] : {std::pair{0, 10}, {-1, 10}, {kMaxPatternDimension + 1, 10}, {10, 5000}}) {
        DibFrame frame{0, 0, {1, 2, 3}};
        EXPECT_FALSE(RenderPattern(PatternRequest{PatternKind::ColourBars, w, h, 0, 0}, frame)) << w << "x" << h;
        EXPECT_EQ(frame.bits, (std::vector<std::uint8_t>{1, 2, 3}));
    }
    std::vector<std::uint8_t> buffer(DibImageSize(16, 16) - 1, 0x55);  // a byte short
    EXPECT_FALSE(RenderPattern(PatternRequest{PatternKind::MovingGradient, 16, 16, 0, 0}, buffer));
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(buffer.size(), 0x55));
}

TEST(PatternRenderer, TheCounterAndTheClockMoveOnlyTheirOwnPartsUpToTheirLargestValues) {
    // The next frame: the bars stay, the marker and the counter move; a later
    // time: only the clock moves. (That the live picture moves is in tests/e2e.)
    const DibFrame base = Render(PatternKind::ColourBars, 320, 240, 41, 5000);
    const DibFrame next = Render(PatternKind::ColourBars, 320, 240, 42, 5000);
    const DibFrame later = Render(PatternKind::ColourBars, 320, 240, 41, 5001);
    EXPECT_EQ(std::tuple(DifferingPixels(base, next, 0, 160), DifferingPixels(base, later, 0, 180)), std::tuple(0, 0));
    EXPECT_GT(DifferingPixels(base, next, 160, 240) * DifferingPixels(base, later, 180, 240), 0);
    // At the end of the clock it is still a gradient, not a flat fill, and
    // the clock text grows to hold its largest value.
    const DibFrame end = Render(PatternKind::MovingGradient, 320, 240, 0xFFFFFFFFu, 0xFFFFFFFFu);
    std::set<Pixel> colours;
    for (int y = 0; y < end.height; ++y) {
        for (int x = 0; x < end.width; ++x) colours.insert(PixelAt(end, x, y));
    }
    EXPECT_GT(colours.size(), 200u);
    EXPECT_EQ(FormatPatternClock(0xFFFFFFFFu), "1193:02:47.295");
}

TEST(PatternFormatFile, AKeptFormatIsMadeValidAndWrittenBackAndASavedOneIsRestored) {
    // Sizes the device does not offer become the nearest it does.
    const std::vector<std::pair<FrameSize, FrameSize>> nearest{
        {{1920, 1200}, {1920, 1080}}, {{800, 600}, {640, 480}}, {{0, 1080}, {160, 120}},
        {{-640, 480}, {160, 120}},    {{99999, 99999}, {1920, 1080}}, {{1280, 720}, {1280, 720}}};
    for (const auto& [asked, offered] : nearest) EXPECT_EQ(NearestPatternSize(asked), offered) << asked.width;

    // No keys: the default, nothing to repair.
    const StoredPatternFormat none = ParsePatternFormat("[Format]\r\n");
    EXPECT_EQ(std::tuple(none.format, none.repaired), std::tuple(PatternFormat{}, false));
    const StoredPatternFormat kept = ParsePatternFormat("[Format]\r\nWidth=1920\r\nHeight=1080\r\nPicture=1\r\n");
    EXPECT_EQ(std::tuple(kept.format, kept.repaired),
              std::tuple(PatternFormat{{1920, 1080}, PatternKind::MovingGradient}, false));
    for (const char* bad : {"[Format]\r\nWidth=1000\r\nHeight=700\r\n", "[Format]\r\nWidth=abc\r\n",
                            "[Format]\r\nPicture=7\r\n"}) {
        EXPECT_TRUE(ParsePatternFormat(bad).repaired) << bad;
    }

    // A repaired file is written back valid, with its other lines kept.
    testing::TempDir dir;
    const std::string path = dir.Path("KestrovaTestPattern.ini");
    { std::ofstream(testing::FromUtf8(path), std::ios::binary) << "; mine\r\n[Format]\r\nWidth=1000\r\nHeight=700\r\n"; }
    EXPECT_EQ(LoadPatternFormat(path), (PatternFormat{{1280, 720}, PatternKind::ColourBars}));
    EXPECT_EQ(ReadWholeFile(path), "; mine\r\n[Format]\r\nWidth=1280\r\nHeight=720\r\nPicture=0\r\n");
    ASSERT_TRUE(SavePatternFormat(path, PatternFormat{{640, 480}, PatternKind::MovingGradient}));
    EXPECT_EQ(LoadPatternFormat(path), (PatternFormat{{640, 480}, PatternKind::MovingGradient}));
    EXPECT_EQ(LoadPatternFormat(dir.Path("none.ini")), PatternFormat{});
    // A file the user made read-only is not replaced: the save fails, the file stays.
    std::filesystem::permissions(testing::FromUtf8(path), std::filesystem::perms::owner_read);
    EXPECT_FALSE(SavePatternFormat(path, PatternFormat{{1920, 1080}, PatternKind::ColourBars}));
    EXPECT_EQ(LoadPatternFormat(path), (PatternFormat{{640, 480}, PatternKind::MovingGradient}));
}

class PatternModelTest : public ::testing::Test {
protected:
    PatternModelTest() {
        model.SetStatusCallback([this](int, std::string_view text) { return texts.emplace_back(text), true; });
    }

    std::uint32_t now = 1000;  // the millisecond clock
    std::vector<std::string> texts;
    PatternModel model{[](const std::string&) { return false; }, [this] { return now; }};
};

TEST_F(PatternModelTest, OnlyIndexZeroConnectsWithTheRestoredFormatAndCountsFramesAndTimeFromTheConnection) {
    // Nothing is told without a connection, nor when a kept format is restored.
    now = 0xFFFFFF00u;  // the clock wraps during the test
    model.Restore({160, 120}, PatternKind::MovingGradient);
    model.Restore({1000, 700}, PatternKind::MovingGradient);  // not offered: the size stays
    CapStatus status{.uiImageWidth = 99};
    EXPECT_FALSE(model.GetStatus(status) || model.SetPreview(true) || model.Disconnect() || model.Connect(1));
    EXPECT_EQ(std::tuple(status.uiImageWidth, texts.size()), std::tuple(99u, 0u));
    ASSERT_TRUE(model.Connect(0));
    EXPECT_EQ(texts, std::vector<std::string>{"Kestrova Test Pattern に接続しました (160x120 24 ﾋﾞｯﾄ RGB)"});
    // The first frame is number 0 at 512 ms of the restored picture.
    DibFrame frame;
    now += 0x200;
    ASSERT_TRUE(model.NextFrame(frame));
    EXPECT_EQ(frame.bits, Render(PatternKind::MovingGradient, 160, 120, 0, 512).bits);
    // Disconnecting stops the preview; it stays off after reconnecting, and
    // the new connection starts again from frame 0 and 00:00:00.000.
    ASSERT_TRUE(model.SetPreview(true));
    model.Disconnect();
    model.Connect(0);
    EXPECT_TRUE(model.GetStatus(status) && status.fLiveWindow == 0);
    EXPECT_EQ(std::tuple(model.frames().framesDelivered(), model.frames().ElapsedMilliseconds()), std::tuple(0u, 0u));
    // After recorded slot 299 at 9.97 s, the preview goes on from there.
    ASSERT_TRUE(model.RecordingFrame(299, 9970, frame));
    now += 30;
    ASSERT_TRUE(model.NextFrame(frame));
    EXPECT_EQ(frame.bits, Render(PatternKind::MovingGradient, 160, 120, 300, 10000).bits);
    // A bad index leaves the device disconnected.
    EXPECT_FALSE(model.Connect(2) || model.connected());
}

TEST_F(PatternModelTest, CaptureParametersAndAudioFormatKeepWhatTheDeviceHonours) {
    model.Connect(0);
    CaptureParms odd = model.params(), kept = odd;
    odd.dwRequestMicroSecPerFrame = 1, kept.dwRequestMicroSecPerFrame = kTestPatternMinFramePeriod;
    odd.fYield = 5, kept.fYield = 1;
    odd.wNumVideoRequested = 5000, kept.wNumVideoRequested = kTestPatternMaxVideoBuffers;
    odd.AVStreamMaster = 7;  // unknown: the old one stays
    ASSERT_TRUE(model.SetSequenceSetup(odd));
    EXPECT_EQ(model.params(), kept);
    for (auto [asked, period] : {std::pair{0u, kTestPatternMinFramePeriod}, {~0u, kTestPatternMaxFramePeriod}}) {
        odd.dwRequestMicroSecPerFrame = asked;  // 0 keeps the old period
        model.SetSequenceSetup(odd);
        EXPECT_EQ(model.params().dwRequestMicroSecPerFrame, period);
    }
    model.SetPreviewRate(0);  // the preview timer never runs flat out
    EXPECT_EQ(model.PreviewPeriod(), kTestPatternMinPreviewPeriod);

    // Only consistent PCM the device can make; extra bytes are kept as none.
    WaveFormat extra = Pcm(2, 96000, 16), badAlign = Pcm(2, 44100, 16);
    extra.cbSize = 22;
    badAlign.nBlockAlign = 2, badAlign.nAvgBytesPerSec = 88200;  // consistent with the wrong block align
    ASSERT_TRUE(model.SetAudioFormat(extra));
    for (const WaveFormat& bad : {WaveFormat{2, 1, 8000, 8000, 1, 8, 0}, badAlign, Pcm(3, 44100, 16),
                                  Pcm(2, 44100, 24), Pcm(2, 7999, 16), Pcm(2, 96001, 16)}) {
        EXPECT_FALSE(model.SetAudioFormat(bad)) << bad.nChannels << " " << bad.nSamplesPerSec;
    }
    EXPECT_EQ(model.audioFormat(), Pcm(2, 96000, 16));
}

}  // namespace
}  // namespace kestrova
