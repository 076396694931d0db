// The reservation timer: arming and disarming, the one-second ticks, the
// scheduled run (record, log, history, name, retire, re-arm or switch the
// machine off) and what the status bar and the title say about the next
// reservation. Windows things (the timer, the menu bar, the tray icon, the
// window, the power-off) go through a SchedulerHost.
#pragma once

#include "capture/capture_device.h"
#include "platform/clock.h"
#include "reservation/reservation.h"
#include "store/settings.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kestrova {

inline constexpr unsigned kTrayIconNormal = 108;
inline constexpr unsigned kTrayIconRecording = 109;
// The machine is woken this long before an armed start (it and the capture
// device need time to come up), and kept awake from this long before it.
inline constexpr std::int64_t kWakeLeadSeconds = 60;
inline constexpr std::int64_t kStayAwakeSeconds = 120;

class SchedulerHost {
public:
    virtual ~SchedulerHost() = default;

    // Timer 1, once a second, its first tick on the next whole second.
    virtual void StartTimer() = 0;
    virtual void StopTimer() = 0;
    virtual void LockMenuBar() = 0;
    virtual void UnlockMenuBar() = 0;
    virtual bool WindowMinimized() = 0;
    virtual bool WindowVisible() = 0;
    virtual void ShowWindow() = 0;
    virtual void SwapTrayIcon(unsigned iconResource) = 0;
    // The red next-reservation text (kept alive by the scheduler), or none.
    virtual void ShowTimerText(const std::string& text) = 0;
    virtual void ClearStatusText() = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // A run is unattended: failures are shown without waiting for anyone.
    virtual void SetUnattended(bool unattended) = 0;
    // A failure of the unattended run (its log or history page not written),
    // shown without waiting for anyone.
    virtual void ShowFailure(const std::string& text) = 0;
    // The run asked for the machine to be switched off: the program ends
    // with its closing work done, then switches it off.
    virtual void PowerOff() = 0;
    // Wake the machine from sleep at this time (none: no wake-up).
    virtual void WakeAt(std::optional<std::int64_t> time) = 0;
    // Keep the machine from sleeping (the last minutes before a start, a run).
    virtual void KeepAwake(bool on) = 0;
};

class Scheduler {
public:
    // `historyDirectory`: where CaptureLog.html lives (the executable's,
    // with its separator); the text log goes to `logPath`.
    Scheduler(const Clock& clock, SchedulerHost& host, ReservationTable& table, const AppSettings& settings,
              std::string historyDirectory, std::string logPath);

    void SetDevice(CaptureDevice* device) { device_ = device; }
    void SetMainTitle(std::string title) { mainTitle_ = std::move(title); }

    bool armed() const { return armed_; }
    int armedIndex() const { return armedIndex_; }
    // True while a scheduled recording runs.
    bool running() const { return running_; }

    // The "ﾀｲﾏｰ予約" command: arms, or disarms (the preview back on when the
    // settings want it, the window shown again).
    void Toggle();
    // After the reservation dialog: armed again on the (edited) table.
    void Rearm();
    // A tick of timer 1: runs the armed reservation when it is due.
    void Tick();
    // The next reservation in the status bar and the title (every paint).
    void UpdateStatus();

private:
    void Arm();
    void Run();
    void WriteRecord(const ReservationEntry& entry, std::int32_t length, std::int64_t ended, const CapStatus& status);
    void StoreRecording(const ReservationEntry& entry);

    const Clock& clock_;
    SchedulerHost& host_;
    ReservationTable& table_;
    const AppSettings& settings_;
    CaptureDevice* device_ = nullptr;
    std::string historyDirectory_;
    std::string logPath_;
    std::string mainTitle_;
    std::string timerText_;  // the status bar shows it by reference
    bool armed_ = false;
    int armedIndex_ = -1;
    bool running_ = false;
};

}  // namespace kestrova
