#include "capture/capture_device.h"
#include "fake_capture_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace kestrova {
namespace {

using Calls = std::vector<std::string>;

struct NoBar : StatusSink {
    bool HasStatusBar() const override { return false; }
    void ShowOwnerDrawn(const std::string&) override {}
    void ClearPart0() override {}
};

// Files and answers for the device, recorded.
struct FakeServices : DeviceServices {
    std::set<std::string> files;
    int nextTemp = 0x1A;
    bool tempFails = false;
    bool moveSucceeds = true;
    std::optional<std::string> saveAnswer;
    std::optional<std::string> snapshotAnswer;
    std::string snapshotDirectory;
    bool overwriteAnswer = true;
    std::optional<WaveFormat> audioAnswer;
    std::vector<std::string> log;
    std::string title;

    std::optional<std::string> CreateTempFile(const std::string& dir, const std::string& prefix) override {
        if (tempFails) return std::nullopt;
        char name[16];
        std::snprintf(name, sizeof name, "%s%X.tmp", prefix.c_str(), nextTemp++);
        std::string path = dir + "\\" + name;
        files.insert(path);
        return path;
    }
    bool FileExists(const std::string& path) override { return files.count(path) != 0; }
    bool RemoveFile(const std::string& path) override {
        log.push_back("delete " + path);
        return files.erase(path) != 0;
    }
    bool MoveReplacing(const std::string& from, const std::string& to) override {
        log.push_back("move " + from + " -> " + to);
        if (!moveSucceeds) return false;
        files.erase(from);
        files.insert(to);
        return true;
    }
    std::optional<std::string> AskSaveVideoPath() override { return saveAnswer; }
    std::optional<std::string> AskSnapshotPath(const std::string& directory) override {
        snapshotDirectory = directory;
        return snapshotAnswer;
    }
    bool AskOverwrite(const std::string& name) override {
        log.push_back("ask overwrite " + name);
        return overwriteAnswer;
    }
    std::optional<WaveFormat> ChooseAudioFormat(const WaveFormat&) override { return audioAnswer; }
    void ShowWorkFileFailure() override { log.push_back("work file failure"); }
    void ShowSaveFailure(const std::string& target) override { log.push_back("save failure " + target); }
    void ShowSnapshotFailure(const std::string& name) override { log.push_back("snapshot failure " + name); }
    void SetWorkFileTitle(const std::string& path) override { title = path; }
};

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

class RecordingTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.TempPath = "D:\\work";
        Make();
    }
    void Make() {
        device = std::make_unique<CaptureDevice>(port, settings, bar, &services);
        device->Create("VideoCapture", kStyleChild, 0, 0, 320, 240, 0x10, 1);
        port.Take();
    }
    std::vector<std::string> Sequences() {
        Calls out;
        for (const std::string& c : port.calls)
            if (c.rfind("SEQUENCE", 0) == 0) out.push_back(c);
        return out;
    }

    testing::FakeCapturePort port;
    AppSettings settings;
    NoBar bar;
    FakeServices services;
    std::unique_ptr<CaptureDevice> device;
};

TEST_F(RecordingTest, FixedWorkFileRecordingSendsItsMessagesInOrder) {
    EXPECT_EQ(device->Record(false), 1);
    EXPECT_EQ(port.Take(), (Calls{"SET_CALLBACK_CAPCONTROL null",
                                  "SET_SEQUENCE_SETUP period=66666 audio=1 left=1 right=1 buffers=5",
                                  "SEQUENCE limit=0 file=D:\\work\\一時ﾌｧｲﾙ.AVI", "SET_CALLBACK_CAPCONTROL null"}));
    EXPECT_TRUE(device->PartFileList().empty());
    EXPECT_EQ(services.title, "");  // the title is not touched
    EXPECT_EQ(port.params.vKeyAbort, 0x401Bu);
    EXPECT_EQ(port.params.dwIndexSize, 0xFFFFFFFFu);
    EXPECT_EQ(port.params.fLimitEnabled, 0);
    device->Record(true);
    EXPECT_EQ(port.calls[1].find("confirm") != std::string::npos, true);
}

TEST_F(RecordingTest, NewWorkFilePerRecordingNeverOverwritesAnOldOne) {
    settings.FixedTempFile = 0;
    // kv1B.avi is left from an earlier run: that name is passed over.
    services.files.insert("D:\\work\\kv1B.avi");
    EXPECT_EQ(device->Record(false), 1);
    EXPECT_EQ(Sequences(), Calls{"SEQUENCE limit=0 file=D:\\work\\kv1A.avi"});
    EXPECT_EQ(device->PartFileList(), Calls{"D:\\work\\kv1A.avi"});
    EXPECT_EQ(services.title, "D:\\work\\kv1A.avi");
    port.Take();
    EXPECT_EQ(device->Record(false), 1);
    EXPECT_EQ(Sequences(), Calls{"SEQUENCE limit=0 file=D:\\work\\kv1C.avi"});
    // The passed-over and the used temporary files are all gone again.
    EXPECT_EQ(services.files, (std::set<std::string>{"D:\\work\\kv1B.avi"}));

    // Back to the fixed work file: the recording goes there, not into the
    // last new work file, and the title says so.
    settings.FixedTempFile = 1;
    port.Take();
    device->Record(false);
    EXPECT_EQ(Sequences(), Calls{"SEQUENCE limit=0 file=D:\\work\\一時ﾌｧｲﾙ.AVI"});
    EXPECT_EQ(services.title, "D:\\work\\一時ﾌｧｲﾙ.AVI");
}

TEST_F(RecordingTest, PartsEachGetANewWorkFileUntilAStopCondition) {
    settings.PartCapture = 1;
    port.onSequence = PartsEndedByCallback(3, 900001);
    EXPECT_EQ(device->Record(true), 1);
    EXPECT_EQ(Sequences(), (Calls{"SEQUENCE limit=0 file=D:\\work\\kv1A.avi", "SEQUENCE limit=0 file=D:\\work\\kv1B.avi",
                                  "SEQUENCE limit=0 file=D:\\work\\kv1C.avi"}));
    EXPECT_EQ(device->PartFileList().size(), 3u);
    EXPECT_EQ(port.calls.front(), "SET_CALLBACK_CAPCONTROL set");
    EXPECT_EQ(port.calls.back(), "SET_CALLBACK_CAPCONTROL null");
    // Exactly the part length does not end a part yet.
    port.status.dwCurrentTimeElapsedMS = 900000;
    EXPECT_TRUE(device->PartControlCallback(kCaptureStateCapturing));
    port.status.dwCurrentTimeElapsedMS = 5000000;
    EXPECT_TRUE(device->PartControlCallback(1));  // other states go on
}

TEST_F(RecordingTest, TimedRecordingLimitsAndParts) {
    device->RecordTimed(600);
    EXPECT_EQ(Sequences(), Calls{"SEQUENCE limit=600 file=D:\\work\\一時ﾌｧｲﾙ.AVI"});
    EXPECT_EQ(port.params.fMakeUserHitOKToCapture, 0);
    port.Take();

    settings.PartCapture = 1;
    port.onSequence = PartsEndedByCallback(2, 900001);
    device->RecordTimed(1000);
    EXPECT_EQ(Sequences(), (Calls{"SEQUENCE limit=1000 file=D:\\work\\kv1A.avi",
                                  "SEQUENCE limit=100 file=D:\\work\\kv1B.avi"}));
    port.Take();

    // The callback ends the second of two exact parts: nothing is left, so
    // no capture with a zero limit follows.
    port.onSequence = PartsEndedByCallback(3, 900001);
    device->RecordTimed(1800);
    EXPECT_EQ(Sequences().size(), 2u);
}

TEST_F(RecordingTest, SpansBeyondSixteenBitsAreRecordedWhole) {
    // 24 hours without part capture: consecutive captures of at most
    // 65,535 s, each in a new work file, together as long as the span.
    port.onSequence = PartsEndedByCallback(2, 65534001);
    EXPECT_EQ(device->RecordTimed(86400), 1);
    EXPECT_EQ(Sequences(), (Calls{"SEQUENCE limit=65535 file=D:\\work\\kv1A.avi",
                                  "SEQUENCE limit=20866 file=D:\\work\\kv1B.avi"}));
    EXPECT_EQ(device->PartFileList().size(), 2u);
    port.Take();
    // With part capture and long parts, a part still ends before its limit.
    settings.PartCapture = 1;
    settings.PartTime = 100000;
    port.onSequence = PartsEndedByCallback(3, 65534001);
    device->RecordTimed(150000);
    EXPECT_EQ(Sequences().size(), 3u);
}

TEST_F(RecordingTest, NoWorkFileIsAFailureTheUserSees) {
    settings.FixedTempFile = 0;
    services.tempFails = true;
    EXPECT_EQ(device->Record(false), 0);
    EXPECT_EQ(Sequences(), Calls{});
    EXPECT_EQ(port.calls.back(), "SET_CALLBACK_CAPCONTROL null");
    EXPECT_EQ(services.log, Calls{"work file failure"});
    EXPECT_EQ(device->RecordTimed(60), 0);
}

TEST_F(RecordingTest, WorkDirectoryAllocationAndAudioFormat) {
    device->SetWorkDirectory("E:\\cap\\");
    EXPECT_EQ(device->captureFile(), "E:\\cap\\一時ﾌｧｲﾙ.AVI");
    EXPECT_EQ(services.title, "E:\\cap\\一時ﾌｧｲﾙ.AVI");
    port.Take();
    device->AllocateWorkFile(100);
    device->AllocateWorkFile(5000);
    device->AllocateWorkFile(-3);
    EXPECT_EQ(port.Take(), (Calls{"FILE_SET_CAPTURE_FILE E:\\cap\\一時ﾌｧｲﾙ.AVI", "FILE_ALLOCATE 104857600",
                                  "FILE_SET_CAPTURE_FILE E:\\cap\\一時ﾌｧｲﾙ.AVI", "FILE_ALLOCATE 4293918720",
                                  "FILE_SET_CAPTURE_FILE E:\\cap\\一時ﾌｧｲﾙ.AVI", "FILE_ALLOCATE 0"}));

    EXPECT_EQ(device->ChooseAudioFormat(), 0);
    EXPECT_EQ(port.Take(), Calls{"GET_AUDIOFORMAT"});
    services.audioAnswer = WaveFormat{1, 1, 22050, 22050, 1, 8, 22};
    EXPECT_EQ(device->ChooseAudioFormat(), 1);
    EXPECT_EQ(port.Take()[1], "SET_AUDIOFORMAT tag=1 ch=1 rate=22050 avg=22050 align=1 bits=8 cb=0");
    EXPECT_EQ(settings.SampleRate, 22050);
    EXPECT_EQ(settings.SampleChannel, 1);
    EXPECT_EQ(settings.SampleBit, 8);
}

TEST_F(RecordingTest, SaveAsMovesOrCopiesAndReportsFailure) {
    EXPECT_EQ(device->SaveAs(), 0);  // cancelled
    port.captureFile = "D:\\work\\kv1A.avi";
    services.saveAnswer = "d:\\movie.avi";
    settings.SpeedSave = 1;
    port.Take();
    EXPECT_EQ(device->SaveAs(), 1);
    EXPECT_EQ(services.log, Calls{"move D:\\work\\kv1A.avi -> d:\\movie.avi"});
    // After a move the fixed work file is the capture file again.
    EXPECT_EQ(port.Take(), (Calls{"FILE_GET_CAPTURE_FILE", "FILE_SET_CAPTURE_FILE D:\\work\\一時ﾌｧｲﾙ.AVI"}));
    EXPECT_EQ(services.title, "D:\\work\\一時ﾌｧｲﾙ.AVI");

    // A failed move keeps the work file and tells the user.
    services.log.clear();
    services.moveSucceeds = false;
    port.captureFile = "D:\\work\\kv1A.avi";
    device->SaveAs();
    EXPECT_EQ(services.log.back(), "save failure d:\\movie.avi");
    EXPECT_EQ(port.captureFile, "D:\\work\\kv1A.avi");

    // Another drive, or fast save off: the capture window copies.
    services.log.clear();
    services.saveAnswer = "C:\\movie.avi";
    port.Take();
    device->SaveAs();
    EXPECT_EQ(port.Take(), (Calls{"FILE_GET_CAPTURE_FILE", "FILE_SAVEAS C:\\movie.avi"}));
    port.saveAsSucceeds = false;
    device->SaveAs();
    EXPECT_EQ(services.log, Calls{"save failure C:\\movie.avi"});

    // Network paths count as the same drive.
    services.log.clear();
    services.moveSucceeds = true;
    port.captureFile = "\\\\srv\\cap\\kv1A.avi";
    device->SaveWorkFileTo("\\\\nas\\movies\\x.avi");
    EXPECT_EQ(services.log, Calls{"move \\\\srv\\cap\\kv1A.avi -> \\\\nas\\movies\\x.avi"});
}

TEST_F(RecordingTest, PartFilesGetNumberedNames) {
    device->RenamePartFiles("D:\\Capture\\12-24(20時00分00秒).avi");
    EXPECT_TRUE(services.log.empty());
    settings.PartCapture = 1;
    port.onSequence = PartsEndedByCallback(3, 900001);
    device->Record(false);
    services.log.clear();
    device->RenamePartFiles("D:\\Capture\\12-24(20時00分00秒).avi");
    EXPECT_EQ(services.log, (Calls{"move D:\\work\\kv1A.avi -> D:\\Capture\\12-24(20時00分00秒)_01.avi",
                                   "move D:\\work\\kv1B.avi -> D:\\Capture\\12-24(20時00分00秒)_02.avi",
                                   "move D:\\work\\kv1C.avi -> D:\\Capture\\12-24(20時00分00秒)_03.avi"}));
}

TEST_F(RecordingTest, NumberedSnapshots) {
    settings.SnapFile = 1;
    EXPECT_EQ(device->TakeSnapshot(), "SNAP0000.bmp");
    EXPECT_EQ(device->snapshotCounter, 1);
    settings.SnapFileName = "C:\\shots\\cam";
    device->snapshotCounter = 7;
    EXPECT_EQ(device->TakeSnapshot(), "C:\\shots\\cam0007.bmp");
    device->snapshotCounter = 10000;
    EXPECT_EQ(device->TakeSnapshot(), "C:\\shots\\cam10000.bmp");

    // Overwrite warning: No keeps everything, Yes replaces.
    settings.SnapOverWrite = 1;
    device->snapshotCounter = 3;
    services.files.insert("C:\\shots\\cam0003.bmp");
    services.overwriteAnswer = false;
    EXPECT_EQ(device->TakeSnapshot(), "");
    EXPECT_EQ(device->snapshotCounter, 3);
    services.overwriteAnswer = true;
    EXPECT_EQ(device->TakeSnapshot(), "C:\\shots\\cam0003.bmp");
    EXPECT_EQ(device->snapshotCounter, 4);
    // Without the warning an existing file is replaced silently.
    settings.SnapOverWrite = 0;
    services.log.clear();
    device->snapshotCounter = 3;
    EXPECT_EQ(device->TakeSnapshot(), "C:\\shots\\cam0003.bmp");
    EXPECT_EQ(services.log, Calls{"delete C:\\shots\\cam0003.bmp"});
}

TEST_F(RecordingTest, SnapshotDialogAndFailures) {
    port.captureFile = "D:\\work\\kv1A.avi";
    EXPECT_EQ(device->TakeSnapshot(), "");
    EXPECT_EQ(services.snapshotDirectory, "D:\\work\\");
    services.snapshotAnswer = "D:\\pics\\a.bmp";
    port.Take();
    EXPECT_EQ(device->TakeSnapshot(), "D:\\pics\\a.bmp");
    EXPECT_EQ(port.Take(), (Calls{"FILE_GET_CAPTURE_FILE", "FILE_SAVEDIB D:\\pics\\a.bmp"}));
    // A snapshot that could not be written is not reported as saved.
    port.saveDibSucceeds = false;
    EXPECT_EQ(device->TakeSnapshot(), "");
    EXPECT_EQ(services.log.back(), "snapshot failure D:\\pics\\a.bmp");

    device->CopyFrameToClipboard();
    EXPECT_EQ(port.Take(), (Calls{"FILE_GET_CAPTURE_FILE", "FILE_SAVEDIB D:\\pics\\a.bmp", "GRAB_FRAME_NOSTOP",
                                  "EDIT_COPY"}));
}

TEST(RecordingStatistics, Format) {
    CapStatus s;
    s.dwCurrentVideoFrame = 53946;
    s.dwCurrentTimeElapsedMS = 1800020;
    EXPECT_EQ(FormatRecordingStatistics(s), "53946 ﾌﾚｰﾑ 0 ﾄﾞﾛｯﾌﾟ 1800.020 秒");
    EXPECT_EQ(FormatRecordingStatistics(CapStatus{}), "0 ﾌﾚｰﾑ 0 ﾄﾞﾛｯﾌﾟ 0.000 秒");
    s.dwCurrentVideoFramesDropped = 4294967295u;
    EXPECT_EQ(FormatRecordingStatistics(s), "53946 ﾌﾚｰﾑ 4294967295 ﾄﾞﾛｯﾌﾟ 1800.020 秒");
}

}  // namespace
}  // namespace kestrova
