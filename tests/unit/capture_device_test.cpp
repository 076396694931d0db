#include "capture/capture_device.h"
#include "fake_capture_port.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kestrova {
namespace {

using Calls = std::vector<std::string>;

struct FakeSink : StatusSink {
    bool bar = true;
    std::vector<std::string> shown;
    int clears = 0;
    const std::string* lastPointer = nullptr;
    bool HasStatusBar() const override { return bar; }
    void ShowOwnerDrawn(const std::string& text) override {
        shown.push_back(text);
        lastPointer = &text;
    }
    void ClearPart0() override { ++clears; }
};

class CaptureDeviceTest : public ::testing::Test {
protected:
    int Create() { return device.Create("VideoCapture", kStyleChild, 0, 0, 320, 240, 0x10, 1); }

    testing::FakeCapturePort port;
    AppSettings settings;
    FakeSink sink;
    CaptureDevice device{port, settings, sink};
};

TEST_F(CaptureDeviceTest, CreateSendsTheSetUpInOrder) {
    settings.PreviewScale = 1;
    EXPECT_EQ(Create(), 1);
    EXPECT_EQ(port.Take(), (Calls{
                               "create VideoCapture style=50000000 0,0,320x240 parent=16 id=1",
                               "DRIVER_CONNECT 0",
                               "GET_SEQUENCE_SETUP",
                               "SET_SEQUENCE_SETUP period=66666 audio=1 left=1 right=1 buffers=5",
                               "DRIVER_GET_CAPS",
                               "GET_STATUS",
                               "SetWindowPos 0,0 320x240 flags=00000006",
                               "SET_CALLBACK_STATUS set",
                               "GET_AUDIOFORMAT",
                               "SET_AUDIOFORMAT tag=1 ch=2 rate=44100 avg=176400 align=4 bits=16 cb=0",
                               "FILE_SET_CAPTURE_FILE \\一時ﾌｧｲﾙ.AVI",
                               "SET_PREVIEWRATE 66",
                               "SET_PREVIEW 1",
                               "SET_SCALE 1",
                               "SET_OVERLAY 0",
                           }));
    EXPECT_TRUE(device.connected());
    EXPECT_TRUE(device.IsStatusShown());
    EXPECT_EQ(device.GetDeviceDescription(0), "Fake Capture [1.0]");
}

TEST_F(CaptureDeviceTest, SettingsShapeWhatIsSent) {
    settings.TempPath = "C:\\WORK\\";
    settings.Status = 0;
    settings.Preview = 0;
    settings.Overlay = 1;
    settings.CaptureAudio = 0;
    settings.LClick = 0;
    settings.VideoBuffers = 12;
    settings.Frames = 29.97f;
    settings.SampleChannel = 1;
    settings.SampleBit = 8;
    settings.SampleRate = 11025;
    port.caps.fHasOverlay = 0;
    // The work file path is built when the device is constructed.
    CaptureDevice local(port, settings, sink);
    local.Create("VideoCapture", kStyleChild, 0, 0, 320, 240, 0x10, 1);
    Calls calls = port.Take();
    EXPECT_EQ(calls[3], "SET_SEQUENCE_SETUP period=33366 audio=0 left=0 right=1 buffers=12");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SET_CALLBACK_STATUS set"), 0);
    EXPECT_NE(std::find(calls.begin(), calls.end(),
                        "SET_AUDIOFORMAT tag=1 ch=1 rate=11025 avg=11025 align=1 bits=8 cb=0"),
              calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), "FILE_SET_CAPTURE_FILE C:\\WORK\\一時ﾌｧｲﾙ.AVI"), calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), "SET_PREVIEW 0"), calls.end());
    // No overlay hardware: no overlay message at all.
    EXPECT_EQ(calls.back(), "SET_SCALE 0");
    EXPECT_FALSE(local.IsStatusShown());
}

TEST(FramePeriod, RatesOfTheSequenceDialogAndBadValues) {
    const std::pair<float, std::uint32_t> table[] = {{30.00f, 33333}, {29.97f, 33366}, {25.00f, 40000},
                                                     {24.00f, 41666}, {15.00f, 66666}, {12.00f, 83333},
                                                     {10.00f, 100000}};
    for (auto [rate, period] : table) EXPECT_EQ(FramePeriodMicroseconds(rate), period) << rate;
    // No period for these: 15 frames per second stands in.
    for (float bad : {0.0f, -5.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                      -std::numeric_limits<float>::infinity()}) {
        EXPECT_EQ(FramePeriodMicroseconds(bad), 66666u) << bad;
    }
    EXPECT_EQ(FramePeriodMicroseconds(1e-12f), 4294967295u);  // saturates instead of overflowing
}

TEST(AudioFormat, ZeroSampleRateDoesNotDivideByZero) {
    AppSettings s;
    s.SampleRate = 0;
    WaveFormat f = AudioFormatFromSettings(s);
    EXPECT_EQ(f.nSamplesPerSec, 44100u);
    EXPECT_EQ(f.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(f.nBlockAlign, 4);
    EXPECT_EQ(s.SampleRate, 0);
}

TEST_F(CaptureDeviceTest, DriverEnumeration) {
    for (int i = 1; i <= 10; ++i) port.drivers.emplace_back("Driver " + std::to_string(i), "v");
    Create();
    EXPECT_EQ(device.deviceCount(), 10);  // eleven installed, ten probed

    testing::FakeCapturePort gap;
    gap.drivers = {{"a", "1"}, {"b", "2"}, {"c", "3"}};
    gap.missingDriverIndex = 1;
    CaptureDevice second(gap, settings, sink);
    second.Create("VideoCapture", kStyleChild, 0, 0, 320, 240, 0x10, 1);
    EXPECT_EQ(second.deviceCount(), 1);
}

TEST_F(CaptureDeviceTest, NoDriverMeansEveryOperationIsANoOp) {
    port.drivers.clear();
    EXPECT_EQ(Create(), 0);
    port.Take();
    device.SetPreview(true);
    device.SetOverlay(true);
    device.SetPreviewRate(100);
    device.ShowFormatDialog();
    device.ShowCompressionDialog();
    device.SelectDevice(0);
    device.ShowStatus(true);
    EXPECT_EQ(device.GetCaptureSize(), std::make_pair(0, 0));
    EXPECT_EQ(port.Take(), Calls{});
    EXPECT_FALSE(device.connected());
    EXPECT_FALSE(device.IsStatusShown());
}

TEST_F(CaptureDeviceTest, DeviceIndexOutOfRangeAndSelection) {
    port.drivers = {{"a", "1"}, {"b", "2"}};
    settings.DeviceIndex = 3;
    Create();
    EXPECT_EQ(port.calls[1], "DRIVER_CONNECT 0");
    EXPECT_EQ(settings.DeviceIndex, 3);
    port.Take();
    // Choosing another driver sends only disconnect, connect and status.
    EXPECT_EQ(device.SelectDevice(1), 1);
    EXPECT_EQ(port.Take(), (Calls{"DRIVER_DISCONNECT", "DRIVER_CONNECT 1", "GET_STATUS"}));
    EXPECT_EQ(settings.DeviceIndex, 1);
    EXPECT_EQ(device.deviceIndex(), 1);
    EXPECT_EQ(device.SelectDevice(2), 1);
    EXPECT_EQ(device.SelectDevice(-1), 1);
    EXPECT_EQ(port.Take(), Calls{});
    EXPECT_EQ(device.deviceIndex(), 1);
    port.connectSucceeds = false;
    device.SelectDevice(0);
    EXPECT_FALSE(device.connected());
}

TEST_F(CaptureDeviceTest, RefusedConnectStillSetsUpEverything) {
    port.connectSucceeds = false;
    EXPECT_EQ(Create(), 0);
    EXPECT_EQ(port.Take().size(), 15u);
    EXPECT_FALSE(device.connected());
}

TEST_F(CaptureDeviceTest, PreviewOverlayAndRate) {
    Create();
    port.Take();
    device.SetPreviewRate(100);
    device.SetPreview(true);
    device.SetPreview(false);
    EXPECT_EQ(port.Take(), (Calls{"SET_PREVIEWRATE 100", "SET_PREVIEWRATE 100", "SET_PREVIEW 1", "SET_SCALE 0",
                                  "SET_PREVIEW 0", "SET_SCALE 0"}));
    port.status.fLiveWindow = 1;
    EXPECT_TRUE(device.IsPreviewOn());
    EXPECT_FALSE(device.IsOverlayOn());
    device.SetOverlay(true);
    EXPECT_EQ(port.Take(), (Calls{"GET_STATUS", "GET_STATUS", "SET_OVERLAY 1"}));
    device.SetPreviewRate(0x12345);
    EXPECT_EQ(device.previewRate(), 0x2345);

    port.caps.fHasOverlay = 0;
    device.ShowSourceDialog();  // reads the capabilities again
    port.Take();
    device.SetOverlay(true);
    EXPECT_FALSE(device.HasOverlay());
    EXPECT_EQ(port.Take(), Calls{});
}

TEST_F(CaptureDeviceTest, DriverDialogsFollowTheCapabilities) {
    port.caps = CapDriverCaps{0, 0, 1, 1, 0, 1, 0};
    Create();
    port.Take();
    port.status.uiImageWidth = 640;
    port.status.uiImageHeight = 480;
    EXPECT_EQ(device.ShowSourceDialog(), 1);
    EXPECT_EQ(device.ShowFormatDialog(), 1);
    EXPECT_EQ(device.ShowDisplayDialog(), 1);
    EXPECT_EQ(device.ShowCompressionDialog(), 1);
    EXPECT_EQ(port.Take(), (Calls{"DLG_VIDEOSOURCE", "DRIVER_GET_CAPS", "DLG_VIDEOFORMAT", "GET_STATUS",
                                  "DLG_VIDEOCOMPRESSION"}));
    device.SetWindowSize(640, 480);
    EXPECT_EQ(port.Take(), Calls{"SetWindowPos 0,0 640x480 flags=00000004"});
    EXPECT_EQ(device.GetCaptureSize(), std::make_pair(640, 480));
}

TEST_F(CaptureDeviceTest, StatusTextsKeepTheirOwnBuffer) {
    Create();
    ASSERT_TRUE(port.statusCallback);
    EXPECT_TRUE(port.statusCallback(0, "ignored"));
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_TRUE(port.statusCallback(500, "ドライバに接続しました"));
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0], "ドライバに接続しました");
    // The pointer handed to the bar is the device's buffer, not the caller's text.
    const std::string* first = sink.lastPointer;
    port.statusCallback(501, std::string(2000, 'x'));
    EXPECT_EQ(sink.lastPointer, first);
    EXPECT_EQ(sink.shown.back().size(), 511u);

    port.Take();
    device.ShowStatus(false);
    EXPECT_EQ(port.Take(), Calls{"SET_CALLBACK_STATUS null"});
    EXPECT_FALSE(device.IsStatusShown());
    EXPECT_EQ(sink.clears, 1);
    sink.bar = false;
    device.ShowStatus(true);
    EXPECT_TRUE(device.IsStatusShown());
    EXPECT_EQ(sink.clears, 1);
    port.statusCallback(1, "no bar");
    EXPECT_EQ(sink.shown.size(), 2u);
}

TEST_F(CaptureDeviceTest, SequenceSetupReadsBackWhatWasAccepted) {
    Create();
    port.Take();
    CaptureParms p;
    device.GetSequenceSetup(p);
    p.dwRequestMicroSecPerFrame = 40000;
    device.SetSequenceSetup(p);
    EXPECT_EQ(port.Take(), (Calls{"GET_SEQUENCE_SETUP",
                                  "SET_SEQUENCE_SETUP period=40000 audio=1 left=1 right=1 buffers=5",
                                  "GET_SEQUENCE_SETUP"}));
    EXPECT_EQ(device.params().dwRequestMicroSecPerFrame, 40000u);
}

TEST_F(CaptureDeviceTest, DeadWindowGetsNothing) {
    Create();
    port.Take();
    port.live = false;
    device.SetPreview(true);
    device.ShowCompressionDialog();
    CapStatus s;
    device.GetStatus(s);
    EXPECT_EQ(port.Take(), Calls{});
}

TEST(CaptureDeviceLifetime, DestructorClearsCallbacksThenDisconnects) {
    testing::FakeCapturePort port;
    AppSettings settings;
    FakeSink sink;
    {
        CaptureDevice device(port, settings, sink);
        device.Create("VideoCapture", kStyleChild, 0, 0, 320, 240, 0x10, 1);
        port.Take();
    }
    EXPECT_EQ(port.Take(), (Calls{"SET_CALLBACK_STATUS null", "SET_CALLBACK_VIDEOSTREAM null",
                                  "SET_CALLBACK_FRAME null", "DRIVER_DISCONNECT"}));
}

}  // namespace
}  // namespace kestrova
