#include "dialogs/about.h"
#include "dialogs/device_select.h"
#include "device_fixture.h"

#include <gtest/gtest.h>

#include <memory>

namespace kestrova {
namespace {

using Lines = std::vector<std::string>;

class DeviceSelectTest : public testing::DeviceFixture {};

TEST_F(DeviceSelectTest, ListsEveryDriverWithTheOneInUseChosenAndOkReconnectsIt) {
    port.drivers = {{"Camera", "1.0"}, {"Tuner", ""}, {"Kestrova Test Pattern", "3.61"}};
    settings.DeviceIndex = 1;
    const auto device = Make();
    const DeviceSelectValues values = OpenDeviceSelect(device.get());
    EXPECT_EQ(values.lines, (Lines{"Camera [1.0]", "Tuner []", "Kestrova Test Pattern [3.61]"}));
    EXPECT_EQ(values.selected, 1);
    EXPECT_EQ(DriverLines(device.get()), values.lines);  // the About box's list

    // OK without touching the list connects the driver in use again, and
    // its picture comes back as the settings say: preview, or overlay.
    ApplyDeviceSelect(values, device.get(), settings);
    EXPECT_EQ(port.Take(), (Lines{"DRIVER_DISCONNECT", "DRIVER_CONNECT 1", "GET_STATUS", "SET_PREVIEWRATE 66",
                                  "SET_PREVIEW 1", "SET_SCALE 0"}));
    settings.Overlay = 1;
    ApplyDeviceSelect(values, device.get(), settings);
    EXPECT_EQ(port.Take().back(), "SET_OVERLAY 1");
    settings.Overlay = settings.Preview = 0;
    ApplyDeviceSelect(values, device.get(), settings);
    EXPECT_EQ(port.Take().back(), "GET_STATUS");

    // A driver that refuses: its index is kept all the same, and the
    // device is no longer connected (the Capture menu greys).
    port.connectSucceeds = false;
    settings.Preview = 1;
    ApplyDeviceSelect(DeviceSelectValues{values.lines, 2}, device.get(), settings);
    EXPECT_EQ(port.Take(), (Lines{"DRIVER_DISCONNECT", "DRIVER_CONNECT 2", "GET_STATUS"}));
    EXPECT_EQ(settings.DeviceIndex, 2);
    EXPECT_FALSE(device->connected());

    // No line chosen: nothing happens.
    ApplyDeviceSelect(DeviceSelectValues{values.lines, -1}, device.get(), settings);
    EXPECT_EQ(port.Take(), Lines{});
}

TEST_F(DeviceSelectTest, NoDriversOrNoDeviceListsNothingAndOkDoesNothing) {
    port.drivers.clear();
    const auto none = Make();
    const DeviceSelectValues values = OpenDeviceSelect(none.get());
    EXPECT_EQ(std::pair(values.lines, values.selected), std::pair(Lines{}, -1));
    EXPECT_EQ(OpenDeviceSelect(nullptr).lines, Lines{});
    ApplyDeviceSelect(values, none.get(), settings);
    ApplyDeviceSelect(DeviceSelectValues{{}, 0}, nullptr, settings);
    EXPECT_EQ(port.Take(), Lines{});
}

TEST(About, TheGuideLiesBesideTheExecutable) {
    const std::pair<const char*, const char*> table[] = {
        {"C:\\Program Files\\Kestrova\\Kestrova.exe", "C:\\Program Files\\Kestrova\\Kestrova.html"},
        {"Z:/tmp/run/Kestrova.exe", "Z:/tmp/run/Kestrova.html"},
        {"Kestrova.exe", "Kestrova.html"}};
    for (const auto& [exe, guide] : table) EXPECT_EQ(GuidePath(exe, kGuideFileName), guide) << exe;
}

}  // namespace
}  // namespace kestrova
