// The program around the scheduler for its tests: a SchedulerHost that
// keeps what it was asked, a recorder whose recordings take their time on
// the clock (and can fail, be cut short, or be stored later), the book and
// journal in a temporary folder, and a clock from Saturday 12 May 2001.
#pragma once

#include "history/capture_log.h"
#include "platform/cp932.h"
#include "platform/files.h"
#include "reservation/scheduler.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kestrova::testing {

// A recorder that records on the clock: a recording of N seconds moves the
// clock N seconds on (less when `cutAfter` says so) and counts 15 frames a
// second.
class FakeRunRecorder : public RunRecorder {
public:
    explicit FakeRunRecorder(ManualClock& clock) : clock_(clock) {}

    std::optional<std::string> unavailable;
    std::optional<std::int32_t> cutAfter;  // seconds recorded before a failure ends it
    bool storeLater = false;               // the store ends when FinishStores says
    std::string kept;                      // the store cannot take the name
    std::optional<RecordingRoom> room;
    std::map<std::string, RecordingAccount> repairs;
    bool discardFails = false;
    std::vector<std::string> calls;
    std::function<void()> whileRecording;  // what happens meanwhile (a kill, a clock change)

    std::optional<std::string> Unavailable() override { return unavailable; }
    RecordingAccount Record(std::int32_t seconds, const WorkFileMade& made) override {
        calls.push_back("record " + std::to_string(seconds));
        RecordingAccount a;
        a.began = clock_.Now();
        a.files = {"work" + std::to_string(++files_) + ".avi"};
        made(a.files.front());
        if (whileRecording) whileRecording();
        const std::int32_t recorded = cutAfter ? std::min(*cutAfter, seconds) : seconds;
        clock_.Advance(recorded);
        a.frames = static_cast<std::uint64_t>(recorded) * 15;
        a.elapsedMs = static_cast<std::uint64_t>(recorded) * 1000;
        if (recorded < seconds) a.cutShort = a.failure = "full";
        a.ended = clock_.Now();
        return a;
    }
    void Store(const RecordingAccount& account, std::function<void(StoredRecording)> done) override {
        calls.push_back("store " + account.files.front());
        StoredRecording stored{{kept.empty() ? "stored-" + account.files.front() : account.files.front()}, kept};
        storeLater ? stores_.push_back([done, stored] { done(stored); }) : done(stored);
    }
    void FinishStores() {
        for (const auto& finish : std::exchange(stores_, {})) finish();
    }
    std::optional<RecordingRoom> RoomFor(std::int32_t) override { return room; }
    void SetPreview(bool on) override { calls.push_back(on ? "preview on" : "preview off"); }
    std::optional<RecordingAccount> Repair(const std::string& file) override {
        if (const auto it = repairs.find(file); it != repairs.end()) return it->second;
        return std::nullopt;
    }
    bool Discard(const std::string& file) override {
        calls.push_back("discard " + file);
        return !discardFails;
    }

private:
    ManualClock& clock_;
    int files_ = 0;
    std::vector<std::function<void()>> stores_;
};

class SchedulerTest : public ::testing::Test, public SchedulerHost {
protected:
    using Calls = std::vector<std::string>;

    static std::int64_t At(int day, int hour, int minute, int second) {
        return ManualClock().FromLocal(2001, 5, day, hour, minute, second);
    }
    static ReservationEntry Once(std::int64_t start, std::int64_t end, int powerOff = 0) {
        return ReservationEntry{1, start, end, 0, "", powerOff};
    }
    static ReservationEntry Weekly(std::int64_t start, std::int64_t end, int weekdays) {
        return ReservationEntry{1, start, end, weekdays, "", 0};
    }

    // SchedulerHost
    void StartTimer() override { timerOn = true, host.push_back("start timer"); }
    void StopTimer() override { timerOn = false, host.push_back("stop timer"); }
    bool WindowMinimized() override { return minimized; }
    bool WindowVisible() override { return !minimized; }
    void ShowWindow() override { host.push_back("show window"); }
    void SwapTrayIcon(unsigned icon) override { host.push_back("icon " + std::to_string(icon)); }
    void ShowTimerText(const std::string& text) override { status = text; }
    void ClearStatusText() override { status.clear(); }
    void SetTitle(const std::string&) override {}
    void BeginUnattendedRun() override { recording = true, host.push_back("unattended"); }
    void EndUnattendedRun() override { recording = false, host.push_back("attended"); }
    bool Recording() override { return recording; }
    void ShowFailure(const std::string& text) override { host.push_back("failure " + text); }
    void Notify(const std::string& text) override { notices.push_back(text); }
    void PowerOff() override { host.push_back("power off"); }
    void ShowCountdown(AfterRunAction action, std::int64_t deadline) override {
        host.push_back("countdown " + AfterRunName(action) + " " + std::to_string(deadline - clock.Now()));
    }
    void HideCountdown() override { host.push_back("countdown over"); }
    std::string Suspend(bool hibernate) override {
        host.push_back(hibernate ? "hibernate" : "sleep");
        return suspendRefused;
    }
    std::int64_t BootedAt() override { return bootedAt; }
    std::optional<std::int64_t> LastInputAt() override { return lastInputAt; }
    void WakeAt(std::optional<std::int64_t> time) override {
        host.push_back(time ? "wake " + std::to_string(*time - At(12, 0, 0, 0)) : "no wake");
    }
    void KeepAwake(bool on) override { host.push_back(on ? "awake" : "may sleep"); }
    std::string LogPath() override { return logPath; }
    std::string MainTitle() override { return "Kestrova"; }
    std::variant<StartedCommand, std::string> StartCommand(const std::string& line, const std::string& dir) override {
        host.push_back("command " + line + " in " + dir);
        ++commandsStarted;
        return StartedCommand{commandsStarted, "p" + std::to_string(commandsStarted)};
    }
    // A command an earlier Kestrova started is watched on while it runs.
    std::optional<std::uint64_t> WatchCommand(const std::string& process) override {
        if (!stillRunning.contains(process)) return std::nullopt;
        return ++commandsStarted;
    }

    testing::TempDir tmp;
    std::string recordDir = tmp.Path();  // where the text log and the page go
    std::string logPath = tmp.Path(kCaptureLogName);
    ManualClock clock{At(12, 20, 50, 0)};  // Saturday 12 May 2001, Japan
    AppSettings settings;
    FakeRunRecorder recorder{clock};
    ReservationBook book{tmp.Path("Kestrova.tmr")};
    RunJournal journal{tmp.Path("Kestrova.run")};
    std::optional<Scheduler> made;
    std::string suspendRefused;
    std::int64_t bootedAt = 0;
    std::optional<std::int64_t> lastInputAt;
    Calls host, notices;
    std::string status;
    bool minimized = false;
    bool timerOn = false;
    bool recording = false;  // a recording runs (the schedule's own, or one by hand)
    std::uint64_t commandsStarted = 0;
    std::set<std::string> stillRunning;  // the processes of commands, for a later start

    // The scheduler, made on first use (a test may set the journal first).
    Scheduler& scheduler() {
        if (!made) made.emplace(clock, *this, book, settings, recorder, RecordWriter(clock, recordDir), journal);
        return *made;
    }
    void Put(int slot, const ReservationEntry& entry) { ASSERT_TRUE(book.Put(slot, entry)); }

    Calls LogLines() const {
        Calls lines;
        const std::string text = Cp932ToUtf8(ReadWholeFile(logPath).value_or(""));
        for (std::size_t at = 0, end = 0; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
            lines.push_back(text.substr(at, end - at));
        }
        return lines;
    }
    std::string Page() const { return Cp932ToUtf8(ReadWholeFile(tmp.Path("CaptureLog.html")).value_or("")); }
    // A tick of the window's timer: none while the scheduler has it stopped.
    void Tick() {
        if (timerOn) scheduler().Tick();
    }
    void TickAt(std::int64_t time) {
        clock.Set(time);
        Tick();
    }
    // A tick at `before`, then the clock at `at` with the calls so far forgotten.
    void TickThenSet(std::int64_t before, std::int64_t at) {
        TickAt(before);
        clock.Set(at);
        recorder.calls.clear();
        host.clear();
    }
    // Kestrova started again at `at` after a kill inside the recording of
    // work1.avi, whose repair finds `frames` frames.
    void RestartAfterKill(std::int64_t at, std::uint64_t frames) {
        RecordingAccount& repaired = recorder.repairs["work1.avi"];
        repaired.frames = frames;
        repaired.elapsedMs = frames * 1000 / 15;
        recorder.whileRecording = nullptr;
        recorder.calls.clear();
        std::filesystem::remove(logPath);
        clock.Set(at);
        made.reset();
        scheduler().Start();
    }
    Calls Recordings() {
        Calls out = std::exchange(recorder.calls, {});
        std::erase_if(out, [](const std::string& call) { return call.rfind("record", 0) != 0; });
        return out;
    }
};

}  // namespace kestrova::testing
