#include "scheduler_fixture.h"

#include <tuple>

namespace kestrova {
namespace {

using testing::SchedulerTest;

TEST_F(SchedulerTest, TheMachineWakesBeforeTheStartALateTickRecordsWhatIsLeftAndTheRunIsRetiredInTheFileAtOnce) {
    Put(4, Once(At(12, 21, 0, 0), At(12, 21, 30, 0)));
    recorder.room = RecordingRoom{std::uint64_t{2000} << 20, std::uint64_t{1000} << 20, "D:\\work"};
    scheduler().Toggle();
    EXPECT_EQ(scheduler().armedIndex(), 4);
    // Too little room is told when armed, and again in the run's record.
    const std::string room = "空き容量が足りない見込みです: 約 2000 MB 必要ですが D:\\work の空きは 1000 MB です";
    EXPECT_EQ(notices, Calls{room});
    // The machine wakes a minute before the start and stays awake from two minutes before.
    TickAt(At(12, 20, 57, 59));  // minutes without a tick: on the whole second again
    EXPECT_EQ(host, (Calls{"wake 75540", "start timer", "start timer"}));
    host.clear();
    TickAt(At(12, 20, 58, 0));
    EXPECT_EQ(host, Calls{"awake"});
    minimized = true;
    TickThenSet(At(12, 20, 59, 59), At(12, 21, 0, 1));
    Tick();  // a second late: the rest is recorded
    EXPECT_EQ(Recordings(), Calls{"record 1799"});
    EXPECT_EQ(host, (Calls{"stop timer", "awake", "unattended", "icon 109", "icon 108", "attended", "may sleep", "no wake"}));
    EXPECT_EQ(std::pair(scheduler().armed(), scheduler().armedIndex()), std::pair(true, -1));
    // The file says the slot is done, whatever happens to Kestrova now.
    ReservationBook reread(book.path());
    reread.Load();
    EXPECT_EQ(std::pair(reread[4].used, std::filesystem::exists(journal.path())), std::pair(0, false));
    EXPECT_EQ(LogLines(), (Calls{"05-12(21時00分01秒)", "26985 ﾌﾚｰﾑ 0 ﾄﾞﾛｯﾌﾟ 1799.000 秒",
                                 "21時00分00秒からの予約を 1 秒遅れて開始しました（ﾀｲﾏｰが遅れました）", room, "----------"}));
}

TEST_F(SchedulerTest, BackToBackRecordsEverySecondAndAnOverlapRecordsWhatIsLeft) {
    // 0 and 1 back to back; 2 starts during 0 and outlasts 1; 3 lies inside
    // 2; the weekly 5 (Saturday, a whole day) starts before 2 ends.
    Put(0, Once(At(12, 21, 0, 0), At(12, 21, 0, 10)));
    Put(1, Once(At(12, 21, 0, 10), At(12, 21, 0, 20)));
    Put(2, Once(At(12, 21, 0, 5), At(12, 21, 0, 30)));
    Put(3, Once(At(12, 21, 0, 12), At(12, 21, 0, 15)));
    Put(5, Weekly(At(5, 21, 0, 25), At(5, 21, 0, 25), 1 << 6));
    scheduler().Toggle();
    EXPECT_EQ(status, "TIMER : 2001/ 5/12 21:00:00 [№3と重複]");
    TickThenSet(At(12, 20, 59, 59), At(12, 21, 0, 0));
    // A recording by hand holds the schedule off, and so does its own run:
    // a tick, a review or a table saved inside it starts nothing.
    recording = true;
    scheduler().Review();
    EXPECT_EQ(Recordings(), Calls{});
    recording = false;
    recorder.whileRecording = [this] { scheduler().Tick(), scheduler().Review(), scheduler().Rearm(); };
    Tick();
    // The later of two overlapping spans records what is left of it once
    // the earlier is done; 1 and 3 are over by then and told.
    EXPECT_EQ(Recordings(), (Calls{"record 10", "record 20", "record 86395"}));
    EXPECT_EQ(LogLines(), (Calls{"05-12(21時00分00秒)", "150 ﾌﾚｰﾑ 0 ﾄﾞﾛｯﾌﾟ 10.000 秒", "----------",
                                 "05-12(21時00分10秒)", "300 ﾌﾚｰﾑ 0 ﾄﾞﾛｯﾌﾟ 20.000 秒",
                                 "21時00分05秒からの予約を 5 秒遅れて開始しました（別の録画の最中でした）", "----------",
                                 "05-12(21時00分10秒)", "№2 は録画されませんでした（別の録画の最中でした）", "----------",
                                 "05-12(21時00分12秒)", "№4 は録画されませんでした（別の録画の最中でした）", "----------",
                                 "05-13(21時00分30秒)", "1295925 ﾌﾚｰﾑ 0 ﾄﾞﾛｯﾌﾟ 86395.000 秒",
                                 "21時00分25秒からの予約を 5 秒遅れて開始しました（別の録画の最中でした）", "----------"}));
    EXPECT_EQ(notices, (Calls{"予約 2 件が録画されませんでした（別の録画の最中でした）"}));
    // The weekly slot moves on a week.
    EXPECT_EQ(std::pair(book[5].start, std::ranges::count(book.table(), 1, &ReservationEntry::used)),
              std::pair(At(19, 21, 0, 25), std::ptrdiff_t{1}));
}

// Margins: 0 and 1 back to back, 2 three seconds after 1. A run starts at
// its start margin (the machine woken a minute before that) and ends at its
// end margin, each given way to the neighbour: the lengths say what ran.
TEST_F(SchedulerTest, MarginsRecordAroundTheSpanAndGiveWayBetweenNeighbours) {
    settings.StartMargin = 5;
    settings.EndMargin = 2;
    recorder.room = RecordingRoom{1000, 1000, "D:\\work"};  // exactly enough room: nothing told
    Put(0, Once(At(12, 21, 0, 0), At(12, 21, 0, 10)));
    Put(1, Once(At(12, 21, 0, 10), At(12, 21, 0, 20)));
    Put(2, Once(At(12, 21, 0, 23), At(12, 21, 0, 30)));
    scheduler().Toggle();
    EXPECT_EQ(std::count(host.begin(), host.end(), "wake " + std::to_string(At(12, 20, 58, 55) - At(12, 0, 0, 0))), 1);
    TickAt(At(12, 20, 59, 54));
    EXPECT_EQ(Recordings(), Calls{});
    TickAt(At(12, 20, 59, 55));
    EXPECT_EQ(std::tuple(Recordings(), notices, LogLines().size()),  // no run told late
              std::tuple(Calls{"record 15", "record 12", "record 10"}, Calls{}, 9u));
}

TEST_F(SchedulerTest, NinetyNineDueInOneSecondRecordOneAndTellTheRest) {
    {
        const ReservationBook::Hold hold(book);
        for (int slot = 0; slot < kReservationSlots; ++slot) Put(slot, Once(At(12, 21, 0, 0), At(12, 21, 0, 10)));
        Put(98, Once(At(12, 21, 0, 0), At(12, 21, 0, 20)));
    }  // the one that outlasts the first records what is left
    scheduler().Toggle();
    TickAt(At(12, 21, 0, 0));
    EXPECT_EQ(std::tuple(Recordings(), LogLines().size(), std::ranges::count(book.table(), 0, &ReservationEntry::used)),
              std::tuple(Calls{"record 10", "record 10"}, 3u + 97 * 3 + 4, kReservationSlots));
    EXPECT_EQ(notices, Calls{"予約 97 件が録画されませんでした（別の録画の最中でした）"});
}

TEST_F(SchedulerTest, WhatPassedWhileClosedAsleepOrDisarmedIsToldByItsSlotAndNothingRecordsTwice) {
    Put(0, ReservationEntry{1, At(11, 21, 0, 0), At(11, 21, 30, 0), 0, "ﾆｭｰｽ", 0});  // yesterday
    Put(1, Weekly(At(5, 20, 0, 0), At(5, 20, 10, 0), 1 << 6));                      // last Saturday's
    Put(2, Weekly(At(4, 20, 0, 0), At(4, 20, 10, 0), 1 << 6));                      // a Friday: not an occurrence
    Put(3, Once(At(12, 20, 45, 0), At(12, 20, 55, 0)));                              // running since before the start
    // A daily slot left alone since 1980: one record, not thousands.
    Put(6, Weekly(ManualClock().FromLocal(1980, 1, 1, 20, 0, 0), ManualClock().FromLocal(1980, 1, 1, 20, 5, 0), 0x7F));
    Put(8, ParseReservationValue("986342400,9863"));  // cut off: told, and kept as it is
    scheduler().Start();
    // Each slot is told once, by its number and comment; a weekly one sums
    // up the occurrences it missed.
    const std::string closed = "録画されませんでした（Kestrovaが起動していませんでした）";
    EXPECT_EQ(LogLines(), (Calls{"05-12(20時50分00秒)", "№9: 読めない予約です（986342400,9863）", "----------",
                                 "05-11(21時00分00秒)", "№1「ﾆｭｰｽ」 は" + closed, "----------", "05-05(20時00分00秒)",
                                 "№2 は 2001/05/05 20:00:00 から 2001/05/12 20:00:00 まで 2 回" + closed, "----------",
                                 "01-01(20時00分00秒)", "№7 は 1980/01/01 20:00:00 から 2001/05/12 20:00:00 まで 7803 回" + closed,
                                 "----------"}));
    EXPECT_EQ(notices.back(), "予約 3 件が" + closed);
    EXPECT_EQ(std::tuple(FormatReservationValue(book[8]), book[0].used, book[1].start, book[2].start, book[6].start),
              std::tuple("986342400,9863", 0, At(19, 20, 0, 0), At(19, 20, 0, 0), At(13, 20, 0, 0)));
    clock.Set(At(12, 20, 50, 30));
    scheduler().Toggle();  // armed late: slot 3 records its last four and a half minutes
    EXPECT_EQ(Recordings(), Calls{"record 270"});
    EXPECT_EQ(LogLines().at(14), "20時45分00秒からの予約を 330 秒遅れて開始しました（Kestrovaが起動していませんでした）");
    // The machine sleeps through one start and wakes inside another span.
    Put(4, Once(At(12, 21, 0, 0), At(12, 21, 10, 0)));
    Put(5, Weekly(At(12, 21, 5, 0), At(12, 21, 20, 0), 1 << 6));
    scheduler().Rearm();
    TickThenSet(At(12, 20, 59, 0), At(12, 21, 12, 0));
    scheduler().Resumed();
    scheduler().Review();
    EXPECT_EQ(host.front(), "start timer");  // on the whole second again
    EXPECT_EQ(Recordings(), Calls{"record 480"});
    const Calls lines = LogLines();
    EXPECT_EQ(Calls(lines.end() - 7, lines.end()),
              (Calls{"05-12(21時00分00秒)", "№5 は録画されませんでした（ｺﾝﾋﾟｭｰﾀｰがｽﾘｰﾌﾟしていました）", "----------",
                     "05-12(21時12分00秒)", "7200 ﾌﾚｰﾑ 0 ﾄﾞﾛｯﾌﾟ 480.000 秒",
                     "21時05分00秒からの予約を 420 秒遅れて開始しました（ｺﾝﾋﾟｭｰﾀｰがｽﾘｰﾌﾟしていました）", "----------"}));
    // The clock set back an hour: nothing comes round again.
    clock.Jump(At(12, 20, 20, 0));
    scheduler().ClockChanged();
    scheduler().Review();
    TickAt(At(12, 21, 5, 0));
    EXPECT_EQ(std::pair(Recordings(), book[5].start), std::pair(Calls{}, At(19, 21, 5, 0)));
}

TEST_F(SchedulerTest, AClockSetForwardAndBackPassesOverNothingAndAForwardOneIsToldAsAClockChange) {
    Put(0, Once(At(12, 21, 20, 0), At(12, 21, 30, 0)));
    Put(1, Once(At(12, 23, 0, 0), At(12, 23, 10, 0)));
    scheduler().Toggle();
    TickAt(At(12, 21, 0, 0));
    // Set forward past both: their spans lie behind the clock, but not in
    // real time, and the ticks go on for them with nothing ahead.
    clock.Jump(At(12, 23, 20, 1));
    Tick();
    clock.Advance(28);
    scheduler().ClockChanged();
    Tick();
    EXPECT_EQ(std::tuple(LogLines(), book[0].used, book[1].used, timerOn), std::tuple(Calls{}, 1, 1, true));
    // And back 29 s later, this time untold: slot 0 records when its time comes.
    clock.Jump(At(12, 21, 0, 30));
    Tick();
    // Set forward for good inside that run, past slot 1 (from 21:20 to 23:20):
    // the look after the run holds slot 1 (the run is no sleep either), and
    // tells it as a clock change once its end has passed in real time too.
    recorder.whileRecording = [this] { clock.Jump(At(12, 23, 20, 0)); };
    TickAt(At(12, 21, 20, 0));
    EXPECT_EQ(std::tuple(Recordings(), book[1].used, LogLines().size()), std::tuple(Calls{"record 600"}, 1, 3u));
    Tick();
    clock.Advance(99 * 60);
    Tick();
    EXPECT_EQ(book[1].used, 1);
    clock.Advance(61);  // 23:10 of the clock before the change has gone by
    Tick();
    EXPECT_EQ(std::tuple(LogLines().size(), LogLines().at(4), book[1].used),
              std::tuple(6u, "№2 は録画されませんでした（時計が変更されました）", 0));
}

// The command after a recording runs for what was stored (none for a run
// that stored nothing), and its end is logged when it comes.
TEST_F(SchedulerTest, ARunCutShortOrWithoutADeviceTellsWhatWasRecordedInTheLogAndTheRow) {
    Put(0, ReservationEntry{1, At(12, 21, 0, 0), At(12, 21, 0, 10), 0, "ﾆｭｰｽ", 0});
    Put(1, ReservationEntry{1, At(12, 21, 0, 10), At(12, 21, 0, 20), 0, "天気", 0});
    settings.AfterCommand = "enc {file} {comment} {start} {end}";
    recorder.cutAfter = 3;
    scheduler().Toggle();
    TickAt(At(12, 20, 59, 59));
    recorder.whileRecording = [this] { recorder.unavailable = "ｷｬﾌﾟﾁｬﾃﾞﾊﾞｲｽが使えませんでした"; };
    TickAt(At(12, 21, 0, 0));
    const std::string command = R"(enc "stored-work1.avi" "ﾆｭｰｽ" "2001-05-12 21:00:00" "2001-05-12 21:00:03")";
    TickAt(At(12, 21, 0, 10));
    scheduler().CommandEnded(commandsStarted, 3);
    scheduler().CommandEnded(commandsStarted, 3);  // told once
    EXPECT_EQ(std::ranges::count(host, "command " + command + " in " + tmp.Path()), 1);
    EXPECT_EQ(LogLines(), (Calls{"05-12(21時00分00秒)", "45 ﾌﾚｰﾑ 0 ﾄﾞﾛｯﾌﾟ 3.000 秒", "録画後のｺﾏﾝﾄﾞを開始しました: " + command,
                                 "録画に失敗しました: full", "----------", "05-12(21時00分10秒)", "0 ﾌﾚｰﾑ 0 ﾄﾞﾛｯﾌﾟ 0.000 秒",
                                 "録画に失敗しました: ｷｬﾌﾟﾁｬﾃﾞﾊﾞｲｽが使えませんでした", "----------", "05-12(21時00分10秒)",
                                 "録画後のｺﾏﾝﾄﾞが終了しました（終了ｺｰﾄﾞ 3）: " + command, "----------"}));
    // The rows: the real start, end and length, the reason after the comment.
    for (const char* row : {"<BR>21時 0分 3秒</B></TD>\r\n<TD ALIGN=CENTER NOWRAP><B> 3秒</B></TD>\r\n<TD ALIGN=LEFT NOWRAP><B>ﾆｭｰｽ（full）&nbsp;",
                            "<B> 0秒</B></TD>\r\n<TD ALIGN=LEFT NOWRAP><B>天気（ｷｬﾌﾟﾁｬﾃﾞﾊﾞｲｽが使えませんでした）&nbsp;"}) {
        EXPECT_NE(Page().find(row), std::string::npos) << row;
    }
}

// A command outlives Kestrova: the journal keeps it, and a later start
// watches on one still running (its end logged as ever) and tells the end
// of one that ended meanwhile as unknown. A run killed once its commands
// had started gets its record, without starting them again.
TEST_F(SchedulerTest, ACommandOutlivesKestrovaAndAKilledRunDoesNotStartItsCommandsAgain) {
    settings.AfterCommand = "enc {file}";
    Put(0, Once(At(12, 21, 0, 0), At(12, 21, 0, 10)));
    scheduler().Toggle();
    TickAt(At(12, 21, 0, 0));
    const RunningCommand enc{R"(enc "stored-work1.avi")", "p1"};
    EXPECT_EQ(journal.Load().commands, std::vector{enc});
    stillRunning = {"p1"};
    RestartAfterKill(At(12, 21, 1, 0), 0);
    EXPECT_EQ(LogLines(), Calls{});
    scheduler().CommandEnded(commandsStarted, 5);
    EXPECT_EQ(LogLines().at(1), "録画後のｺﾏﾝﾄﾞが終了しました（終了ｺｰﾄﾞ 5）: " + enc.line);
    EXPECT_FALSE(std::filesystem::exists(journal.path()));

    JournalRun stored{JournalRun::Stage::Stored, 0, At(12, 21, 0, 0), At(12, 21, 0, 10), "",
                      {"録画後のｺﾏﾝﾄﾞを開始しました: " + enc.line}, {}};
    stored.account.files = {"stored-work1.avi"};
    stored.commandsStarted = true;
    ASSERT_TRUE(journal.Save({{stored}, {enc}}));
    stillRunning.clear();
    host.clear();
    RestartAfterKill(At(12, 21, 2, 0), 0);
    EXPECT_EQ(std::ranges::count_if(host, [](const std::string& h) { return h.starts_with("command"); }), 0);
    const Calls lines = LogLines();
    EXPECT_EQ(std::tuple(lines.at(1), std::ranges::count(lines, stored.notes.front())),
              std::tuple("録画後のｺﾏﾝﾄﾞはKestrovaが動いていない間に終わったため、終了ｺｰﾄﾞは分かりません: " + enc.line, 1));
    EXPECT_FALSE(std::filesystem::exists(journal.path()));
}

TEST_F(SchedulerTest, RecordsFollowInRunOrderWhenAStoreEndsLaterAndTheActionWaitsForIt) {
    Put(0, Once(At(12, 21, 0, 0), At(12, 21, 0, 10)));
    Put(1, Once(At(12, 21, 0, 10), At(12, 21, 0, 20), 1));
    recorder.storeLater = true;
    scheduler().Toggle();
    TickAt(At(12, 21, 0, 0));
    // Both recorded back to back; nothing is told before the stores end.
    const auto countdowns = [this] { return std::ranges::count(host, "countdown 電源OFF 60"); };
    EXPECT_EQ(std::tuple(Recordings(), LogLines().size(), countdowns(), journal.Load().runs.size()),
              std::tuple(Calls{"record 10", "record 10"}, 0u, 0, 2u));
    recorder.FinishStores();
    EXPECT_EQ(std::tuple(LogLines().at(0), LogLines().at(3), countdowns(), journal.Load().runs.size()),
              std::tuple("05-12(21時00分00秒)", "05-12(21時00分10秒)", 1, 0u));
}

// What a kill leaves of a run decides what is told of its span: a part
// kept is never "not recorded", and a run killed before its first frame
// leaves no empty file under a dated name.
TEST_F(SchedulerTest, AKilledRunIsKeptAndToldAndItsSpanByWhatItKept) {
    // A kill 18 s into a 24 s run: the journal and the book as the kill left
    // them, and the rest of the span recorded in a fresh file.
    Put(0, ReservationEntry{1, At(12, 21, 0, 0), At(12, 21, 0, 24), 0, "ﾆｭｰｽ", 0});
    std::vector<JournalRun> atKill;
    recorder.whileRecording = [&] { atKill = journal.Load().runs; };
    scheduler().Toggle();
    TickAt(At(12, 21, 0, 0));
    ASSERT_EQ(atKill.size(), 1u);
    ASSERT_TRUE(journal.Save({atKill}));
    Put(0, ReservationEntry{1, At(12, 21, 0, 0), At(12, 21, 0, 24), 0, "ﾆｭｰｽ", 0});
    std::filesystem::remove(tmp.Path("CaptureLog.html"));
    RestartAfterKill(At(12, 21, 0, 20), 270);  // 2 s after the kill
    scheduler().Toggle();
    EXPECT_EQ(recorder.calls, (Calls{"store work1.avi", "record 4", "store work2.avi"}));
    EXPECT_EQ(LogLines(), (Calls{"05-12(21時00分00秒)", "270 ﾌﾚｰﾑ 0 ﾄﾞﾛｯﾌﾟ 18.000 秒", "録画は途中で終わりました（録画中にKestrovaが終了しました）",
                                 "----------", "05-12(21時00分20秒)", "60 ﾌﾚｰﾑ 0 ﾄﾞﾛｯﾌﾟ 4.000 秒",
                                 "21時00分00秒からの予約を 20 秒遅れて開始しました（Kestrovaが起動していませんでした）",
                                 "----------"}));
    EXPECT_EQ(notices.front(), "№1 の 05/12 21:00:00 からの録画はKestrovaの終了で途切れました。そこまでを残します");
    EXPECT_NE(Page().find("ﾆｭｰｽ（録画中にKestrovaが終了しました）"), std::string::npos);
    EXPECT_EQ(std::pair(book[0].used, journal.Load().runs.size()), std::pair(0, std::size_t{0}));
    const auto killedAt = [&](int slot, std::int64_t start, std::uint64_t frames, std::int64_t restart) {
        Put(slot, Once(start, start + 10));
        JournalRun run{JournalRun::Stage::Recording, slot, start, start + 10, "", {}, {}};
        run.account.began = start;
        run.account.files = {"work1.avi"};
        ASSERT_TRUE(journal.Save({{run}}));
        RestartAfterKill(restart, frames);
    };
    // Restarted after the span, or with a second of it left, which ends
    // before a run can begin: the part is kept, the slot retired, nothing missed.
    for (const bool spanOver : {true, false}) {
        killedAt(spanOver ? 3 : 0, At(12, 21, 0, 0), 60, At(12, 21, 0, spanOver ? 30 : 9));
        clock.Set(At(12, 21, 0, 31));
        scheduler().Toggle();
        EXPECT_EQ(recorder.calls, (Calls{"store work1.avi"}));
        EXPECT_EQ(std::tuple(book[0].used, book[3].used, LogLines().size()), std::tuple(0, 0, std::size_t{4}));
    }
    // Killed before its first frame, restarted after its end: the empty
    // work file goes, its record says so, and the span is told as missed.
    killedAt(1, At(12, 21, 1, 0), 0, At(12, 21, 2, 0));
    EXPECT_EQ(std::pair(recorder.calls, book[1].used), std::pair(Calls{"discard work1.avi"}, 0));
    EXPECT_EQ(LogLines(), (Calls{"05-12(21時01分00秒)", "0 ﾌﾚｰﾑ 0 ﾄﾞﾛｯﾌﾟ 0.000 秒", "録画は途中で終わりました（録画中にKestrovaが終了しました）",
                                 "----------", "05-12(21時01分00秒)", "№2 は録画されませんでした（Kestrovaが起動していませんでした）", "----------"}));
    // An empty file that cannot be removed is stored as any other.
    recorder.discardFails = true;
    killedAt(2, At(12, 21, 3, 0), 0, At(12, 21, 4, 0));
    EXPECT_EQ(recorder.calls, (Calls{"discard work1.avi", "store work1.avi"}));
}

TEST_F(SchedulerTest, FilesThatCannotBeWrittenAreToldWhileUnattended) {
    recordDir = tmp.Path("missing") + "/";
    logPath = recordDir + kCaptureLogName;
    Put(0, Once(At(12, 21, 0, 0), At(12, 21, 0, 10)));
    recorder.kept = "x へ保存できませんでした。録画は y にあります";
    scheduler().Toggle();
    TickAt(At(12, 21, 0, 0));
    std::erase_if(host, [](const std::string& h) { return h != "attended" && h.rfind("failure", 0) != 0; });
    EXPECT_EQ(host, (Calls{"attended", "failure " + recorder.kept, "failure " + recordDir + "CaptureLog.html へ保存できませんでした",
                           "failure " + recordDir + "Capture.log へ保存できませんでした"}));
}

// The action after a run waits for its minute and happens once: a sleep
// with the next wake set first, or a power-off that the next start tells
// as refused when the machine stayed on. A reservation within the minutes
// skips it, one that comes due ends the countdown, and each end is logged.
TEST_F(SchedulerTest, TheActionAfterARunWaitsItsMinuteAndGivesWayToTheNextReservation) {
    settings.ActionSkipMinutes = 1;
    Put(0, Once(At(12, 21, 0, 0), At(12, 21, 0, 10), 2));  // №2 starts within the minute: no sleep
    Put(1, Once(At(12, 21, 0, 30), At(12, 21, 0, 40), 3));  // its countdown ends as №3 comes due
    Put(2, Once(At(12, 21, 1, 50), At(12, 21, 2, 0), 2));   // sleeps, waking for №4
    Put(3, Once(At(12, 22, 0, 0), At(12, 22, 0, 10), 1));   // switches off
    scheduler().Toggle();
    TickAt(At(12, 21, 0, 0));
    TickAt(At(12, 21, 0, 30));
    EXPECT_EQ(std::ranges::count(host, "countdown 休止 60"), 1);
    host.clear();
    TickAt(At(12, 21, 1, 50));
    EXPECT_EQ(std::pair(std::ranges::count(host, "countdown over"), std::ranges::count(host, "hibernate")),
              std::pair(std::ptrdiff_t{1}, std::ptrdiff_t{0}));
    TickAt(At(12, 21, 2, 59));
    EXPECT_EQ(std::ranges::count(host, "sleep"), 0);
    TickAt(At(12, 21, 3, 0));
    const auto slept = std::find(host.begin(), host.end(), "sleep");
    ASSERT_NE(slept, host.end());
    const std::string wake = "wake " + std::to_string(At(12, 22, 0, 0) - 60 - At(12, 0, 0, 0));
    EXPECT_NE(std::find(host.begin(), slept, wake), slept);  // set before the machine sleeps
    TickAt(At(12, 22, 0, 0));
    for (std::int64_t t = At(12, 22, 0, 10); t <= At(12, 22, 1, 10); ++t) TickAt(t);
    EXPECT_EQ(std::ranges::count(host, "power off"), 1);
    Calls told;
    for (const std::string& line : LogLines()) {
        if (line.rfind("録画後の動作", 0) == 0) told.push_back(line);
    }
    EXPECT_EQ(told, (Calls{"録画後の動作: 次の予約 №2 が 1 分以内に始まるため、スリープしませんでした",
                           "録画後の動作: 60 秒後に休止します", "録画後の動作: №3 が始まるため、休止を取りやめました",
                           "録画後の動作: 60 秒後にスリープします", "録画後の動作: スリープします",
                           "録画後の動作: 60 秒後に電源OFFします", "録画後の動作: 電源OFFします"}));
    // Started again with the system up since before the request.
    bootedAt = At(12, 20, 0, 0);
    RestartAfterKill(At(12, 22, 5, 0), 0);
    EXPECT_EQ(LogLines().at(1), "録画後の動作: 05/12 22:01:10 に電源OFFを求めましたが、終了を拒んだﾌﾟﾛｸﾞﾗﾑがあり、電源は切れませんでした");
    EXPECT_FALSE(ReadWholeFile(tmp.Path("Kestrova.off")));
    // Killed during a countdown: the journal holds the action, and the next
    // start tells that it never came.
    Put(4, Once(At(12, 22, 10, 0), At(12, 22, 10, 10), 3));
    scheduler().Toggle();
    TickAt(At(12, 22, 10, 0));
    EXPECT_EQ(journal.Load().action, (AwaitedAction{AfterRunAction::Hibernate, At(12, 22, 11, 10)}));
    RestartAfterKill(At(12, 22, 12, 0), 0);
    EXPECT_EQ(LogLines().at(1), "録画後の動作: 05/12 22:11:10 に予定した休止は、その前にKestrovaが終了したため行われませんでした");
    EXPECT_FALSE(std::filesystem::exists(journal.path()));
}

}  // namespace
}  // namespace kestrova
