#include "history/capture_log.h"
#include "reservation/scheduler.h"
#include "fake_capture_port.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>

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

    // SchedulerHost
    void StartTimer() override { host.push_back("start timer"); }
    void StopTimer() override { host.push_back("stop timer"); }
    void LockMenuBar() override { host.push_back("lock"); }
    void UnlockMenuBar() override { host.push_back("unlock"); }
    bool WindowMinimized() override { return minimized; }
    bool WindowVisible() override { return !minimized; }
    void ShowWindow() override { host.push_back("show window"); }
    void SwapTrayIcon(unsigned icon) override { host.push_back("icon " + std::to_string(icon)); }
    void ShowTimerText(const std::string& text) override { status = text; }
    void ClearStatusText() override { status.clear(); }
    void SetTitle(const std::string&) override {}
    void SetUnattended(bool on) override { host.push_back(on ? "unattended" : "attended"); }
    void ShowFailure(const std::string& text) override { host.push_back("failure " + text); }
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
        return s;
    }();
    testing::FakeStatusSink sink;
    CaptureDevice device{port, settings, sink, this};
    ReservationTable table;
    Scheduler scheduler{clock, *this, table, settings, tmp.Path(), logPath_};
    Calls host;
    std::string status;
    bool minimized = false;
};

TEST_F(SchedulerTest, TheMachineWakesBeforeTheStartAndTheRunIsRetired) {
    table[4] = ReservationEntry{1, At(12, 21, 0, 0), At(12, 21, 30, 0), 0, "", 0};
    scheduler.Toggle();
    EXPECT_EQ(scheduler.armedIndex(), 4);
    // The machine wakes a minute before the start and stays awake from two minutes before.
    EXPECT_EQ(host, (Calls{"wake 75540", "start timer"}));
    host.clear();
    clock.Set(At(12, 20, 57, 59));
    scheduler.Tick();
    EXPECT_EQ(host, Calls{});
    clock.Set(At(12, 20, 58, 0));
    scheduler.Tick();
    EXPECT_EQ(host, Calls{"awake"});
    clock.Set(At(12, 21, 0, 0));
    scheduler.Tick();
    EXPECT_EQ(table[4].used, 0);  // retired; nothing else to wait for
    EXPECT_EQ(std::pair(scheduler.armed(), scheduler.armedIndex()), std::pair(true, -1));
    EXPECT_EQ(host.back(), "no wake");
}

TEST_F(SchedulerTest, WeeklyReservationsComeBackAndSameStartsGoToTheLowerSlot) {
    // Saturday 12 May is bit 6; 21:00 to 21:00 is a whole day.
    table[2] = ReservationEntry{1, At(5, 21, 0, 0), At(5, 21, 0, 0), 1 << 6, "", 0};
    table[1] = ReservationEntry{1, At(12, 21, 0, 0), At(12, 21, 0, 5), 0, "", 0};
    scheduler.Toggle();
    EXPECT_EQ(scheduler.armedIndex(), 1);
    clock.Set(At(12, 21, 0, 0));
    scheduler.Tick();
    // The weekly slot's start passed during the first run: next week.
    EXPECT_EQ(scheduler.armedIndex(), 2);
    EXPECT_EQ(table[2].start, At(19, 21, 0, 0));
    EXPECT_EQ(status, "TIMER : 毎週,土 21:00:00");
    clock.Set(At(19, 21, 0, 0));
    scheduler.Tick();
    // A whole day is longer than one capture: two parts, both named as parts.
    EXPECT_EQ(Calls(log.end() - 2, log.end()),
              (Calls{"move D:\\work\\kv1A.avi -> D:\\work\\05-19(21時00分00秒)_01.avi",
                     "move D:\\work\\kv1B.avi -> D:\\work\\05-19(21時00分00秒)_02.avi"}));
    EXPECT_EQ(table[2].start, At(26, 21, 0, 0));
}

TEST_F(SchedulerTest, ALateTickRecordsTheWholeLengthAndPowerOffComesLast) {
    table[0] = ReservationEntry{1, At(12, 21, 0, 0), At(12, 21, 0, 10), 0, "", 1};
    scheduler.Toggle();
    EXPECT_EQ(status, "TIMER : 2001/ 5/12 21:00:00 [PWR OFF]");
    minimized = true;
    clock.Set(At(12, 21, 0, 1));
    port.Take();
    host.clear();
    scheduler.Tick();
    const Calls calls = port.Take();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "SEQUENCE limit=10 file=D:\\work\\一時ﾌｧｲﾙ.AVI"), calls.end());
    EXPECT_EQ(host, (Calls{"stop timer", "awake", "lock", "icon 109", "unattended", "unlock", "icon 108", "attended",
                           "may sleep", "power off"}));
    EXPECT_EQ(table[0].used, 0);
}

TEST_F(SchedulerTest, ALogAndPageThatCannotBeWrittenAreToldWhileUnattended) {
    const std::string missing = tmp.Path("missing") + "/";
    Scheduler lost{clock, *this, table, settings, missing, missing + kCaptureLogName};
    lost.SetDevice(&device);
    table[0] = ReservationEntry{1, At(12, 21, 0, 0), At(12, 21, 0, 10), 0, "", 0};
    lost.Toggle();
    clock.Set(At(12, 21, 0, 0));
    host.clear();
    lost.Tick();
    const auto unattended = std::find(host.begin(), host.end(), "unattended");
    EXPECT_EQ(std::vector<std::string>(unattended + 1, unattended + 3),
              (Calls{"failure " + missing + "CaptureLog.html へ保存できませんでした",
                     "failure " + missing + "Capture.log へ保存できませんでした"}));
    EXPECT_EQ(*(unattended + 3), "unlock");
}

}  // namespace
}  // namespace kestrova
