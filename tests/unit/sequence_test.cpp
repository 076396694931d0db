#include "dialogs/sequence.h"
#include "device_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace kestrova {
namespace {

using Calls = std::vector<std::string>;
const std::vector<std::string> kRates{"30.00", "29.97", "25.00", "24.00", "15.00", "12.00", "10.00"};

class SequenceTest : public testing::DeviceFixture {};

TEST_F(SequenceTest, OpensWithWhatTheCaptureWindowHolds) {
    const auto device = Make();
    for (const auto& [period, audio, shown] : {std::tuple(66666u, 1, "15.00"), std::tuple(33366u, 0, "29.97"),
                                               std::tuple(41666u, 1, "24.00"), std::tuple(133333u, 1, "7.50")}) {
        port.params.dwRequestMicroSecPerFrame = period;
        port.params.fCaptureAudio = audio;
        EXPECT_EQ(OpenSequence(settings, device.get()), (SequenceFields{kRates, shown, audio != 0})) << period;
    }
}

TEST_F(SequenceTest, WithoutACaptureWindowShowsAndStoresTheSettings) {
    settings.Frames = 29.97f;
    settings.CaptureAudio = 0;
    port.drivers.clear();
    const auto driverless = Make();
    const SequenceFields stored{kRates, "29.97", false};
    EXPECT_EQ(OpenSequence(settings, driverless.get()), stored);
    EXPECT_EQ(OpenSequence(settings, nullptr), stored);
    port.drivers = {{"Fake Capture", "1.0"}};
    const auto gone = Make();
    port.live = false;  // the window is no more: nothing to read back
    EXPECT_EQ(OpenSequence(settings, gone.get()), stored);
    port.live = true;
    StoreSequence(SequenceRate("24"), true, settings, driverless.get());
    EXPECT_EQ(port.Take(), Calls{});
    EXPECT_EQ(OpenSequence(settings, nullptr), (SequenceFields{kRates, "24.00", true}));
    StoreSequence(SequenceRate("12"), false, settings, nullptr);
    EXPECT_EQ(OpenSequence(settings, driverless.get()), (SequenceFields{kRates, "12.00", false}));
}

TEST(SequenceRate, TheLeadingNumberOrFifteenWhenItGivesNoPeriod) {
    const std::pair<const char*, float> cases[] = {
        {"7.5", 7.5f},    {"30fps", 30.0f}, {" 25", 25.0f}, {"1000000", 1e6f},
        {"abc", 15.0f},   {"", 15.0f},      {"0", 15.0f},   {"0.0", 15.0f},
        {"-3", 15.0f},    {"nan", 15.0f},   {"inf", 15.0f}, {"1e39", 15.0f},
        {"2000000", 15.0f},                  // under a microsecond a frame
        {"000000000000003000", 3.0f},        // only the first 15 characters count
    };
    for (const auto& [field, rate] : cases) EXPECT_EQ(SequenceRate(field), rate) << field;
}

TEST_F(SequenceTest, OkSendsThePeriodAndSoundStoresThemAndTheyReopenAsSent) {
    const auto device = Make();
    // Every listed rate, then one without a period: sent and stored as 15.
    const std::uint32_t periods[] = {33333, 33366, 40000, 41666, 66666, 83333, 100000, 66666};
    for (std::size_t i = 0; i <= kRates.size(); ++i) {
        const bool audio = i % 2 == 0;
        const std::string shown = i < kRates.size() ? kRates[i] : "15.00";
        SCOPED_TRACE(shown);
        StoreSequence(SequenceRate(i < kRates.size() ? kRates[i] : "0"), audio, settings, device.get());
        EXPECT_EQ(port.Take(), (Calls{"GET_SEQUENCE_SETUP",
                                      "SET_SEQUENCE_SETUP period=" + std::to_string(periods[i]) +
                                          " audio=" + (audio ? "1" : "0") + " left=1 right=1 buffers=5",
                                      "GET_SEQUENCE_SETUP"}));
        EXPECT_EQ(settings.CaptureAudio, audio ? 1 : 0);
        EXPECT_EQ(device->params().dwRequestMicroSecPerFrame, periods[i]);
        EXPECT_EQ(OpenSequence(settings, device.get()).rate, shown);
        EXPECT_EQ(OpenSequence(settings, nullptr).rate, shown);
        port.Take();
    }
}

}  // namespace
}  // namespace kestrova
