#include "capture/capture_device.h"
#include "device_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <tuple>

namespace kestrova {
namespace {

using Calls = std::vector<std::string>;

class CaptureDeviceTest : public testing::DeviceFixture {};

TEST_F(CaptureDeviceTest, CreateSendsTheSetUpInOrderWhetherTheDriverConnectsOrNot) {
    settings.PreviewScale = 1;
    for (const bool connects : {true, false}) {
        SCOPED_TRACE(connects);
        port.connectSucceeds = connects;
        port.calls.clear();
        const auto device = Make(false);
        EXPECT_EQ(port.Take(), (Calls{"create VideoCapture style=50000000 0,0,320x240 parent=16 id=1",
                                      "DRIVER_CONNECT 0", "GET_SEQUENCE_SETUP",
                                      "SET_SEQUENCE_SETUP period=66666 audio=1 left=1 right=1 buffers=5",
                                      "DRIVER_GET_CAPS", "GET_STATUS", "SetWindowPos 0,0 320x240 flags=00000006",
                                      "SET_CALLBACK_STATUS set", "GET_AUDIOFORMAT",
                                      "SET_AUDIOFORMAT tag=1 ch=2 rate=44100 avg=176400 align=4 bits=16 cb=0",
                                      "FILE_SET_CAPTURE_FILE \\一時ﾌｧｲﾙ.AVI", "SET_PREVIEWRATE 66", "SET_PREVIEW 1",
                                      "SET_SCALE 1", "SET_OVERLAY 0"}));
        EXPECT_EQ(device->connected(), connects);
        EXPECT_TRUE(device->IsStatusShown());
        EXPECT_EQ(device->GetDeviceDescription(0), "Fake Capture [1.0]");
    }
}

TEST_F(CaptureDeviceTest, SettingsShapeWhatIsSent) {
    settings.TempPath = "C:\\WORK\\";  // the work file path is built when the device is constructed
    settings.Status = settings.Preview = settings.CaptureAudio = settings.LClick = 0;
    settings.Overlay = 1;
    settings.VideoBuffers = 12;
    settings.Frames = 29.97f;
    settings.SampleChannel = 1;
    settings.SampleBit = 8;
    settings.SampleRate = 11025;
    port.caps.fHasOverlay = 0;
    const auto device = Make(false);
    const Calls calls = port.Take();
    ASSERT_EQ(calls.size(), 13u);  // no status callback, no overlay message without overlay hardware
    EXPECT_EQ(calls[3], "SET_SEQUENCE_SETUP period=33366 audio=0 left=0 right=1 buffers=12");
    EXPECT_EQ(calls[7], "GET_AUDIOFORMAT");
    EXPECT_EQ(Calls(calls.begin() + 8, calls.end()),
              (Calls{"SET_AUDIOFORMAT tag=1 ch=1 rate=11025 avg=11025 align=1 bits=8 cb=0",
                     "FILE_SET_CAPTURE_FILE C:\\WORK\\一時ﾌｧｲﾙ.AVI", "SET_PREVIEWRATE 66", "SET_PREVIEW 0",
                     "SET_SCALE 0"}));
    EXPECT_FALSE(device->IsStatusShown());
}

TEST(SettingsForTheDevice, FramePeriodsAndAudioFormatsWithstandBadValues) {
    const std::pair<float, std::uint32_t> rates[] = {{30.f, 33333}, {29.97f, 33366}, {24.f, 41666}, {12.f, 83333}};
    for (auto [rate, period] : rates) EXPECT_EQ(FramePeriodMicroseconds(rate), period) << rate;
    // No period for these: 15 frames per second stands in.
    for (float bad : {0.0f, -5.0f, 2e6f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                      -std::numeric_limits<float>::infinity()}) {
        EXPECT_EQ(FramePeriodMicroseconds(bad), 66666u) << bad;
    }
    EXPECT_EQ(FramePeriodMicroseconds(1e-12f), 4294967295u);  // saturates instead of overflowing
    // A sample rate of 0 does not divide by zero; the setting itself stays.
    AppSettings s;
    s.SampleRate = 0;
    const WaveFormat f = AudioFormatFromSettings(s);
    EXPECT_EQ((std::tuple{f.nSamplesPerSec, f.nAvgBytesPerSec, f.nBlockAlign, s.SampleRate}),
              (std::tuple{44100u, 176400u, 4, 0}));
}

TEST_F(CaptureDeviceTest, TenDriversAreProbedAndTheListEndsAtAGap) {
    for (int i = 1; i <= 10; ++i) port.drivers.emplace_back("Driver " + std::to_string(i), "v");
    EXPECT_EQ(Make()->deviceCount(), 10);  // eleven installed, ten probed
    port.drivers.resize(3);
    port.missingDriverIndex = 1;
    EXPECT_EQ(Make()->deviceCount(), 1);
}

TEST_F(CaptureDeviceTest, NoDriverOrADeadWindowGetsNothing) {
    for (const bool noDriver : {true, false}) {
        SCOPED_TRACE(noDriver);
        port.drivers.resize(noDriver ? 0 : 1, {"Fake Capture", "1.0"});
        const auto device = Make();
        port.live = noDriver;
        device->SetPreview(true);
        device->SetOverlay(true);
        device->SetPreviewRate(100);
        device->ShowFormatDialog();
        device->ShowCompressionDialog();
        device->SelectDevice(0);
        device->ShowStatus(true);
        CapStatus s;
        device->GetStatus(s);
        EXPECT_EQ(port.Take(), Calls{});
        if (noDriver) {
            EXPECT_EQ(std::tuple(device->GetCaptureSize(), device->connected(), device->IsStatusShown()),
                      std::tuple(std::make_pair(0, 0), false, false));
        }
    }
}

TEST_F(CaptureDeviceTest, DeviceIndexOutOfRangeAndSelection) {
    port.drivers = {{"a", "1"}, {"b", "2"}};
    settings.DeviceIndex = 3;
    const auto device = Make(false);
    EXPECT_EQ(port.Take()[1], "DRIVER_CONNECT 0");
    EXPECT_EQ(settings.DeviceIndex, 3);
    // Choosing another driver sends only disconnect, connect and status.
    EXPECT_EQ(device->SelectDevice(1), 1);
    EXPECT_EQ(port.Take(), (Calls{"DRIVER_DISCONNECT", "DRIVER_CONNECT 1", "GET_STATUS"}));
    EXPECT_EQ(settings.DeviceIndex, 1);
    EXPECT_EQ(device->SelectDevice(2), 1);
    EXPECT_EQ(device->SelectDevice(-1), 1);
    EXPECT_EQ(port.Take(), Calls{});
    EXPECT_EQ(device->deviceIndex(), 1);
    port.connectSucceeds = false;
    device->SelectDevice(0);
    EXPECT_FALSE(device->connected());
}

TEST_F(CaptureDeviceTest, RateAndDialogsFollowTheCapabilities) {
    port.caps = CapDriverCaps{0, 1, 1, 1, 0, 1, 0};
    const auto device = Make();
    device->SetPreviewRate(0x12345);  // the capture window takes 16 bits
    EXPECT_EQ(port.Take(), Calls{"SET_PREVIEWRATE 9029"});
    EXPECT_EQ(device->previewRate(), 0x2345);

    // No display dialog; the source dialog reads the capabilities again, the
    // format dialog the status.
    port.caps.fHasOverlay = 0;
    port.status.uiImageWidth = 640;
    port.status.uiImageHeight = 480;
    EXPECT_EQ(device->ShowSourceDialog(), 1);
    EXPECT_EQ(device->ShowFormatDialog(), 1);
    EXPECT_EQ(device->ShowDisplayDialog(), 1);
    EXPECT_EQ(device->ShowCompressionDialog(), 1);
    device->SetOverlay(true);
    EXPECT_FALSE(device->HasOverlay());
    EXPECT_EQ(port.Take(), (Calls{"DLG_VIDEOSOURCE", "DRIVER_GET_CAPS", "DLG_VIDEOFORMAT", "GET_STATUS",
                                  "DLG_VIDEOCOMPRESSION"}));
    device->SetWindowSize(640, 480);
    EXPECT_EQ(port.Take(), Calls{"SetWindowPos 0,0 640x480 flags=00000004"});
    EXPECT_EQ(device->GetCaptureSize(), std::make_pair(640, 480));
}

TEST_F(CaptureDeviceTest, StatusTextsKeepTheirOwnBuffer) {
    const auto device = Make();
    ASSERT_TRUE(port.statusCallback);
    EXPECT_TRUE(port.statusCallback(0, "ignored"));
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_TRUE(port.statusCallback(500, "ドライバに接続しました"));
    EXPECT_EQ(sink.shown, Calls{"ドライバに接続しました"});
    // The pointer handed to the bar is the device's buffer, not the caller's text.
    const std::string* first = sink.lastShown;
    port.statusCallback(501, std::string(2000, 'x'));
    EXPECT_EQ(sink.lastShown, first);
    EXPECT_EQ(sink.shown.back().size(), 511u);

    device->ShowStatus(false);
    EXPECT_EQ(port.Take(), Calls{"SET_CALLBACK_STATUS null"});
    EXPECT_FALSE(device->IsStatusShown());
    EXPECT_EQ(sink.clears, 1);
    sink.bar = false;
    device->ShowStatus(true);
    EXPECT_TRUE(device->IsStatusShown());
    EXPECT_EQ(sink.clears, 1);
    port.statusCallback(1, "no bar");
    EXPECT_EQ(sink.shown.size(), 2u);
}

TEST_F(CaptureDeviceTest, DestructorClearsCallbacksThenDisconnects) {
    Make();
    EXPECT_EQ(port.Take(), (Calls{"SET_CALLBACK_STATUS null", "SET_CALLBACK_VIDEOSTREAM null",
                                  "SET_CALLBACK_FRAME null", "DRIVER_DISCONNECT"}));
}

}  // namespace
}  // namespace kestrova
