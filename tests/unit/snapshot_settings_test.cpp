#include "dialogs/number_field.h"
#include "dialogs/snapshot_settings.h"

#include <gtest/gtest.h>

#include <tuple>

namespace kestrova {
namespace {

// Numbers in fields: digits after blanks up to the first other character.
TEST(SnapshotSettingsDialog, FieldNumbersOpeningAndOkStoringWhatTheFieldsHold) {
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"", 0},         {"-5", 0},       {" 7", 7},       {"12abc", 12},
        {"1,000", 1000}, {"1,2", 12},     {"1001", 1000},  {"99999999999999999999", 1000},
    };
    for (const auto& [text, number] : cases) EXPECT_EQ(FieldNumber(text, 1000), number) << text;
    AppSettings settings;
    settings.SnapFile = -1;  // any non-zero is on
    EXPECT_TRUE(OpenSnapshotSettings(settings, 12).numbered);
    // Greyed fields are stored all the same; the counter stops at its largest
    // value. A name the settings file cannot keep exactly is refused, not cut.
    std::string name = "a";
    for (int i = 0; i < 129; ++i) name += "写";  // two bytes each in CP932: 259 in all
    EXPECT_EQ(SnapshotSettingsRefusal(SnapshotFields{false, name, "0", true}), std::nullopt);
    for (const std::string& refused : {name + "x", std::string("ｽﾅｯﾌﾟ€")}) {
        EXPECT_NE(SnapshotSettingsRefusal(SnapshotFields{false, refused, "0", true}), std::nullopt) << refused;
    }
    for (const char* number : {"2147483647", "4294967295"}) {
        EXPECT_EQ(StoreSnapshotSettings(SnapshotFields{false, name, number, true}, settings), INT32_MAX) << number;
    }
    EXPECT_EQ(std::tuple(settings.SnapFile, settings.SnapFileName, settings.SnapOverWrite), std::tuple(0, name, 1));
}

}  // namespace
}  // namespace kestrova
