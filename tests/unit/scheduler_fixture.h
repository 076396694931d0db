// The program around the scheduler for its tests: a SchedulerHost that
// keeps what it was asked, the fake device files, a clock from Saturday
// 12 May 2001 and a capture device whose captures take their time limit.
#pragma once

#include "history/capture_log.h"
#include "platform/cp932.h"
#include "reservation/scheduler.h"
#include "fake_capture_port.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace kestrova::testing {

class SchedulerTest : public ::testing::Test, public SchedulerHost, public FakeDeviceServices {
protected:
    using Calls = std::vector<std::string>;

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
    std::string LogPath() override { return logPath_; }
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
    Scheduler scheduler{clock, *this, table, settings, tmp.Path()};
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

}  // namespace kestrova::testing
