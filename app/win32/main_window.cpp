// The main window: start-up with the capture device, menu states, command
// dispatch, the notification icon and the save at destruction.
#include "app/win32/main_window.h"

#include "app/command_line.h"
#include "app/main_title.h"
#include "app/win32/commands.h"
#include "app/window_rules.h"
#include "capture/win32/capture_ports.h"
#include "history/capture_log.h"
#include "platform/files.h"
#include "platform/win32_dpi.h"
#include "platform/win32_text.h"
#include "resource_ids.h"
#include "store/string_table.h"

#include <shellapi.h>
#include <commctrl.h>

#include <algorithm>
#include <utility>

namespace kestrova {

namespace {

constexpr int kOptionsMenuPosition = 2;
constexpr int kVideoSettingsPosition = 6;  // inside the options menu

bool RegisterMainClass(HINSTANCE instance, const std::wstring& className) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWindow::Procedure;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_KESTROVA));
    wc.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SMALL));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszMenuName = MAKEINTRESOURCEW(IDR_MAINMENU);
    wc.lpszClassName = className.c_str();
    return RegisterClassExW(&wc) != 0;
}

void SetMenuItem(HMENU menu, UINT item, bool byPosition, const ItemState& state) {
    const UINT by = byPosition ? MF_BYPOSITION : MF_BYCOMMAND;
    EnableMenuItem(menu, item, by | (state.enabled ? MF_ENABLED : (MF_GRAYED | MF_DISABLED)));
    if (!state.keepCheck) CheckMenuItem(menu, item, by | (state.checked ? MF_CHECKED : MF_UNCHECKED));
}

MenuInputs ReadMenuInputs(const AppSettings& settings, bool armed, const CaptureDevice* device) {
    MenuInputs in;
    in.confirmOn = settings.Confirm != 0;
    in.topMost = settings.TopMost != 0;
    in.timerArmed = armed;
    if (device == nullptr) return in;
    in.connected = device->connected();
    in.statusShown = device->IsStatusShown();
    in.hasOverlay = device->HasOverlay();
    in.hasSourceDialog = device->HasSourceDialog();
    in.hasFormatDialog = device->HasFormatDialog();
    in.hasDisplayDialog = device->HasDisplayDialog();
    return in;
}

void SetOptionsMenu(HMENU popup, const OptionsMenuState& s) {
    SetMenuItem(popup, IDM_PREVIEW, false, s.preview);
    SetMenuItem(popup, IDM_OVERLAY, false, s.overlay);
    SetMenuItem(popup, kVideoSettingsPosition, true, s.videoSettings);
    SetMenuItem(popup, IDM_STATUS, false, s.status);
    SetMenuItem(popup, IDM_CONFIRM, false, s.confirm);
    SetMenuItem(popup, IDM_TOPMOST, false, s.topMost);
}

}  // namespace

std::string LoadResourceText(HINSTANCE instance, UINT id) {
    const wchar_t* text = nullptr;
    // With a zero buffer size LoadStringW hands out the resource's own
    // (not NUL-terminated) text and its length.
    const int length = LoadStringW(instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? Narrow(std::wstring_view(text, static_cast<std::size_t>(length))) : std::string();
}

// The start folder is taken before anything can change the current directory.
MainWindow::MainWindow(HINSTANCE instance, int launchMode) : instance_(instance), launchMode_(launchMode) {
    StartFolder();
}

MainWindow::~MainWindow() { ReleaseDevice(); }

bool MainWindow::Start(int showCommand) {
    const std::wstring className = Widen(LoadResourceText(instance_, strings::kClassName));
    RegisterMainClass(instance_, className);
    InitCommonControls();

    const std::string exe = ExecutablePath();
    settingsPath_ = ReplaceLastThree(exe, "ini");
    settings_ = LoadSettingsFile(settingsPath_, ScreenSize{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
    book_ = std::make_unique<ReservationBook>(ReplaceLastThree(exe, "tmr"));
    book_->Load();
    ApplyStartupDisplayRules(settings_);
    const std::string workDirectory = ChooseWorkDirectory(settings_.TempPath, services_);
    EnterDirectory(workDirectory);
    mainTitle_ = WorkFileTitle(LoadResourceText(instance_, strings::kProductName),
                               JoinWorkPath(workDirectory, settings_.TempFileName));
    // The history page and the journal lie beside the executable, the text
    // log in the work directory (LogPath).
    recorder_ = std::make_unique<DeviceRunRecorder>(clock_, settings_);
    scheduler_ = std::make_unique<Scheduler>(clock_, *this, *book_, settings_, *recorder_,
                                             RecordWriter(clock_, DirectoryOf(exe)),
                                             RunJournal(ReplaceLastThree(exe, "run")));
    countdown_.emplace(clock_, scheduler_->afterRun(), [this] { scheduler_->CancelAfterRun(); });

    // The window's creation makes the device and the first status bar (in
    // the bar's own font: the status font is made below).
    HWND hwnd = CreateWindowExW(0, className.c_str(), Widen(mainTitle_).c_str(),
                                MainWindowStyle(settings_.PreviewScale != 0), settings_.WindowPosX,
                                settings_.WindowPosY, 0, 0, nullptr, nullptr, instance_, this);
    if (hwnd == nullptr) return false;
    if (TempPathMissing(settings_.TempPath, services_)) {
        statusBar_.ShowMessage(FillText(strings::kWorkFolderFallback, {settings_.TempPath, workDirectory}));
    }

    tray_.Init(hwnd, instance_, IDI_SMALL, kTrayMessage);
    statusFont_ = CreateStatusFont(settings_, dpi_);
    ::ShowWindow(hwnd, showCommand);
    UpdateWindow(hwnd);
    return true;
}

void MainWindow::Finish() {
    ReleaseDevice();
    // Told where the user looks: the machine stayed on.
    if (powerOffAtExit_ && !power_->PowerOff()) {
        scheduler_->ForgetPowerOff();
        services_.Report(FailureKind::Ending, std::string(LoadText(strings::kPowerOffFailed)));
    }
}

void MainWindow::ReleaseDevice() {
    services_.CancelCopies();  // a scheduled one is made again at the next start
    if (recorder_ != nullptr) recorder_->SetDevice(nullptr);
    device_.reset();
    capturePort_.reset();
}

void MainWindow::Fit(PictureSize picture, FitOccasion occasion) {
    FitWindow(window_, statusBar_, statusFont_.get(), picture, occasion, dpi_);
    lastFit_ = Fitting{FittingRule(occasion), picture};
}

void MainWindow::ChangeFrame(const std::optional<PictureSize>& fixedPicture) {
    const FrameChange change =
        FrameAfterEnvironment(static_cast<std::uint32_t>(GetWindowLongW(window_, GWL_STYLE)), fixedPicture.has_value());
    SetWindowLongW(window_, GWL_STYLE, static_cast<LONG>(change.style));
    if (!change.fit) {
        SetWindowPos(window_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
        return;
    }
    lastFit_ = Fitting{FitRule{change.style, change.extraMenuHeights, false, false}, *fixedPicture};
    const SIZE size = FittedWindowSize(statusBar_, lastFit_->picture, lastFit_->rule, dpi_);
    SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
    AllowForFrame(window_, dpi_);
}

void MainWindow::RenewStatusFont() {
    const bool shown = statusBar_.font() != nullptr && statusBar_.font() == statusFont_.get();
    const GdiObject<HFONT> old = std::exchange(statusFont_, CreateStatusFont(settings_, dpi_));
    if (shown) statusBar_.SetFont(statusFont_.get());
    if (statusBar_.HasStatusBar()) InvalidateRect(statusBar_.window(), nullptr, TRUE);
}

// Moved to a display of another DPI: the fonts are made for it, the status
// bar anew in the kind of font it had, and the window takes the rectangle
// the system suggests; a fixed frame is fitted around the picture again.
void MainWindow::OnDpiChanged(int dpi, const RECT& suggested) {
    const bool inStatusFont = statusBar_.font() != nullptr && statusBar_.font() == statusFont_.get();
    dpi_ = dpi;
    // The old fonts last until the bar that shows one has gone.
    const GdiObject<HFONT> oldStatusFont = std::exchange(statusFont_, CreateStatusFont(settings_, dpi_));
    const GdiObject<HFONT> oldBarFont = std::exchange(barFont_, CreateStatusBarFont(dpi_));
    statusBar_.Create(window_, inStatusFont ? statusFont_.get() : barFont_.get());
    SIZE size{suggested.right - suggested.left, suggested.bottom - suggested.top};
    const auto style = static_cast<std::uint32_t>(GetWindowLongW(window_, GWL_STYLE));
    const bool fixed = lastFit_ && (style & kStyleSizableFrame) == 0;
    if (fixed) size = FittedWindowSize(statusBar_, lastFit_->picture, lastFit_->rule, dpi_);
    SetWindowPos(window_, nullptr, suggested.left, suggested.top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    if (fixed) AllowForFrame(window_, dpi_);
}

void MainWindow::UpdateCaptureMenu() {
    EnableMenuItem(GetMenu(window_), kCaptureMenuPosition,
                   MF_BYPOSITION | (connectedDevice() != nullptr ? MF_ENABLED : (MF_GRAYED | MF_DISABLED)));
    DrawMenuBar(window_);
}

void MainWindow::ShowWorkFile(const std::string& path) {
    mainTitle_ = WorkFileTitle(LoadText(strings::kProductName), path);
    if (window_ != nullptr && scheduler_ != nullptr) scheduler_->UpdateStatus();
}

// Creates the capture device and its window; returns the picture size, or
// nothing when the user chose not to start without a device.
std::optional<PictureSize> MainWindow::CreateDevice() {
    PictureSize picture{320, 240};
    capturePort_ = CreateCapturePort(instance_);
    if (capturePort_ == nullptr) return picture;
    device_ = std::make_unique<CaptureDevice>(*capturePort_, settings_, statusBar_, clock_, &services_);
    if (device_->Create("VideoCapture", WS_CHILD, 0, 0, 320, 240, reinterpret_cast<WindowHandle>(window_), 1)) {
        const auto [width, height] = device_->GetCaptureSize();
        picture = PictureSize{width, height};
    } else {
        const std::wstring question = Widen(LoadText(strings::kNoDeviceQuestion));
        if (MessageBoxW(window_, question.c_str(), Widen(LoadText(strings::kWarningCaption)).c_str(),
                        MB_ICONWARNING | MB_YESNO) != IDYES) {
            return std::nullopt;
        }
    }
    if (!device_->connected()) EnableMenuItem(GetMenu(window_), kCaptureMenuPosition, MF_BYPOSITION | MF_GRAYED);
    return picture;
}

void MainWindow::OnCreate() {
    commands_.emplace(window_, kCommandEndedMessage);
    services_.Attach(
        [this] {
            const WindowHandle capture = device_ != nullptr ? device_->captureWindow() : 0;
            return capture != 0 ? reinterpret_cast<HWND>(capture) : window_;
        },
        [this](const std::string& path) { ShowWorkFile(path); });
    services_.SetNotice([this](const std::string& text) {
        statusBar_.ShowMessage(text);
        tray_.Balloon(Widen(LoadText(strings::kProductName)), Widen(text));
    });
    services_.SetLogPath([this] { return LogPath(); });
    services_.SetCopyMessage(kCopyEndedMessage);
    const std::optional<PictureSize> picture = CreateDevice();
    recorder_->SetDevice(device_.get());
    if (!picture) {
        PostQuitMessage(0);
        return;
    }
    dpi_ = WindowDpi(window_);
    barFont_ = CreateStatusBarFont(dpi_);
    statusBar_.Create(window_, barFont_.get());
    Fit(*picture, settings_.PreviewScale != 0 ? FitOccasion::CreationScaled : FitOccasion::CreationFixed);
    // What passed while Kestrova was closed is told now.
    scheduler_->Start();
    const LaunchActions launch = LaunchActionsFor(launchMode_);
    if (launch.armTimer) PostMessageW(window_, WM_COMMAND, IDM_TIMER, 0);
    if (launch.minimize) PostMessageW(window_, WM_SIZE, SIZE_MINIMIZED, 0);
    if (settings_.TopMost != 0) SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    DragAcceptFiles(window_, TRUE);  // programme files from a TV guide
}

bool MainWindow::SaveFiles(bool box) {
    RECT rect{};
    GetWindowRect(window_, &rect);
    // A file the user made read-only is left alone, as asked: no failure.
    std::string failed;
    if (!SaveSettingsFile(settingsPath_, settings_, rect.left, rect.top) && !FileReplacement::Protected(settingsPath_)) {
        failed = settingsPath_;
    }
    if (!book_->Save() && !FileReplacement::Protected(book_->path())) failed += (failed.empty() ? "" : ", ") + book_->path();
    if (failed.empty()) return true;
    services_.Report(box ? FailureKind::Save : FailureKind::Ending, FormatText(strings::kNotSavedTo, failed));
    return false;
}

// Closing while a copy runs beside the window: the user is asked, since the
// copy is given up (a scheduled one is made again at the next start).
bool MainWindow::OnClose() {
    if (!services_.Copying()) return true;
    const auto [copied, total] = services_.CopyProgress();
    const std::wstring question = Widen(FillText(strings::kCloseWhileCopying, {CopyPercent(copied, total)}));
    return MessageBoxW(window_, question.c_str(), Widen(LoadText(strings::kWarningCaption)).c_str(),
                       MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON2) == IDYES;
}

void MainWindow::OnCopiesEnded() {
    services_.CopiesEnded();
    ShowCopyProgress();
}

// The title says how far the copies beside the window have got.
void MainWindow::ShowCopyProgress() {
    if (services_.Copying()) {
        SetTimer(window_, kCopyProgressTimer, 500, nullptr);
    } else {
        KillTimer(window_, kCopyProgressTimer);
    }
    SetTitle(scheduler_ != nullptr ? scheduler_->Title() : mainTitle_);
}

void MainWindow::OnDestroy() {
    // A later start waits for this one to end instead of handing over to it.
    Unpublish();
    // Before a power-off after a reserved run nobody is there to click a
    // box, which would keep the machine on: a failure goes to the log.
    SaveFiles(!powerOffAtExit_);
    tray_.Hide();
    ReleaseDevice();
    commands_.reset();  // the commands run on, unwatched
    statusBar_.Destroy();
    statusFont_.reset();
    barFont_.reset();
    window_ = nullptr;
    PostQuitMessage(0);
}

void MainWindow::OnSize(WPARAM type, LPARAM lParam) {
    statusBar_.Forward(WM_SIZE, type, lParam);
    const SizeActions act = ActionsForSize(type == SIZE_MINIMIZED, scheduler_->armed());
    if (act.hideTrayIcon) tray_.Hide();
    if (act.resizeCapture && device_ != nullptr) {
        RECT client{};
        GetClientRect(window_, &client);
        // The picture takes the client area less one menu height, or less
        // the status bar where that is lower: never cut by a short bar.
        int below = MetricForDpi(SM_CYMENU, dpi_);
        if (statusBar_.HasStatusBar()) below = std::min(below, statusBar_.height());
        device_->SetWindowSize(client.right, client.bottom - below);
    }
    if (act.showTrayIcon) tray_.Show();
    if (act.hideWindow) ::ShowWindow(window_, SW_HIDE);
}

void MainWindow::OnInitMenuPopup(HMENU popup) {
    HMENU bar = GetMenu(window_);
    HMENU options = GetSubMenu(bar, kOptionsMenuPosition);
    MenuInputs in = ReadMenuInputs(settings_, scheduler_->armed(), device_.get());
    if (popup == GetSubMenu(bar, 0)) {
        CapStatus status;
        in.captureFileExists = device_ != nullptr && device_->GetStatus(status) && status.fCapFileExists != 0;
        SetMenuItem(popup, IDM_SAVE_AS, false, FileMenuSaveAsState(in));
    } else if (popup == GetSubMenu(bar, kCaptureMenuPosition)) {
        SetMenuItem(popup, IDM_TIMER, false, CaptureMenuTimerState(in));
    } else if (popup == options) {
        if (device_ != nullptr && in.connected) {
            in.previewOn = device_->IsPreviewOn();
            if (in.hasOverlay) in.overlayOn = device_->IsOverlayOn();
        }
        SetOptionsMenu(popup, OptionsMenuStates(in));
    } else if (popup == GetSubMenu(options, kVideoSettingsPosition)) {
        const VideoSettingsMenuState s = VideoSettingsMenuStates(in);
        SetMenuItem(popup, IDM_DISPLAY, false, s.display);
        SetMenuItem(popup, IDM_FORMAT, false, s.format);
        SetMenuItem(popup, IDM_SOURCE, false, s.source);
    }
}

void MainWindow::OnMenuSelect(WPARAM wParam) {
    if (static_cast<DWORD>(wParam) != 0xFFFFFFFFu) {
        if (wParam == 0) {
            statusBar_.SetSimple(false);
        } else {
            statusBar_.ShowMenuHelp(std::string(LoadText(LOWORD(wParam))));
        }
    }
    statusBar_.ClearPart0();
}

void MainWindow::OnTrayEvent(LPARAM lParam) {
    if (lParam == WM_LBUTTONDBLCLK) {
        ::ShowWindow(window_, SW_SHOWNORMAL);
    } else if (lParam == WM_RBUTTONUP) {
        const UniqueMenu loaded(LoadMenuW(instance_, MAKEINTRESOURCEW(IDR_TRAYMENU)));
        POINT cursor{};
        GetCursorPos(&cursor);
        SetForegroundWindow(window_);
        TrackPopupMenuEx(GetSubMenu(loaded.get(), 0), TPM_BOTTOMALIGN, cursor.x, cursor.y, window_, nullptr);
        PostMessageW(window_, WM_USER, 0, 0);
    }
}

void MainWindow::OnCommand(UINT id) {
    if (const CommandHandler handler = FindCommand(id)) handler(*this);
}

// What the system tells: the session ending, a sleep, a clock change, and
// the copies beside the window.
std::optional<LRESULT> MainWindow::HandleSystem(UINT message, WPARAM wParam) {
    switch (message) {
    case WM_QUERYENDSESSION:
        // The machine goes down: everything is written now, whatever follows.
        SaveFiles(false);
        return TRUE;
    case WM_ENDSESSION:
        if (wParam != 0) {
            services_.CancelCopies();
            SaveFiles(false);
        }
        return 0;
    case kCopyEndedMessage: OnCopiesEnded(); return 0;
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND) {
            scheduler_->Resumed(wParam == PBT_APMRESUMESUSPEND);
            PostMessageW(window_, kReviewMessage, 0, 0);
        }
        return TRUE;
    case WM_TIMECHANGE:
        scheduler_->ClockChanged();
        PostMessageW(window_, kReviewMessage, 0, 0);
        return 0;
    case kReviewMessage:
        // Posted, so whoever told of the sleep or the clock is not held by a run.
        scheduler_->Review();
        return 0;
    case kCommandEndedMessage:
        if (const std::optional<std::uint32_t> code = commands_ ? commands_->Ended(wParam) : std::nullopt) {
            scheduler_->CommandEnded(wParam, *code);
        }
        return 0;
    default: return std::nullopt;
    }
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    // Messages sent by other programs still arrive while a recording waits
    // for its frames; none of them may start a command inside it.
    if (run_.recording && (message == WM_COMMAND || message == WM_TIMER || message == kReviewMessage)) return 0;
    if (const std::optional<LRESULT> handled = HandleSystem(message, wParam)) return *handled;
    switch (message) {
    case WM_CREATE: OnCreate(); return 0;
    case WM_CLOSE:
        if (OnClose()) DestroyWindow(window_);
        return 0;
    case WM_DESTROY: OnDestroy(); return 0;
    case WM_SIZE: OnSize(wParam, lParam); break;
    case WM_DPICHANGED:
        if (lParam != 0) OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_PAINT: {
        { const PaintDC paint(window_); }
        scheduler_->UpdateStatus();
        return 0;
    }
    case WM_TIMER:
        if (wParam == kReservationTimer) OnTimer();
        if (wParam == kCopyProgressTimer) ShowCopyProgress();
        if (wParam == kHandOverTimer) ApplyHandOver();
        return 0;
    case WM_COPYDATA: return lParam != 0 ? OnHandOver(*reinterpret_cast<const COPYDATASTRUCT*>(lParam)) : FALSE;
    case WM_DROPFILES: OnDropFiles(reinterpret_cast<HDROP>(wParam)); return 0;
    case kOpenProgrammeMessage: OnOpenProgramme(); return 0;
    case WM_COMMAND: OnCommand(LOWORD(wParam)); return 0;
    case WM_INITMENUPOPUP:
        if (HIWORD(lParam) == 0) OnInitMenuPopup(reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_MENUSELECT: OnMenuSelect(wParam); return 0;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (wParam == 2 && item->CtlID == 2 && item->itemID == 0) StatusBar::Draw(*item, statusFont_.get());
        return 0;
    }
    case kTrayMessage: OnTrayEvent(lParam); return 0;
    default: break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* created = static_cast<MainWindow*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        created->window_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr || self->window_ != hwnd) return DefWindowProcW(hwnd, message, wParam, lParam);
    // Nothing may unwind through the window manager's frames.
    try {
        return self->Handle(message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace kestrova
