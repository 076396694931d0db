#include "capture/capture_device.h"
#include "fake_capture_port.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <tuple>

namespace kestrova {
namespace {

using Calls = std::vector<std::string>;

// A capture that the part callback ends once per call, `parts` times.
std::function<bool(testing::FakeCapturePort&)> PartsEndedByCallback(int parts, std::uint32_t elapsedMs) {
    auto count = std::make_shared<int>(0);
    return [count, parts, elapsedMs](testing::FakeCapturePort& port) {
        if ((*count)++ < parts - 1) {
            port.status.dwCurrentTimeElapsedMS = elapsedMs;
            EXPECT_FALSE(port.capControl(kCaptureStateCapturing));
        }
        return true;
    };
}

// The fixture is the device's services: its files and the user's answers,
// with what it was asked to do in `log`.
class RecordingTest : public ::testing::Test, public testing::FakeDeviceServices {
protected:
    void SetUp() override {
        settings.TempPath = "D:\\work";
        sink.bar = false;  // no status bar
        device = std::make_unique<CaptureDevice>(port, settings, sink, this);
        device->Create("VideoCapture", kStyleChild, 0, 0, 320, 240, 0x10, 1);
        port.Take();
    }
    // The captures started since the last Take.
    Calls Sequences() {
        Calls out;
        for (const std::string& c : port.calls) {
            if (c.rfind("SEQUENCE", 0) == 0) out.push_back(c);
        }
        return out;
    }

    testing::FakeCapturePort port;
    AppSettings settings;
    testing::FakeStatusSink sink;
    std::unique_ptr<CaptureDevice> device;
};

TEST_F(RecordingTest, FixedWorkFileRecordingSendsItsMessagesInOrder) {
    EXPECT_EQ(device->Record(false), 1);
    EXPECT_EQ(port.Take(), (Calls{"SET_CALLBACK_CAPCONTROL null", "SET_CALLBACK_ERROR set",
                                  "SET_SEQUENCE_SETUP period=66666 audio=1 left=1 right=1 buffers=5",
                                  "SEQUENCE limit=0 file=D:\\work\\一時ﾌｧｲﾙ.AVI", "SET_CALLBACK_CAPCONTROL null",
                                  "SET_CALLBACK_ERROR null"}));
    EXPECT_TRUE(device->PartFileList().empty());
    EXPECT_EQ(title, "");  // the title is not touched
    EXPECT_EQ(std::tuple(port.params.vKeyAbort, port.params.dwIndexSize, port.params.fLimitEnabled),
              std::tuple(0x401Bu, 0xFFFFFFFFu, 0));
    device->Record(true);
    EXPECT_EQ(port.calls[2], "SET_SEQUENCE_SETUP confirm period=66666 audio=1 left=1 right=1 buffers=5");
}

TEST_F(RecordingTest, NewWorkFilePerRecordingNeverOverwritesAnOldOne) {
    settings.FixedTempFile = 0;
    // kv1B.avi is left from an earlier run: that name is passed over.
    files.insert("D:\\work\\kv1B.avi");
    EXPECT_EQ(device->Record(false), 1);
    EXPECT_EQ(Sequences(), Calls{"SEQUENCE limit=0 file=D:\\work\\kv1A.avi"});
    EXPECT_EQ(device->PartFileList(), Calls{"D:\\work\\kv1A.avi"});
    EXPECT_EQ(title, "D:\\work\\kv1A.avi");
    port.Take();
    EXPECT_EQ(device->Record(false), 1);
    EXPECT_EQ(Sequences(), Calls{"SEQUENCE limit=0 file=D:\\work\\kv1C.avi"});
    // The passed-over and the used temporary files are all gone again.
    EXPECT_EQ(files, (std::set<std::string>{"D:\\work\\kv1B.avi"}));

    // Back to the fixed work file: the recording goes there, not into the
    // last new work file, and the title says so.
    settings.FixedTempFile = 1;
    port.Take();
    device->Record(false);
    EXPECT_EQ(Sequences(), Calls{"SEQUENCE limit=0 file=D:\\work\\一時ﾌｧｲﾙ.AVI"});
    EXPECT_EQ(title, "D:\\work\\一時ﾌｧｲﾙ.AVI");
}

TEST_F(RecordingTest, PartsEachGetANewWorkFileUntilAStopConditionAndGetNumberedNames) {
    device->RenamePartFiles("D:\\Capture\\12-24(20時00分00秒).avi");  // none yet
    EXPECT_TRUE(log.empty());
    settings.PartCapture = 1;
    port.onSequence = PartsEndedByCallback(3, 900001);
    EXPECT_EQ(device->Record(true), 1);
    EXPECT_EQ(Sequences(), (Calls{"SEQUENCE limit=0 file=D:\\work\\kv1A.avi",
                                  "SEQUENCE limit=0 file=D:\\work\\kv1B.avi",
                                  "SEQUENCE limit=0 file=D:\\work\\kv1C.avi"}));
    // Exactly the part length does not end a part yet; other states go on.
    port.status.dwCurrentTimeElapsedMS = 900000;
    EXPECT_TRUE(device->PartControlCallback(kCaptureStateCapturing));
    port.status.dwCurrentTimeElapsedMS = 5000000;
    EXPECT_TRUE(device->PartControlCallback(1));

    log.clear();
    device->RenamePartFiles("D:\\Capture\\12-24(20時00分00秒).avi");
    EXPECT_EQ(log, (Calls{"move D:\\work\\kv1A.avi -> D:\\Capture\\12-24(20時00分00秒)_01.avi",
                          "move D:\\work\\kv1B.avi -> D:\\Capture\\12-24(20時00分00秒)_02.avi",
                          "move D:\\work\\kv1C.avi -> D:\\Capture\\12-24(20時00分00秒)_03.avi"}));
}

TEST_F(RecordingTest, TimedRecordingsSplitAtTheirPartsAndAtSixteenBitLimits) {
    const struct {
        int partCapture, partTime, parts;  // captures the part callback ends
        std::uint32_t partEndsAt;          // ms
        std::int32_t seconds;
        Calls sequences;  // "limit file" of each capture
    } table[] = {
        {0, 900, 1, 0, 600, {"600 一時ﾌｧｲﾙ.AVI"}},
        {1, 900, 2, 900001, 1000, {"1000 kv1A.avi", "100 kv1B.avi"}},
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
        nextTemp = 0x1A;
        files.clear();
        port.onSequence = PartsEndedByCallback(row.parts, row.partEndsAt);
        EXPECT_EQ(device->RecordTimed(row.seconds), 1);
        Calls expected;
        for (const std::string& s : row.sequences) {
            const std::size_t space = s.find(' ');
            expected.push_back("SEQUENCE limit=" + s.substr(0, space) + " file=D:\\work\\" + s.substr(space + 1));
        }
        EXPECT_EQ(Sequences(), expected);
        EXPECT_EQ(device->PartFileList().size(), row.sequences.size() > 1 ? row.sequences.size() : 0);
        EXPECT_EQ(port.params.fMakeUserHitOKToCapture, 0);
        port.Take();
    }
}

// A part length of 0 or below cannot split a recording: it is made in one
// piece (every part used to end after its first frame, and a timed
// recording made new work files until the disk was full). A part longer
// than 4,294,967 s does not wrap around in milliseconds either.
TEST_F(RecordingTest, PartLengthsThatCannotSplitRecordInOnePiece) {
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
        EXPECT_EQ(device->RecordTimed(60), 1);
        EXPECT_EQ(device->Record(false), 1);
        EXPECT_EQ(Sequences().size(), 2u);
        port.Take();
    }
}

TEST_F(RecordingTest, AWorkFileThatCannotBeWrittenIsAFailureTheUserSees) {
    // The fixed work file (a missing or read-only directory, a device name,
    // a file another program writes): told before anything is sent.
    unwritable.insert("D:\\work\\一時ﾌｧｲﾙ.AVI");
    EXPECT_EQ(device->Record(false), 0);
    EXPECT_EQ(device->RecordTimed(60), 0);
    EXPECT_EQ(port.Take(), Calls{});
    EXPECT_EQ(log, (Calls{"work file failure", "work file failure"}));
    // No new work file, or one whose name cannot be written.
    settings.FixedTempFile = 0;
    unwritable.insert("D:\\work\\kv1A.avi");
    for (const bool noTemp : {true, false}) {
        tempFails = noTemp;
        log.clear();
        EXPECT_EQ(device->Record(false), 0);
        EXPECT_EQ(Sequences(), Calls{});
        EXPECT_EQ(port.Take().back(), "SET_CALLBACK_ERROR null");
        EXPECT_EQ(log.back(), "work file failure");
    }
}

TEST_F(RecordingTest, AFailureTheCaptureWindowReportsEndsTheRecordingAndIsTold) {
    // A full disk in the second of several parts: no third part, one box.
    settings.PartCapture = 1;
    int captures = 0;
    port.onSequence = [&captures](testing::FakeCapturePort& p) {
        p.errorCallback(0, "");  // clears: not a failure
        if (++captures == 2) p.errorCallback(4014, "ﾃﾞｨｽｸがいっぱいになったため録画を終了しました\nD:\\work\\kv1B.avi");
        p.status.dwCurrentTimeElapsedMS = 900001;
        return p.capControl(kCaptureStateCapturing);
    };
    EXPECT_EQ(device->RecordTimed(3600), 1);
    EXPECT_EQ(Sequences().size(), 2u);
    EXPECT_EQ(log.back(), "recording failure ﾃﾞｨｽｸがいっぱいになったため録画を終了しました\nD:\\work\\kv1B.avi");
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("recording", 0) == 0; }), 1);
    // The next recording starts with a clean slate.
    port.onSequence = nullptr;
    log.clear();
    EXPECT_EQ(device->Record(false), 1);
    EXPECT_TRUE(log.empty() || log.back().rfind("recording", 0) != 0);
}

TEST_F(RecordingTest, WorkDirectoryAllocationAndAudioFormat) {
    device->SetWorkDirectory("E:\\cap\\");
    EXPECT_EQ(device->captureFile(), "E:\\cap\\一時ﾌｧｲﾙ.AVI");
    EXPECT_EQ(title, "E:\\cap\\一時ﾌｧｲﾙ.AVI");
    port.Take();
    for (const int megabytes : {100, 5000, -3}) device->AllocateWorkFile(megabytes);
    EXPECT_EQ(port.Take(), (Calls{"FILE_SET_CAPTURE_FILE E:\\cap\\一時ﾌｧｲﾙ.AVI", "FILE_ALLOCATE 104857600",
                                  "FILE_SET_CAPTURE_FILE E:\\cap\\一時ﾌｧｲﾙ.AVI", "FILE_ALLOCATE 4293918720",
                                  "FILE_SET_CAPTURE_FILE E:\\cap\\一時ﾌｧｲﾙ.AVI", "FILE_ALLOCATE 0"}));

    audioAnswer = WaveFormat{1, 1, 22050, 22050, 1, 8, 22};  // the extra bytes are not passed on
    EXPECT_EQ(device->ChooseAudioFormat(), 1);
    EXPECT_EQ(port.Take(), (Calls{"GET_AUDIOFORMAT",
                                  "SET_AUDIOFORMAT tag=1 ch=1 rate=22050 avg=22050 align=1 bits=8 cb=0"}));
}

TEST_F(RecordingTest, SaveAsMovesOrCopiesAndReportsFailure) {
    EXPECT_EQ(device->SaveAs(), 0);  // cancelled
    port.captureFile = "D:\\work\\kv1A.avi";
    saveAnswer = "d:\\movie.avi";
    settings.SpeedSave = 1;
    port.Take();
    EXPECT_EQ(device->SaveAs(), 1);
    EXPECT_EQ(log, Calls{"move D:\\work\\kv1A.avi -> d:\\movie.avi"});
    // After a move the fixed work file is the capture file again.
    EXPECT_EQ(port.Take(), (Calls{"FILE_GET_CAPTURE_FILE", "FILE_SET_CAPTURE_FILE D:\\work\\一時ﾌｧｲﾙ.AVI"}));
    EXPECT_EQ(title, "D:\\work\\一時ﾌｧｲﾙ.AVI");

    // A failed move keeps the work file and tells the user.
    moveSucceeds = false;
    port.captureFile = "D:\\work\\kv1A.avi";
    device->SaveAs();
    EXPECT_EQ(log.back(), "save failure d:\\movie.avi");
    EXPECT_EQ(port.captureFile, "D:\\work\\kv1A.avi");

    // Another drive, or fast save off: the capture window copies.
    log.clear();
    saveAnswer = "C:\\movie.avi";
    port.Take();
    device->SaveAs();
    EXPECT_EQ(port.Take(), (Calls{"FILE_GET_CAPTURE_FILE", "FILE_SAVEAS C:\\movie.avi"}));
    port.saveAsSucceeds = false;
    device->SaveAs();
    EXPECT_EQ(log, Calls{"save failure C:\\movie.avi"});

    // Network paths count as the same drive.
    log.clear();
    moveSucceeds = true;
    port.captureFile = "\\\\srv\\cap\\kv1A.avi";
    device->SaveWorkFileTo("\\\\nas\\movies\\x.avi");
    EXPECT_EQ(log, Calls{"move \\\\srv\\cap\\kv1A.avi -> \\\\nas\\movies\\x.avi"});
}

TEST_F(RecordingTest, SnapshotsAreNumberedOrAskedForAndNeverClaimedWhenNotWritten) {
    settings.SnapFile = 1;
    settings.SnapFileName = "C:\\shots\\cam";
    device->snapshotCounter = 10000;
    EXPECT_EQ(device->TakeSnapshot(), "C:\\shots\\cam10000.bmp");
    EXPECT_EQ(device->snapshotCounter, 10001);
    device->snapshotCounter = INT32_MAX;
    EXPECT_EQ(device->TakeSnapshot(), "C:\\shots\\cam2147483647.bmp");
    EXPECT_EQ(device->snapshotCounter, INT32_MAX);
    // Overwrite warning: No keeps everything, Yes replaces; without the
    // warning an existing file is replaced silently.
    files.insert("C:\\shots\\cam0003.bmp");
    for (auto [warn, yes] : {std::pair{1, false}, {1, true}, {0, false}}) {
        SCOPED_TRACE(warn + yes);
        settings.SnapOverWrite = warn;
        overwriteAnswer = yes;
        device->snapshotCounter = 3;
        log.clear();
        EXPECT_EQ(device->TakeSnapshot(), warn && !yes ? "" : "C:\\shots\\cam0003.bmp");
        EXPECT_EQ(device->snapshotCounter, warn && !yes ? 3 : 4);
        if (!warn) {
            EXPECT_EQ(log, Calls{"delete C:\\shots\\cam0003.bmp"});
        }
    }

    // Not numbered: asked for, in the work file's directory.
    settings.SnapFile = 0;
    port.captureFile = "D:\\work\\kv1A.avi";
    EXPECT_EQ(device->TakeSnapshot(), "");  // cancelled
    EXPECT_EQ(snapshotDirectory, "D:\\work\\");
    snapshotAnswer = "D:\\pics\\a.bmp";
    port.Take();
    EXPECT_EQ(device->TakeSnapshot(), "D:\\pics\\a.bmp");
    EXPECT_EQ(port.Take(), (Calls{"FILE_GET_CAPTURE_FILE", "FILE_SAVEDIB D:\\pics\\a.bmp"}));
    port.saveDibSucceeds = false;
    EXPECT_EQ(device->TakeSnapshot(), "");
    EXPECT_EQ(log.back(), "snapshot failure D:\\pics\\a.bmp");
}

TEST(RecordingStatistics, Format) {
    CapStatus s;
    s.dwCurrentVideoFrame = 53946;
    s.dwCurrentTimeElapsedMS = 1800020;
    s.dwCurrentVideoFramesDropped = 4294967295u;
    EXPECT_EQ(FormatRecordingStatistics(s), "53946 ﾌﾚｰﾑ 4294967295 ﾄﾞﾛｯﾌﾟ 1800.020 秒");
}

}  // namespace
}  // namespace kestrova
