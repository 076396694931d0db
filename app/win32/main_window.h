// The main window and the parts it owns: the settings and reservations of
// the run, the capture device and its port, the status bar and its font, the
// notification icon and the reservation timer, whose host it is. wWinMain
// makes the one MainWindow of the run; one thread owns all of it. Commands
// (command_table.cpp) are handed the parts they work with.
#pragma once

#include "app/single_instance.h"
#include "app/win32/device_services_win32.h"
#include "app/win32/status_bar.h"
#include "app/win32/tray_icon.h"
#include "app/win32/window_frame.h"
#include "capture/capture_device.h"
#include "capture/capture_port.h"
#include "platform/clock.h"
#include "platform/dpi.h"
#include "platform/power.h"
#include "platform/win32_handles.h"
#include "platform/win32_process.h"
#include "reservation/device_run_recorder.h"
#include "reservation/reservation_book.h"
#include "reservation/scheduler.h"
#include "reservation/win32/countdown_window.h"
#include "store/settings.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

namespace kestrova {

// What the running program switches on and off besides the settings.
struct RunState {
    // A recording is running: it returns only when it has ended, and no
    // command or timer tick may start anything inside it.
    bool recording = false;
};

class MainWindow final : public SchedulerHost {
public:
    MainWindow(HINSTANCE instance, int launchMode);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Reads the settings and reservations beside the executable, creates the
    // window (and with it the device) and shows it; false when there is none.
    bool Start(int showCommand);
    // After the message loop: the device goes before the port it talks
    // through; then the machine is switched off if a reservation asked.
    void Finish();

    // The parts commands work with.
    HWND window() const { return window_; }
    HINSTANCE instance() const { return instance_; }
    AppSettings& settings() { return settings_; }
    RunState& run() { return run_; }
    CaptureDevice* device() { return device_.get(); }
    // The device, when its driver is connected.
    CaptureDevice* connectedDevice() { return device_ != nullptr && device_->connected() ? device_.get() : nullptr; }
    StatusBar& statusBar() { return statusBar_; }
    // Files, the user's answers, and where failures are told.
    Win32DeviceServices& services() { return services_; }
    GdiObject<HFONT>& statusFont() { return statusFont_; }
    // The DPI the window is shown at.
    int dpi() const { return dpi_; }
    Scheduler& scheduler() { return *scheduler_; }
    ReservationBook& reservations() { return *book_; }
    const Clock& clock() const { return clock_; }

    // Fits the window to the picture for the occasion.
    void Fit(PictureSize picture, FitOccasion occasion);
    // The frame after 環境設定 (a fixed picture's size, or none when scaled).
    void ChangeFrame(const std::optional<PictureSize>& fixedPicture);
    // The capture menu greyed without a connected driver.
    void UpdateCaptureMenu();
    // The status font made anew from the settings (after the font dialog);
    // a status bar shown in the old one takes the new one.
    void RenewStatusFont();

    // Once started: the window answers to `identity`, so a later start with
    // the same settings hands its command line here (single_instance_win32.cpp).
    void Publish(std::wstring identity);
    // A TV-guide programme file to open in the reservation dialog as soon as
    // nothing runs (a recording, a dialog).
    void OpenProgrammeFile(const std::string& path);

    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    // SchedulerHost: timer 1, the window, its icon and title, the power-off.
    void StartTimer() override;
    void StopTimer() override;
    bool WindowMinimized() override;
    bool WindowVisible() override;
    void ShowWindow() override;
    void SwapTrayIcon(unsigned iconResource) override;
    void ShowTimerText(const std::string& text) override;
    void ClearStatusText() override;
    void SetTitle(const std::string& title) override;
    void BeginUnattendedRun() override;
    void EndUnattendedRun() override;
    bool Recording() override { return run_.recording; }
    void ShowFailure(const std::string& text) override;
    void Notify(const std::string& text) override;
    void PowerOff() override;
    void ShowCountdown(AfterRunAction action, std::int64_t deadline) override;
    void HideCountdown() override;
    std::string Suspend(bool hibernate) override { return power_->Suspend(hibernate); }
    std::int64_t BootedAt() override;
    std::optional<std::int64_t> LastInputAt() override;
    void WakeAt(std::optional<std::int64_t> time) override;
    void KeepAwake(bool on) override;
    std::string LogPath() override;
    std::string MainTitle() override { return mainTitle_; }
    // CommandStarter: the command after a recording.
    std::variant<StartedCommand, std::string> StartCommand(const std::string& commandLine,
                                                           const std::string& directory) override;
    std::optional<std::uint64_t> WatchCommand(const std::string& process) override;

    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    std::optional<LRESULT> HandleSystem(UINT message, WPARAM wParam);
    void OnCreate();
    std::optional<PictureSize> CreateDevice();
    void OnDestroy();
    // The settings and the reservations written to their files; false (and
    // told, in a box when `box`, else in Capture.log) when one could not be.
    bool SaveFiles(bool box);
    bool OnClose();
    void OnCopiesEnded();
    void ShowCopyProgress();
    void OnSize(WPARAM type, LPARAM lParam);
    void OnDpiChanged(int dpi, const RECT& suggested);
    void OnTimer();
    void OnInitMenuPopup(HMENU popup);
    void OnMenuSelect(WPARAM wParam);
    void OnTrayEvent(LPARAM lParam);
    void OnCommand(UINT id);
    void ShowWorkFile(const std::string& path);
    void ReleaseDevice();
    void Unpublish();
    LRESULT OnHandOver(const COPYDATASTRUCT& data);
    bool ApplyHandOver();
    void OnDropFiles(HDROP drop);
    void OnOpenProgramme();

    HINSTANCE instance_;
    int launchMode_;
    HWND window_ = nullptr;
    std::string settingsPath_;
    AppSettings settings_;
    std::unique_ptr<ReservationBook> book_;
    RunState run_;
    std::string mainTitle_;  // UTF-8
    GdiObject<HFONT> statusFont_;
    // The DPI the window is shown at, the status bar's own font at it, and
    // the last fit of the window to the picture (done again at a new DPI
    // while the frame is fixed).
    int dpi_ = kBaseDpi;
    GdiObject<HFONT> barFont_;
    struct Fitting {
        FitRule rule;
        PictureSize picture;
    };
    std::optional<Fitting> lastFit_;
    TrayIcon tray_;
    // Made when the window is created, released when it is destroyed (the
    // port outlives the device that talks through it).
    std::unique_ptr<CapturePort> capturePort_;
    std::unique_ptr<CaptureDevice> device_;
    StatusBar statusBar_;
    Win32DeviceServices services_;
    SystemClock clock_;
    std::unique_ptr<DeviceRunRecorder> recorder_;
    std::unique_ptr<Scheduler> scheduler_;
    // The commands started after recordings, watched while the window lives.
    std::optional<CommandRunner> commands_;

    // The reservation timer's own state.
    bool firstTick_ = false;
    WakeTimer wake_;
    bool wakeFailureTold_ = false;
    bool awake_ = false;
    std::optional<RecordingScope> unattendedRun_;
    bool powerOffAtExit_ = false;
    std::unique_ptr<PowerPort> power_ = MakePowerPort();
    // The minute before the action after a run, shown while it counts.
    std::optional<CountdownWindow> countdown_;

    // The identity the window answers to, and a handed command line that
    // waits for a recording or a dialog to end.
    std::wstring published_;
    std::optional<HandOverRequest> handOver_;
    // The programme file the posted open takes.
    std::string programmeToOpen_;
};

// Loads a string-table resource as UTF-8 (empty when there is none).
std::string LoadResourceText(HINSTANCE instance, UINT id);

// The notification icon's callback message.
inline constexpr UINT kTrayMessage = WM_APP + 3;
// The schedule is looked at again (after a sleep or a clock change).
inline constexpr UINT kReviewMessage = WM_APP + 1;
// A copy running beside the window has ended.
inline constexpr UINT kCopyEndedMessage = WM_APP + 2;
// A command started after a recording has ended (wParam: its id).
inline constexpr UINT kCommandEndedMessage = WM_APP + 4;
// The programme file in programmeToOpen_ is opened (posted by a hand-over).
inline constexpr UINT kOpenProgrammeMessage = WM_APP + 5;
inline constexpr UINT_PTR kReservationTimer = 1;
// While copies run: their progress in the title, twice a second.
inline constexpr UINT_PTR kCopyProgressTimer = 2;
// A command line handed over by a later start waits for a recording to end.
inline constexpr UINT_PTR kHandOverTimer = 3;

}  // namespace kestrova
