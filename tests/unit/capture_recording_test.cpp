// Recording and saving on the device's side (snapshots: capture_device_test). Real recordings, Save As, snapshots and
// work files that cannot be made are in tests/e2e/test_recording.py and test_failures.py.
#include "capture/capture_device.h"
#include "recording_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <tuple>

namespace kestrova {
namespace {

using Calls = std::vector<std::string>;
using testing::PartsEndedByCallback;
using testing::RecordingTest;

TEST_F(RecordingTest, TheErrorCallbackIsOnlySetWhileTheCaptureRunsAndNoWorkFileIsUsedTwice) {
    EXPECT_TRUE(device->Record(false));
    EXPECT_EQ(port.Take(), (Calls{"SET_CALLBACK_CAPCONTROL null", "SET_CALLBACK_ERROR set",
                                  "SET_SEQUENCE_SETUP period=66666 audio=1 left=1 right=1 buffers=5",
                                  "SEQUENCE limit=0 file=D:\\work\\一時ﾌｧｲﾙ.AVI",
                                  "SET_CALLBACK_CAPCONTROL null", "SET_CALLBACK_ERROR null"}));
    // A new work file per recording never overwrites an old one.
    settings.FixedTempFile = 0;
    services.files.insert("D:\\work\\kv1B.avi");  // left from an earlier run: passed over
    EXPECT_TRUE(device->Record(false));
    EXPECT_TRUE(device->Record(false));
    EXPECT_EQ(Sequences(), (Calls{"0 kv1A.avi", "0 kv1C.avi"}));
    // The passed-over and the used temporary files are all gone again.
    EXPECT_EQ(services.files, (std::set<std::string>{"D:\\work\\kv1B.avi"}));
}

TEST_F(RecordingTest, PartsGetNewWorkFilesAndNumberedNamesAndTimedOnesSplitAtSixteenBitLimits) {
    settings.PartCapture = 1;
    port.onSequence = PartsEndedByCallback(3, 900001);
    EXPECT_TRUE(device->Record(true));
    EXPECT_EQ(Sequences(), (Calls{"0 kv1A.avi", "0 kv1B.avi", "0 kv1C.avi"}));
    // Exactly the part length does not end a part yet.
    port.status.dwCurrentTimeElapsedMS = 900000;
    EXPECT_TRUE(device->PartControlCallback(kCaptureStateCapturing));
    log.clear();
    device->RenamePartFiles("D:\\Capture\\x.avi");
    EXPECT_EQ(log, (Calls{"move D:\\work\\kv1A.avi -> D:\\Capture\\x_01.avi",
                          "move D:\\work\\kv1B.avi -> D:\\Capture\\x_02.avi",
                          "move D:\\work\\kv1C.avi -> D:\\Capture\\x_03.avi"}));

    const struct {
        int partCapture, partTime, parts;  // captures the part callback ends
        std::uint32_t partEndsAt;          // ms
        std::int32_t seconds;
        Calls sequences;  // "limit file" of each capture
    } table[] = {
        // The callback ends the second of two exact parts: nothing is left,
        // so no capture with a zero limit follows.
        {1, 900, 3, 900001, 1800, {"1800 kv1A.avi", "900 kv1B.avi"}},
        // 24 hours without parts: consecutive captures of at most 65,535 s,
        // each in a new work file, together as long as the span.
        {0, 900, 2, 65534001, 86400, {"65535 kv1A.avi", "20866 kv1B.avi"}},
        // With long parts, a part still ends before its limit.
        {1, 100000, 3, 65534001, 150000, {"65535 kv1A.avi", "65535 kv1B.avi", "18932 kv1C.avi"}},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.seconds);
        settings.PartCapture = row.partCapture;
        settings.PartTime = row.partTime;
        services.nextTemp = 0x1A;
        services.files.clear();
        port.onSequence = PartsEndedByCallback(row.parts, row.partEndsAt);
        EXPECT_TRUE(device->RecordTimed(row.seconds));
        EXPECT_EQ(Sequences(), row.sequences);
        EXPECT_EQ(device->PartFileList().size(), row.sequences.size());
    }

    // A part length of 0 or below cannot split a recording: it is made in one
    // piece (every part used to end after its first frame, and a timed
    // recording made new work files until the disk was full). A part longer
    // than 4,294,967 s does not wrap around in milliseconds either.
    settings.PartCapture = 1;
    int captures = 0;
    port.onSequence = [&captures](testing::FakeCapturePort& p) {
        p.status.dwCurrentTimeElapsedMS = 1000;  // a second in; a runaway loop is cut off
        if (++captures < 5 && p.capControl) p.capControl(kCaptureStateCapturing);
        return true;
    };
    for (const int partTime : {0, -900, 4294968}) {
        SCOPED_TRACE(partTime);
        settings.PartTime = partTime;
        captures = 0;
        EXPECT_TRUE(device->RecordTimed(60));
        EXPECT_TRUE(device->Record(false));
        EXPECT_EQ(Sequences().size(), 2u);
    }
}

TEST_F(RecordingTest, AWorkFileThatCannotBeWrittenIsToldBeforeAnythingIsSent) {
    // The fixed one; no new one; a new one whose name cannot be written.
    services.unwritable = {"D:\\work\\一時ﾌｧｲﾙ.AVI", "D:\\work\\kv1A.avi"};
    for (auto [fixed, noTemp] : {std::pair{1, false}, {0, true}, {0, false}}) {
        settings.FixedTempFile = fixed;
        services.tempFails = noTemp;
        EXPECT_FALSE(device->Record(false));
        EXPECT_EQ(Sequences(), Calls{});
        EXPECT_EQ(log.back(), "work file failure");
    }
}

TEST_F(RecordingTest, AFailureTheCaptureWindowReportsEndsTheSpanAndIsToldOnce) {
    // A full disk in the second of several parts: no third part, one box.
    settings.PartCapture = 1;
    int captures = 0;
    port.onSequence = [&captures](testing::FakeCapturePort& p) {
        p.errorCallback(0, "");  // clears: not a failure
        if (++captures == 2) p.errorCallback(4014, "full");
        p.status.dwCurrentTimeElapsedMS = 900001;
        return p.capControl(kCaptureStateCapturing);
    };
    EXPECT_TRUE(device->RecordTimed(3600));
    EXPECT_EQ(Sequences().size(), 2u);
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("rec", 0) == 0; }), 1);
    EXPECT_EQ(log.back(), "recording failure full");
    // The next recording starts with a clean slate.
    port.onSequence = nullptr;
    EXPECT_TRUE(device->Record(false));
    EXPECT_EQ(std::count(log.begin(), log.end(), "recording failure full"), 1);
}

TEST_F(RecordingTest, AllocationIsClampedAndSaveAsMovesOnTheSameDriveAndTellsAFailedMove) {
    for (const int megabytes : {5000, -3}) device->AllocateWorkFile(megabytes);  // to what the capture window takes
    EXPECT_EQ(port.Take(), (Calls{"FILE_SET_CAPTURE_FILE D:\\work\\一時ﾌｧｲﾙ.AVI", "FILE_ALLOCATE 4293918720",
                                  "FILE_SET_CAPTURE_FILE D:\\work\\一時ﾌｧｲﾙ.AVI", "FILE_ALLOCATE 0"}));
    settings.SpeedSave = 1;
    services.saveAnswer = "d:\\movie.avi";
    // A failed move keeps the work file and tells the user; after a move the
    // fixed work file is the capture file again.
    for (const bool moves : {false, true}) {
        services.moveSucceeds = moves;
        port.captureFile = "D:\\work\\kv1A.avi";
        device->SaveAs();
        EXPECT_EQ(log.back(), moves ? "move D:\\work\\kv1A.avi -> d:\\movie.avi" : "save failure d:\\movie.avi");
        EXPECT_EQ(port.captureFile, moves ? "D:\\work\\一時ﾌｧｲﾙ.AVI" : "D:\\work\\kv1A.avi");
    }
    // Network paths count as the same drive (copies to another are in tests/e2e).
    port.captureFile = "\\\\srv\\cap\\kv1A.avi";
    device->SaveWorkFileTo("\\\\nas\\movies\\x.avi");
    EXPECT_EQ(log.back(), "move \\\\srv\\cap\\kv1A.avi -> \\\\nas\\movies\\x.avi");
}

}  // namespace
}  // namespace kestrova
