#include "app/command_line.h"
#include "app/main_title.h"
#include "app/single_instance.h"
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
    // A programme file is taken off the line before the switches are read.
    EXPECT_EQ(FindProgrammeFile(R"(/T "C:\録画 予約\番組.tvpi" /t)"),
              (ProgrammeArgument{R"(C:\録画 予約\番組.tvpi)", "/T  /t"}));
    EXPECT_EQ(FindProgrammeFile("C:/tv/x.TVPID"), (ProgrammeArgument{"C:/tv/x.TVPID", ""}));
    EXPECT_EQ(FindProgrammeFile("/T notes.txt tvpi"), std::nullopt);
    // The settings and reservations sit beside the executable, whatever the case of its name.
    EXPECT_EQ(ReplaceLastThree("C:\\Tools\\KESTROVA.EXE", "tmr"), "C:\\Tools\\KESTROVA.tmr");
    EXPECT_EQ(std::tuple(DirectoryOf("C:\\Tools\\KESTROVA.EXE"), DirectoryOf("Z:/a/b"), DirectoryOf("KESTROVA.EXE")),
              std::tuple("C:\\Tools\\", "Z:/a/", ""));
}

TEST(SingleInstance, OneSettingsFileOneIdentityAndTheHandedLineIsReadWithCare) {
    // Spellings of one file meet; another folder, another file, a lost
    // network-path prefix do not.
    const std::string ini = "C:\\Rec\\Kestrova.ini", id = InstanceIdentity(ini);
    for (const auto& [one, other, same] :
         {std::tuple{ini, "c:/rec//KESTROVA.INI", true}, {ini, "\\\\?\\C:\\REC\\\\Kestrova.ini", true},
          {"\\\\?\\UNC\\srv\\tv\\k.ini", "//SRV/tv/k.ini", true}, {ini, "C:\\Rec2\\Kestrova.ini", false},
          {ini, "C:\\Rec\\Kestrova.tmr", false}, {ini, "D:\\Rec\\Kestrova.ini", false}, {"\\\\srv\\tv\\k.ini", "\\srv\\tv\\k.ini", false}}) {
        EXPECT_EQ(InstanceIdentity(one) == InstanceIdentity(other), same) << one << " " << other;
    }
    // A path of any length names a kernel object (at most 260 characters,
    // one backslash: the namespace's) and an atom (255).
    const std::string deep = "C:\\" + std::string(32000, 'x') + "\\Kestrova.ini";
    EXPECT_EQ(InstanceIdentity(deep).size(), 41u);
    EXPECT_EQ(InstanceIdentity(deep).find('\\'), std::string::npos);
    EXPECT_EQ(InstanceMutexName(id), "Local\\" + id);

    // The handed line: UTF-16 in the sender's order, read only as far as it
    // is sound.
    const std::u16string line = u"/T \"D:\\録画\\番組\U0001F4FA.txt\"";
    const auto bytes = [](const std::u16string& text) { return text.size() * 2; };
    EXPECT_EQ(ReadHandOver(kHandOverTag, line.data(), bytes(line)), "/T \"D:\\録画\\番組\U0001F4FA.txt\"");
    EXPECT_EQ(ReadHandOver(kHandOverTag, nullptr, 0), "");
    const std::u16string odd = {u'/', u't', 0xD800, u'x', 0xDC00, 0, u'/', u'T'};
    EXPECT_EQ(ReadHandOver(kHandOverTag, odd.data(), bytes(odd)), "/t\uFFFDx\uFFFD");
    const std::u16string huge(kHandOverMaxUnits + 1, u'a');
    for (const auto& [tag, data, size] : {std::tuple(kHandOverTag + 1, line.data(), bytes(line)),
                                          std::tuple(kHandOverTag, line.data(), bytes(line) - 1),
                                          std::tuple(kHandOverTag, huge.data(), bytes(huge)),
                                          std::tuple(kHandOverTag, static_cast<const char16_t*>(nullptr), std::size_t{2})}) {
        EXPECT_EQ(ReadHandOver(tag, data, size), std::nullopt) << tag << " " << size;
    }
    EXPECT_TRUE(ReadHandOver(kHandOverTag, huge.data(), bytes(huge) - 2).has_value());

    // "/t" arms and hides, "/T" arms and shows (at launch too); the arm is
    // posted only when the timer is not armed; a busy window waits with all of it.
    const HandOverRequest hidden = HandOverRequestFor("/T /t"), shown = HandOverRequestFor("-t");
    EXPECT_EQ(std::tuple(hidden, HandOverRequestFor("/T"), shown),
              std::tuple(HandOverRequest{true, true, ""}, HandOverRequest{true, false, ""}, HandOverRequest{false, false, ""}));
    EXPECT_EQ(HandOverActionsFor(hidden, false, false), (HandOverActions{false, true, true, false, false}));
    EXPECT_EQ(HandOverActionsFor(hidden, true, false), (HandOverActions{false, false, true, false, false}));
    EXPECT_EQ(HandOverActionsFor(HandOverRequestFor("/T"), true, false), (HandOverActions{false, false, false, true, false}));
    EXPECT_EQ(HandOverActionsFor(shown, false, false), (HandOverActions{false, false, false, true, false}));
    EXPECT_EQ(HandOverActionsFor(hidden, false, true), (HandOverActions{true, false, false, false, false}));
    // Requests that waited together: the arm stays asked, the latest shows or hides.
    EXPECT_EQ(MergeHandOvers(hidden, shown), (HandOverRequest{true, false, ""}));
    EXPECT_EQ(MergeHandOvers(std::nullopt, shown), (HandOverRequest{false, false, ""}));
    EXPECT_EQ(MergeHandOvers(shown, hidden), (HandOverRequest{true, true, ""}));
    // A programme file opens over the window shown, even with "/t"; one that
    // waited stays asked for.
    const HandOverRequest programme = HandOverRequestFor(R"(/t "C:\tv\番組.tvpi")");
    EXPECT_EQ(programme, (HandOverRequest{true, true, R"(C:\tv\番組.tvpi)"}));
    EXPECT_EQ(HandOverActionsFor(programme, true, false), (HandOverActions{false, false, false, true, true}));
    EXPECT_EQ(MergeHandOvers(programme, hidden).programme, programme.programme);
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
