#include "dialogs/device_select.h"
#include "device_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kestrova {
namespace {

using Lines = std::vector<std::string>;

class DeviceSelectTest : public testing::DeviceFixture {};

TEST_F(DeviceSelectTest, OkDisconnectsBeforeConnectingAndKeepsTheIndexOfADriverThatRefuses) {
    port.drivers = {{"Camera", "1.0"}, {"Tuner", ""}, {"Kestrova Test Pattern", "3.61"}};
    settings.DeviceIndex = 1;
    const auto device = Make();
    const DeviceSelectValues values = OpenDeviceSelect(device.get());
    EXPECT_EQ(values.lines, (Lines{"Camera [1.0]", "Tuner []", "Kestrova Test Pattern [3.61]"}));
    EXPECT_EQ(values.selected, 1);
    // Its picture comes back as the settings say: preview, or overlay.
    ApplyDeviceSelect(values, device.get(), settings);
    EXPECT_TRUE(testing::InOrder(port.Take(), {"DRIVER_DISCONNECT", "DRIVER_CONNECT 1", "SET_PREVIEWRATE 66", "SET_PREVIEW 1"}));
    settings.Overlay = 1;
    ApplyDeviceSelect(values, device.get(), settings);
    EXPECT_EQ(port.Take().back(), "SET_OVERLAY 1");
    // A driver that refuses: its index is kept all the same, and the device
    // is no longer connected (the Capture menu greys).
    port.failing = {"DRIVER_CONNECT"};
    ApplyDeviceSelect(DeviceSelectValues{values.lines, 2}, device.get(), settings);
    const Lines refused = port.Take();
    EXPECT_TRUE(testing::InOrder(refused, {"DRIVER_DISCONNECT", "DRIVER_CONNECT 2"}));
    EXPECT_EQ(std::count(refused.begin(), refused.end(), "SET_OVERLAY 1") +
                  std::count(refused.begin(), refused.end(), "SET_PREVIEW 1"), 0);  // no picture from it
    EXPECT_EQ(settings.DeviceIndex, 2);
    EXPECT_FALSE(device->connected());
    // No line chosen, or no device: nothing happens.
    ApplyDeviceSelect(DeviceSelectValues{values.lines, -1}, device.get(), settings);
    ApplyDeviceSelect(DeviceSelectValues{{}, 0}, nullptr, settings);
    EXPECT_EQ(port.Take(), Lines{});
    EXPECT_EQ(OpenDeviceSelect(nullptr).selected, -1);
}

}  // namespace
}  // namespace kestrova
