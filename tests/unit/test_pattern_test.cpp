#include "capture/test_pattern/pattern_renderer.h"
#include "capture/test_pattern/test_pattern_model.h"
#include "platform/cp932.h"

#include "pcm_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kestrova {
namespace {

// ---------------------------------------------------------------------------
// Renderer

struct Pixel {
    int b;
    int g;
    int r;
    friend bool operator==(const Pixel&, const Pixel&) = default;
};

// The pixel at (x, y) counted from the top-left, as a viewer sees it.
Pixel PixelAt(const DibFrame& f, int x, int y) {
    const std::size_t offset =
        static_cast<std::size_t>(f.height - 1 - y) * DibStride(f.width) + static_cast<std::size_t>(x) * 3;
    return {f.bits[offset], f.bits[offset + 1], f.bits[offset + 2]};
}

DibFrame Render(PatternKind kind, int width, int height, std::uint32_t frame, std::uint32_t ms) {
    DibFrame out;
    EXPECT_TRUE(RenderPattern(PatternRequest{kind, width, height, frame, ms}, out)) << width << "x" << height;
    return out;
}

// Number of pixels that differ within the rows top..bottom-1.
int DifferingPixels(const DibFrame& a, const DibFrame& b, int top, int bottom) {
    int count = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < a.width; ++x) count += PixelAt(a, x, y) == PixelAt(b, x, y) ? 0 : 1;
    return count;
}

std::size_t DistinctColours(const DibFrame& f) {
    std::set<int> colours;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) {
            const Pixel p = PixelAt(f, x, y);
            colours.insert(p.b | p.g << 8 | p.r << 16);
        }
    return colours.size();
}

constexpr std::array<PatternKind, 2> kKinds{PatternKind::ColourBars, PatternKind::MovingGradient};

TEST(PatternRenderer, DibRowsArePaddedToFourBytes) {
    const std::pair<int, std::size_t> strides[] = {{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {160, 480}, {1279, 3840}};
    for (auto [width, stride] : strides) EXPECT_EQ(DibStride(width), stride) << width;
    EXPECT_EQ(DibImageSize(320, 240), 230400u);
    EXPECT_EQ(DibImageSize(3, 2), 24u);
    EXPECT_EQ(DibImageSize(0, 10), 0u);
    EXPECT_EQ(DibImageSize(10, -1), 0u);

    // Padding bytes are written as zero, whatever the buffer held.
    std::vector<std::uint8_t> bits(DibImageSize(3, 5), 0xAA);
    ASSERT_TRUE(RenderPattern(PatternRequest{PatternKind::ColourBars, 3, 5, 0, 0}, bits));
    for (std::size_t row = 0; row < 5; ++row)
        for (std::size_t pad = 9; pad < 12; ++pad) EXPECT_EQ(bits[row * 12 + pad], 0) << row << "/" << pad;
}

TEST(PatternRenderer, RefusesBadSizesAndBuffersWithoutTouchingThem) {
    for (auto [w, h] : {std::pair{0, 10}, {10, 0}, {-1, 10}, {kMaxPatternDimension + 1, 10}, {10, 5000}}) {
        DibFrame frame;
        frame.bits = {1, 2, 3};
        EXPECT_FALSE(RenderPattern(PatternRequest{PatternKind::ColourBars, w, h, 0, 0}, frame)) << w << "x" << h;
        EXPECT_EQ(frame.bits, (std::vector<std::uint8_t>{1, 2, 3}));
        EXPECT_EQ(frame.width, 0);
    }
    // A buffer one byte short or long is refused.
    for (std::size_t size : {DibImageSize(16, 16) - 1, DibImageSize(16, 16) + 1}) {
        std::vector<std::uint8_t> bits(size, 0x55);
        EXPECT_FALSE(RenderPattern(PatternRequest{PatternKind::MovingGradient, 16, 16, 0, 0}, bits));
        EXPECT_TRUE(std::all_of(bits.begin(), bits.end(), [](std::uint8_t b) { return b == 0x55; }));
    }
}

TEST(PatternRenderer, EverySizeRendersBothPictures) {
    std::vector<FrameSize> sizes(kTestPatternSizes.begin(), kTestPatternSizes.end());
    sizes.insert(sizes.end(), {{1, 1}, {2, 3}, {7, 5}, {161, 121}, {kMaxPatternDimension, 2}});
    for (PatternKind kind : kKinds) {
        for (auto [w, h] : sizes) {
            const DibFrame f = Render(kind, w, h, 12345, 67890);
            EXPECT_EQ(f.width, w);
            EXPECT_EQ(f.height, h);
            EXPECT_EQ(f.bits.size(), DibImageSize(w, h));
        }
    }
    // The offered sizes show real pictures, not a flat fill.
    for (const FrameSize& s : kTestPatternSizes) {
        EXPECT_GE(DistinctColours(Render(PatternKind::ColourBars, s.width, s.height, 1, 1)), 9u) << s.width;
        EXPECT_GE(DistinctColours(Render(PatternKind::MovingGradient, s.width, s.height, 1, 1)), 200u) << s.width;
    }
}

TEST(PatternRenderer, ColourBarsAreUprightInBlueGreenRedOrder) {
    const DibFrame f = Render(PatternKind::ColourBars, 320, 240, 0, 0);
    // Top row, centre of each bar, left to right: white, yellow, cyan,
    // green, magenta, red, blue at 75%.
    const Pixel expected[] = {{191, 191, 191}, {0, 191, 191}, {191, 191, 0}, {0, 191, 0},
                              {191, 0, 191},   {0, 0, 191},   {191, 0, 0}};
    for (int bar = 0; bar < 7; ++bar) {
        const int x = (2 * bar + 1) * 320 / 14;
        EXPECT_EQ(PixelAt(f, x, 0), expected[bar]) << "bar " << bar;
        EXPECT_EQ(PixelAt(f, x, 100), expected[bar]) << "bar " << bar;
    }
    // The bottom-left corner lies in the black text band; the first bytes
    // of the buffer are that corner.
    EXPECT_EQ(PixelAt(f, 0, 239), (Pixel{0, 0, 0}));
    EXPECT_EQ(f.bits[0] + f.bits[1] + f.bits[2], 0);
    // The band carries text.
    int white = 0;
    for (int y = 180; y < 240; ++y)
        for (int x = 0; x < 320; ++x) white += PixelAt(f, x, y) == Pixel{255, 255, 255} ? 1 : 0;
    EXPECT_GT(white, 200);
}

TEST(PatternRenderer, CounterAndClockChangeOnlyTheirParts) {
    for (const FrameSize& s : kTestPatternSizes) {
        const int w = s.width;
        const int h = s.height;
        const DibFrame base = Render(PatternKind::ColourBars, w, h, 41, 5000);
        // The next frame: the bars stay, the marker and the counter move.
        const DibFrame next = Render(PatternKind::ColourBars, w, h, 42, 5000);
        EXPECT_EQ(DifferingPixels(base, next, 0, h * 2 / 3), 0) << w;
        EXPECT_GT(DifferingPixels(base, next, h * 2 / 3, h * 3 / 4), 0) << w;
        EXPECT_GT(DifferingPixels(base, next, h * 3 / 4, h), 0) << w;
        // A later time: only the clock moves.
        const DibFrame later = Render(PatternKind::ColourBars, w, h, 41, 5001);
        EXPECT_EQ(DifferingPixels(base, later, 0, h * 3 / 4), 0) << w;
        EXPECT_GT(DifferingPixels(base, later, h * 3 / 4, h), 0) << w;
        // The gradient shows both as well.
        const DibFrame g1 = Render(PatternKind::MovingGradient, w, h, 41, 5000);
        EXPECT_FALSE(g1.bits == Render(PatternKind::MovingGradient, w, h, 42, 5000).bits) << w;
    }
}

TEST(PatternRenderer, EveryDigitHasAGlyphOfItsOwn) {
    // Milliseconds 0..9 differ only in the last digit of the clock, and
    // counters 0..9 only in the last digit of the counter: each glyph must
    // be a picture of its own.
    std::vector<std::vector<std::uint8_t>> clocks;
    std::vector<std::vector<std::uint8_t>> counters;
    for (std::uint32_t digit = 0; digit < 10; ++digit) {
        clocks.push_back(Render(PatternKind::ColourBars, 160, 120, 0, digit).bits);
        counters.push_back(Render(PatternKind::MovingGradient, 160, 120, digit, 0).bits);
    }
    for (std::size_t a = 0; a < 10; ++a) {
        for (std::size_t b = a + 1; b < 10; ++b) {
            EXPECT_NE(clocks[a], clocks[b]) << a << " and " << b;
            EXPECT_NE(counters[a], counters[b]) << a << " and " << b;
        }
    }
    // And none is blank. "FRAME ddddddd" shows one digit seven times; every
    // digit of the 5 x 7 font inks 10 to 19 cells, so the ink of the
    // counters stays within 7 x 9 cells of each other, while a blank digit
    // would fall at least 7 x 10 short.
    std::vector<int> ink;
    for (std::uint32_t digit = 0; digit < 10; ++digit) {
        const DibFrame f = Render(PatternKind::ColourBars, 160, 120, digit * 1111111u, 0);
        int white = 0;
        for (int y = 90; y < 120; ++y)
            for (int x = 0; x < 160; ++x) white += PixelAt(f, x, y) == Pixel{255, 255, 255} ? 1 : 0;
        ink.push_back(white);
    }
    EXPECT_LT(*std::max_element(ink.begin(), ink.end()) - *std::min_element(ink.begin(), ink.end()), 70);
}

TEST(PatternRenderer, GradientDriftsSmoothlyWithTime) {
    const int w = 640;
    const int h = 480;
    const DibFrame a = Render(PatternKind::MovingGradient, w, h, 0, 0);
    const DibFrame b = Render(PatternKind::MovingGradient, w, h, 0, 250);
    // Above the text box almost every pixel has moved on after a quarter second.
    EXPECT_GT(DifferingPixels(a, b, 0, h / 2), w * (h / 2) * 9 / 10);
    // A moment later nothing has jumped: neighbouring times and neighbouring
    // pixels stay close.
    const DibFrame c = Render(PatternKind::MovingGradient, w, h, 0, 251);
    int largest = 0;
    for (int y = 0; y < h / 2; ++y) {
        for (int x = 0; x < w; ++x) {
            const Pixel p = PixelAt(b, x, y);
            const Pixel q = PixelAt(c, x, y);
            largest = std::max({largest, std::abs(p.b - q.b), std::abs(p.g - q.g), std::abs(p.r - q.r)});
            if (x + 1 < w) {
                const Pixel n = PixelAt(b, x + 1, y);
                largest = std::max({largest, std::abs(p.b - n.b), std::abs(p.g - n.g), std::abs(p.r - n.r)});
            }
        }
    }
    EXPECT_LE(largest, 4);
    // The drift wraps around without trouble at the end of the clock.
    const DibFrame end = Render(PatternKind::MovingGradient, w, h, 0xFFFFFFFFu, 0xFFFFFFFFu);
    EXPECT_GT(DistinctColours(end), 200u);
}

TEST(PatternRenderer, SameRequestGivesTheSameBytes) {
    for (PatternKind kind : kKinds) {
        const DibFrame a = Render(kind, 161, 121, 77, 123456);
        // Rendering into a frame that held another picture overwrites it fully.
        DibFrame b = Render(kind == PatternKind::ColourBars ? PatternKind::MovingGradient : PatternKind::ColourBars,
                            161, 121, 3, 9);
        ASSERT_TRUE(RenderPattern(PatternRequest{kind, 161, 121, 77, 123456}, b));
        EXPECT_EQ(a.bits, b.bits);
    }
}

TEST(PatternRenderer, ClockAndCounterTexts) {
    EXPECT_EQ(FormatPatternClock(0), "00:00:00.000");
    EXPECT_EQ(FormatPatternClock(3723045), "01:02:03.045");
    EXPECT_EQ(FormatPatternClock(359999999), "99:59:59.999");
    EXPECT_EQ(FormatPatternClock(0xFFFFFFFFu), "1193:02:47.295");
    EXPECT_EQ(FormatPatternCounter(0), "FRAME 0000000");
    EXPECT_EQ(FormatPatternCounter(123), "FRAME 0000123");
    EXPECT_EQ(FormatPatternCounter(0xFFFFFFFFu), "FRAME 4294967295");
}

// ---------------------------------------------------------------------------
// Model

class TestPatternModelTest : public ::testing::Test {
protected:
    TestPatternModelTest() {
        model.SetStatusCallback([this](int id, std::string_view text) {
            texts.emplace_back(id, std::string(text));
            return true;
        });
    }

    std::set<std::string> existing;          // files that exist
    std::vector<std::string> asked;          // paths asked about
    std::uint32_t now = 1000;                // the millisecond clock
    std::vector<std::pair<int, std::string>> texts;
    TestPatternModel model{[this](const std::string& path) {
                               asked.push_back(path);
                               return existing.count(path) != 0;
                           },
                           [this] { return now; }};
};

TEST_F(TestPatternModelTest, OneDriverAtIndexZero) {
    std::string name = "x";
    std::string version = "y";
    EXPECT_FALSE(TestPatternModel::Describe(1, name, version));
    EXPECT_FALSE(TestPatternModel::Describe(-1, name, version));
    EXPECT_EQ(name, "x");
    ASSERT_TRUE(TestPatternModel::Describe(0, name, version));
    EXPECT_EQ(name, "Kestrova Test Pattern");
    EXPECT_EQ(version, "3.61");
}

TEST_F(TestPatternModelTest, NothingIsReportedWithoutAConnection) {
    CapDriverCaps caps{7, 7, 7, 7, 7, 7, 7};
    CapStatus status;
    status.uiImageWidth = 99;
    EXPECT_FALSE(model.GetCaps(caps));
    EXPECT_FALSE(model.GetStatus(status));
    EXPECT_EQ(caps.wDeviceIndex, 7u);
    EXPECT_EQ(status.uiImageWidth, 99u);
    EXPECT_FALSE(model.SetPreview(true));
    EXPECT_FALSE(model.Disconnect());
    EXPECT_FALSE(model.Connect(1));
    EXPECT_FALSE(model.connected());
    EXPECT_TRUE(texts.empty());
}

TEST_F(TestPatternModelTest, ConnectionGivesCapsAndStatusTexts) {
    ASSERT_TRUE(model.Connect(0));
    CapDriverCaps caps;
    ASSERT_TRUE(model.GetCaps(caps));
    EXPECT_EQ(caps, (CapDriverCaps{0, 0, 1, 1, 0, 1, 0}));
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].first, kTestPatternStatusConnected);
    EXPECT_EQ(texts[0].second, "Kestrova Test Pattern に接続しました (320x240 24 ﾋﾞｯﾄ RGB)");

    // Connecting again drops the old connection first (the text clears);
    // a bad index leaves the device disconnected.
    texts.clear();
    EXPECT_FALSE(model.Connect(2));
    EXPECT_FALSE(model.connected());
    EXPECT_EQ(texts, (std::vector<std::pair<int, std::string>>{{0, ""}}));
}

TEST_F(TestPatternModelTest, StatusTellsTheTruth) {
    model.Connect(0);
    CapStatus s;
    ASSERT_TRUE(model.GetStatus(s));
    EXPECT_EQ(s.uiImageWidth, 320u);
    EXPECT_EQ(s.uiImageHeight, 240u);
    EXPECT_EQ(s.fLiveWindow, 0);
    EXPECT_EQ(s.fOverlayWindow, 0);
    EXPECT_EQ(s.fScale, 0);
    EXPECT_EQ(s.fCapFileExists, 0);
    EXPECT_EQ(s.fCapturingNow, 0);

    ASSERT_TRUE(model.SetPreview(true));
    model.SetScale(true);
    ASSERT_TRUE(model.GetStatus(s));
    EXPECT_EQ(s.fLiveWindow, 1);
    EXPECT_EQ(s.fScale, 1);

    // The capture file is looked up on disk at each status.
    ASSERT_TRUE(model.SetCaptureFile("C:\\WORK\\一時ﾌｧｲﾙ.AVI"));
    existing.insert("C:\\WORK\\一時ﾌｧｲﾙ.AVI");
    asked.clear();
    ASSERT_TRUE(model.GetStatus(s));
    EXPECT_EQ(s.fCapFileExists, 1);
    EXPECT_EQ(asked, std::vector<std::string>{"C:\\WORK\\一時ﾌｧｲﾙ.AVI"});
    existing.clear();
    ASSERT_TRUE(model.GetStatus(s));
    EXPECT_EQ(s.fCapFileExists, 0);

    // Disconnecting stops the preview; it stays off after reconnecting.
    model.Disconnect();
    model.Connect(0);
    ASSERT_TRUE(model.GetStatus(s));
    EXPECT_EQ(s.fLiveWindow, 0);
    EXPECT_EQ(s.fScale, 1);
    EXPECT_TRUE(model.SetPreview(false));
}

TEST_F(TestPatternModelTest, FormatChangeResizesTheImageAndIsReported) {
    model.Connect(0);
    texts.clear();
    for (const FrameSize& size : kTestPatternSizes) {
        ASSERT_TRUE(model.SetFrameSize(size));
        CapStatus s;
        model.GetStatus(s);
        EXPECT_EQ(s.uiImageWidth, static_cast<std::uint32_t>(size.width));
        EXPECT_EQ(s.uiImageHeight, static_cast<std::uint32_t>(size.height));
        DibFrame frame;
        ASSERT_TRUE(model.NextFrame(frame));
        EXPECT_EQ(frame.width, size.width);
        EXPECT_EQ(frame.height, size.height);
    }
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[2], (std::pair<int, std::string>{kTestPatternStatusFormat, "ﾌｫｰﾏｯﾄ: 640x480 24 ﾋﾞｯﾄ RGB"}));

    // Sizes the device does not offer are refused silently.
    texts.clear();
    for (FrameSize bad : {FrameSize{800, 600}, FrameSize{240, 320}, FrameSize{0, 0}, FrameSize{1280, 721}}) {
        EXPECT_FALSE(model.SetFrameSize(bad));
    }
    EXPECT_EQ(model.frameSize(), (FrameSize{1280, 720}));
    EXPECT_TRUE(texts.empty());
}

TEST_F(TestPatternModelTest, StatusTextsSurviveTheStatusBarEncoding) {
    model.Connect(0);
    model.SetFrameSize({1280, 720});
    model.SetPicture(PatternKind::MovingGradient);
    model.SetPicture(PatternKind::ColourBars);
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[2], (std::pair<int, std::string>{kTestPatternStatusSource, "ｿｰｽ: 動くｸﾞﾗﾃﾞｰｼｮﾝ"}));
    for (const auto& [id, text] : texts) {
        EXPECT_NE(id, 0);
        EXPECT_EQ(Cp932ToUtf8(Utf8ToCp932(text)), text);
        EXPECT_EQ(BoundToCp932Bytes(text, 511), text);
    }
    // Without a callback the device stays quiet (and does not crash).
    model.SetStatusCallback(nullptr);
    model.SetPicture(PatternKind::ColourBars);
    model.Disconnect();
    EXPECT_EQ(texts.size(), 4u);
}

TEST_F(TestPatternModelTest, CaptureParametersKeepWhatTheDeviceHonours) {
    // What the capture device sends at start-up comes back unchanged.
    CaptureParms p = model.params();
    EXPECT_EQ(p.dwRequestMicroSecPerFrame, 66667u);
    EXPECT_EQ(p.dwIndexSize, kTestPatternDefaultIndexSize);
    p.dwRequestMicroSecPerFrame = 33366;
    p.fCaptureAudio = 0;
    p.fAbortLeftMouse = 0;
    p.wNumVideoRequested = 12;
    p.fLimitEnabled = 1;
    p.wTimeLimit = 3600;
    ASSERT_TRUE(model.SetSequenceSetup(p));
    EXPECT_EQ(model.params(), p);

    // Out of reach: adjusted to what the device can do.
    CaptureParms odd = p;
    odd.dwRequestMicroSecPerFrame = 1;
    odd.fYield = 5;
    odd.fMakeUserHitOKToCapture = -1;
    odd.wPercentDropForError = 250;
    odd.dwIndexSize = 100;
    odd.fUsingDOSMemory = 1;
    odd.wNumVideoRequested = 5000;
    odd.wNumAudioRequested = 99;
    odd.fMCIControl = 1;
    odd.fStepMCIDevice = 1;
    odd.fStepCaptureAt2x = 1;
    odd.AVStreamMaster = 7;
    ASSERT_TRUE(model.SetSequenceSetup(odd));
    const CaptureParms& kept = model.params();
    EXPECT_EQ(kept.dwRequestMicroSecPerFrame, kTestPatternMinFramePeriod);
    EXPECT_EQ(kept.fYield, 1);
    EXPECT_EQ(kept.fMakeUserHitOKToCapture, 1);
    EXPECT_EQ(kept.wPercentDropForError, 100u);
    EXPECT_EQ(kept.dwIndexSize, kTestPatternMinIndexSize);
    EXPECT_EQ(kept.fUsingDOSMemory, 0);
    EXPECT_EQ(kept.wNumVideoRequested, kTestPatternMaxVideoBuffers);
    EXPECT_EQ(kept.wNumAudioRequested, kTestPatternMaxAudioBuffers);
    EXPECT_EQ(kept.fMCIControl, 0);
    EXPECT_EQ(kept.fStepMCIDevice, 0);
    EXPECT_EQ(kept.fStepCaptureAt2x, 0);
    EXPECT_EQ(kept.AVStreamMaster, p.AVStreamMaster);
    EXPECT_EQ(kept.wTimeLimit, 3600u);

    // A period of 0 keeps the old one; an index size of 0 means the default.
    odd.dwRequestMicroSecPerFrame = 0;
    odd.dwIndexSize = 0;
    odd.AVStreamMaster = 1;
    model.SetSequenceSetup(odd);
    EXPECT_EQ(model.params().dwRequestMicroSecPerFrame, kTestPatternMinFramePeriod);
    EXPECT_EQ(model.params().dwIndexSize, kTestPatternDefaultIndexSize);
    EXPECT_EQ(model.params().AVStreamMaster, 1u);
    odd.dwRequestMicroSecPerFrame = 0xFFFFFFFFu;
    odd.dwIndexSize = 0xFFFFFFFFu;
    model.SetSequenceSetup(odd);
    EXPECT_EQ(model.params().dwRequestMicroSecPerFrame, kTestPatternMaxFramePeriod);
    EXPECT_EQ(model.params().dwIndexSize, kTestPatternMaxIndexSize);
}

using testing::Pcm;

TEST_F(TestPatternModelTest, AudioFormatOnlyValidPcm) {
    EXPECT_TRUE(IsAcceptedPcmFormat(model.audioFormat()));
    for (const WaveFormat& good : {Pcm(1, 8000, 8), Pcm(2, 44100, 16), Pcm(2, 96000, 16), Pcm(1, 22050, 16)}) {
        EXPECT_TRUE(model.SetAudioFormat(good)) << good.nSamplesPerSec;
        EXPECT_EQ(model.audioFormat(), good);
    }
    // Extra bytes mean nothing for PCM: accepted, kept as none.
    WaveFormat extra = Pcm(1, 11025, 8);
    extra.cbSize = 22;
    ASSERT_TRUE(model.SetAudioFormat(extra));
    EXPECT_EQ(model.audioFormat().cbSize, 0);
    const WaveFormat accepted = model.audioFormat();

    std::vector<WaveFormat> bad;
    WaveFormat f = Pcm(2, 44100, 16);
    f.wFormatTag = 2;
    bad.push_back(f);
    bad.push_back(Pcm(0, 44100, 16));
    bad.push_back(Pcm(3, 44100, 16));
    bad.push_back(Pcm(2, 44100, 12));
    bad.push_back(Pcm(2, 44100, 24));
    bad.push_back(Pcm(2, 7999, 16));
    bad.push_back(Pcm(2, 96001, 16));
    f = Pcm(2, 44100, 16);
    f.nBlockAlign = 2;
    f.nAvgBytesPerSec = 88200;  // consistent with the wrong block align
    bad.push_back(f);
    f = Pcm(2, 44100, 16);
    f.nAvgBytesPerSec = 176401;
    bad.push_back(f);
    for (const WaveFormat& b : bad) {
        EXPECT_FALSE(model.SetAudioFormat(b)) << b.wFormatTag << " " << b.nChannels << " " << b.nSamplesPerSec
                                              << " " << b.wBitsPerSample;
        EXPECT_EQ(model.audioFormat(), accepted);
    }
}

TEST_F(TestPatternModelTest, CaptureFileAndPreviewRate) {
    const std::string initial = model.captureFile();
    EXPECT_FALSE(initial.empty());
    EXPECT_FALSE(model.SetCaptureFile(""));
    EXPECT_EQ(model.captureFile(), initial);
    EXPECT_TRUE(model.SetCaptureFile("D:\\録画\\a.avi"));
    EXPECT_EQ(model.captureFile(), "D:\\録画\\a.avi");

    model.SetPreviewRate(66);
    EXPECT_EQ(model.PreviewPeriod(), 66u);
    model.SetPreviewRate(0);
    EXPECT_EQ(model.previewRate(), 0u);
    EXPECT_EQ(model.PreviewPeriod(), kTestPatternMinPreviewPeriod);
}

TEST_F(TestPatternModelTest, FramesCountAndClockFromTheConnection) {
    now = 0xFFFFFF00u;  // the clock wraps during the test
    model.Connect(0);
    model.SetPicture(PatternKind::MovingGradient);
    DibFrame frame;
    now += 0x200;
    ASSERT_TRUE(model.NextFrame(frame));
    // The first frame is number 0 at 512 ms of the current picture.
    EXPECT_EQ(frame.bits, Render(PatternKind::MovingGradient, 320, 240, 0, 512).bits);
    now += 40;
    ASSERT_TRUE(model.NextFrame(frame));
    EXPECT_EQ(frame.bits, Render(PatternKind::MovingGradient, 320, 240, 1, 552).bits);
    EXPECT_EQ(model.frames().framesDelivered(), 2u);

    // A new connection starts again from frame 0 and 00:00:00.000.
    model.Connect(0);
    EXPECT_EQ(model.frames().framesDelivered(), 0u);
    EXPECT_EQ(model.frames().ElapsedMilliseconds(), 0u);
}

TEST_F(TestPatternModelTest, StatusCarriesTheRecordingCounters) {
    model.Connect(0);
    model.recording() = RecordingCounters{150, 3, 10012, 110350, true};
    CapStatus s;
    ASSERT_TRUE(model.GetStatus(s));
    EXPECT_EQ(s.dwCurrentVideoFrame, 150u);
    EXPECT_EQ(s.dwCurrentVideoFramesDropped, 3u);
    EXPECT_EQ(s.dwCurrentTimeElapsedMS, 10012u);
    EXPECT_EQ(s.dwCurrentWaveSamples, 110350u);
    EXPECT_EQ(s.fCapturingNow, 1);
    // After the recording the figures stay and the file is there.
    model.recording().running = false;
    existing.insert(model.captureFile());
    ASSERT_TRUE(model.GetStatus(s));
    EXPECT_EQ(s.fCapturingNow, 0);
    EXPECT_EQ(s.dwCurrentVideoFrame, 150u);
    EXPECT_EQ(s.fCapFileExists, 1);
}

TEST_F(TestPatternModelTest, RecordingRequestFollowsTheSettings) {
    model.Connect(0);
    model.SetFrameSize({640, 480});
    model.SetCaptureFile("D:\\録画\\kv0001.avi");
    ASSERT_TRUE(model.SetAudioFormat(Pcm(2, 22050, 16)));
    CaptureParms p = model.params();
    p.dwRequestMicroSecPerFrame = 33366;
    p.fLimitEnabled = 1;
    p.wTimeLimit = 10;
    model.SetSequenceSetup(p);

    RecordingRequest r = model.MakeRecordingRequest();
    EXPECT_EQ(r.path, "D:\\録画\\kv0001.avi");
    EXPECT_EQ(r.width, 640);
    EXPECT_EQ(r.height, 480);
    EXPECT_EQ(r.params, model.params());
    ASSERT_TRUE(r.audio.has_value());
    EXPECT_EQ(*r.audio, Pcm(2, 22050, 16));
    p.fCaptureAudio = 0;
    model.SetSequenceSetup(p);
    EXPECT_FALSE(model.MakeRecordingRequest().audio.has_value());
}

TEST_F(TestPatternModelTest, PreviewGoesOnWhereTheRecordingLeftOff) {
    model.Connect(0);
    DibFrame frame;
    // Recorded slot 299 of a recording, at 9.97 s of its timeline.
    ASSERT_TRUE(model.RecordingFrame(299, 9970, frame));
    EXPECT_EQ(frame.bits, Render(PatternKind::ColourBars, 320, 240, 299, 9970).bits);
    now += 30;
    ASSERT_TRUE(model.NextFrame(frame));
    EXPECT_EQ(frame.bits, Render(PatternKind::ColourBars, 320, 240, 300, 10000).bits);
}

TEST(TestPatternStills, BmpFileAndClipboardDib) {
    const DibFrame frame = Render(PatternKind::ColourBars, 161, 3, 0, 0);  // rows padded to 484 bytes
    const std::vector<std::uint8_t> dib = PackedDibBytes(frame);
    const std::vector<std::uint8_t> bmp = BmpFileBytes(frame);
    auto at = [](const std::vector<std::uint8_t>& v, std::size_t offset, int bytes) {
        std::uint32_t value = 0;
        for (int i = bytes - 1; i >= 0; --i) value = value << 8 | v[offset + static_cast<std::size_t>(i)];
        return value;
    };
    ASSERT_EQ(dib.size(), 40u + 484u * 3);
    EXPECT_EQ(at(dib, 0, 4), 40u);      // biSize
    EXPECT_EQ(at(dib, 4, 4), 161u);     // biWidth
    EXPECT_EQ(at(dib, 8, 4), 3u);       // biHeight: bottom-up
    EXPECT_EQ(at(dib, 12, 2), 1u);      // biPlanes
    EXPECT_EQ(at(dib, 14, 2), 24u);     // biBitCount
    EXPECT_EQ(at(dib, 16, 4), 0u);      // BI_RGB
    EXPECT_EQ(at(dib, 20, 4), 1452u);   // biSizeImage
    EXPECT_TRUE(std::equal(frame.bits.begin(), frame.bits.end(), dib.begin() + 40));

    ASSERT_EQ(bmp.size(), 14u + dib.size());
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(at(bmp, 2, 4), bmp.size());  // bfSize
    EXPECT_EQ(at(bmp, 6, 4), 0u);
    EXPECT_EQ(at(bmp, 10, 4), 54u);        // bfOffBits
    EXPECT_TRUE(std::equal(dib.begin(), dib.end(), bmp.begin() + 14));

    // Nothing on show: nothing to save.
    EXPECT_TRUE(PackedDibBytes(DibFrame{}).empty());
    EXPECT_TRUE(BmpFileBytes(DibFrame{}).empty());
}

}  // namespace
}  // namespace kestrova
