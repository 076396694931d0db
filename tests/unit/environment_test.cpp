#include "dialogs/environment.h"
#include "device_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

namespace kestrova {
namespace {

using Calls = std::vector<std::string>;

class EnvironmentDialog : public testing::DeviceFixture {};

TEST_F(EnvironmentDialog, OpensWithTheDevicesRateAndOkHoldsTheNumbersWithinRangeAndSendsNothingWithoutADriver) {
    const std::pair<std::function<void(AppSettings&)>, EnvironmentFields> opened[] = {
        {[](AppSettings&) {}, {"66", false, true, false, "15", true, true, "5"}},
        {[](AppSettings& s) { s.PartTime = 119; }, {"66", false, true, false, "1", true, true, "5"}},  // rounded down
        {[](AppSettings& s) { s.Overlay = 1; s.PreviewScale = 1; }, {"66", true, false, false, "15", true, true, "5"}},
        {[](AppSettings& s) { s.PartCapture = 2; s.RClick = -1; }, {"66", false, true, true, "15", true, true, "5"}},
    };
    for (const auto& [change, shown] : opened) {
        AppSettings s;
        change(s);
        EXPECT_EQ(OpenEnvironment(s, 66), shown) << shown.partMinutes;
    }
    EXPECT_EQ(OpenEnvironment(AppSettings{}, std::nullopt).previewRate, "");

    struct Stored {
        const char *rate, *minutes, *buffers;
        std::int32_t previewRate, partTime, videoBuffers;
    };
    const Stored stored[] = {
        {"1", "1", "2", 1, 60, 2},
        {"", "", "1", 0, 0, 7},           // empty fields read as 0; 1 buffer is too few
        {"999", "0", "1000", 999, 0, 1000},
        {"100", "20", "1001", 100, 1200, 7},  // the arrows' range does not bind typed numbers
        // Text longer than the fields take (set from outside) is held within
        // what the device and the settings can carry.
        {"70000", "99999999999", "99999999999", 65535, 999 * 60, 7},
    };
    for (const Stored& c : stored) {
        SCOPED_TRACE(std::string(c.rate) + "/" + c.minutes + "/" + c.buffers);
        AppSettings s;
        s.VideoBuffers = 7;
        s.EndKey = 5, s.Ctrl = 6, s.Shift = 7, s.VkKey = 8;
        StoreEnvironment(EnvironmentFields{c.rate, true, false, false, c.minutes, false, true, c.buffers}, s);
        EXPECT_EQ(std::tuple(s.PreviewRate, s.PartTime, s.VideoBuffers),
                  std::tuple(c.previewRate, c.partTime, c.videoBuffers));
        // A greyed scaling box still counts; the stop-key settings have no
        // control here and stay as they were.
        EXPECT_EQ(std::tuple(s.PreviewScale, s.PartCapture, s.LClick, s.RClick), std::tuple(1, 0, 0, 1));
        EXPECT_EQ(std::tuple(s.EndKey, s.Ctrl, s.Shift, s.VkKey), std::tuple(5, 6, 7, 8));
    }
    // Without a driver: the picture is the last size known, none was ever read.
    port.drivers.clear();
    EXPECT_EQ(ApplyEnvironment(*Make(), settings), (PictureExtent{0, 0}));
    EXPECT_EQ(port.Take(), Calls{});
}

}  // namespace
}  // namespace kestrova
