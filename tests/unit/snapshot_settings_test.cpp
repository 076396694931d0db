#include "capture/capture_device.h"
#include "dialogs/number_field.h"
#include "dialogs/snapshot_settings.h"
#include "fake_capture_port.h"

#include <gtest/gtest.h>

namespace kestrova {
namespace {

TEST(FieldNumber, DigitsAfterBlanksUpToTheFirstOtherCharacter) {
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"", 0},       {"   ", 0},     {"abc", 0},         {"-5", 0},     {"12", 12},
        {" 7", 7},     {"12abc", 12},  {"1,000", 1000},    {"1,2", 12},    {"12,", 12},
        {"999", 999},  {"1000", 1000}, {"1001", 1000},     {"99999999999999999999", 1000},
    };
    for (const auto& [text, number] : cases) EXPECT_EQ(FieldNumber(text, 1000), number) << text;
}

TEST(SnapshotSettingsDialog, OpensWithTheSettingsAndTheNextNumber) {
    AppSettings settings;
    EXPECT_EQ(OpenSnapshotSettings(settings, 0), (SnapshotFields{false, "SNAP", "0", false}));
    settings.SnapFile = -1;
    settings.SnapOverWrite = 2;
    settings.SnapFileName = "C:\\shots\\cam";
    EXPECT_EQ(OpenSnapshotSettings(settings, 12), (SnapshotFields{true, "C:\\shots\\cam", "12", true}));
}

TEST(SnapshotSettingsDialog, OkStoresWhatTheFieldsHoldAlsoWhenGreyed) {
    const std::pair<const char*, std::int32_t> numbers[] = {
        {"12", 12}, {"", 0}, {"0", 0}, {"1,000", 1000}, {"2147483647", INT32_MAX}, {"4294967295", INT32_MAX}};
    for (const auto& [number, counter] : numbers) {
        AppSettings settings;
        std::int32_t next = 5;
        StoreSnapshotSettings(SnapshotFields{false, "", number, true}, settings, next);
        EXPECT_EQ(next, counter) << number;
        EXPECT_EQ(settings.SnapFile, 0);
        EXPECT_EQ(settings.SnapFileName, "");
        EXPECT_EQ(settings.SnapOverWrite, 1);
    }
}

TEST(SnapshotSettingsDialog, TheNameIsKeptWithinTheSettingsFilesBytes) {
    AppSettings settings;
    std::int32_t next = 0;
    std::string name;
    for (int i = 0; i < 130; ++i) name += "写";  // two bytes each in CP932
    StoreSnapshotSettings(SnapshotFields{true, "a" + name, "0", false}, settings, next);
    EXPECT_EQ(settings.SnapFileName, "a" + name.substr(0, 129 * 3));
}

TEST(SnapshotSettingsDialog, NumberedSnapshotsGoOnFromTheNumberEntered) {
    testing::FakeCapturePort port;
    testing::FakeStatusSink sink;
    testing::FakeDeviceServices services;
    AppSettings settings;
    CaptureDevice device(port, settings, sink, &services);
    device.Create("VideoCapture", kStyleChild, 0, 0, 320, 240, 0x10, 1);
    StoreSnapshotSettings(SnapshotFields{true, "SNAP", "12", false}, settings, device.snapshotCounter);
    EXPECT_EQ(device.TakeSnapshot(), "SNAP0012.bmp");
    device.TakeSnapshot();
    device.TakeSnapshot();
    EXPECT_EQ(OpenSnapshotSettings(settings, device.snapshotCounter).nextNumber, "15");
}

}  // namespace
}  // namespace kestrova
