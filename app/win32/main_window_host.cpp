// The main window as the reservation timer's host: timer 1, the window and
// its notification icon, the title, the unattended run and the power-off.
#include "app/win32/main_window.h"

#include "app/main_title.h"
#include "history/capture_log.h"
#include "platform/win32_dialog.h"
#include "platform/win32_text.h"
#include "store/string_table.h"

#include <cstdio>

namespace kestrova {

void MainWindow::StartTimer() {
    // The first tick falls on the next whole second, so a reservation starts
    // within a fraction of a second of its time; then once a second.
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    const auto intoSecond = static_cast<UINT>((ticks % 10000000) / 10000);
    firstTick_ = true;
    SetTimer(window_, kReservationTimer, 1000 - intoSecond + 1, nullptr);
}

void MainWindow::StopTimer() {
    KillTimer(window_, kReservationTimer);
    firstTick_ = false;
}

// WM_TIMER of timer 1: after the first tick (on a whole second) the timer
// goes on once a second.
void MainWindow::OnTimer() {
    if (firstTick_) {
        firstTick_ = false;
        SetTimer(window_, kReservationTimer, 1000, nullptr);
    }
    scheduler_->Tick();
}

std::variant<StartedCommand, std::string> MainWindow::StartCommand(const std::string& commandLine,
                                                                  const std::string& directory) {
    if (!commands_) return std::string(LoadText(strings::kAfterCommandNoWindow));
    auto started = commands_->Start(commandLine, directory);
    if (auto* error = std::get_if<std::string>(&started)) return std::move(*error);
    auto& command = std::get<CommandRunner::Started>(started);
    return StartedCommand{command.id, std::move(command.process)};
}

std::optional<std::uint64_t> MainWindow::WatchCommand(const std::string& process) {
    return commands_ ? commands_->Watch(process) : std::nullopt;
}

bool MainWindow::WindowMinimized() { return IsIconic(window_) != 0; }

bool MainWindow::WindowVisible() { return IsWindowVisible(window_) != 0; }

void MainWindow::ShowWindow() { ::ShowWindow(window_, SW_SHOWNORMAL); }

void MainWindow::SwapTrayIcon(unsigned iconResource) { tray_.SwapIcon(iconResource); }

void MainWindow::ShowTimerText(const std::string& text) { statusBar_.ShowTimerText(text); }

void MainWindow::ClearStatusText() { statusBar_.ClearPart0(); }

void MainWindow::SetTitle(const std::string& title) {
    std::string shown = title;
    if (services_.Copying()) {
        const auto [copied, total] = services_.CopyProgress();
        shown += FillText(strings::kCopyProgress, {CopyPercent(copied, total)});
    }
    // Every paint asks: the title changes only when the text does.
    const std::wstring wide = Widen(shown);
    if (wide != WindowTextW(window_)) SetWindowTextW(window_, wide.c_str());
}

// The same lock as a recording from the menu, and failures told without a
// box that would wait for a click.
void MainWindow::BeginUnattendedRun() {
    unattendedRun_.emplace(window_, run_.recording);
    services_.SetUnattended(true);
}

void MainWindow::EndUnattendedRun() {
    services_.SetUnattended(false);
    unattendedRun_.reset();
}

// Whenever the schedule tells a failure nobody may be there: never a box.
void MainWindow::ShowFailure(const std::string& text) { services_.Report(FailureKind::Schedule, text); }

void MainWindow::Notify(const std::string& text) { services_.Notify(text); }

void MainWindow::WakeAt(std::optional<std::int64_t> time) {
    if (time) {
        // Told once: a machine that sleeps through the start misses it.
        if (!wake_.Set(*time) && !wakeFailureTold_) {
            wakeFailureTold_ = true;
            services_.Report(FailureKind::Schedule, std::string(LoadText(strings::kWakeTimerFailed)));
        }
    } else {
        wake_.Cancel();
    }
}

void MainWindow::KeepAwake(bool on) {
    if (on == awake_) return;
    awake_ = on;
    KeepSystemAwake(on);
}

void MainWindow::ShowCountdown(AfterRunAction action, std::int64_t deadline) {
    countdown_->Show(instance_, window_);
    const LocalTime at = clock_.ToLocal(deadline);
    char time[16];
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", at.hour, at.minute, at.second);
    Notify(FillText(strings::kAfterRunBalloon, {time, AfterRunName(action)}));
}

void MainWindow::HideCountdown() { countdown_->Hide(); }

std::int64_t MainWindow::BootedAt() { return clock_.Now() - static_cast<std::int64_t>(GetTickCount64() / 1000); }

std::optional<std::int64_t> MainWindow::LastInputAt() {
    LASTINPUTINFO input{sizeof input, 0};
    if (!GetLastInputInfo(&input)) return std::nullopt;
    // Ticks of 32 bits: the difference is right across their wrap.
    const DWORD since = GetTickCount() - input.dwTime;
    return clock_.Now() - static_cast<std::int64_t>(since / 1000);
}

void MainWindow::PowerOff() {
    // The normal closing work first (settings, reservations with the slot
    // just retired, the icon, the device); the machine goes off after the
    // message loop.
    powerOffAtExit_ = true;
    DestroyWindow(window_);
}

}  // namespace kestrova

namespace kestrova {

// In the work directory as it is now, by its full path.
std::string MainWindow::LogPath() { return JoinWorkPath(ChooseWorkDirectory(settings_.TempPath, services_), kCaptureLogName); }

}  // namespace kestrova
