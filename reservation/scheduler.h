// The reservation timer: arming and disarming, the one-second ticks, the
// scheduled runs and what the status bar and the title say about the next
// reservation. A run records through the RunRecorder, its slot is retired in
// the ReservationBook (saved at once), and its record is written by the
// RecordWriter once the recording is stored; the RunJournal keeps every run
// whose record is not written yet, so that a kill loses nothing. Windows
// things (the timer, the menu bar, the tray icon, the window, the power-off)
// go through a SchedulerHost.
//
// Nothing reserved is lost without a word. A reservation whose span is
// still running when the device comes free (its start passed during another
// recording, while Kestrova was closed or the timer off, while the machine
// slept) records what is left of it; one whose whole span passed is told in
// the log, the status bar and the balloon, and retired or moved on.
#pragma once

#include "history/run_record.h"
#include "reservation/after_command.h"
#include "reservation/after_run.h"
#include "platform/clock.h"
#include "reservation/reservation_book.h"
#include "reservation/run_journal.h"
#include "reservation/run_recorder.h"
#include "reservation/schedule.h"
#include "store/settings.h"

#include <array>
#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <vector>

namespace kestrova {

inline constexpr unsigned kTrayIconNormal = 108;
inline constexpr unsigned kTrayIconRecording = 109;
// The machine is woken this long before an armed start (it and the capture
// device need time to come up), and kept awake from this long before it.
inline constexpr std::int64_t kWakeLeadSeconds = 60;
inline constexpr std::int64_t kStayAwakeSeconds = 120;
// Ticks come once a second; a longer silence means the machine slept (or
// the program was held) and the schedule is looked at again from scratch.
inline constexpr std::int64_t kTickSilenceSeconds = 3;
// The clock moved by more than this against the steady clock: it was set.
inline constexpr std::int64_t kClockChangeSeconds = 2;

// Why a reservation was not recorded, or started late.
enum class ScheduleReason { AnotherRecording, NotRunning, TimerOff, Asleep, ClockChanged, PassedWhenReserved, TimerLate };
std::string ReasonText(ScheduleReason reason);

// StartCommand (CommandStarter): the command after a recording; the
// countdown and the power calls (AfterRunHost): the action after a run.
class SchedulerHost : public CommandStarter, public AfterRunHost {
public:
    virtual ~SchedulerHost() = default;

    // Timer 1, once a second, its first tick on the next whole second.
    virtual void StartTimer() = 0;
    virtual void StopTimer() = 0;
    virtual bool WindowMinimized() = 0;
    virtual bool WindowVisible() = 0;
    virtual void ShowWindow() = 0;
    virtual void SwapTrayIcon(unsigned iconResource) = 0;
    // The next-reservation text, drawn in red (kept alive by the scheduler).
    virtual void ShowTimerText(const std::string& text) = 0;
    virtual void ClearStatusText() = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // A scheduled run begins and ends: meanwhile the menu bar is locked, no
    // command or tick starts anything, and failures are shown without
    // waiting for anyone.
    virtual void BeginUnattendedRun() = 0;
    virtual void EndUnattendedRun() = 0;
    // A recording runs (this schedule's, or one started by hand): the
    // schedule starts nothing and waits for it to end.
    virtual bool Recording() = 0;
    // A failure of the unattended schedule (a file not written), shown
    // without waiting for anyone.
    virtual void ShowFailure(const std::string& text) = 0;
    // What the schedule has to tell (a reservation missed, too little room,
    // a recording kept after a kill): the status bar and the notification
    // balloon, no box.
    virtual void Notify(const std::string& text) = 0;
    // When the system last started, and when it was last used (keyboard or
    // mouse; none: not known).
    virtual std::int64_t BootedAt() = 0;
    virtual std::optional<std::int64_t> LastInputAt() = 0;
    // Wake the machine from sleep at this time (none: no wake-up).
    virtual void WakeAt(std::optional<std::int64_t> time) = 0;
    // Keep the machine from sleeping (the last minutes before a start, a run).
    virtual void KeepAwake(bool on) = 0;
    // The full path of the text log "Capture.log" (in the work directory),
    // asked for each record: the work directory may change meanwhile.
    virtual std::string LogPath() = 0;
    // The main window's title without the next reservation.
    virtual std::string MainTitle() = 0;
};

class Scheduler {
public:
    // Made when the program starts: what passed before counts as passed
    // while it was not running.
    Scheduler(const Clock& clock, SchedulerHost& host, ReservationBook& book, const AppSettings& settings,
              RunRecorder& recorder, RecordWriter writer, RunJournal journal);

    bool armed() const { return armed_; }
    int armedIndex() const { return armedIndex_; }
    // Runs whose recording is still being stored (their record follows).
    bool storing() const { return !pending_.empty(); }

    // Once the main window is up: runs a kill cut off are kept and told,
    // and reservations whose spans passed while Kestrova was not running
    // are told, and retired or moved on.
    void Start();
    // The "ﾀｲﾏｰ予約" command: arms, or disarms (the preview back on when the
    // settings want it, the window shown again).
    void Toggle();
    // After the reservation dialog: the `edited` slots were reserved just
    // now; an armed timer waits for the (new) next reservation.
    void Rearm(const SlotSet& edited = {});
    // A tick of timer 1: runs what is due.
    void Tick();
    // The machine came back from sleep, or the system time was changed:
    // Review() (posted by the window, so the sender is not held) then looks
    // at the schedule again at once.
    void Resumed(bool byUser = false);
    void ClockChanged();
    void Review();
    // A command started after a recording ended: logged with its exit code.
    void CommandEnded(std::uint64_t id, std::uint32_t exitCode);
    // The countdown before the action after a run: its cancel button.
    void CancelAfterRun();
    // The system refused the power-off at once (told then): the next start
    // has nothing to tell of it.
    void ForgetPowerOff();
    const AfterRunCountdown& afterRun() const { return afterRun_; }
    // The next reservation in the status bar and the title (every paint).
    void UpdateStatus();
    // The main window's title: with the next start while armed.
    std::string Title() const;
    // What every reservation records before its start and after its end.
    Margins MarginsInForce() const { return Margins{settings_.StartMargin, settings_.EndMargin}; }

private:
    struct Interval {
        std::int64_t from = 0;
        std::int64_t to = -1;
        bool Holds(std::int64_t t) const { return from <= t && t <= to; }
    };
    // The clock set forward: from `from` to `to` on the clock, at `steady`.
    struct ClockJump {
        std::int64_t from = 0;
        std::int64_t to = 0;
        std::int64_t steady = 0;
    };
    struct Pending {
        std::uint64_t id = 0;
        JournalRun run;
        AfterRunAction action = AfterRunAction::None;  // once stored
    };

    using Spans = std::array<std::optional<Span>, kReservationSlots>;

    void Look();
    void NoteTime(std::int64_t now, bool ticked);
    std::optional<Span> PendingSpan(int slot, std::int64_t now);
    Spans PendingSpans(std::int64_t now);
    Span RecordedSpan(int slot, const Spans& spans) const;
    void TellMissed(std::int64_t now);
    ScheduleReason TellMissedSlot(int slot, const Span& span, std::int64_t now, std::vector<std::string>& told);
    bool HeldByClockJump(const Span& span) const;
    bool HoldsJumpedSpan(std::int64_t now);
    std::optional<int> DueSlot(std::int64_t now);
    void Run(int slot, std::int64_t now);
    void Record(Pending& pending, std::int64_t reservedStart, std::int64_t now);
    void Retire(int slot, const ReservationEntry& entry, const Span& span, JournalRun& run);
    void Store(Pending& pending);
    void Stored(std::uint64_t id, StoredRecording stored);
    void WriteRecords();
    void Recover();
    void TellUnreadable();
    void RecoverRun(JournalRun run, std::int64_t now);
    void SaveJournal();
    void ArmNext(std::int64_t now);
    struct NextRun {
        std::optional<std::int64_t> start;
        std::string label;
    };
    NextRun NextRunAfter(std::int64_t now);
    void BeginAfterRun(AfterRunAction action);
    void LookAfterRun(std::int64_t now);
    void StopAfterRun(const std::string& line);
    void Notice(const std::string& line);
    void TellRefusedPowerOff();
    std::string PowerOffNote() const;
    void CheckRoom(int slot);
    void NoteGap(std::int64_t from, std::int64_t to, ScheduleReason reason);
    ScheduleReason ReasonAt(int slot, std::int64_t t) const;
    void SetTimer(bool on);
    void SetWake(std::optional<std::int64_t> time);
    void Tell(const std::string& text);
    void TellSaveFailure();

    const Clock& clock_;
    SchedulerHost& host_;
    ReservationBook& book_;
    const AppSettings& settings_;
    RunRecorder& recorder_;
    RecordWriter writer_;
    RunJournal journal_;
    AfterCommands afterCommands_;
    std::string overlapText_;
    std::string notice_;
    bool armed_ = false;
    int armedIndex_ = -1;
    bool timerOn_ = false;
    std::optional<std::int64_t> wakeAt_;

    // Runs whose record is not written yet, in the order they ran; written
    // in that order once each is stored.
    std::list<Pending> pending_;
    std::uint64_t nextRunId_ = 1;
    AfterRunCountdown afterRun_;
    // The wake time in force when the machine last resumed, and when.
    std::optional<std::int64_t> wokeFor_;
    std::optional<std::int64_t> resumedAt_;

    // What explains a start or an end that passed unseen.
    std::int64_t startedAt_;
    std::int64_t armedAt_ = 0;
    std::int64_t lastLook_ = 0;
    std::int64_t lastSteady_ = 0;
    Interval lastRun_;
    Interval gap_;
    ScheduleReason gapReason_ = ScheduleReason::Asleep;
    std::vector<ClockJump> jumps_;
    std::array<std::int64_t, kReservationSlots> reservedAt_{};
    // The span start of each slot whose run a kill cut off after it had
    // recorded something: that span is never told as missed.
    std::array<std::int64_t, kReservationSlots> keptAfterKill_{};
    // A weekly slot whose start is one of its occurrences still to be
    // handled; others (fresh from the dialog) first move to their next one.
    SlotSet weeklyKnown_;
    bool overlapStale_ = true;
    // The room check of the next reservation (slot, start) and its shortage.
    std::optional<std::pair<int, std::int64_t>> roomChecked_;
    std::string roomShort_;
};

}  // namespace kestrova
