#include "app/command_line.h"
#include "store/string_table.h"
#include "platform/cp932.h"
#include "platform/files.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>

namespace kestrova {
namespace {

TEST(Startup, TheLastSwitchWinsAnywhereAndTheFilesGoBesideTheExecutable) {
    const std::pair<const char*, int> table[] = {{"/T /t", kLaunchArmHidden}, {"/t /T", kLaunchArmVisible},
                                                 {"-t", kLaunchPlain}, {"/", kLaunchPlain},
                                                 {"\"C:\\録画/Test\"", kLaunchArmVisible}};
    for (auto [line, launch] : table) EXPECT_EQ(ScanCommandLine(line), launch) << line;
    // "/t" arms and goes into the notification area, "/T" arms in sight.
    EXPECT_EQ(LaunchActionsFor(kLaunchArmHidden), (LaunchActions{true, true}));
    EXPECT_EQ(LaunchActionsFor(kLaunchArmVisible), (LaunchActions{true, false}));
    EXPECT_EQ(LaunchActionsFor(kLaunchPlain), (LaunchActions{false, false}));
    // The settings and reservations sit beside the executable, whatever the case of its name.
    EXPECT_EQ(ReplaceLastThree("C:\\Tools\\KESTROVA.EXE", "tmr"), "C:\\Tools\\KESTROVA.tmr");
    EXPECT_EQ(std::tuple(DirectoryOf("C:\\Tools\\KESTROVA.EXE"), DirectoryOf("Z:/a/b"), DirectoryOf("KESTROVA.EXE")),
              std::tuple("C:\\Tools\\", "Z:/a/", ""));
}

TEST(StringTable, IdsAreUniqueAndTextsFitTheirBuffersAndNamesAreNeverCut) {
    // Every help text fits the 256-byte buffer it is loaded into.
    std::set<unsigned> ids;
    for (std::size_t i = 0; i < kStringTableSize; ++i) {
        EXPECT_TRUE(ids.insert(kStringTable[i].id).second);
        if (kStringTable[i].id != strings::kHistoryTemplate) {
            EXPECT_LT(Utf8ToCp932(kStringTable[i].text).size(), 256u) << kStringTable[i].id;
        }
    }
    const std::string name(600, 'x');
    EXPECT_EQ(FormatText(strings::kNotSavedTo, name), name + " へ保存できませんでした");
}

}  // namespace
}  // namespace kestrova
