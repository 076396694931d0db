#include "history/capture_log.h"
#include "platform/cp932.h"
#include "reservation/scheduler.h"
#include "fake_capture_port.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace kestrova {
namespace {

using Calls = std::vector<std::string>;

// The program around the scheduler: the host's calls and the device's files.
class SchedulerTest : public ::testing::Test, public SchedulerHost, public testing::FakeDeviceServices {
protected:
    void SetUp() override {
        device.Create("VideoCapture", kStyleChild, 0, 0, 320, 240, 0x10, 1);
        scheduler.SetDevice(&device);
        // A capture lasts its time limit on the clock and counts 15 frames a
        // second; a capture of the longest limit is a part the callback ends.
        port.onSequence = [this](testing::FakeCapturePort& p) {
            std::uint32_t seconds = p.params.wTimeLimit;
            if (seconds == 65535 && p.capControl) {
                p.status.dwCurrentTimeElapsedMS = 65534001;
                p.capControl(kCaptureStateCapturing);
                seconds = 65534;
            }
            clock.Advance(seconds);
            p.status.dwCurrentVideoFrame = seconds * 15;
            p.status.dwCurrentTimeElapsedMS = seconds * 1000;
            return true;
        };
        port.Take();
    }

    static std::int64_t At(int day, int hour, int minute, int second) {
        return ManualClock().FromLocal(2001, 5, day, hour, minute, second);
    }
    static ReservationEntry Once(std::int64_t start, std::int64_t end, int powerOff = 0) {
        return ReservationEntry{1, start, end, 0, "", powerOff};
    }

    // SchedulerHost
    void StartTimer() override { host.push_back("start timer"); }
    void StopTimer() override { host.push_back("stop timer"); }
    bool WindowMinimized() override { return minimized; }
    bool WindowVisible() override { return !minimized; }
    void ShowWindow() override { host.push_back("show window"); }
    void SwapTrayIcon(unsigned icon) override { host.push_back("icon " + std::to_string(icon)); }
    void ShowTimerText(const std::string& text) override { status = text; }
    void ClearStatusText() override { status.clear(); }
    void SetTitle(const std::string&) override {}
    void BeginUnattendedRun() override { host.push_back("unattended"); }
    void EndUnattendedRun() override { host.push_back("attended"); }
    void ShowFailure(const std::string& text) override { host.push_back("failure " + text); }
    void Notify(const std::string& text) override { notices.push_back(text); }
    void PowerOff() override { host.push_back("power off"); }
    void WakeAt(std::optional<std::int64_t> time) override {
        host.push_back(time ? "wake " + std::to_string(*time - At(12, 0, 0, 0)) : "no wake");
    }
    void KeepAwake(bool on) override { host.push_back(on ? "awake" : "may sleep"); }
    testing::TempDir tmp;
    std::string logPath_ = tmp.Path(kCaptureLogName);
    ManualClock clock{At(12, 20, 50, 0)};  // Saturday 12 May 2001, Japan
    testing::FakeCapturePort port;
    AppSettings settings = [] {
        AppSettings s;
        s.TempPath = "D:\\work";
        s.FixedTempFile = 0;  // each run its own work file, unless a test says otherwise
        return s;
    }();
    testing::FakeStatusSink sink;
    CaptureDevice device{port, settings, sink, this};
    ReservationTable table;
    Scheduler scheduler{clock, *this, table, settings, tmp.Path(), logPath_};
    Calls host, notices;
    std::string status;

    Calls LogLines() {
        Calls lines;
        std::string text = testing::ReadText(logPath_);
        for (std::size_t at = 0; (at = text.find("\r\n")) != std::string::npos;) {
            lines.push_back(Cp932ToUtf8(text.substr(0, at)));
            text.erase(0, at + 2);
        }
        return lines;
    }
    void TickAt(std::int64_t time) {
        clock.Set(time);
        scheduler.Tick();
    }
    // A tick at `before`, then the clock at `at` with the calls so far forgotten.
    void TickThenSet(std::int64_t before, std::int64_t at) {
        TickAt(before);
        clock.Set(at);
        port.Take();
        host.clear();
    }
    bool Logged(const std::string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }
    long UsedSlots() const {
        return std::count_if(table.begin(), table.end(), [](const ReservationEntry& e) { return e.used != 0; });
    }
    Calls Sequences() {
        Calls out;
        for (const std::string& call : port.Take()) {
            if (call.rfind("SEQUENCE", 0) == 0) out.push_back(call);
        }
        return out;
    }
    bool minimized = false;
};

TEST_F(SchedulerTest, TheMachineWakesBeforeTheStartAndTheRunIsRetired) {
    table[4] = Once(At(12, 21, 0, 0), At(12, 21, 30, 0));
    scheduler.Toggle();
    EXPECT_EQ(scheduler.armedIndex(), 4);
    // The machine wakes a minute before the start and stays awake from two minutes before.
    EXPECT_EQ(host, (Calls{"wake 75540", "start timer"}));
    host.clear();
    TickAt(At(12, 20, 57, 59));
    EXPECT_EQ(host, Calls{"start timer"});  // minutes without a tick: on the whole second again
    host.clear();
    TickAt(At(12, 20, 58, 0));
    EXPECT_EQ(host, Calls{"awake"});
    TickAt(At(12, 21, 0, 0));
    EXPECT_EQ(table[4].used, 0);  // retired; nothing else to wait for
    EXPECT_EQ(std::pair(scheduler.armed(), scheduler.armedIndex()), std::pair(true, -1));
    EXPECT_EQ(host.back(), "no wake");
}

TEST_F(SchedulerTest, BackToBackRecordsEverySecondAndAnOverlapRecordsWhatIsLeft) {
    // 0 and 1 back to back; 2 starts during 0 and outlasts 1; 3 lies inside
    // 2; the weekly 5 (Saturday, a whole day) starts before 2 ends.
    table[0] = Once(At(12, 21, 0, 0), At(12, 21, 0, 10));
    table[1] = Once(At(12, 21, 0, 10), At(12, 21, 0, 20));
    table[2] = Once(At(12, 21, 0, 5), At(12, 21, 0, 30));
    table[3] = Once(At(12, 21, 0, 12), At(12, 21, 0, 15));
    table[5] = ReservationEntry{1, At(5, 21, 0, 25), At(5, 21, 0, 25), 1 << 6, "", 0};
    scheduler.Toggle();
    EXPECT_EQ(status, "TIMER : 2001/ 5/12 21:00:00 [№3と重複]");
    TickThenSet(At(12, 20, 59, 59), At(12, 21, 0, 0));
    scheduler.Tick();
    // The later of two overlapping spans records what is left of it once
    // the earlier is done; 1 and 3 are over by then and told.
    EXPECT_EQ(Sequences(), (Calls{"SEQUENCE limit=10 file=D:\\work\\kv1A.avi", "SEQUENCE limit=20 file=D:\\work\\kv1B.avi",
                                  "SEQUENCE limit=65535 file=D:\\work\\kv1C.avi",
                                  "SEQUENCE limit=20861 file=D:\\work\\kv1D.avi"}));
    EXPECT_EQ(LogLines(), (Calls{"05-12(21時00分00秒)", "150 ﾌﾚｰﾑ 0 ﾄﾞﾛｯﾌﾟ 10.000 秒", "----------",
                                 "05-12(21時00分10秒)", "300 ﾌﾚｰﾑ 0 ﾄﾞﾛｯﾌﾟ 20.000 秒",
                                 "21時00分05秒からの予約を 5 秒遅れて開始しました（別の録画の最中でした）", "----------",
                                 "05-12(21時00分10秒)", "録画されませんでした（別の録画の最中でした）", "----------",
                                 "05-12(21時00分12秒)", "録画されませんでした（別の録画の最中でした）", "----------",
                                 "05-13(21時00分30秒)", "312915 ﾌﾚｰﾑ 0 ﾄﾞﾛｯﾌﾟ 20861.000 秒",
                                 "21時00分25秒からの予約を 5 秒遅れて開始しました（別の録画の最中でした）", "----------"}));
    EXPECT_EQ(notices, (Calls{"予約 2 件が録画されませんでした（別の録画の最中でした）"}));
    // Named by when they really began; the weekly slot moves on a week.
    EXPECT_TRUE(Logged("move D:\\work\\kv1C.avi -> D:\\work\\05-12(21時00分30秒)_01.avi"));
    EXPECT_TRUE(Logged("move D:\\work\\kv1D.avi -> D:\\work\\05-12(21時00分30秒)_02.avi"));
    EXPECT_EQ(std::pair(table[5].start, UsedSlots()), std::pair(At(19, 21, 0, 25), 1L));

}

TEST_F(SchedulerTest, NinetyNineDueInOneSecondRecordOneAndTellTheRest) {
    for (ReservationEntry& entry : table) entry = Once(At(12, 21, 0, 0), At(12, 21, 0, 10));
    table[98].end = At(12, 21, 0, 20);  // the one that outlasts the first records what is left
    scheduler.Toggle();
    TickAt(At(12, 21, 0, 0));
    EXPECT_EQ(Sequences(), (Calls{"SEQUENCE limit=10 file=D:\\work\\kv1A.avi", "SEQUENCE limit=10 file=D:\\work\\kv1B.avi"}));
    EXPECT_EQ(LogLines().size(), 3u + 97 * 3 + 4);
    EXPECT_EQ(notices, Calls{"予約 97 件が録画されませんでした（別の録画の最中でした）"});
    EXPECT_EQ(UsedSlots(), 0);
}

TEST_F(SchedulerTest, WhatPassedWhileClosedAsleepOrDisarmedIsToldAndNothingRecordsTwice) {
    table[0] = Once(At(11, 21, 0, 0), At(11, 21, 30, 0));                               // yesterday
    table[1] = ReservationEntry{1, At(5, 20, 0, 0), At(5, 20, 10, 0), 1 << 6, "", 0};  // last Saturday's
    table[2] = ReservationEntry{1, At(4, 20, 0, 0), At(4, 20, 10, 0), 1 << 6, "", 0};  // a Friday: not an occurrence
    table[3] = Once(At(12, 20, 45, 0), At(12, 20, 55, 0));                              // running since before the start
    scheduler.Start();
    EXPECT_EQ(LogLines(), (Calls{"05-11(21時00分00秒)", "録画されませんでした（Kestrovaが起動していませんでした）",
                                 "----------", "05-05(20時00分00秒)",
                                 "録画されませんでした（Kestrovaが起動していませんでした）", "----------",
                                 "05-12(20時00分00秒)", "録画されませんでした（Kestrovaが起動していませんでした）",
                                 "----------"}));
    EXPECT_EQ(notices.back(), "予約 3 件が録画されませんでした（Kestrovaが起動していませんでした）");
    EXPECT_EQ(std::tuple(table[0].used, table[1].start, table[2].start), std::tuple(0, At(19, 20, 0, 0), At(19, 20, 0, 0)));
    clock.Set(At(12, 20, 50, 30));
    scheduler.Toggle();  // armed late: slot 3 records its last four and a half minutes
    EXPECT_EQ(Sequences(), Calls{"SEQUENCE limit=270 file=D:\\work\\kv1A.avi"});
    EXPECT_EQ(LogLines()[11], "20時45分00秒からの予約を 330 秒遅れて開始しました（Kestrovaが起動していませんでした）");
    // The machine sleeps through one start and wakes inside another span.
    table[4] = Once(At(12, 21, 0, 0), At(12, 21, 10, 0));
    table[5] = ReservationEntry{1, At(12, 21, 5, 0), At(12, 21, 20, 0), 1 << 6, "", 0};
    scheduler.Rearm();
    TickThenSet(At(12, 20, 59, 0), At(12, 21, 12, 0));
    scheduler.Resumed();
    host.clear();
    scheduler.Review();
    EXPECT_EQ(host.front(), "start timer");  // on the whole second again
    EXPECT_EQ(Sequences(), Calls{"SEQUENCE limit=480 file=D:\\work\\kv1B.avi"});
    const Calls lines = LogLines();
    EXPECT_EQ(Calls(lines.end() - 7, lines.end()),
              (Calls{"05-12(21時00分00秒)", "録画されませんでした（ｺﾝﾋﾟｭｰﾀｰがｽﾘｰﾌﾟしていました）", "----------",
                     "05-12(21時12分00秒)", "7200 ﾌﾚｰﾑ 0 ﾄﾞﾛｯﾌﾟ 480.000 秒",
                     "21時05分00秒からの予約を 420 秒遅れて開始しました（ｺﾝﾋﾟｭｰﾀｰがｽﾘｰﾌﾟしていました）", "----------"}));
    // The clock set back an hour: nothing comes round again.
    clock.Set(At(12, 20, 20, 0));
    scheduler.ClockChanged();
    scheduler.Review();
    TickAt(At(12, 21, 5, 0));
    EXPECT_EQ(Sequences(), Calls{});
    EXPECT_EQ(table[5].start, At(19, 21, 5, 0));
}

TEST_F(SchedulerTest, ADatedNameThatCannotBeTakenKeepsTheRecordingOutOfTheNextRunsWay) {
    settings.FixedTempFile = 1;
    settings.SpeedSave = 1;
    files.insert("D:\\work\\一時ﾌｧｲﾙ.AVI");
    unmovable = {"D:\\work\\05-12(21時00分00秒).avi", "D:\\work\\05-12(21時00分10秒).avi"};
    table[0] = Once(At(12, 21, 0, 0), At(12, 21, 0, 10));
    table[1] = Once(At(12, 21, 0, 10), At(12, 21, 0, 20));
    scheduler.Toggle();
    TickAt(At(12, 21, 0, 0));
    // The first is set aside under a fresh work name, so the second
    // records into the fixed file again; both say where they are.
    const Calls lines = LogLines();
    EXPECT_EQ(lines[2], "D:\\work\\05-12(21時00分00秒).avi へ保存できませんでした。録画は D:\\work\\kv1A.avi にあります");
    EXPECT_EQ(lines[6], "D:\\work\\05-12(21時00分10秒).avi へ保存できませんでした。録画は D:\\work\\kv1B.avi にあります");
    EXPECT_NE(std::find(host.begin(), host.end(), "failure " + lines[2]), host.end());
    // When even that fails, the next run goes to a fresh work file.
    moveSucceeds = false;
    table[2] = Once(At(12, 21, 1, 0), At(12, 21, 1, 5));
    table[3] = Once(At(12, 21, 1, 5), At(12, 21, 1, 9));
    scheduler.Rearm();
    port.Take();
    TickAt(At(12, 21, 1, 0));
    EXPECT_EQ(Sequences(), (Calls{"SEQUENCE limit=5 file=D:\\work\\一時ﾌｧｲﾙ.AVI", "SEQUENCE limit=4 file=D:\\work\\kv1D.avi"}));
    EXPECT_EQ(LogLines()[10], "D:\\work\\05-12(21時01分00秒).avi へ保存できませんでした。録画は D:\\work\\一時ﾌｧｲﾙ.AVI にあります");
}

TEST_F(SchedulerTest, TooLittleRoomIsToldWhenArmedAndInTheRunsRecord) {
    freeBytes = std::uint64_t{1000} << 20;
    port.status.uiImageWidth = 640;
    port.status.uiImageHeight = 480;
    table[0] = Once(At(12, 21, 0, 0), At(12, 21, 0, 10));
    table[1] = Once(At(12, 21, 0, 10), At(12, 21, 30, 0));
    scheduler.Toggle();
    EXPECT_EQ(notices, Calls{});  // ten seconds fit
    TickAt(At(12, 21, 0, 0));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].rfind("空き容量が足りない見込みです: 約 ", 0), 0u) << notices[0];
    EXPECT_NE(notices[0].find(" MB 必要ですが D:\\work の空きは 1000 MB です"), std::string::npos) << notices[0];
    EXPECT_EQ(LogLines()[5], notices[0]);
}

TEST_F(SchedulerTest, ALateTickRecordsWhatIsLeftAndPowerOffComesLast) {
    table[0] = Once(At(12, 21, 0, 0), At(12, 21, 0, 10), 1);
    scheduler.Toggle();
    EXPECT_EQ(status, "TIMER : 2001/ 5/12 21:00:00 [PWR OFF]");
    minimized = true;
    TickThenSet(At(12, 20, 59, 59), At(12, 21, 0, 1));
    scheduler.Tick();
    EXPECT_EQ(Sequences(), Calls{"SEQUENCE limit=9 file=D:\\work\\kv1A.avi"});
    EXPECT_EQ(LogLines()[2], "21時00分00秒からの予約を 1 秒遅れて開始しました（ﾀｲﾏｰが遅れました）");
    EXPECT_EQ(host, (Calls{"stop timer", "awake", "unattended", "icon 109", "icon 108", "attended",
                           "may sleep", "power off"}));
    EXPECT_EQ(table[0].used, 0);
}

TEST_F(SchedulerTest, ALogAndPageThatCannotBeWrittenAreToldWhileUnattended) {
    const std::string missing = tmp.Path("missing") + "/";
    Scheduler lost{clock, *this, table, settings, missing, missing + kCaptureLogName};
    lost.SetDevice(&device);
    table[0] = Once(At(12, 21, 0, 0), At(12, 21, 0, 10));
    lost.Toggle();
    clock.Set(At(12, 21, 0, 0));
    host.clear();
    lost.Tick();
    const auto unattended = std::find(host.begin(), host.end(), "unattended");
    EXPECT_EQ(std::vector<std::string>(unattended + 1, unattended + 3),
              (Calls{"failure " + missing + "CaptureLog.html へ保存できませんでした",
                     "failure " + missing + "Capture.log へ保存できませんでした"}));
    EXPECT_EQ(*(unattended + 3), "attended");
}

}  // namespace
}  // namespace kestrova
