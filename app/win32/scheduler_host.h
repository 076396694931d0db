// The reservation timer's link to the main window: timer 1, the menu bar,
// the window and its notification icon, the title, the power-off.
#pragma once

#include "platform/power.h"
#include "reservation/scheduler.h"

#include <windows.h>

namespace kestrova {

struct AppState;

class Win32SchedulerHost final : public SchedulerHost {
public:
    explicit Win32SchedulerHost(AppState& app) : app_(app) {}

    void StartTimer() override;
    void StopTimer() override;
    void LockMenuBar() override;
    void UnlockMenuBar() override;
    bool WindowMinimized() override;
    bool WindowVisible() override;
    void ShowWindow() override;
    void SwapTrayIcon(unsigned iconResource) override;
    void ShowTimerText(const std::string& text) override;
    void ClearStatusText() override;
    void SetTitle(const std::string& title) override;
    void SetUnattended(bool unattended) override;
    void ShowFailure(const std::string& text) override;
    void Notify(const std::string& text) override;
    void PowerOff() override;
    void WakeAt(std::optional<std::int64_t> time) override;
    void KeepAwake(bool on) override;

    // WM_TIMER of timer 1: after the first tick (on a whole second) the
    // timer goes on once a second.
    void OnTimer();

private:
    AppState& app_;
    bool firstTick_ = false;
    std::string shownTitle_;
    WakeTimer wake_;
    bool awake_ = false;
    int lockedItems_ = 0;
};

inline constexpr UINT_PTR kReservationTimer = 1;

}  // namespace kestrova
