// The reservation timer: arming and disarming, the one-second ticks, the
// scheduled run (record, log, history, name, retire, re-arm or switch the
// machine off) and what the status bar and the title say about the next
// reservation. Windows things (the timer, the menu bar, the tray icon, the
// window, the power-off) go through a SchedulerHost.
//
// Nothing reserved is lost without a word. A reservation whose span is
// still running when the device comes free (its start passed during another
// recording, while Kestrova was closed or the timer off, while the machine
// slept) records what is left of it; one whose whole span passed is told in
// the log, the status bar and the balloon, and retired or moved on.
#pragma once

#include "capture/capture_device.h"
#include "platform/clock.h"
#include "reservation/reservation.h"
#include "reservation/schedule.h"
#include "store/settings.h"

#include <array>
#include <bitset>
#include <cstdint>
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
// the clock jumped) and the schedule is looked at again from scratch.
inline constexpr std::int64_t kTickSilenceSeconds = 3;

using SlotSet = std::bitset<kReservationSlots>;

// Why a reservation was not recorded, or started late.
enum class ScheduleReason { AnotherRecording, NotRunning, TimerOff, Asleep, ClockChanged, PassedWhenReserved, TimerLate };
std::string ReasonText(ScheduleReason reason);

class SchedulerHost {
public:
    virtual ~SchedulerHost() = default;

    // Timer 1, once a second, its first tick on the next whole second.
    virtual void StartTimer() = 0;
    virtual void StopTimer() = 0;
    virtual bool WindowMinimized() = 0;
    virtual bool WindowVisible() = 0;
    virtual void ShowWindow() = 0;
    virtual void SwapTrayIcon(unsigned iconResource) = 0;
    // The red next-reservation text (kept alive by the scheduler), or none.
    virtual void ShowTimerText(const std::string& text) = 0;
    virtual void ClearStatusText() = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // A scheduled run begins and ends: meanwhile the menu bar is locked, no
    // command or tick starts anything, and failures are shown without
    // waiting for anyone.
    virtual void BeginUnattendedRun() = 0;
    virtual void EndUnattendedRun() = 0;
    // A failure of the unattended run (its log or history page not written),
    // shown without waiting for anyone.
    virtual void ShowFailure(const std::string& text) = 0;
    // What the schedule has to tell outside a run (a reservation missed, too
    // little room): the status bar and the notification balloon, no box.
    virtual void Notify(const std::string& text) = 0;
    // The run asked for the machine to be switched off: the program ends
    // with its closing work done, then switches it off.
    virtual void PowerOff() = 0;
    // Wake the machine from sleep at this time (none: no wake-up).
    virtual void WakeAt(std::optional<std::int64_t> time) = 0;
    // Keep the machine from sleeping (the last minutes before a start, a run).
    virtual void KeepAwake(bool on) = 0;
    // The full path of the text log "Capture.log" (in the work directory),
    // asked for each record: the work directory may change meanwhile.
    virtual std::string LogPath() = 0;
};

class Scheduler {
public:
    // `historyDirectory`: where CaptureLog.html lives (the executable's,
    // with its separator); the text log goes where the host says. Made when
    // the program starts: what passed before counts as passed while it was
    // not running.
    Scheduler(const Clock& clock, SchedulerHost& host, ReservationTable& table, const AppSettings& settings,
              std::string historyDirectory);

    void SetDevice(CaptureDevice* device) { device_ = device; }
    void SetMainTitle(std::string title) { mainTitle_ = std::move(title); }

    bool armed() const { return armed_; }
    int armedIndex() const { return armedIndex_; }
    // True while a scheduled recording runs.
    bool running() const { return running_; }
    // The last thing the schedule told (empty: nothing).
    const std::string& notice() const { return notice_; }

    // Once the main window is up: reservations whose spans passed while
    // Kestrova was not running are told, and retired or moved on.
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
    void Resumed();
    void ClockChanged();
    void Review();
    // The next reservation in the status bar and the title (every paint).
    void UpdateStatus();

private:
    struct Interval {
        std::int64_t from = 0;
        std::int64_t to = -1;
        bool Holds(std::int64_t t) const { return from <= t && t <= to; }
    };

    void Look();
    std::optional<Span> PendingSpan(int slot, std::int64_t now);
    void TellMissed(std::int64_t now);
    bool Retire(int slot, const Span& span);
    std::optional<int> DueSlot(std::int64_t now);
    bool Run(int slot, std::int64_t now);
    void Record(std::vector<std::string>& lines, const ReservationEntry& entry, std::int64_t now,
                std::int32_t length);
    std::string StoreRecording(std::int64_t began);
    void WriteRecord(const std::vector<std::string>& extraLines, const ReservationEntry& entry, std::int64_t began,
                     std::int32_t length, std::int64_t ended, const CapStatus& status);
    void ArmNext(std::int64_t now);
    void CheckRoom(int slot);
    void NoteGap(std::int64_t from, std::int64_t to, ScheduleReason reason);
    ScheduleReason ReasonAt(int slot, std::int64_t t) const;
    void SetTimer(bool on);
    void SetWake(std::optional<std::int64_t> time);
    void Tell(const std::string& text);

    const Clock& clock_;
    SchedulerHost& host_;
    ReservationTable& table_;
    const AppSettings& settings_;
    CaptureDevice* device_ = nullptr;
    std::string historyDirectory_;
    std::string mainTitle_;
    std::string timerText_;  // the status bar shows it by reference
    std::string overlapText_;
    std::string notice_;
    bool armed_ = false;
    int armedIndex_ = -1;
    bool running_ = false;
    bool timerOn_ = false;
    std::optional<std::int64_t> wakeAt_;

    // What explains a start or an end that passed unseen.
    std::int64_t startedAt_;
    std::int64_t armedAt_ = 0;
    std::int64_t lastLook_ = 0;
    Interval lastRun_;
    Interval gap_;
    ScheduleReason gapReason_ = ScheduleReason::Asleep;
    std::array<std::int64_t, kReservationSlots> reservedAt_{};
    // A weekly slot whose start is one of its occurrences still to be
    // handled; others (fresh from the dialog) first move to their next one.
    SlotSet weeklyKnown_;
    bool overlapStale_ = true;
    // The room check of the next reservation (slot, start) and its shortage.
    std::optional<std::pair<int, std::int64_t>> roomChecked_;
    std::string roomShort_;
};

}  // namespace kestrova
