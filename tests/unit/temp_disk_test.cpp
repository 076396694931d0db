#include "dialogs/temp_disk.h"
#include "device_fixture.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

namespace kestrova {
namespace {

using Calls = std::vector<std::string>;

// The directories there are, the user's answer and what was asked and done.
struct FakeDirectoryHost : WorkDirectoryHost {
    bool IsDirectory(const std::string& path) override { return directories.count(path) != 0; }
    bool AskCreate(const std::string& question) override {
        log.push_back("ask " + question);
        return createAnswer;
    }
    bool MakeDirectory(const std::string& path) override {
        log.push_back("make " + path);
        if (!canMake) return false;
        directories.insert(path);
        return true;
    }
    void ShowError(const std::string& text) override { log.push_back("error " + text); }
    void ChangeCurrentDirectory(const std::string& path) override { log.push_back("current " + path); }

    std::set<std::string> directories{"D:\\cap", "D:\\cap\\"};
    bool createAnswer = true, canMake = true;
    Calls log;
};

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
        TempDiskValues values = OpenTempDisk(settings, device.get());
        edit(values);
        return ApplyTempDisk(values, settings, device.get(), host);
    }

    std::unique_ptr<CaptureDevice> device;
    FakeDirectoryHost host;
};

TEST_F(TempDiskTest, OpeningShowsTheDevicesDirectoryAndTheSettings) {
    device->SetWorkDirectory("E:\\work");  // the directory last handed to the device, not TempPath
    settings.TempFile = 1;
    settings.TempSize = 100;
    settings.SpeedSave = 1;  // pre-allocation wins over fast saving
    TempDiskValues v = OpenTempDisk(settings, device.get());
    EXPECT_EQ((std::tuple{v.directory, v.reserveSpace, v.sizeText, v.fixedFile, v.fileName, v.speedSave}),
              (std::tuple{"E:\\work", true, "100", true, "一時ﾌｧｲﾙ.AVI", false}));
    EXPECT_EQ((std::tuple{v.SizeEnabled(), v.FileNameEnabled(), v.SpeedSaveEnabled()}),
              (std::tuple{true, true, false}));

    settings.TempFile = 0;
    settings.FixedTempFile = 0;
    v = OpenTempDisk(settings, nullptr);  // without a device the stored directory is shown
    EXPECT_EQ((std::tuple{v.directory, v.reserveSpace, v.fixedFile, v.speedSave}),
              (std::tuple{"C:\\TEMP", false, false, true}));
    EXPECT_EQ((std::tuple{v.SizeEnabled(), v.FileNameEnabled(), v.SpeedSaveEnabled()}),
              (std::tuple{false, false, true}));

    // Ticking 領域確保 clears and greys fast saving; clearing it again
    // leaves fast saving off.
    v.SetReserveSpace(true);
    EXPECT_EQ(std::pair(v.speedSave, v.SpeedSaveEnabled()), std::pair(false, false));
    v.SetReserveSpace(false);
    EXPECT_EQ(std::pair(v.speedSave, v.SpeedSaveEnabled()), std::pair(false, true));
}

TEST(TempDiskSize, DigitsUpToWhatOneAllocationCanCarry) {
    const std::pair<const char*, std::int32_t> table[] = {
        {"", 0}, {"0", 0}, {"100", 100}, {" 12 ", 12}, {"4095", 4095}, {"4096", 4095}, {"99999999999999", 4095},
        {"12a", 0}, {"-3", 0}, {"1 2", 0}};
    for (const auto& [text, megabytes] : table) EXPECT_EQ(TempSizeMegabytes(text), megabytes) << text;
}

TEST_F(TempDiskTest, OkStoresTheValuesAndAppliesThemAtOnce) {
    ASSERT_TRUE(Ok([](TempDiskValues& v) {
        v.directory = "D:\\cap\\";
        v.SetReserveSpace(true);
        v.sizeText = "100";
        v.fileName = "rec.avi";
    }));
    EXPECT_EQ(Stored(settings), std::tuple("D:\\cap\\", 1, 100, 1, "rec.avi", 0));
    EXPECT_EQ(host.log, Calls{"current D:\\cap\\"});  // an existing directory: no question
    // One backslash before the name; the space is reserved at once.
    EXPECT_EQ(port.Take(), (Calls{"FILE_SET_CAPTURE_FILE D:\\cap\\rec.avi", "FILE_SET_CAPTURE_FILE D:\\cap\\rec.avi",
                                  "FILE_ALLOCATE 104857600"}));
    EXPECT_EQ(services.title, "D:\\cap\\rec.avi");

    // Pre-allocation off: no size, fast saving as ticked, nothing reserved.
    ASSERT_TRUE(Ok([](TempDiskValues& v) {
        v.SetReserveSpace(false);
        v.speedSave = true;
    }));
    EXPECT_EQ(Stored(settings), std::tuple("D:\\cap\\", 0, 0, 1, "rec.avi", 1));
    EXPECT_EQ(port.Take(), Calls{"FILE_SET_CAPTURE_FILE D:\\cap\\rec.avi"});
    EXPECT_EQ(OpenTempDisk(settings, device.get()).sizeText, "0");
}

TEST_F(TempDiskTest, TheWorkFileName) {
    // Emptied: the default name; one file per recording: the edit is dropped.
    for (const auto& [fixed, typed, stored] : {std::tuple{true, "", "一時ﾌｧｲﾙ.AVI"}, {true, "番組.avi", "番組.avi"},
                                               {false, "番組.avi", "一時ﾌｧｲﾙ.AVI"}}) {
        SCOPED_TRACE(typed);
        settings.TempFileName = "一時ﾌｧｲﾙ.AVI";
        ASSERT_TRUE(Ok([&, fixed = fixed, typed = typed](TempDiskValues& v) {
            v.directory = "D:\\cap";
            v.fixedFile = fixed;
            v.fileName = typed;
        }));
        EXPECT_EQ(std::tuple(settings.FixedTempFile, settings.TempFileName), std::tuple(fixed ? 1 : 0, stored));
    }
}

TEST_F(TempDiskTest, NothingIsStoredWithoutTheDirectory) {
    const auto before = Stored(settings);
    const std::string question = "ask ﾃﾞｨﾚｸﾄﾘ E:\\new は存在しません\n作成しますか？";
    const auto typeNew = [](TempDiskValues& v) { v.directory = "E:\\new"; };

    // Declined: the dialog stays open, nothing changes.
    host.createAnswer = false;
    EXPECT_FALSE(Ok(typeNew));
    EXPECT_EQ(host.log, Calls{question});
    // It cannot be made (a file in the way, no parent, no rights): told,
    // and again nothing changes.
    host.log.clear();
    host.createAnswer = true;
    host.canMake = false;
    EXPECT_FALSE(Ok(typeNew));
    EXPECT_EQ(host.log, (Calls{question, "make E:\\new", "error ﾃﾞｨﾚｸﾄﾘ E:\\new を作成できません"}));
    EXPECT_EQ(Stored(settings), before);
    EXPECT_EQ(port.Take(), Calls{});
    // The empty field names no directory either.
    host.log.clear();
    EXPECT_FALSE(Ok([](TempDiskValues& v) { v.directory.clear(); }));
    EXPECT_EQ(host.log.back(), "error ﾃﾞｨﾚｸﾄﾘ  を作成できません");
}

TEST_F(TempDiskTest, WithoutADeviceAndWithAnOverlongDirectory) {
    // 261 bytes in the settings file: the last character does not fit.
    std::string longName = "D:\\";
    for (int i = 0; i < 129; ++i) longName += "録";
    const std::string bounded = longName.substr(0, longName.size() - 3);
    host.directories.insert(bounded);
    TempDiskValues values = OpenTempDisk(settings, nullptr);
    values.directory = longName;
    EXPECT_TRUE(ApplyTempDisk(values, settings, nullptr, host));
    EXPECT_EQ(settings.TempPath, bounded);
    EXPECT_EQ(host.log, Calls{"current " + bounded});
}

}  // namespace
}  // namespace kestrova
