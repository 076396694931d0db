// What the capture device sends. The window, its dialogs and settings on the real program are in
// tests/e2e (test_main_window.py, test_temp_disk_device_about_dialogs.py).
#include "capture/capture_device.h"
#include "device_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <tuple>

namespace kestrova {
namespace {

using Calls = std::vector<std::string>;

class CaptureDeviceTest : public testing::DeviceFixture {};

TEST(SettingsForTheDevice, FramePeriodsAndAudioFormatsWithstandBadValues) {
    // No period for these: 15 frames per second stands in (the period of a good rate: sequence_test.cpp).
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    for (const float bad : {0.0f, -5.0f, 2e6f, std::numeric_limits<float>::quiet_NaN(), kInfinity, -kInfinity}) {
        EXPECT_EQ(FramePeriodMicroseconds(bad), 66666u) << bad;
    }
    EXPECT_EQ(FramePeriodMicroseconds(1e-12f), 4294967295u);  // saturates instead of overflowing
    // A sample rate of 0 does not divide by zero; the setting itself stays.
    AppSettings s;
    s.SampleRate = 0;
    const WaveFormat f = AudioFormatFromSettings(s);
    EXPECT_EQ((std::tuple{f.nSamplesPerSec, f.nAvgBytesPerSec, f.nBlockAlign, s.SampleRate}),
              (std::tuple{44100u, 176400u, 4, 0}));
}

TEST_F(CaptureDeviceTest, DriversUpToTheFirstGapOfTenAndNothingSentWithoutOneOrToADeadWindow) {
    // Eleven installed, ten probed; a gap at the second ends the list.
    for (auto [installed, gap, probed] : {std::tuple{11, -1, 10}, {3, 1, 1}, {3, -1, 3}}) {
        port.drivers.resize(installed, {"Driver", "v"});
        port.missingDriverIndex = gap;
        EXPECT_EQ(Make()->deviceCount(), probed);
    }
    port.Take();  // what the devices above sent as they went
    // DeviceIndex out of range: the first, and the setting stays; an index
    // that is not there sends nothing.
    settings.DeviceIndex = 3;
    const auto device = Make(false);
    EXPECT_EQ(std::tuple(port.Take()[1], settings.DeviceIndex), std::tuple(std::string("DRIVER_CONNECT 0"), 3));
    device->SelectDevice(3);
    device->SelectDevice(-1);
    EXPECT_EQ(port.Take(), Calls{});
    device->SetPreviewRate(0x12345);  // the capture window takes 16 bits: held at their top
    EXPECT_EQ(std::tuple(port.Take(), device->previewRate()), std::tuple(Calls{"SET_PREVIEWRATE 65535"}, 65535));
    for (const bool noDriver : {true, false}) {
        SCOPED_TRACE(noDriver);
        port.drivers.resize(noDriver ? 0 : 1, {"Fake Capture", "1.0"});
        const auto other = Make();
        port.live = noDriver;
        CapStatus s;
        other->SetPreview(true);
        other->SelectDevice(0);
        EXPECT_FALSE(other->GetStatus(s));
        EXPECT_EQ(std::tuple(port.Take(), other->connected()), std::tuple(Calls{}, false));
    }
}

TEST_F(CaptureDeviceTest, StatusTextsKeepTheirOwnBufferAndCallbacksAreClearedBeforeTheDisconnect) {
    auto device = Make();
    ASSERT_TRUE(port.statusCallback);
    port.statusCallback(0, "ignored");
    port.statusCallback(500, "ドライバに接続しました");
    EXPECT_EQ(sink.shown, Calls{"ドライバに接続しました"});
    // The pointer handed to the bar is the device's buffer, not the caller's text.
    const std::string* first = sink.lastShown;
    port.statusCallback(501, std::string(2000, 'x'));
    EXPECT_EQ(std::tuple(sink.lastShown, sink.shown.back()), std::tuple(first, std::string(511, 'x')));
    device->ShowStatus(false);
    EXPECT_EQ(std::tuple(port.Take(), sink.clears), std::tuple(Calls{"SET_CALLBACK_STATUS null"}, 1));
    // Gone: callbacks cleared before the driver is disconnected.
    device.reset();
    const Calls gone = port.Take();
    for (const char* cleared : {"SET_CALLBACK_STATUS null", "SET_CALLBACK_VIDEOSTREAM null", "SET_CALLBACK_FRAME null"}) {
        EXPECT_TRUE(testing::InOrder(gone, {cleared, "DRIVER_DISCONNECT"})) << cleared;
    }
}

TEST_F(CaptureDeviceTest, TheWorkDirectoryIsTempPathWhenThereElseTheStartFolderAndFilesAreNamedFromIt) {
    services.missingDirectories = {"E:\\gone", "C:\\Start\\gone"};
    // A relative TempPath is taken from the start folder, never from the
    // current directory; one that names no directory gives way to it.
    const std::pair<const char*, const char*> table[] = {{"D:\\cap", "D:\\cap"}, {"D:\\cap\\", "D:\\cap\\"},
                                                         {"E:\\gone", "C:\\Start"}, {"", "C:\\Start"},
                                                         {"rec", "C:\\Start\\rec"}, {"gone", "C:\\Start"}};
    for (const auto& [temp, chosen] : table) {
        EXPECT_EQ(std::pair(ChooseWorkDirectory(temp, services), TempPathMissing(temp, services)),
                  std::pair(std::string(chosen), std::string(temp).find("gone") != std::string::npos))
            << temp;
    }
    // The fixed work file with one separator; an empty TempPath is the start
    // folder, not the drive's root. Save As opens in the work directory.
    settings.TempPath = "D:\\cap\\";
    const auto device = Make(false);
    EXPECT_EQ(port.captureFile, "D:\\cap\\一時ﾌｧｲﾙ.AVI");
    settings.TempPath = "";
    EXPECT_EQ(device->captureFile(), "C:\\Start\\一時ﾌｧｲﾙ.AVI");
    device->SaveAs();
    EXPECT_EQ(services.saveDirectory, "C:\\Start");
    // Numbered snapshots: a name with a drive or a leading separator stays
    // as given, any other is taken from the work directory.
    EXPECT_EQ(NumberedSnapshotPath("shots\\cam", 0, "D:/cap/"), "D:/cap/shots\\cam0000.bmp");
    for (const char* rooted : {"C:\\shots\\cam", "\\\\srv\\cam", "/shots/cam", "c:cam"}) {
        EXPECT_EQ(NumberedSnapshotPath(rooted, 10000, "D:\\cap"), std::string(rooted) + "10000.bmp");
    }
}

TEST_F(CaptureDeviceTest, ASnapshotReplacesItsFileInOneStepAndOnlyASavedOneMovesTheNumberOn) {
    settings.TempPath = "D:\\cap";
    settings.SnapFile = 1;
    const auto device = Make();
    const std::string name = "D:\\cap\\SNAP0000.bmp";
    services.files.insert(name);
    services.unmovable = {name};
    services.overwriteAnswer = false;
    // No to the overwrite warning, not written, or not put in the old one's
    // place (read-only): the old file stays, the number too.
    const std::tuple<bool, int, Calls> refused[] = {
        {true, 1, {"ask overwrite " + name}},
        {false, 0, {"delete " + name + ".new", "snapshot failure " + name}},
        {true, 0, {"move " + name + ".new -> " + name, "delete " + name + ".new", "snapshot failure " + name}}};
    for (const auto& [written, warn, log] : refused) {
        port.failing = written ? std::set<std::string>{} : std::set<std::string>{"FILE_SAVEDIB"};
        settings.SnapOverWrite = warn;
        services.log.clear();
        EXPECT_EQ(std::tuple(device->TakeSnapshot(), device->snapshotNumber(), services.log),
                  std::tuple(std::string(), 0, log));
    }
    // Nothing on show (the timer is armed): a fresh frame is grabbed first; with the preview on, the
    // frame shown is saved. The last number is used again.
    services.unmovable.clear();
    for (const int live : {0, 1}) {
        port.status.fLiveWindow = live;
        port.Take();
        device->SetSnapshotNumber(live == 0 ? 0 : INT32_MAX);
        const std::string saved = live == 0 ? name : "D:\\cap\\SNAP2147483647.bmp";
        EXPECT_EQ(device->TakeSnapshot(), saved);
        EXPECT_EQ(device->snapshotNumber(), live == 0 ? 1 : INT32_MAX);
        const Calls calls = port.Take();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "GRAB_FRAME_NOSTOP"), 1 - live);
        EXPECT_EQ(std::tuple(calls.back(), services.log.back()),
                  std::tuple("FILE_SAVEDIB " + saved + ".new", "move " + saved + ".new -> " + saved));
    }
}

}  // namespace
}  // namespace kestrova
