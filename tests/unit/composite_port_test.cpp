#include "capture/capture_device.h"
#include "capture/composite_port.h"
#include "fake_capture_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace kestrova {
namespace {

using Calls = std::vector<std::string>;
using testing::FakeCapturePort;

constexpr WindowHandle kDriversWindow = 0x100;
constexpr WindowHandle kPatternWindow = 0x200;
const std::string kSpare = std::to_string(kSpareCaptureChildId);

class CompositePortTest : public ::testing::Test {
protected:
    CompositePortTest() {
        drivers.windowToCreate = kDriversWindow;
        pattern.drivers = {{"Test Pattern", "2.0"}};
        pattern.windowToCreate = kPatternWindow;
        GiveDrivers(1);
    }
    WindowHandle Create() {
        return port.CreateCaptureWindow("VideoCapture", kStyleChild | kStyleVisible, 0, 0, 320, 240, 0x10, 1);
    }
    // The capture window, with the calls that made it forgotten.
    WindowHandle Created() {
        const WindowHandle window = Create();
        drivers.Take();
        pattern.Take();
        return window;
    }
    void GiveDrivers(int count, int missing = -1) {
        drivers.drivers.clear();
        for (int i = 0; i < count; ++i) drivers.drivers.emplace_back("Camera " + std::to_string(i), "1.0");
        drivers.missingDriverIndex = missing;
    }
    std::string Description(int index) {
        std::string name, version;
        return port.GetDriverDescription(index, name, version) ? name + " " + version : "-";
    }

    FakeCapturePort drivers, pattern;
    Calls handOvers;
    CompositeCapturePort port{drivers, pattern, [this](WindowHandle from, WindowHandle to, int id, int spare) {
                                  handOvers.push_back(std::to_string(from) + "->" + std::to_string(to) + " id=" +
                                                      std::to_string(id) + " spare=" + std::to_string(spare));
                              }};
};

TEST_F(CompositePortTest, ListsTheDriversUpToTheFirstGapThenThePatternWithinTenIndices) {
    const struct {
        int drivers, missing;
        Calls listed;  // from index -1 on, or from 9 on with ten drivers
    } table[] = {{2, -1, {"-", "Camera 0 1.0", "Camera 1 1.0", "Test Pattern 2.0", "-"}},
                 {3, 1, {"-", "Camera 0 1.0", "Test Pattern 2.0", "-"}},
                 {0, -1, {"-", "Test Pattern 2.0", "-"}},
                 {10, -1, {"Camera 9 1.0", "-"}}};
    for (const auto& row : table) {
        SCOPED_TRACE(row.drivers);
        GiveDrivers(row.drivers, row.missing);
        const WindowHandle window = Created();
        Calls listed;
        for (int i = row.drivers == 10 ? 9 : -1; listed.size() < row.listed.size(); ++i) {
            listed.push_back(Description(i));
        }
        EXPECT_EQ(listed, row.listed);
        // The index after the list means the pattern, not a driver behind the
        // gap; with ten drivers there is no pattern at all.
        const int after = std::min(row.drivers, row.missing < 0 ? 10 : row.missing);
        EXPECT_EQ(port.DriverConnect(window, after), row.drivers < 10);
        EXPECT_EQ(pattern.Take(), row.drivers < 10 ? Calls{"DRIVER_CONNECT 0"} : Calls{});
    }
}

TEST_F(CompositePortTest, CreateShowsTheDriversWindowWithThePatternHiddenOrElseThePattern) {
    EXPECT_EQ(Create(), kDriversWindow);
    EXPECT_EQ(drivers.Take(), (Calls{"create VideoCapture style=50000000 0,0,320x240 parent=16 id=1"}));
    EXPECT_EQ(pattern.Take(), (Calls{"create VideoCapture style=40000000 0,0,320x240 parent=16 id=" + kSpare}));
    GiveDrivers(0);
    EXPECT_EQ(Create(), kPatternWindow);
    EXPECT_TRUE(drivers.Take().empty());
    EXPECT_EQ(pattern.Take(), (Calls{"create VideoCapture style=50000000 0,0,320x240 parent=16 id=1"}));
    EXPECT_TRUE(port.DriverConnect(kPatternWindow, 0));
    EXPECT_TRUE(handOvers.empty());
}

TEST_F(CompositePortTest, CallsReachOnlyTheActiveBackendAndOnlyForOurWindows) {
    CapStatus status;
    EXPECT_FALSE(port.GetStatus(kDriversWindow, status));  // before any window
    const WindowHandle window = Created();
    EXPECT_TRUE(port.IsWindow(window));
    EXPECT_TRUE(port.SetPreview(window, true));
    EXPECT_TRUE(port.FileSetCaptureFile(window, "C:\\一時ﾌｧｲﾙ.AVI"));
    EXPECT_TRUE(port.Sequence(window));
    port.SetWindowPos(window, 0, 0, 640, 480, 0x0006);
    EXPECT_EQ(drivers.Take(), (Calls{"SET_PREVIEW 1", "FILE_SET_CAPTURE_FILE C:\\一時ﾌｧｲﾙ.AVI",
                                     "SEQUENCE limit=0 file=C:\\一時ﾌｧｲﾙ.AVI",
                                     "SetWindowPos 0,0 640x480 flags=00000006"}));
    // A stranger's handle is refused, not passed on.
    EXPECT_FALSE(port.IsWindow(0x999) || port.GetStatus(0x999, status) || port.DriverConnect(0x999, 1));
    EXPECT_TRUE(drivers.Take().empty());
    EXPECT_TRUE(pattern.Take().empty());
    drivers.live = false;
    EXPECT_FALSE(port.IsWindow(window));
}

TEST_F(CompositePortTest, ConnectingThePatternHandsTheWindowOverWithItsSettings) {
    GiveDrivers(2);
    const WindowHandle window = Created();
    int statusCalls = 0;
    port.SetCallbackStatus(window, [&](int, std::string_view) { return ++statusCalls, true; });
    CaptureParms params;
    params.dwRequestMicroSecPerFrame = 33333;
    port.SetSequenceSetup(window, params);
    port.SetAudioFormat(window, WaveFormat{1, 0, 22050, 0, 0, 0, 0});
    port.FileSetCaptureFile(window, "D:\\録画\\一時ﾌｧｲﾙ.AVI");
    port.SetPreviewRate(window, 66);
    port.SetPreview(window, true);
    port.SetScale(window, false);
    drivers.Take();
    // Another driver of the same backend: no switch.
    EXPECT_TRUE(port.DriverConnect(window, 1));
    EXPECT_EQ(drivers.Take(), (Calls{"DRIVER_CONNECT 1"}));
    EXPECT_TRUE(pattern.Take().empty() && handOvers.empty());

    EXPECT_TRUE(port.DriverConnect(window, 2));
    EXPECT_EQ(drivers.Take(), (Calls{"DRIVER_DISCONNECT", "SET_CALLBACK_STATUS null"}));
    EXPECT_EQ(handOvers, (Calls{"256->512 id=1 spare=" + kSpare}));
    EXPECT_EQ(pattern.Take(), (Calls{"SET_CALLBACK_STATUS set", "DRIVER_CONNECT 0",
                                     "SET_SEQUENCE_SETUP period=33333 audio=0 left=0 right=0 buffers=0",
                                     "SET_AUDIOFORMAT tag=1 ch=0 rate=22050 avg=0 align=0 bits=0 cb=0",
                                     "FILE_SET_CAPTURE_FILE D:\\録画\\一時ﾌｧｲﾙ.AVI", "SET_PREVIEWRATE 66",
                                     "SET_PREVIEW 1", "SET_SCALE 0"}));
    ASSERT_TRUE(pattern.statusCallback);
    pattern.statusCallback(1, "text");
    EXPECT_EQ(statusCalls, 1);
    // The handle the caller holds now means the pattern's window.
    CapStatus status;
    EXPECT_TRUE(port.GetStatus(window, status));
    EXPECT_EQ(pattern.Take(), (Calls{"GET_STATUS"}));
    EXPECT_TRUE(drivers.Take().empty());

    // And back.
    handOvers.clear();
    EXPECT_TRUE(port.DriverConnect(window, 0));
    EXPECT_EQ(pattern.Take().front(), "DRIVER_DISCONNECT");
    EXPECT_EQ(handOvers, (Calls{"512->256 id=1 spare=" + kSpare}));
    const Calls back = drivers.Take();
    ASSERT_GE(back.size(), 2u);
    EXPECT_EQ(Calls(back.begin(), back.begin() + 2), (Calls{"SET_CALLBACK_STATUS set", "DRIVER_CONNECT 0"}));
}

TEST_F(CompositePortTest, RefusedConnectionStillSwitchesButStartsNoPreview) {
    const WindowHandle window = Created();
    port.SetPreview(window, true);
    pattern.connectSucceeds = false;
    EXPECT_FALSE(port.DriverConnect(window, 1));
    EXPECT_EQ(pattern.Take(), (Calls{"DRIVER_CONNECT 0"}));
    EXPECT_EQ(handOvers.size(), 1u);
    // The handle now means the pattern's window, live or not.
    drivers.live = false;
    EXPECT_TRUE(port.IsWindow(window));
    pattern.live = false;
    EXPECT_FALSE(port.IsWindow(window));
}

TEST_F(CompositePortTest, CaptureDeviceKeepsItsStatusTextsAcrossTheSwitch) {
    testing::FakeStatusSink sink;
    AppSettings settings;
    auto device = std::make_unique<CaptureDevice>(port, settings, sink);
    EXPECT_EQ(device->Create("VideoCapture", kStyleChild, 0, 0, 320, 240, 0x10, 1), 1);
    device->SelectDevice(1);
    EXPECT_TRUE(device->connected());
    ASSERT_TRUE(pattern.statusCallback);
    EXPECT_FALSE(drivers.statusCallback);
    pattern.statusCallback(1, "テストパターン");
    EXPECT_EQ(sink.shown, (Calls{"テストパターン"}));
    // Releasing the device takes the callback off the window that has it.
    device.reset();
    EXPECT_FALSE(pattern.statusCallback);
}

}  // namespace
}  // namespace kestrova
