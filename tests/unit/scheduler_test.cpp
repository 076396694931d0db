#include "reservation/scheduler.h"
#include "scheduler_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace kestrova {
namespace {

using Calls = std::vector<std::string>;
using testing::SchedulerTest;

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
    logPath_ = missing + kCaptureLogName;
    Scheduler lost{clock, *this, table, settings, missing};
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
