#include "dialogs/environment.h"
#include "device_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace kestrova {
namespace {

using Calls = std::vector<std::string>;

TEST(EnvironmentDialog, OpensWithTheDevicesRateAndTheSettings) {
    struct Case {
        const char* name;
        std::function<void(AppSettings&)> change;
        std::optional<std::uint16_t> deviceRate;
        EnvironmentFields shown;
    };
    const Case cases[] = {
        {"no device", [](AppSettings&) {}, std::nullopt, {"", false, true, false, "15", true, true, "5"}},
        {"whole minutes, rounded down", [](AppSettings& s) { s.PartTime = 90; }, 66,
         {"66", false, true, false, "1", true, true, "5"}},
        {"under a minute", [](AppSettings& s) { s.PartTime = 59; }, 66, {"66", false, true, false, "0", true, true, "5"}},
        {"overlay greys scaling", [](AppSettings& s) { s.Overlay = 1; s.PreviewScale = 1; }, 66,
         {"66", true, false, false, "15", true, true, "5"}},
        {"any non-zero is on",
         [](AppSettings& s) { s.PartCapture = 2; s.LClick = 0; s.RClick = -1; s.VideoBuffers = 1000; s.PreviewRate = 5; },
         40000, {"40000", false, true, true, "15", false, true, "1000"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AppSettings settings;
        c.change(settings);
        EXPECT_EQ(OpenEnvironment(settings, c.deviceRate), c.shown);
    }
}

TEST(EnvironmentDialog, OkStoresTheFieldsAndIgnoresBufferCountsOutOfRange) {
    struct Case {
        const char* rate;
        const char* minutes;
        const char* buffers;
        std::int32_t previewRate, partTime, videoBuffers;
    };
    const Case cases[] = {
        {"100", "20", "2", 100, 1200, 2},
        {"1", "1", "1000", 1, 60, 1000},
        {"", "", "1", 0, 0, 7},          // empty fields read as 0; 1 buffer is too few
        {"999", "0", "1001", 999, 0, 7},  // the arrows' range does not bind typed numbers
        // Text longer than the fields take (set from outside) is held within
        // what the device and the settings can carry.
        {"70000", "99999999999", "99999999999", 65535, INT32_MAX / 60 * 60, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.rate) + "/" + c.minutes + "/" + c.buffers);
        AppSettings settings;
        settings.VideoBuffers = 7;
        settings.EndKey = 5, settings.Ctrl = 6, settings.Shift = 7, settings.VkKey = 8;
        StoreEnvironment(EnvironmentFields{c.rate, true, false, false, c.minutes, false, true, c.buffers}, settings);
        EXPECT_EQ(settings.PreviewRate, c.previewRate);
        EXPECT_EQ(settings.PartTime, c.partTime);
        EXPECT_EQ(settings.VideoBuffers, c.videoBuffers);
        // Unchecked split recording still takes the minutes; a greyed
        // scaling box still counts.
        EXPECT_EQ(settings.PartCapture, 0);
        EXPECT_EQ(std::make_tuple(settings.PreviewScale, settings.LClick, settings.RClick), std::make_tuple(1, 0, 1));
        // The stop-key settings have no control here and stay as they were.
        EXPECT_EQ(std::make_tuple(settings.EndKey, settings.Ctrl, settings.Shift, settings.VkKey),
                  std::make_tuple(5, 6, 7, 8));
    }
}

class EnvironmentApplyTest : public testing::DeviceFixture {
protected:
    // A device whose capture window then holds a period of 33366 µs and a 640x480 picture.
    std::unique_ptr<CaptureDevice> MakeNtsc() {
        auto device = Make();
        port.params.dwRequestMicroSecPerFrame = 33366;
        port.status.uiImageWidth = 640;
        port.status.uiImageHeight = 480;
        return device;
    }
};

TEST_F(EnvironmentApplyTest, SendsRateScalingStopClicksAndBuffersAndFitsTheUnscaledPicture) {
    const auto device = MakeNtsc();
    settings.PreviewRate = 100;
    settings.LClick = 0;
    settings.VideoBuffers = 20;
    for (const bool scaled : {false, true}) {
        SCOPED_TRACE(scaled);
        settings.PreviewScale = scaled ? 1 : 0;
        const std::optional<PictureExtent> picture = ApplyEnvironment(*device, settings);
        Calls expected{"SET_PREVIEWRATE 100", "SET_PREVIEWRATE 100", "SET_PREVIEW 1",
                       std::string("SET_SCALE ") + (scaled ? "1" : "0"), "GET_SEQUENCE_SETUP",
                       "SET_SEQUENCE_SETUP period=33366 audio=1 left=0 right=1 buffers=20", "GET_SEQUENCE_SETUP"};
        if (!scaled) expected.insert(expected.end(), {"GET_STATUS", "SetWindowPos 0,0 640x480 flags=00000004"});
        EXPECT_EQ(port.Take(), expected);
        EXPECT_EQ(picture, scaled ? std::nullopt : std::optional(PictureExtent{640, 480}));
        EXPECT_EQ(device->previewRate(), 100);
    }
}

TEST_F(EnvironmentApplyTest, PreviewOffOrNoCaptureWindow) {
    const auto device = MakeNtsc();
    settings.Preview = 0;
    settings.PreviewRate = 0;  // an empty rate field goes to the device as 0
    ApplyEnvironment(*device, settings);
    EXPECT_EQ(port.Take(), (Calls{"SET_PREVIEWRATE 0", "SET_PREVIEW 0", "SET_SCALE 0", "GET_SEQUENCE_SETUP",
                                  "SET_SEQUENCE_SETUP period=33366 audio=1 left=1 right=1 buffers=5",
                                  "GET_SEQUENCE_SETUP", "GET_STATUS", "SetWindowPos 0,0 640x480 flags=00000004"}));
    // Without a driver nothing is sent, and the picture is the last size
    // known: none was ever read.
    port.drivers.clear();
    EXPECT_EQ(ApplyEnvironment(*Make(), settings), (PictureExtent{0, 0}));
    EXPECT_EQ(port.Take(), Calls{});
}

}  // namespace
}  // namespace kestrova
