// The test pattern behind the installed drivers. The real program on the pattern alone (no
// driver) is in tests/e2e/test_main_window.py; the switch between the two is here.
#include "capture/composite_port.h"
#include "device_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace kestrova {
namespace {

using Calls = std::vector<std::string>;
using testing::FakeCapturePort;
using testing::InOrder;

constexpr WindowHandle kDriversWindow = 0x100;
constexpr WindowHandle kPatternWindow = 0x200;
const std::string kSpare = std::to_string(kSpareCaptureChildId);

// The composite port over two recording fakes, keeping every hand-over of
// the capture window.
class CompositePortTest : public ::testing::Test {
protected:
    CompositePortTest() {
        drivers.windowToCreate = kDriversWindow;
        pattern.drivers = {{"Test Pattern", "2.0"}};
        pattern.windowToCreate = kPatternWindow;
        GiveDrivers(1);
    }
    // The capture window, with the calls that made it forgotten unless asked.
    WindowHandle Created(bool forget = true) {
        const WindowHandle window =
            port.CreateCaptureWindow("VideoCapture", kStyleChild | kStyleVisible, 0, 0, 320, 240, 0x10, 1);
        if (forget) drivers.Take(), pattern.Take();
        return window;
    }
    void GiveDrivers(int count, int missing = -1) {
        drivers.drivers.clear();
        for (int i = 0; i < count; ++i) drivers.drivers.emplace_back("Camera " + std::to_string(i), "1.0");
        drivers.missingDriverIndex = missing;
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
            std::string name, version;
            listed.push_back(port.GetDriverDescription(i, name, version) ? name + " " + version : "-");
        }
        EXPECT_EQ(listed, row.listed);
        // The index after the list means the pattern, not a driver behind the
        // gap; with ten drivers there is no pattern at all.
        const int after = std::min(row.drivers, row.missing < 0 ? 10 : row.missing);
        EXPECT_EQ(port.DriverConnect(window, after), row.drivers < 10);
        EXPECT_EQ(pattern.Take(), row.drivers < 10 ? Calls{"DRIVER_CONNECT 0"} : Calls{});
    }
}

TEST_F(CompositePortTest, CreateShowsTheDriversWindowWithThePatternHiddenAndCallsReachOnlyOurWindows) {
    CapStatus status;
    EXPECT_FALSE(port.GetStatus(kDriversWindow, status));  // before any window
    EXPECT_EQ(Created(false), kDriversWindow);
    EXPECT_EQ(drivers.Take(), (Calls{"create VideoCapture style=50000000 0,0,320x240 parent=16 id=1"}));
    EXPECT_EQ(pattern.Take(), (Calls{"create VideoCapture style=40000000 0,0,320x240 parent=16 id=" + kSpare}));
    // A stranger's handle is refused, not passed on.
    EXPECT_FALSE(port.IsWindow(0x999) || port.GetStatus(0x999, status) || port.DriverConnect(0x999, 1));
    EXPECT_TRUE(drivers.Take().empty() && pattern.Take().empty());
}

TEST_F(CompositePortTest, ConnectingThePatternHandsTheWindowOverWithItsSettingsEvenWhenItIsRefused) {
    GiveDrivers(2);
    const WindowHandle window = Created();
    int statusCalls = 0;
    port.SetCallbackStatus(window, [&](int, std::string_view) { return ++statusCalls, true; });
    CaptureParms params;
    params.dwRequestMicroSecPerFrame = 33333;
    port.SetSequenceSetup(window, params);
    port.FileSetCaptureFile(window, "D:\\録画\\一時ﾌｧｲﾙ.AVI");
    port.SetPreview(window, true);
    drivers.Take();
    // Another driver of the same backend: no switch.
    EXPECT_TRUE(port.DriverConnect(window, 1));
    EXPECT_TRUE(pattern.Take().empty() && handOvers.empty());

    EXPECT_TRUE(port.DriverConnect(window, 2));
    EXPECT_TRUE(InOrder(drivers.Take(), {"DRIVER_CONNECT 1", "DRIVER_DISCONNECT", "SET_CALLBACK_STATUS null"}));
    EXPECT_EQ(handOvers, (Calls{"256->512 id=1 spare=" + kSpare}));
    // The callbacks before the connection (it may report), the settings after it.
    EXPECT_TRUE(InOrder(pattern.Take(), {"SET_CALLBACK_STATUS set", "DRIVER_CONNECT 0",
                                         "SET_SEQUENCE_SETUP period=33333 audio=0 left=0 right=0 buffers=0",
                                         "FILE_SET_CAPTURE_FILE D:\\録画\\一時ﾌｧｲﾙ.AVI", "SET_PREVIEW 1"}));
    pattern.statusCallback(1, "text");
    EXPECT_EQ(statusCalls, 1);
    // And back.
    EXPECT_TRUE(port.DriverConnect(window, 0));
    EXPECT_EQ(pattern.Take().front(), "DRIVER_DISCONNECT");
    EXPECT_EQ(handOvers.back(), "512->256 id=1 spare=" + kSpare);

    // A refused connection still switches, with nothing set after it (no
    // preview started); the handle then means the pattern's window, live or not.
    pattern.failing = {"DRIVER_CONNECT"};
    EXPECT_FALSE(port.DriverConnect(window, 2));
    EXPECT_EQ(std::tuple(pattern.Take(), handOvers.size()),
              std::tuple(Calls{"SET_CALLBACK_STATUS set", "DRIVER_CONNECT 0"}, 3u));
    drivers.live = false;
    EXPECT_TRUE(port.IsWindow(window));
}

}  // namespace
}  // namespace kestrova
