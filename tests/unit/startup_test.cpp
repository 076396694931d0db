#include "app/command_line.h"
#include "app/main_title.h"
#include "store/string_table.h"
#include "platform/cp932.h"
#include "platform/files.h"

#include <gtest/gtest.h>

#include <set>

namespace kestrova {
namespace {

TEST(CommandLine, LastSwitchWinsAnywhere) {
    EXPECT_EQ(ScanCommandLine(""), kLaunchPlain);
    EXPECT_EQ(ScanCommandLine("/t"), kLaunchArmHidden);
    EXPECT_EQ(ScanCommandLine("/T"), kLaunchArmVisible);
    EXPECT_EQ(ScanCommandLine("/T /t"), kLaunchArmHidden);
    EXPECT_EQ(ScanCommandLine("/t /T"), kLaunchArmVisible);
    EXPECT_EQ(ScanCommandLine("-t"), kLaunchPlain);
    EXPECT_EQ(ScanCommandLine("/x"), kLaunchPlain);
    EXPECT_EQ(ScanCommandLine("/"), kLaunchPlain);
    EXPECT_EQ(ScanCommandLine("D:/tv/rec"), kLaunchArmHidden);
    EXPECT_EQ(ScanCommandLine("\"C:\\録画/Test\""), kLaunchArmVisible);
}

TEST(StartupNames, TitleAndFilesBesideTheExecutable) {
    EXPECT_EQ(StartupTitle("Kestrova", "C:\\TEMP", "一時ﾌｧｲﾙ.AVI"), "Kestrova [C:\\TEMP\\一時ﾌｧｲﾙ.AVI]");
    EXPECT_EQ(StartupTitle("Kestrova", "C:\\WORK\\", "一時ﾌｧｲﾙ.AVI"), "Kestrova [C:\\WORK\\一時ﾌｧｲﾙ.AVI]");
    EXPECT_EQ(StartupTitle("Kestrova", "", "一時ﾌｧｲﾙ.AVI"), "Kestrova [\\一時ﾌｧｲﾙ.AVI]");
    // A directory ending in a character whose CP932 trail byte is a backslash
    // still gets its separator.
    EXPECT_EQ(StartupTitle("Kestrova", "C:\\表", "a.avi"), "Kestrova [C:\\表\\a.avi]");
    EXPECT_EQ(WorkFileTitle("Kestrova", "D:\\cap\\x.avi"), "Kestrova [D:\\cap\\x.avi]");
    // The settings and reservations sit beside the executable, whatever the case of its name.
    EXPECT_EQ(ReplaceLastThree("C:\\Tools\\KESTROVA.EXE", "tmr"), "C:\\Tools\\KESTROVA.tmr");
}

TEST(StringTable, TextsTheProgramDependsOn) {
    // Japanese texts come through the generated table unchanged.
    EXPECT_EQ(LoadText(strings::kNoDeviceQuestion),
              "ｷｬﾌﾟﾁｬﾃﾞﾊﾞｲｽが見つかりません　または使用中です\n起動しますか？");
    EXPECT_EQ(LoadText(32797), "");  // the one-touch command has no help text
    // The history template: 20 lines, 539 bytes in CP932, the marker on line 16.
    std::string tmpl = Utf8ToCp932(LoadText(strings::kHistoryTemplate));
    EXPECT_EQ(tmpl.size(), 539u);
    EXPECT_EQ(std::count(tmpl.begin(), tmpl.end(), '\n'), 19);
    EXPECT_NE(tmpl.find("\n<!--begin_log-->\n</TABLE>"), std::string::npos);
    // Every help text fits the 256-byte buffer it is loaded into.
    std::set<unsigned> ids;
    for (std::size_t i = 0; i < kStringTableSize; ++i) {
        EXPECT_TRUE(ids.insert(kStringTable[i].id).second);
        if (kStringTable[i].id != strings::kHistoryTemplate) {
            EXPECT_LT(Utf8ToCp932(kStringTable[i].text).size(), 256u) << kStringTable[i].id;
        }
    }
}

TEST(StringTable, MessagesFilledWithAName) {
    EXPECT_EQ(FormatText(strings::kSavedTo, "SNAP0003.bmp"), "SNAP0003.bmp へ保存しました");
    EXPECT_EQ(FormatText(strings::kOverwriteQuestion, "C:\\shots\\cam0007.bmp"),
              "C:\\shots\\cam0007.bmp は既に存在します\n上書きしますか？");
    // A long name is never cut.
    std::string name(600, 'x');
    EXPECT_EQ(FormatText(strings::kSnapshotFailed, name), name + " へ保存できませんでした");
}

}  // namespace
}  // namespace kestrova
