// The main window: creation with the capture device, menu states, command
// dispatch, the notification icon and the save at destruction.
#include "app/command_line.h"
#include "app/main_title.h"
#include "app/win32/app_state.h"
#include "app/win32/commands.h"
#include "app/win32/window_frame.h"
#include "app/window_rules.h"
#include "capture/win32/capture_ports.h"
#include "platform/win32_text.h"
#include "resource_ids.h"
#include "store/string_table.h"

#include <commctrl.h>

namespace kestrova {

namespace {

constexpr int kOptionsMenuPosition = 2;
constexpr int kVideoSettingsPosition = 6;  // inside the options menu

AppState* StateOf(HWND hwnd) { return reinterpret_cast<AppState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

CommandContext ContextFor(HWND hwnd, AppState& app) {
    return CommandContext{hwnd,          app.instance, app.settings,   app.run,          app.device.get(),
                          app.statusBar, app.texts,    app.statusFont, app.scheduler.get(), app.reservations,
                          app.reservationPath, app.clock};
}

void SetMenuItem(HMENU menu, UINT item, bool byPosition, const ItemState& state) {
    const UINT by = byPosition ? MF_BYPOSITION : MF_BYCOMMAND;
    EnableMenuItem(menu, item, by | (state.enabled ? MF_ENABLED : (MF_GRAYED | MF_DISABLED)));
    if (!state.keepCheck) CheckMenuItem(menu, item, by | (state.checked ? MF_CHECKED : MF_UNCHECKED));
}

MenuInputs ReadMenuInputs(const AppState& app) {
    MenuInputs in;
    in.confirmOn = app.run.confirm != 0;
    in.topMost = app.settings.TopMost != 0;
    in.timerArmed = app.scheduler != nullptr && app.scheduler->armed();
    const CaptureDevice* device = app.device.get();
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

void OnInitMenuPopup(HWND hwnd, AppState& app, HMENU popup) {
    HMENU bar = GetMenu(hwnd);
    HMENU options = GetSubMenu(bar, kOptionsMenuPosition);
    MenuInputs in = ReadMenuInputs(app);
    CaptureDevice* device = app.device.get();
    if (popup == GetSubMenu(bar, 0)) {
        CapStatus status;
        if (device != nullptr) device->GetStatus(status);
        in.captureFileExists = status.fCapFileExists != 0;
        SetMenuItem(popup, IDM_SAVE_AS, false, FileMenuSaveAsState(in));
    } else if (popup == GetSubMenu(bar, kCaptureMenuPosition)) {
        SetMenuItem(popup, IDM_TIMER, false, CaptureMenuTimerState(in));
    } else if (popup == options) {
        if (device != nullptr && in.connected) {
            in.previewOn = device->IsPreviewOn();
            if (in.hasOverlay) in.overlayOn = device->IsOverlayOn();
        }
        SetOptionsMenu(popup, OptionsMenuStates(in));
    } else if (popup == GetSubMenu(options, kVideoSettingsPosition)) {
        const VideoSettingsMenuState s = VideoSettingsMenuStates(in);
        SetMenuItem(popup, IDM_DISPLAY, false, s.display);
        SetMenuItem(popup, IDM_FORMAT, false, s.format);
        SetMenuItem(popup, IDM_SOURCE, false, s.source);
    }
}

void OnMenuSelect(AppState& app, WPARAM wParam) {
    StatusBar& bar = app.statusBar;
    if (static_cast<DWORD>(wParam) != 0xFFFFFFFFu) {
        if (wParam == 0) {
            bar.SetSimple(false);
        } else {
            bar.SetSimple(true);
            app.texts.menuHelp = std::string(LoadText(LOWORD(wParam)));
            bar.SetSimpleText(app.texts.menuHelp);
        }
    }
    bar.ClearPart0();
}

void SetWorkFileTitle(AppState& app, const std::string& path) {
    app.mainTitle = WorkFileTitle(LoadText(strings::kProductName), path);
    if (app.scheduler != nullptr) app.scheduler->SetMainTitle(app.mainTitle);
    if (app.mainWindow != nullptr) SetWindowTextW(app.mainWindow, Widen(app.mainTitle).c_str());
}

// Creates the capture device and its window; returns the picture size, or
// nothing when the user chose not to start without a device.
std::optional<PictureSize> CreateDevice(HWND hwnd, AppState& app) {
    PictureSize picture{320, 240};
    app.capturePort = CreateCapturePort(app.instance);
    if (app.capturePort == nullptr) return picture;
    app.device = std::make_unique<CaptureDevice>(*app.capturePort, app.settings, app.statusBar, &app.services);
    CaptureDevice& device = *app.device;
    if (device.Create("VideoCapture", WS_CHILD, 0, 0, 320, 240, reinterpret_cast<WindowHandle>(hwnd), 1) != 0) {
        const auto [width, height] = device.GetCaptureSize();
        picture = PictureSize{width, height};
    } else {
        const std::wstring question = Widen(LoadText(strings::kNoDeviceQuestion));
        if (MessageBoxW(hwnd, question.c_str(), Widen(LoadText(strings::kWarningCaption)).c_str(), MB_ICONWARNING | MB_YESNO) != IDYES) return std::nullopt;
    }
    if (!device.connected()) EnableMenuItem(GetMenu(hwnd), kCaptureMenuPosition, MF_BYPOSITION | MF_GRAYED);
    return picture;
}

void OnCreate(HWND hwnd, AppState& app) {
    app.mainWindow = hwnd;
    app.services.Attach(
        [&app] {
            const WindowHandle capture = app.device != nullptr ? app.device->captureWindow() : 0;
            return capture != 0 ? reinterpret_cast<HWND>(capture) : app.mainWindow;
        },
        [&app](const std::string& path) { SetWorkFileTitle(app, path); });
    app.services.SetNotice([&app](const std::string& text) {
        app.texts.message = text;
        app.statusBar.SetStatusText(app.texts.message);
        app.tray.Balloon(Widen(LoadText(strings::kProductName)), Widen(text));
    });
    const std::optional<PictureSize> picture = CreateDevice(hwnd, app);
    if (app.scheduler != nullptr) app.scheduler->SetDevice(app.device.get());
    if (!picture) {
        PostQuitMessage(0);
        return;
    }
    app.statusBar.Create(hwnd, app.statusFont.get());
    FitWindow(hwnd, app.statusBar, app.statusFont.get(), *picture,
              app.settings.PreviewScale != 0 ? FitOccasion::CreationScaled : FitOccasion::CreationFixed);
    // What passed while Kestrova was closed is told now.
    if (app.scheduler != nullptr) app.scheduler->Start();
    if (app.launchMode == kLaunchArmHidden) {
        PostMessageW(hwnd, WM_COMMAND, IDM_TIMER, 0);
        PostMessageW(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
    } else if (app.launchMode == kLaunchArmVisible) {
        PostMessageW(hwnd, WM_COMMAND, IDM_TIMER, 0);
    }
    if (app.settings.TopMost != 0) SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void OnDestroy(HWND hwnd, AppState& app) {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    SaveSettingsFile(app.settingsPath, app.settings, rect.left, rect.top);
    SaveReservationsFile(app.reservationPath, app.reservations);
    app.tray.Hide();
    ReleaseCaptureDevice(app);
    app.statusBar.Destroy();
    app.statusFont.reset();
    app.mainWindow = nullptr;
    PostQuitMessage(0);
}

void OnSize(HWND hwnd, AppState& app, WPARAM type, LPARAM lParam) {
    app.statusBar.Forward(WM_SIZE, type, lParam);
    if (type != SIZE_MINIMIZED) {
        app.tray.Hide();
        RECT client{};
        GetClientRect(hwnd, &client);
        if (app.device != nullptr) app.device->SetWindowSize(client.right, client.bottom - GetSystemMetrics(SM_CYMENU));
    } else if (app.scheduler != nullptr && app.scheduler->armed()) {
        app.tray.Show();
        ShowWindow(hwnd, SW_HIDE);
    }
}

void OnTrayEvent(HWND hwnd, const AppState& app, LPARAM lParam) {
    if (lParam == WM_LBUTTONDBLCLK) {
        ShowWindow(hwnd, SW_SHOWNORMAL);
    } else if (lParam == WM_RBUTTONUP) {
        const UniqueMenu loaded(LoadMenuW(app.instance, MAKEINTRESOURCEW(IDR_TRAYMENU)));
        POINT cursor{};
        GetCursorPos(&cursor);
        SetForegroundWindow(hwnd);
        TrackPopupMenuEx(GetSubMenu(loaded.get(), 0), TPM_BOTTOMALIGN, cursor.x, cursor.y, hwnd, nullptr);
        PostMessageW(hwnd, WM_USER, 0, 0);
    }
}

void OnCommand(HWND hwnd, AppState& app, UINT id) {
    if (const CommandHandler handler = FindCommand(id)) {
        CommandContext context = ContextFor(hwnd, app);
        handler(context);
    }
}

LRESULT HandleMessage(HWND hwnd, AppState& app, UINT message, WPARAM wParam, LPARAM lParam) {
    // Messages sent by other programs still arrive while a recording waits
    // for its frames; none of them may start a command inside it.
    if (app.run.recording && (message == WM_COMMAND || message == WM_TIMER || message == kReviewMessage)) return 0;
    switch (message) {
    case WM_CREATE:
        OnCreate(hwnd, app);
        return 0;
    case WM_DESTROY:
        OnDestroy(hwnd, app);
        return 0;
    case WM_SIZE:
        OnSize(hwnd, app, wParam, lParam);
        break;
    case WM_PAINT: {
        { const PaintDC paint(hwnd); }
        if (app.scheduler != nullptr) app.scheduler->UpdateStatus();
        return 0;
    }
    case WM_TIMER:
        if (wParam == kReservationTimer) app.schedulerHost.OnTimer();
        return 0;
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND) {
            if (app.scheduler != nullptr) app.scheduler->Resumed();
            PostMessageW(hwnd, kReviewMessage, 0, 0);
        }
        return TRUE;
    case WM_TIMECHANGE:
        if (app.scheduler != nullptr) app.scheduler->ClockChanged();
        PostMessageW(hwnd, kReviewMessage, 0, 0);
        return 0;
    case kReviewMessage:
        // Posted, so whoever told of the sleep or the clock is not held by a run.
        if (app.scheduler != nullptr) app.scheduler->Review();
        return 0;
    case WM_COMMAND:
        OnCommand(hwnd, app, LOWORD(wParam));
        return 0;
    case WM_INITMENUPOPUP:
        if (HIWORD(lParam) == 0) OnInitMenuPopup(hwnd, app, reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_MENUSELECT:
        OnMenuSelect(app, wParam);
        return 0;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (wParam == 2 && item->CtlID == 2 && item->itemID == 0) StatusBar::Draw(*item, app.statusFont.get());
        return 0;
    }
    case kTrayMessage:
        OnTrayEvent(hwnd, app, lParam);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

void ReleaseCaptureDevice(AppState& app) {
    if (app.scheduler != nullptr) app.scheduler->SetDevice(nullptr);
    app.device.reset();
    app.capturePort.reset();
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    AppState* app = StateOf(hwnd);
    if (app == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    // Nothing may unwind through the window manager's frames.
    try {
        return HandleMessage(hwnd, *app, message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace kestrova
