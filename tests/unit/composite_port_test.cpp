#include "capture/capture_device.h"
#include "capture/composite_port.h"
#include "fake_capture_port.h"

#include <gtest/gtest.h>

#include <memory>

namespace kestrova {
namespace {

using Calls = std::vector<std::string>;
using testing::FakeCapturePort;

constexpr WindowHandle kParent = 0x10;
constexpr WindowHandle kDriversWindow = 0x100;
constexpr WindowHandle kPatternWindow = 0x200;

class CompositePortTest : public ::testing::Test {
protected:
    CompositePortTest() {
        drivers.drivers = {{"Camera A", "1.0"}};
        drivers.windowToCreate = kDriversWindow;
        pattern.drivers = {{"Test Pattern", "2.0"}};
        pattern.windowToCreate = kPatternWindow;
    }

    WindowHandle Create() {
        return port.CreateCaptureWindow("VideoCapture", kStyleChild | kStyleVisible, 0, 0, 320, 240, kParent, 1);
    }

    void GiveDrivers(int count) {
        drivers.drivers.clear();
        for (int i = 0; i < count; ++i) drivers.drivers.emplace_back("Camera " + std::to_string(i), "1.0");
    }

    std::string Description(int index) {
        std::string name;
        std::string version;
        return port.GetDriverDescription(index, name, version) ? name + " " + version : "-";
    }

    FakeCapturePort drivers;
    FakeCapturePort pattern;
    Calls handOvers;
    CompositeCapturePort port{drivers, pattern, [this](WindowHandle from, WindowHandle to, int id, int spare) {
                                  handOvers.push_back(std::to_string(from) + "->" + std::to_string(to) + " id=" +
                                                      std::to_string(id) + " spare=" + std::to_string(spare));
                              }};
};

TEST_F(CompositePortTest, ListsTheDriversThenThePatternWithinTenIndices) {
    GiveDrivers(2);
    EXPECT_EQ(Description(0), "Camera 0 1.0");
    EXPECT_EQ(Description(1), "Camera 1 1.0");
    EXPECT_EQ(Description(2), "Test Pattern 2.0");
    EXPECT_EQ(Description(3), "-");
    EXPECT_EQ(Description(-1), "-");
}

TEST_F(CompositePortTest, DriverListEndsAtTheFirstMissingIndex) {
    GiveDrivers(3);
    drivers.missingDriverIndex = 1;
    Create();
    pattern.Take();
    EXPECT_EQ(Description(0), "Camera 0 1.0");
    EXPECT_EQ(Description(1), "Test Pattern 2.0");
    EXPECT_EQ(Description(2), "-");
    // Connecting index 1 means the pattern, not the driver behind the gap.
    EXPECT_TRUE(port.DriverConnect(kDriversWindow, 1));
    EXPECT_EQ(pattern.Take(), (Calls{"DRIVER_CONNECT 0"}));
}

TEST_F(CompositePortTest, TenDriversLeaveNoRoomForThePattern) {
    GiveDrivers(10);
    EXPECT_EQ(Create(), kDriversWindow);
    EXPECT_EQ(Description(9), "Camera 9 1.0");
    EXPECT_EQ(Description(10), "-");
    EXPECT_TRUE(pattern.Take().empty());
    EXPECT_FALSE(port.DriverConnect(kDriversWindow, 10));
}

TEST_F(CompositePortTest, WithDriversTheirWindowIsShownAndThePatternWaitsHidden) {
    EXPECT_EQ(Create(), kDriversWindow);
    EXPECT_EQ(drivers.Take(), (Calls{"create VideoCapture style=50000000 0,0,320x240 parent=16 id=1"}));
    EXPECT_EQ(pattern.Take(), (Calls{"create VideoCapture style=40000000 0,0,320x240 parent=16 id=" +
                                     std::to_string(kSpareCaptureChildId)}));
}

TEST_F(CompositePortTest, WithoutDriversThePatternIsTheCaptureWindow) {
    GiveDrivers(0);
    EXPECT_EQ(Create(), kPatternWindow);
    EXPECT_TRUE(drivers.Take().empty());
    EXPECT_EQ(pattern.Take(), (Calls{"create VideoCapture style=50000000 0,0,320x240 parent=16 id=1"}));
    EXPECT_EQ(Description(0), "Test Pattern 2.0");
    EXPECT_TRUE(port.DriverConnect(kPatternWindow, 0));
    EXPECT_EQ(pattern.Take(), (Calls{"DRIVER_CONNECT 0"}));
    EXPECT_TRUE(handOvers.empty());
}

TEST_F(CompositePortTest, CallsReachOnlyTheActiveBackendAndOnlyForOurWindows) {
    // Before any window there is nothing to talk to.
    CapStatus status;
    EXPECT_FALSE(port.GetStatus(kDriversWindow, status));
    EXPECT_FALSE(port.IsWindow(kDriversWindow));

    const WindowHandle window = Create();
    drivers.Take();
    pattern.Take();
    EXPECT_TRUE(port.IsWindow(window));
    EXPECT_TRUE(port.SetPreview(window, true));
    EXPECT_TRUE(port.FileSetCaptureFile(window, "C:\\一時ﾌｧｲﾙ.AVI"));
    EXPECT_TRUE(port.Sequence(window));
    port.SetWindowPos(window, 0, 0, 640, 480, 0x0006);
    EXPECT_EQ(drivers.Take(), (Calls{"SET_PREVIEW 1", "FILE_SET_CAPTURE_FILE C:\\一時ﾌｧｲﾙ.AVI", "SEQUENCE limit=0 file=C:\\一時ﾌｧｲﾙ.AVI",
                                     "SetWindowPos 0,0 640x480 flags=00000006"}));
    EXPECT_TRUE(pattern.Take().empty());

    // A stranger's handle is refused, not passed on.
    EXPECT_FALSE(port.IsWindow(0x999));
    EXPECT_FALSE(port.GetStatus(0x999, status));
    EXPECT_FALSE(port.DriverConnect(0x999, 1));
    EXPECT_TRUE(drivers.Take().empty());
    EXPECT_TRUE(pattern.Take().empty());

    drivers.live = false;
    EXPECT_FALSE(port.IsWindow(window));
}

TEST_F(CompositePortTest, ConnectingThePatternHandsTheWindowOverWithItsSettings) {
    const WindowHandle window = Create();
    int statusCalls = 0;
    port.SetCallbackStatus(window, [&](int, std::string_view) { return ++statusCalls, true; });
    CaptureParms params;
    params.dwRequestMicroSecPerFrame = 33333;
    port.SetSequenceSetup(window, params);
    WaveFormat format;
    format.wFormatTag = 1;
    format.nSamplesPerSec = 22050;
    port.SetAudioFormat(window, format);
    port.FileSetCaptureFile(window, "D:\\録画\\一時ﾌｧｲﾙ.AVI");
    port.SetPreviewRate(window, 66);
    port.SetPreview(window, true);
    port.SetScale(window, false);
    drivers.Take();
    pattern.Take();

    EXPECT_TRUE(port.DriverConnect(window, 1));
    EXPECT_EQ(drivers.Take(), (Calls{"DRIVER_DISCONNECT", "SET_CALLBACK_STATUS null"}));
    EXPECT_EQ(handOvers, (Calls{"256->512 id=1 spare=" + std::to_string(kSpareCaptureChildId)}));
    EXPECT_EQ(pattern.Take(), (Calls{
                                  "SET_CALLBACK_STATUS set",
                                  "DRIVER_CONNECT 0",
                                  "SET_SEQUENCE_SETUP period=33333 audio=0 left=0 right=0 buffers=0",
                                  "SET_AUDIOFORMAT tag=1 ch=0 rate=22050 avg=0 align=0 bits=0 cb=0",
                                  "FILE_SET_CAPTURE_FILE D:\\録画\\一時ﾌｧｲﾙ.AVI",
                                  "SET_PREVIEWRATE 66",
                                  "SET_PREVIEW 1",
                                  "SET_SCALE 0",
                              }));
    ASSERT_TRUE(pattern.statusCallback);
    pattern.statusCallback(1, "text");
    EXPECT_EQ(statusCalls, 1);

    // The handle the caller holds now means the pattern's window.
    CapStatus status;
    EXPECT_TRUE(port.GetStatus(window, status));
    EXPECT_EQ(pattern.Take(), (Calls{"GET_STATUS"}));
    EXPECT_TRUE(drivers.Take().empty());
    drivers.live = false;
    EXPECT_TRUE(port.IsWindow(window));
    drivers.live = true;
    pattern.live = false;
    EXPECT_FALSE(port.IsWindow(window));
    pattern.live = true;

    // And back.
    handOvers.clear();
    EXPECT_TRUE(port.DriverConnect(window, 0));
    EXPECT_EQ(pattern.Take().front(), "DRIVER_DISCONNECT");
    EXPECT_EQ(handOvers, (Calls{"512->256 id=1 spare=" + std::to_string(kSpareCaptureChildId)}));
    const Calls back = drivers.Take();
    ASSERT_GE(back.size(), 2u);
    EXPECT_EQ(back[0], "SET_CALLBACK_STATUS set");
    EXPECT_EQ(back[1], "DRIVER_CONNECT 0");
}

TEST_F(CompositePortTest, ConnectingWithinTheActiveBackendSwitchesNothing) {
    GiveDrivers(2);
    const WindowHandle window = Create();
    port.SetPreview(window, true);
    drivers.Take();
    pattern.Take();
    EXPECT_TRUE(port.DriverConnect(window, 1));
    EXPECT_EQ(drivers.Take(), (Calls{"DRIVER_CONNECT 1"}));
    EXPECT_TRUE(pattern.Take().empty());
    EXPECT_TRUE(handOvers.empty());
}

TEST_F(CompositePortTest, RefusedConnectionStillSwitchesButStartsNoPreview) {
    const WindowHandle window = Create();
    port.SetPreview(window, true);
    pattern.Take();
    pattern.connectSucceeds = false;
    EXPECT_FALSE(port.DriverConnect(window, 1));
    EXPECT_EQ(pattern.Take(), (Calls{"DRIVER_CONNECT 0"}));
    EXPECT_EQ(handOvers.size(), 1u);
    drivers.live = false;
    EXPECT_TRUE(port.IsWindow(window));
}

TEST_F(CompositePortTest, CaptureDeviceKeepsItsStatusTextsAcrossTheSwitch) {
    struct Sink : StatusSink {
        std::vector<std::string> shown;
        bool HasStatusBar() const override { return true; }
        void ShowOwnerDrawn(const std::string& text) override { shown.push_back(text); }
        void ClearPart0() override {}
    } sink;
    AppSettings settings;
    settings.Status = 1;
    auto device = std::make_unique<CaptureDevice>(port, settings, sink);
    EXPECT_EQ(device->Create("VideoCapture", kStyleChild, 0, 0, 320, 240, kParent, 1), 1);
    EXPECT_EQ(device->deviceCount(), 2);
    EXPECT_EQ(device->GetDeviceDescription(1), "Test Pattern [2.0]");
    drivers.Take();
    pattern.Take();

    device->SelectDevice(1);
    EXPECT_TRUE(device->connected());
    EXPECT_EQ(settings.DeviceIndex, 1);
    ASSERT_TRUE(pattern.statusCallback);
    EXPECT_FALSE(drivers.statusCallback);
    pattern.statusCallback(1, "テストパターン");
    EXPECT_EQ(sink.shown, (Calls{"テストパターン"}));
    EXPECT_EQ(pattern.captureFile, device->captureFile());

    // Releasing the device takes the callback off the window that has it.
    device.reset();
    EXPECT_FALSE(pattern.statusCallback);
}

}  // namespace
}  // namespace kestrova
