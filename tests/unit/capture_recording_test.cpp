// Recording, storing and saving on the device's side (snapshots: capture_device_test). Real recordings, Save As, snapshots and
// work files that cannot be made are in tests/e2e/test_recording.py and test_failures.py.
#include "capture/capture_device.h"
#include "device_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <tuple>

namespace kestrova {
namespace {

using Calls = std::vector<std::string>;
using testing::FakeCapturePort;

// A capture that asks the part callback, when there is one, to end the part at
// `endsAt` ms, the first `parts` - 1 times; a millisecond earlier never ends it.
std::function<bool(FakeCapturePort&)> PartsEndedByCallback(int parts, std::uint32_t endsAt) {
    auto count = std::make_shared<int>(0);
    return [count, parts, endsAt](FakeCapturePort& port) {
        if ((*count)++ < parts - 1 && port.capControl) {
            port.status.dwCurrentTimeElapsedMS = endsAt - 1;
            EXPECT_TRUE(port.capControl(kCaptureStateCapturing));
            port.status.dwCurrentTimeElapsedMS = endsAt;
            static_cast<void>(port.capControl(kCaptureStateCapturing));
        }
        return true;
    };
}

// Work files under D:\work, no status bar.
class RecordingTest : public testing::DeviceFixture {
protected:
    void SetUp() override {
        settings.TempPath = "D:\\work";
        sink.bar = false;
        device = Make();
    }
    // The captures started since the last Take: "limit file" of each, the
    // file without its directory.
    Calls Sequences() {
        Calls out;
        for (const std::string& c : port.Take()) {
            if (c.rfind("SEQUENCE limit=", 0) != 0) continue;
            out.push_back(c.substr(15, c.find(' ', 15) - 15) + " " + c.substr(c.rfind('\\') + 1));
        }
        return out;
    }

    std::unique_ptr<CaptureDevice> device;
    std::vector<std::string>& log = services.log;
};

TEST_F(RecordingTest, TheErrorCallbackIsOnlySetWhileTheCaptureRunsAndNoWorkFileIsUsedTwice) {
    EXPECT_EQ(device->Record(false).files, Calls{"D:\\work\\一時ﾌｧｲﾙ.AVI"});
    EXPECT_TRUE(testing::InOrder(port.Take(), {"SET_CALLBACK_ERROR set", "SEQUENCE limit=0 file=D:\\work\\一時ﾌｧｲﾙ.AVI",
                                               "SET_CALLBACK_ERROR null"}));
    // A new work file per recording never overwrites an old one.
    settings.FixedTempFile = 0;
    services.files.insert("D:\\work\\kv1B.avi");  // left from an earlier run: passed over
    EXPECT_EQ(device->Record(false).files, Calls{"D:\\work\\kv1A.avi"});
    EXPECT_EQ(device->Record(false).files, Calls{"D:\\work\\kv1C.avi"});
    // The passed-over and the used temporary files are all gone again.
    EXPECT_EQ(services.files, (std::set<std::string>{"D:\\work\\kv1B.avi"}));
}

TEST_F(RecordingTest, PartsGetNewWorkFilesAndNumberedNamesAndTimedOnesSplitAtSixteenBitLimits) {
    const struct {
        int partCapture, partTime, parts;  // captures the part callback is asked to end
        std::uint32_t endsAt;              // ms
        std::int32_t seconds;              // below 0: no time limit
        Calls sequences;                   // "limit file" of each capture
    } table[] = {
        // Untimed, each part the callback ends is followed by one in a new work file.
        {1, 900, 3, 900001, -1, {"0 kv1A.avi", "0 kv1B.avi", "0 kv1C.avi"}},
        // The callback ends the second of two exact parts: nothing is left,
        // so no capture with a zero limit follows.
        {1, 900, 3, 900001, 1800, {"1800 kv1A.avi", "900 kv1B.avi"}},
        // 24 hours without parts: consecutive captures of at most 65,535 s,
        // each in a new work file, together as long as the span.
        {0, 900, 2, 65534001, 86400, {"65535 kv1A.avi", "20866 kv1B.avi"}},
        // A part length of 0 or below cannot split a recording: it is made in
        // one piece in the fixed file (every part used to end after its first
        // frame, and a timed recording made new work files until the disk was
        // full). A part longer than 4,294,967 s does not wrap around in ms.
        {1, 0, 5, 1000, -1, {"0 一時ﾌｧｲﾙ.AVI"}},
        {1, -900, 5, 1000, 60, {"60 一時ﾌｧｲﾙ.AVI"}},
        {1, 4294968, 5, 1000, -1, {"0 kv1A.avi"}},
        // With long parts, a part still ends before its limit.
        {1, 100000, 3, 65534001, 150000, {"65535 kv1A.avi", "65535 kv1B.avi", "18932 kv1C.avi"}},
    };
    RecordingAccount parts;
    for (const auto& row : table) {
        SCOPED_TRACE(row.seconds);
        settings.PartCapture = row.partCapture;
        settings.PartTime = row.partTime;
        services.nextTemp = 0x1A;
        services.files.clear();
        port.onSequence = PartsEndedByCallback(row.parts, row.endsAt);
        parts = row.seconds < 0 ? device->Record(false) : device->RecordTimed(row.seconds);
        EXPECT_EQ(std::tuple(Sequences(), parts.files.size()), std::tuple(row.sequences, row.sequences.size()));
    }
    // Stored as parts, each takes its number in recording order.
    log.clear();
    device->StoreRecording(parts, "D:\\work\\x.avi", true, [](const StoredRecording&) {});
    EXPECT_EQ(log, (Calls{"move D:\\work\\kv1A.avi -> D:\\work\\x_01.avi", "move D:\\work\\kv1B.avi -> D:\\work\\x_02.avi",
                          "move D:\\work\\kv1C.avi -> D:\\work\\x_03.avi"}));
}

TEST_F(RecordingTest, WhatARecordingDidIsItsAccountAndARefusedCaptureIsAFailure) {
    // The figures of every part add up; a span cut short by a failure says so.
    settings.PartCapture = 1;
    int captures = 0;
    port.onSequence = [&captures](FakeCapturePort& p) {
        p.status = {.dwCurrentVideoFrame = 100, .dwCurrentVideoFramesDropped = 2, .dwCurrentTimeElapsedMS = 900001};
        if (++captures == 2) p.errorCallback(4014, "full");
        return p.capControl(kCaptureStateCapturing);
    };
    RecordingAccount cut = device->RecordTimed(3600);
    EXPECT_EQ(std::tuple(cut.frames, cut.dropped, cut.elapsedMs, cut.files.size(), cut.failure, cut.cutShort),
              std::tuple(200u, 4u, 1800002u, 2u, std::string("full"), std::string("full")));
    EXPECT_EQ(cut.failureKind, RecordingFailure::Device);
    // The next recording starts with a clean slate; a capture the device
    // refuses records nothing and leaves no file to store.
    settings.PartCapture = 0;
    port.status = CapStatus{};
    port.failing = {"SEQUENCE"};
    const RecordingAccount refused = device->RecordTimed(60);
    EXPECT_EQ(std::tuple(refused.failureKind, refused.files.empty(), refused.Recorded()),
              std::tuple(RecordingFailure::Refused, true, false));
    // One the user declined at the confirmation is no failure.
    EXPECT_EQ(device->Record(true).failureKind, RecordingFailure::None);
    // The fixed one cannot be written; no new one; a new one whose name cannot be written.
    port.Take();
    services.unwritable = {"D:\\work\\一時ﾌｧｲﾙ.AVI", "D:\\work\\kv1C.avi"};  // kv1A and kv1B were the parts
    for (auto [fixed, noTemp] : {std::pair{1, false}, {0, true}, {0, false}}) {
        settings.FixedTempFile = fixed;
        services.tempFails = noTemp;
        EXPECT_EQ(device->Record(false).failureKind, RecordingFailure::WorkFile);
        EXPECT_EQ(Sequences(), Calls{});
    }
}

TEST_F(RecordingTest, AScheduledRunsOwnFileMovesToItsNameAndThePreAllocatedOneIsCopiedBesideTheNext) {
    std::vector<StoredRecording> stored;
    const auto keep = [&stored](StoredRecording s) { stored.push_back(std::move(s)); };
    const TimedOptions own{true, {}};
    RecordingAccount run = device->RecordTimed(10, own);
    device->StoreRecording(run, "D:\\work\\a.avi", false, keep);
    EXPECT_EQ(log.back(), "move D:\\work\\kv1A.avi -> D:\\work\\a.avi");
    EXPECT_EQ(port.captureFile, "D:\\work\\一時ﾌｧｲﾙ.AVI");  // the fixed one is the work file again
    // Pre-allocated: the fixed file records and is copied; meanwhile the
    // next recording goes to a fresh file; a failed copy keeps it aside.
    settings.TempFile = 1;
    services.files.insert("D:\\work\\一時ﾌｧｲﾙ.AVI");
    run = device->RecordTimed(10, own);
    device->StoreRecording(run, "D:\\work\\b.avi", false, keep);
    EXPECT_EQ(log.back(), "copy D:\\work\\一時ﾌｧｲﾙ.AVI -> D:\\work\\b.avi 1000");
    EXPECT_EQ(device->RecordTimed(10, own).files, Calls{"D:\\work\\kv1B.avi"});
    services.freeBytes = 5000;
    EXPECT_EQ(device->RoomFor(10)->available, 4000u);  // the copy takes its share
    services.FinishCopies(false);
    EXPECT_EQ(stored.back().files, Calls{"D:\\work\\kv1C.avi"});
    EXPECT_EQ(stored.back().kept, "D:\\work\\b.avi へ保存できませんでした。録画は D:\\work\\kv1C.avi にあります");
    EXPECT_EQ(device->RecordTimed(10, own).files, Calls{"D:\\work\\一時ﾌｧｲﾙ.AVI"});
    // A work file gone before it could be stored (its folder removed) is
    // told as lost, never as kept where it was.
    settings.TempFile = 0;
    run = device->RecordTimed(10, own);
    services.files.erase(run.files.front());
    services.moveSucceeds = false;
    device->StoreRecording(run, "D:\\work\\c.avi", false, keep);
    EXPECT_EQ(stored.back().files, Calls{});
    EXPECT_EQ(stored.back().kept, "D:\\work\\c.avi へ保存できませんでした。録画したﾌｧｲﾙ " + run.files.front() + " がなくなっていました");
}

TEST_F(RecordingTest, AllocationIsClampedAndSaveAsMovesOnTheSameDriveOrCopiesBesideTheWindow) {
    for (const int megabytes : {5000, -3}) EXPECT_TRUE(device->AllocateWorkFile(megabytes));  // to what the capture window takes
    EXPECT_TRUE(testing::InOrder(port.Take(), {"FILE_SET_CAPTURE_FILE D:\\work\\一時ﾌｧｲﾙ.AVI", "FILE_ALLOCATE 4293918720",
                                               "FILE_ALLOCATE 0"}));
    port.failing = {"FILE_ALLOCATE"};
    EXPECT_FALSE(device->AllocateWorkFile(1));  // told by the temp-disk dialog
    settings.SpeedSave = 1;
    // A failed move keeps the work file and tells the user; network paths
    // count as the same drive; elsewhere a copy runs beside the window and
    // tells how it ended.
    const std::tuple<const char*, const char*, bool, std::string> saves[] = {
        {"D:\\work\\kv1A.avi", "d:\\movie.avi", false, "save failure d:\\movie.avi"},
        {"D:\\work\\kv1A.avi", "d:\\movie.avi", true, "move D:\\work\\kv1A.avi -> d:\\movie.avi"},
        {"\\\\srv\\cap\\kv1A.avi", "\\\\nas\\movies\\x.avi", true, "move \\\\srv\\cap\\kv1A.avi -> \\\\nas\\movies\\x.avi"},
        {"D:\\work\\kv1A.avi", "E:\\x.avi", true, "saved E:\\x.avi"}};
    for (const auto& [file, answer, moves, told] : saves) {
        services.moveSucceeds = moves;
        port.captureFile = file;
        services.files.insert(file);
        services.saveAnswer = answer;
        device->SaveAs();
        services.FinishCopies(true);
        EXPECT_EQ(log.back(), told) << answer;
    }
}

}  // namespace
}  // namespace kestrova
