#include "dialogs/sequence.h"
#include "device_fixture.h"

#include <gtest/gtest.h>

#include <tuple>

namespace kestrova {
namespace {

using Calls = std::vector<std::string>;

class SequenceTest : public testing::DeviceFixture {};

TEST(SequenceRate, TheLeadingNumberWithinTheFramesRangeOrFifteenForNoRate) {
    const std::pair<const char*, float> cases[] = {
        {"7.5", 7.5f},    {"30fps", 30.0f}, {"1000", 1000.0f}, {"1001", 1000.0f}, {"0.001", 0.01f},
        {"abc", 15.0f},   {"0", 15.0f},     {"-3", 15.0f},     {"nan", 15.0f},    {"inf", 15.0f},
        {"1e39", 15.0f},                // no finite float
        {"000000000000003000", 3.0f},   // only the first 15 characters count
    };
    for (const auto& [field, rate] : cases) EXPECT_EQ(SequenceRate(field), rate) << field;
}

TEST_F(SequenceTest, OkSendsThePeriodAndTheDialogShowsTheRateSentOrWithoutAWindowTheSettings) {
    const auto device = Make();
    for (const auto& [field, period, shown] : {std::tuple{"30.00", 33333u, "30.00"}, {"29.97", 33366u, "29.97"},
                                               {"24.00", 41666u, "24.00"}, {"0", 66666u, "15.00"}}) {
        SCOPED_TRACE(field);
        StoreSequence(SequenceRate(field), false, settings, device.get());
        EXPECT_EQ(device->params().dwRequestMicroSecPerFrame, period);
        EXPECT_EQ(OpenSequence(settings, device.get()).rate, shown);
        EXPECT_EQ(OpenSequence(settings, nullptr).rate, shown);
    }
    port.params.dwRequestMicroSecPerFrame = 133333;  // set elsewhere: shown as the window holds it
    EXPECT_EQ(OpenSequence(settings, device.get()).rate, "7.50");
    settings.Frames = 29.97f;
    settings.CaptureAudio = 0;
    port.live = false;  // the window is no more: nothing to read back
    const SequenceFields shown = OpenSequence(settings, device.get());
    EXPECT_EQ(std::pair(shown.rate, shown.audio), std::pair(std::string("29.97"), false));
    port.live = true;
    port.drivers.clear();
    const auto driverless = Make();
    StoreSequence(SequenceRate("24"), true, settings, driverless.get());
    EXPECT_EQ(port.Take(), Calls{});
    EXPECT_EQ(std::tuple(OpenSequence(settings, driverless.get()).rate, settings.CaptureAudio), std::tuple("24.00", 1));
}

}  // namespace
}  // namespace kestrova
