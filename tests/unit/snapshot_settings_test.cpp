#include "dialogs/number_field.h"
#include "dialogs/snapshot_settings.h"

#include <gtest/gtest.h>

#include <tuple>

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

TEST(SnapshotSettingsDialog, OpensWithTheSettingsAndOkStoresWhatTheFieldsHold) {
    AppSettings settings;
    settings.SnapFile = -1;  // any non-zero is on
    settings.SnapOverWrite = 2;
    settings.SnapFileName = "C:\\shots\\cam";
    EXPECT_EQ(OpenSnapshotSettings(settings, 12), (SnapshotFields{true, "C:\\shots\\cam", "12", true}));
    // Greyed fields are stored all the same; the counter stops at its largest value.
    for (const auto& [number, counter] : {std::pair{"2147483647", INT32_MAX}, {"4294967295", INT32_MAX}}) {
        std::int32_t next = 5;
        StoreSnapshotSettings(SnapshotFields{false, "", number, true}, settings, next);
        EXPECT_EQ(next, counter) << number;
    }
    EXPECT_EQ(std::tuple(settings.SnapFile, settings.SnapFileName, settings.SnapOverWrite), std::tuple(0, "", 1));
}

TEST(SnapshotSettingsDialog, TheNameIsKeptWithinTheSettingsFilesBytes) {
    AppSettings settings;
    std::int32_t next = 0;
    std::string name = "a";
    for (int i = 0; i < 130; ++i) name += "写";  // two bytes each in CP932
    StoreSnapshotSettings(SnapshotFields{true, name, "0", false}, settings, next);
    EXPECT_EQ(settings.SnapFileName, name.substr(0, 1 + 129 * 3));
}

}  // namespace
}  // namespace kestrova
