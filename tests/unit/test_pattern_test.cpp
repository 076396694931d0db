#include "capture/test_pattern/pattern_renderer.h"
#include "capture/test_pattern/test_pattern_model.h"

#include "pcm_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace kestrova {
namespace {

using testing::Pcm;
using Texts = std::vector<std::pair<int, std::string>>;
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

TEST(PatternRenderer, BuffersHoldPaddedRowsAndBadRequestsLeaveThemAlone) {
    // Rows of 3 pixels take 12 bytes; the padding is written as zero,
    // whatever the buffer held.
    std::vector<std::uint8_t> bits(DibImageSize(3, 5), 0xAA);
    ASSERT_EQ(bits.size(), 60u);
    ASSERT_TRUE(RenderPattern(PatternRequest{PatternKind::ColourBars, 3, 5, 0, 0}, bits));
    for (std::size_t at = 9; at < bits.size(); at += at % 12 == 11 ? 10 : 1) EXPECT_EQ(bits[at], 0) << at;

    for (auto [w, h] : {std::pair{0, 10}, {10, 0}, {-1, 10}, {kMaxPatternDimension + 1, 10}, {10, 5000}}) {
        DibFrame frame{0, 0, {1, 2, 3}};
        EXPECT_FALSE(RenderPattern(PatternRequest{PatternKind::ColourBars, w, h, 0, 0}, frame)) << w << "x" << h;
        EXPECT_EQ(frame.bits, (std::vector<std::uint8_t>{1, 2, 3}));
        EXPECT_EQ(frame.width, 0);
    }
    for (std::size_t size : {DibImageSize(16, 16) - 1, DibImageSize(16, 16) + 1}) {  // a byte short or long
        std::vector<std::uint8_t> buffer(size, 0x55);
        EXPECT_FALSE(RenderPattern(PatternRequest{PatternKind::MovingGradient, 16, 16, 0, 0}, buffer));
        EXPECT_EQ(buffer, std::vector<std::uint8_t>(size, 0x55));
    }
}

TEST(PatternRenderer, EverySizeRendersAnUprightPicture) {
    std::vector<FrameSize> sizes(kTestPatternSizes.begin(), kTestPatternSizes.end());
    sizes.insert(sizes.end(), {{1, 1}, {2, 3}, {7, 5}, {161, 121}, {kMaxPatternDimension, 2}});
    for (PatternKind kind : {PatternKind::ColourBars, PatternKind::MovingGradient}) {
        for (auto [w, h] : sizes) {
            const DibFrame f = Render(kind, w, h, 12345, 67890);
            EXPECT_EQ((FrameSize{f.width, f.height}), (FrameSize{w, h}));
            EXPECT_EQ(f.bits.size(), DibImageSize(w, h));
        }
    }
    // Blue-green-red rows from the bottom up: the second bar is yellow at the
    // top, and the first bytes are the black text band at the bottom.
    const DibFrame bars = Render(PatternKind::ColourBars, 320, 240, 0, 0);
    EXPECT_EQ(PixelAt(bars, 320 * 3 / 14, 0), (Pixel{0, 191, 191}));
    EXPECT_EQ(PixelAt(bars, 0, 239), (Pixel{0, 0, 0}));
}

TEST(PatternRenderer, PicturesMoveWithTheCounterAndTheClock) {
    for (auto [w, h] : kTestPatternSizes) {
        SCOPED_TRACE(w);
        const DibFrame base = Render(PatternKind::ColourBars, w, h, 41, 5000);
        // The next frame: the bars stay, the marker and the counter move.
        const DibFrame next = Render(PatternKind::ColourBars, w, h, 42, 5000);
        EXPECT_EQ(DifferingPixels(base, next, 0, h * 2 / 3), 0);
        EXPECT_GT(DifferingPixels(base, next, h * 2 / 3, h * 3 / 4), 0);
        EXPECT_GT(DifferingPixels(base, next, h * 3 / 4, h), 0);
        // A later time: only the clock moves.
        const DibFrame later = Render(PatternKind::ColourBars, w, h, 41, 5001);
        EXPECT_EQ(DifferingPixels(base, later, 0, h * 3 / 4), 0);
        EXPECT_GT(DifferingPixels(base, later, h * 3 / 4, h), 0);
        // The gradient shows the counter too, and above its text box almost
        // every pixel drifts on within a quarter second.
        const DibFrame gradient = Render(PatternKind::MovingGradient, w, h, 41, 5000);
        EXPECT_NE(gradient.bits, Render(PatternKind::MovingGradient, w, h, 42, 5000).bits);
        EXPECT_GT(DifferingPixels(gradient, Render(PatternKind::MovingGradient, w, h, 41, 5250), 0, h / 2),
                  w * (h / 2) * 9 / 10);
    }
    // At the end of the clock it is still a gradient, not a flat fill, and
    // the clock and counter texts grow to hold their largest values.
    const DibFrame end = Render(PatternKind::MovingGradient, 320, 240, 0xFFFFFFFFu, 0xFFFFFFFFu);
    std::set<Pixel> colours;
    for (int y = 0; y < end.height; ++y) {
        for (int x = 0; x < end.width; ++x) colours.insert(PixelAt(end, x, y));
    }
    EXPECT_GT(colours.size(), 200u);
    EXPECT_EQ(FormatPatternClock(0xFFFFFFFFu), "1193:02:47.295");
    EXPECT_EQ(FormatPatternCounter(0xFFFFFFFFu), "FRAME 4294967295");
    EXPECT_EQ(FormatPatternClock(3723045) + " " + FormatPatternCounter(123), "01:02:03.045 FRAME 0000123");
}

class TestPatternModelTest : public ::testing::Test {
protected:
    TestPatternModelTest() {
        model.SetStatusCallback([this](int id, std::string_view text) {
            texts.emplace_back(id, std::string(text));
            return true;
        });
    }
    CapStatus Status() {
        CapStatus s;
        EXPECT_TRUE(model.GetStatus(s));
        return s;
    }

    std::set<std::string> existing;  // files that exist
    std::uint32_t now = 1000;        // the millisecond clock
    Texts texts;
    TestPatternModel model{[this](const std::string& path) { return existing.count(path) != 0; },
                           [this] { return now; }};
};

TEST_F(TestPatternModelTest, ConnectionGivesStatusTextsTheStatusBarCanShow) {
    // Nothing is told without a connection, and only index 0 connects.
    CapStatus status{.uiImageWidth = 99};
    EXPECT_FALSE(model.GetStatus(status) || model.SetPreview(true) || model.Disconnect() || model.Connect(1));
    EXPECT_EQ(status, (CapStatus{.uiImageWidth = 99}));
    EXPECT_TRUE(texts.empty());

    ASSERT_TRUE(model.Connect(0));
    EXPECT_FALSE(model.SetFrameSize({800, 600}));  // not offered: refused silently
    ASSERT_TRUE(model.SetFrameSize({640, 480}));
    model.SetPicture(PatternKind::MovingGradient);
    EXPECT_EQ(texts, (Texts{{kTestPatternStatusConnected, "Kestrova Test Pattern に接続しました (320x240 24 ﾋﾞｯﾄ RGB)"},
                            {kTestPatternStatusFormat, "ﾌｫｰﾏｯﾄ: 640x480 24 ﾋﾞｯﾄ RGB"},
                            {kTestPatternStatusSource, "ｿｰｽ: 動くｸﾞﾗﾃﾞｰｼｮﾝ"}}));
    // Connecting again drops the old connection first (the text clears); a
    // bad index leaves the device disconnected. Without a callback: quiet.
    texts.clear();
    EXPECT_FALSE(model.Connect(2));
    EXPECT_FALSE(model.connected());
    model.SetStatusCallback(nullptr);
    model.Connect(0);
    EXPECT_EQ(texts, (Texts{{0, ""}}));
}

TEST_F(TestPatternModelTest, StatusTellsTheTruth) {
    model.Connect(0);
    ASSERT_TRUE(model.SetPreview(true));
    model.SetScale(true);
    CapStatus s = Status();
    EXPECT_EQ(std::tuple(s.uiImageWidth, s.uiImageHeight, s.fLiveWindow, s.fScale, s.fCapturingNow),
              std::tuple(320u, 240u, 1, 1, 0));
    // The capture file is looked up on disk at each status.
    ASSERT_TRUE(model.SetCaptureFile("C:\\WORK\\一時ﾌｧｲﾙ.AVI"));
    existing.insert("C:\\WORK\\一時ﾌｧｲﾙ.AVI");
    EXPECT_EQ(Status().fCapFileExists, 1);
    existing.clear();
    EXPECT_EQ(Status().fCapFileExists, 0);
    // Disconnecting stops the preview; it stays off after reconnecting.
    model.Disconnect();
    model.Connect(0);
    s = Status();
    EXPECT_EQ(std::pair(s.fLiveWindow, s.fScale), std::pair(0, 1));
    // The counters of the recording running or last made.
    model.recording() = RecordingCounters{150, 3, 10012, 110350, true};
    s = Status();
    EXPECT_EQ(std::tuple(s.dwCurrentVideoFrame, s.dwCurrentVideoFramesDropped, s.dwCurrentTimeElapsedMS,
                         s.dwCurrentWaveSamples, s.fCapturingNow),
              std::tuple(150u, 3u, 10012u, 110350u, 1));
}

TEST_F(TestPatternModelTest, CaptureParametersAndAudioFormatKeepWhatTheDeviceHonours) {
    // What the capture device sends at start-up comes back unchanged.
    CaptureParms p = model.params();
    p.dwRequestMicroSecPerFrame = 33366;
    p.fCaptureAudio = p.fAbortLeftMouse = 0;
    p.wNumVideoRequested = 12;
    ASSERT_TRUE(model.SetSequenceSetup(p));
    EXPECT_EQ(model.params(), p);
    // Out of reach: adjusted to what the device can do.
    CaptureParms odd = p, kept = p;
    odd.dwRequestMicroSecPerFrame = 1, kept.dwRequestMicroSecPerFrame = kTestPatternMinFramePeriod;
    odd.fYield = 5, kept.fYield = 1;
    odd.wNumVideoRequested = 5000, kept.wNumVideoRequested = kTestPatternMaxVideoBuffers;
    odd.fUsingDOSMemory = odd.fMCIControl = odd.fStepMCIDevice = odd.fStepCaptureAt2x = 1;  // none of these
    odd.AVStreamMaster = 7;  // unknown: the old one stays
    ASSERT_TRUE(model.SetSequenceSetup(odd));
    EXPECT_EQ(model.params(), kept);
    odd.dwRequestMicroSecPerFrame = 0;  // keeps the old period
    model.SetSequenceSetup(odd);
    EXPECT_EQ(model.params().dwRequestMicroSecPerFrame, kTestPatternMinFramePeriod);
    odd.dwRequestMicroSecPerFrame = 0xFFFFFFFFu;
    model.SetSequenceSetup(odd);
    EXPECT_EQ(model.params().dwRequestMicroSecPerFrame, kTestPatternMaxFramePeriod);

    // Only consistent PCM the device can make; extra bytes are kept as none.
    WaveFormat extra = Pcm(2, 96000, 16), badAlign = Pcm(2, 44100, 16);
    extra.cbSize = 22;
    badAlign.nBlockAlign = 2;
    badAlign.nAvgBytesPerSec = 88200;  // consistent with the wrong block align
    ASSERT_TRUE(model.SetAudioFormat(extra));
    for (const WaveFormat& bad : {WaveFormat{2, 1, 8000, 8000, 1, 8, 0}, badAlign, Pcm(3, 44100, 16),
                                  Pcm(2, 44100, 24), Pcm(2, 7999, 16), Pcm(2, 96001, 16)}) {
        EXPECT_FALSE(model.SetAudioFormat(bad)) << bad.nChannels << " " << bad.nSamplesPerSec;
    }
    EXPECT_EQ(model.audioFormat(), Pcm(2, 96000, 16));
}

TEST_F(TestPatternModelTest, FramesCountAndClockFromTheConnectionAndGoOnAfterARecording) {
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
    // A new connection starts again from frame 0 and 00:00:00.000.
    model.Connect(0);
    EXPECT_EQ(std::pair(model.frames().framesDelivered(), model.frames().ElapsedMilliseconds()), std::pair(0u, 0u));
    // After recorded slot 299 at 9.97 s, the preview goes on from there.
    ASSERT_TRUE(model.RecordingFrame(299, 9970, frame));
    EXPECT_EQ(frame.bits, Render(PatternKind::MovingGradient, 320, 240, 299, 9970).bits);
    now += 30;
    ASSERT_TRUE(model.NextFrame(frame));
    EXPECT_EQ(frame.bits, Render(PatternKind::MovingGradient, 320, 240, 300, 10000).bits);
}

TEST_F(TestPatternModelTest, RecordingRequestFollowsTheSettings) {
    model.Connect(0);
    model.SetFrameSize({640, 480});
    EXPECT_FALSE(model.SetCaptureFile(""));
    model.SetCaptureFile("D:\\録画\\kv0001.avi");
    ASSERT_TRUE(model.SetAudioFormat(Pcm(2, 22050, 16)));
    const RecordingRequest r = model.MakeRecordingRequest();
    EXPECT_EQ(std::tuple(r.path, r.width, r.height, r.audio),
              std::tuple("D:\\録画\\kv0001.avi", 640, 480, Pcm(2, 22050, 16)));
    EXPECT_EQ(r.params, model.params());
    CaptureParms p = model.params();
    p.fCaptureAudio = 0;
    model.SetSequenceSetup(p);
    EXPECT_FALSE(model.MakeRecordingRequest().audio.has_value());
    model.SetPreviewRate(0);  // the preview timer never runs flat out
    EXPECT_EQ(model.PreviewPeriod(), kTestPatternMinPreviewPeriod);
}

TEST(TestPatternStills, BmpFileAndClipboardDib) {
    const DibFrame frame = Render(PatternKind::ColourBars, 161, 3, 0, 0);  // rows padded to 484 bytes
    const std::vector<std::uint8_t> dib = PackedDibBytes(frame), bmp = BmpFileBytes(frame);
    auto at = [](const std::vector<std::uint8_t>& v, std::size_t offset, int bytes) {
        std::uint32_t value = 0;
        for (int i = bytes - 1; i >= 0; --i) value = value << 8 | v.at(offset + static_cast<std::size_t>(i));
        return value;
    };
    ASSERT_EQ(dib.size(), 40u + 484u * 3);
    // biSize, biWidth, biHeight (bottom-up), biPlanes, biBitCount, BI_RGB, biSizeImage
    EXPECT_EQ(std::tuple(at(dib, 0, 4), at(dib, 4, 4), at(dib, 8, 4), at(dib, 12, 2), at(dib, 14, 2), at(dib, 16, 4),
                         at(dib, 20, 4)),
              std::tuple(40u, 161u, 3u, 1u, 24u, 0u, 1452u));
    EXPECT_TRUE(std::equal(frame.bits.begin(), frame.bits.end(), dib.begin() + 40));
    ASSERT_EQ(bmp.size(), 14u + dib.size());
    // "BM", bfSize, the reserved words, bfOffBits; then the packed DIB.
    EXPECT_EQ(std::tuple(at(bmp, 0, 2), at(bmp, 2, 4), at(bmp, 6, 4), at(bmp, 10, 4)),
              std::tuple(0x4D42u, static_cast<std::uint32_t>(bmp.size()), 0u, 54u));
    EXPECT_TRUE(std::equal(dib.begin(), dib.end(), bmp.begin() + 14));
    EXPECT_TRUE(PackedDibBytes(DibFrame{}).empty() && BmpFileBytes(DibFrame{}).empty());  // nothing to save
}

}  // namespace
}  // namespace kestrova
