#include "app/win32/scheduler_host.h"

#include "app/win32/app_state.h"
#include "app/win32/window_frame.h"
#include "platform/win32_text.h"

namespace kestrova {

void Win32SchedulerHost::StartTimer() {
    // The first tick falls on the next whole second, so a reservation starts
    // within a fraction of a second of its time; then once a second.
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    const auto intoSecond = static_cast<UINT>((ticks % 10000000) / 10000);
    firstTick_ = true;
    SetTimer(app_.mainWindow, kReservationTimer, 1000 - intoSecond + 1, nullptr);
}

void Win32SchedulerHost::StopTimer() {
    KillTimer(app_.mainWindow, kReservationTimer);
    firstTick_ = false;
}

void Win32SchedulerHost::OnTimer() {
    if (firstTick_) {
        firstTick_ = false;
        SetTimer(app_.mainWindow, kReservationTimer, 1000, nullptr);
    }
    if (app_.scheduler != nullptr) app_.scheduler->Tick();
}

void Win32SchedulerHost::LockMenuBar() { lockedItems_ = kestrova::LockMenuBar(app_.mainWindow); }

void Win32SchedulerHost::UnlockMenuBar() { kestrova::UnlockMenuBar(app_.mainWindow, lockedItems_); }

bool Win32SchedulerHost::WindowMinimized() { return IsIconic(app_.mainWindow) != 0; }

bool Win32SchedulerHost::WindowVisible() { return IsWindowVisible(app_.mainWindow) != 0; }

void Win32SchedulerHost::ShowWindow() { ::ShowWindow(app_.mainWindow, SW_SHOWNORMAL); }

void Win32SchedulerHost::SwapTrayIcon(unsigned iconResource) { app_.tray.SwapIcon(iconResource); }

void Win32SchedulerHost::ShowTimerText(const std::string& text) {
    app_.statusBar.SetSimple(false);
    app_.statusBar.ShowOwnerDrawn(text);
}

void Win32SchedulerHost::ClearStatusText() { app_.statusBar.ClearPart0(); }

void Win32SchedulerHost::SetTitle(const std::string& title) {
    // Every paint asks: the title changes only when the text does.
    if (title == shownTitle_) return;
    shownTitle_ = title;
    SetWindowTextW(app_.mainWindow, Widen(title).c_str());
}

void Win32SchedulerHost::SetUnattended(bool unattended) {
    app_.run.recording = unattended;
    app_.services.SetUnattended(unattended);
}

void Win32SchedulerHost::ShowFailure(const std::string& text) { app_.services.ShowRecordingFailure(text); }

void Win32SchedulerHost::Notify(const std::string& text) { app_.services.Notify(text); }

void Win32SchedulerHost::WakeAt(std::optional<std::int64_t> time) {
    if (time) {
        wake_.Set(*time);
    } else {
        wake_.Cancel();
    }
}

void Win32SchedulerHost::KeepAwake(bool on) {
    if (on == awake_) return;
    awake_ = on;
    KeepSystemAwake(on);
}

void Win32SchedulerHost::PowerOff() {
    // The normal closing work first (settings, reservations with the slot
    // just retired, the icon, the device); the machine goes off after the
    // message loop.
    app_.powerOffAtExit = 1;
    DestroyWindow(app_.mainWindow);
}

}  // namespace kestrova
