#include "dialogs/temp_disk.h"
#include "device_fixture.h"
#include "fake_directory_host.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

namespace kestrova {
namespace {

using Calls = std::vector<std::string>;
using testing::FakeDirectoryHost;

auto Stored(const AppSettings& s) {
    return std::tuple{s.TempPath, s.TempFile, s.TempSize, s.FixedTempFile, s.TempFileName, s.SpeedSave};
}

class TempDiskTest : public testing::DeviceFixture {
protected:
    TempDiskTest() {
        settings.TempPath = "C:\\TEMP";
        device = Make();
    }

    // OK with the dialog as it opened, changed by `edit`.
    template <class Edit>
    bool Ok(Edit edit) {
        TempDiskValues values = OpenTempDisk(settings);
        edit(values);
        return ApplyTempDisk(values, settings, device.get(), host);
    }

    std::unique_ptr<CaptureDevice> device;
    FakeDirectoryHost host;
};

TEST_F(TempDiskTest, OpensWithTheStoredDirectoryPreAllocationWinsOverFastSavingAndOkStoresTheFields) {
    services.missingDirectories = {"E:\\work"};  // shown as stored, though the start folder stands in
    device->SetWorkDirectory("E:\\work");
    settings.TempFile = 1;
    settings.SpeedSave = 1;
    TempDiskValues v = OpenTempDisk(settings);
    EXPECT_EQ(std::tuple(v.directory, v.speedSave, v.SpeedSaveEnabled()), std::tuple("E:\\work", false, false));
    EXPECT_EQ(services.title, "C:\\Start\\一時ﾌｧｲﾙ.AVI");
    v.SetReserveSpace(false);  // cleared again: fast saving stays off
    EXPECT_EQ(std::pair(v.speedSave, v.SpeedSaveEnabled()), std::pair(false, true));
    // OK stores what the fields hold, the size in digits up to what one allocation can carry.
    const std::pair<const char*, std::int32_t> sizes[] = {
        {"", 0}, {" 12 ", 12}, {"4095", 4095}, {"4096", 4095}, {"99999999999999", 4095}, {"12a", 0}, {"-3", 0}};
    for (const auto& [text, megabytes] : sizes) EXPECT_EQ(TempSizeMegabytes(text), megabytes) << text;
    struct Row {
        bool reserve, fixed, speed;
        const char* name;
        std::tuple<std::string, int, int, int, std::string, int> stored;
    };
    // Size only with pre-allocation; an emptied name is the default; with one
    // file per recording the name's edit is dropped.
    const Row rows[] = {
        {true, true, false, "rec.avi", {"D:\\cap\\", 1, 100, 1, "rec.avi", 0}},
        {false, true, true, "", {"D:\\cap\\", 0, 0, 1, "一時ﾌｧｲﾙ.AVI", 1}},
        {false, false, false, "番組.avi", {"D:\\cap\\", 0, 0, 0, "一時ﾌｧｲﾙ.AVI", 0}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        host.log.clear();
        ASSERT_TRUE(Ok([&](TempDiskValues& v) {
            v.directory = "D:\\cap\\";
            v.SetReserveSpace(r.reserve);
            v.sizeText = "100";
            v.fixedFile = r.fixed;
            v.fileName = r.name;
            v.speedSave = r.speed;
        }));
        EXPECT_EQ(Stored(settings), r.stored);
        EXPECT_EQ(host.log, Calls{"current D:\\cap\\"});  // an existing directory: no question
        if (r.fixed) {
            EXPECT_EQ(services.title, "D:\\cap\\" + settings.TempFileName);  // one backslash
        }
    }
}

TEST_F(TempDiskTest, NothingIsStoredWithoutTheDirectoryOrWithATextTheSettingsFileCannotKeep) {
    const auto before = Stored(settings);
    // Declined, cannot be made (a file in the way, no parent, no rights), or
    // the empty field: the dialog stays open and nothing changes.
    for (const auto& [typed, answer, last] :
         {std::tuple{"E:\\new", false, "ask ﾃﾞｨﾚｸﾄﾘ E:\\new は存在しません\n作成しますか？"},
          {"E:\\new", true, "error ﾃﾞｨﾚｸﾄﾘ E:\\new を作成できません"}, {"", true, "error ﾃﾞｨﾚｸﾄﾘ  を作成できません"}}) {
        host.createAnswer = answer;
        host.canMake = false;
        EXPECT_FALSE(Ok([typed = typed](TempDiskValues& v) { v.directory = typed; }));
        EXPECT_EQ(host.log.back(), last);
    }
    // Texts the settings file cannot keep exactly are refused, never cut or
    // changed: a byte too many (259 is the most), a character CP932 lacks or
    // would turn into a look-alike ("¥" into "\\"), in the directory or in
    // the fixed work file's name.
    std::string longest = "D:\\";
    for (int i = 0; i < 128; ++i) longest += "録";
    host.createAnswer = true;
    for (const auto& [directory, name, refusal] :
         {std::tuple{longest + "x", "a.avi", "長すぎるため設定ﾌｧｲﾙに保存できません (ｺｰﾄﾞﾍﾟｰｼﾞ932で 259 ﾊﾞｲﾄまで)\n" + longest + "x"},
          {"D:\\録画¥", "a.avi", "「¥」はｺｰﾄﾞﾍﾟｰｼﾞ932 (ｼﾌﾄJIS) で表せない文字のため設定ﾌｧｲﾙに保存できません\nD:\\録画¥"},
          {"D:\\cap", "番組€.avi", "「€」はｺｰﾄﾞﾍﾟｰｼﾞ932 (ｼﾌﾄJIS) で表せない文字のため設定ﾌｧｲﾙに保存できません\n番組€.avi"}}) {
        host.log.clear();
        EXPECT_FALSE(Ok([&, d = directory, n = name](TempDiskValues& v) {
            v.directory = d;
            v.fileName = n;
        }));
        EXPECT_EQ(host.log, Calls{"error " + refusal});
    }
    EXPECT_EQ(std::pair(Stored(settings), port.Take()), std::pair(before, Calls{}));
    host.canMake = true;
    EXPECT_TRUE(Ok([&](TempDiskValues& v) { v.directory = longest; }));
    EXPECT_EQ(settings.TempPath, longest);
}

}  // namespace
}  // namespace kestrova
