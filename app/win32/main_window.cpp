// The main window: creation with the capture device, fitting, menu states,
// commands, the notification icon and the save at destruction.
#include "app/main_title.h"
#include "store/string_table.h"
#include "app/win32/app_state.h"
#include "app/window_rules.h"
#include "capture/win32/capture_ports.h"
#include "platform/win32_text.h"
#include "resource_ids.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <cstdio>
#include <vector>

namespace kestrova {

namespace {

constexpr int kCaptureMenuPosition = 1;
constexpr int kOptionsMenuPosition = 2;
constexpr int kVideoSettingsPosition = 6;  // inside the options menu

CaptureDevice* Device() { return g_app.device.get(); }

bool Connected() { return g_app.device != nullptr && g_app.device->connected(); }

// Sizes the window so that its client area holds a w x h picture: the
// rectangle adjusted for the rule's frame style with a menu bar, plus the
// rule's extra height.
void FitWindow(HWND hwnd, int w, int h, FitOccasion occasion) {
    const FitRule rule = FittingRule(occasion);
    RECT rect{0, 0, w, h};
    AdjustWindowRect(&rect, rule.adjustStyle, TRUE);
    int extra = rule.extraMenuHeights * GetSystemMetrics(SM_CYMENU);
    if (rule.addStatusBarHeight) extra += g_app.statusBar.height();
    SetWindowPos(hwnd, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top + extra,
                 SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOMOVE);
    if (rule.recreateStatusBar) g_app.statusBar.Create(hwnd, g_app.statusFont);
}

void SetMenuItem(HMENU menu, UINT item, bool byPosition, const ItemState& state) {
    const UINT by = byPosition ? MF_BYPOSITION : MF_BYCOMMAND;
    EnableMenuItem(menu, item, by | (state.enabled ? MF_ENABLED : (MF_GRAYED | MF_DISABLED)));
    if (!state.keepCheck) CheckMenuItem(menu, item, by | (state.checked ? MF_CHECKED : MF_UNCHECKED));
}

MenuInputs ReadMenuInputs() {
    MenuInputs in;
    in.confirmOn = g_app.confirmState != 0;
    in.topMost = g_app.settings.TopMost != 0;
    in.timerArmed = g_app.timerArmed == 1;
    CaptureDevice* device = Device();
    if (device == nullptr) return in;
    in.connected = device->connected();
    in.statusShown = device->IsStatusShown();
    in.hasOverlay = device->HasOverlay();
    in.hasSourceDialog = device->HasSourceDialog();
    in.hasFormatDialog = device->HasFormatDialog();
    in.hasDisplayDialog = device->HasDisplayDialog();
    return in;
}

void OnInitMenuPopup(HWND hwnd, HMENU popup, bool systemMenu) {
    if (systemMenu) return;
    HMENU bar = GetMenu(hwnd);
    HMENU options = GetSubMenu(bar, kOptionsMenuPosition);
    MenuInputs in = ReadMenuInputs();
    CaptureDevice* device = Device();
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
        OptionsMenuState s = OptionsMenuStates(in);
        SetMenuItem(popup, IDM_PREVIEW, false, s.preview);
        SetMenuItem(popup, IDM_OVERLAY, false, s.overlay);
        SetMenuItem(popup, kVideoSettingsPosition, true, s.videoSettings);
        SetMenuItem(popup, IDM_STATUS, false, s.status);
        SetMenuItem(popup, IDM_CONFIRM, false, s.confirm);
        SetMenuItem(popup, IDM_TOPMOST, false, s.topMost);
    } else if (popup == GetSubMenu(options, kVideoSettingsPosition)) {
        VideoSettingsMenuState s = VideoSettingsMenuStates(in);
        SetMenuItem(popup, IDM_DISPLAY, false, s.display);
        SetMenuItem(popup, IDM_FORMAT, false, s.format);
        SetMenuItem(popup, IDM_SOURCE, false, s.source);
    }
}

void OnMenuSelect(WPARAM wParam) {
    StatusBar& bar = g_app.statusBar;
    if (static_cast<DWORD>(wParam) != 0xFFFFFFFFu) {
        if (wParam == 0) {
            bar.SetSimple(false);
        } else {
            bar.SetSimple(true);
            g_app.textBuffer = std::string(LoadText(LOWORD(wParam)));
            bar.SetSimpleText(g_app.textBuffer);
        }
    }
    bar.ClearPart0();
}

bool OnCreate(HWND hwnd) {
    g_app.mainWindow = hwnd;
    HMENU menu = GetMenu(hwnd);
    int w = 320;
    int h = 240;
    g_app.capturePort = CreateCapturePort(g_app.instance);
    if (g_app.capturePort != nullptr) {
        g_app.device = std::make_unique<CaptureDevice>(*g_app.capturePort, g_app.settings, g_app.statusBar,
                                                       &g_app.services);
    }
    if (CaptureDevice* device = Device()) {
        if (device->Create("VideoCapture", WS_CHILD, 0, 0, 320, 240, reinterpret_cast<WindowHandle>(hwnd), 1) != 0) {
            std::tie(w, h) = device->GetCaptureSize();
        } else {
            g_app.textBuffer = std::string(LoadText(strings::kNoDeviceQuestion));
            if (MessageBoxW(hwnd, Widen(g_app.textBuffer).c_str(), L"警告", MB_ICONWARNING | MB_YESNO) != IDYES) {
                PostQuitMessage(0);
                return true;
            }
            w = 320;
            h = 240;
        }
        if (!device->connected()) EnableMenuItem(menu, kCaptureMenuPosition, MF_BYPOSITION | MF_GRAYED);
    }
    g_app.statusBar.Create(hwnd, g_app.statusFont);
    FitWindow(hwnd, w, h, g_app.settings.PreviewScale != 0 ? FitOccasion::CreationScaled : FitOccasion::CreationFixed);
    if (g_app.launchMode == 1) {
        PostMessageW(hwnd, WM_COMMAND, IDM_TIMER, 0);
        PostMessageW(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
    } else if (g_app.launchMode == 2) {
        PostMessageW(hwnd, WM_COMMAND, IDM_TIMER, 0);
    }
    if (g_app.settings.TopMost != 0) SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    return true;
}

void OnDestroy(HWND hwnd) {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    SaveSettingsFile(g_app.settingsPath, g_app.settings, rect.left, rect.top);
    SaveReservationsFile(g_app.reservationPath, g_app.reservations);
    Shell_NotifyIconW(NIM_DELETE, &g_app.trayIcon);
    ReleaseCaptureDevice();
    g_app.statusBar.Destroy();
    if (g_app.statusFont != nullptr) {
        DeleteObject(g_app.statusFont);
        g_app.statusFont = nullptr;
    }
    g_app.mainWindow = nullptr;
    PostQuitMessage(0);
}

void OnSize(HWND hwnd, WPARAM type, LPARAM lParam) {
    g_app.statusBar.Forward(WM_SIZE, type, lParam);
    if (type != SIZE_MINIMIZED) {
        Shell_NotifyIconW(NIM_DELETE, &g_app.trayIcon);
        RECT client{};
        GetClientRect(hwnd, &client);
        if (CaptureDevice* device = Device()) {
            device->SetWindowSize(client.right, client.bottom - GetSystemMetrics(SM_CYMENU));
        }
    } else if (g_app.timerArmed == 1) {
        Shell_NotifyIconW(NIM_ADD, &g_app.trayIcon);
        ShowWindow(hwnd, SW_HIDE);
    }
}

void OnTrayEvent(HWND hwnd, LPARAM lParam) {
    if (lParam == WM_LBUTTONDBLCLK) {
        ShowWindow(hwnd, SW_SHOWNORMAL);
    } else if (lParam == WM_RBUTTONUP) {
        HMENU loaded = LoadMenuW(g_app.instance, MAKEINTRESOURCEW(IDR_TRAYMENU));
        HMENU popup = GetSubMenu(loaded, 0);
        POINT cursor{};
        GetCursorPos(&cursor);
        SetForegroundWindow(hwnd);
        TrackPopupMenuEx(popup, TPM_BOTTOMALIGN, cursor.x, cursor.y, hwnd, nullptr);
        PostMessageW(hwnd, WM_USER, 0, 0);
        DestroyMenu(loaded);
    }
}

void ChooseStatusFont(HWND hwnd) {
    LOGFONTW font = StatusLogFont(g_app.settings);
    CHOOSEFONTW choose{};
    choose.lStructSize = sizeof choose;
    choose.hwndOwner = hwnd;
    choose.lpLogFont = &font;
    choose.iPointSize = 10;
    choose.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_LIMITSIZE;
    choose.nFontType = SCREEN_FONTTYPE;
    choose.nSizeMin = 6;
    choose.nSizeMax = 48;
    if (!ChooseFontW(&choose)) return;
    if (g_app.statusFont != nullptr) DeleteObject(g_app.statusFont);
    g_app.statusFont = CreateFontIndirectW(&font);
    AppSettings& s = g_app.settings;
    s.FontSize = font.lfHeight;
    s.FontWeight = font.lfWeight;
    s.FontItalic = font.lfItalic;
    s.FontFaceName = Narrow(font.lfFaceName);
}

// The sound mixer in recording mode. Current Windows has no "sndvol32.exe";
// its recording-devices panel stands in, and nothing happens without either.
void StartMixer() {
    wchar_t found[MAX_PATH];
    if (SearchPathW(nullptr, L"sndvol32.exe", nullptr, MAX_PATH, found, nullptr) != 0) {
        ShellExecuteW(nullptr, nullptr, found, L"/record", nullptr, SW_SHOW);
    } else if (SearchPathW(nullptr, L"mmsys.cpl", nullptr, MAX_PATH, found, nullptr) != 0) {
        ShellExecuteW(nullptr, nullptr, L"control.exe", L"mmsys.cpl,,1", nullptr, SW_SHOW);
    }
}

void ShowRecordingStatistics() {
    CapStatus status;
    if (CaptureDevice* device = Device()) device->GetStatus(status);
    g_app.statisticsText = FormatRecordingStatistics(status);
    g_app.statusBar.ShowOwnerDrawn(g_app.statisticsText);
}


void OnCommand(HWND hwnd, UINT id) {
    CaptureDevice* device = Device();
    AppSettings& s = g_app.settings;
    switch (id) {
    case IDM_EXIT:
        DestroyWindow(hwnd);
        break;
    case IDM_SAVE_AS:
        if (device != nullptr) device->SaveAs();
        break;
    case IDM_RECORD: {
        if (!Connected()) break;
        const int count = LockMenuBar();
        g_app.statusBar.SetSimple(false);
        g_app.recording = true;
        device->Record(g_app.confirmState != 0);
        g_app.recording = false;
        UnlockMenuBar(count);
        ShowRecordingStatistics();
        break;
    }
    case IDM_SNAPSHOT:
        if (!Connected()) break;
        g_app.snapshotPath = device->TakeSnapshot();
        g_app.textBuffer = std::string(LoadText(strings::kSavedTo));
        g_app.snapshotMessage =
            g_app.snapshotPath.empty() ? std::string() : FormatText(strings::kSavedTo, g_app.snapshotPath);
        g_app.statusBar.SetStatusText(g_app.snapshotMessage);
        break;
    case IDM_CLIPBOARD:
        if (!Connected()) break;
        device->CopyFrameToClipboard();
        g_app.textBuffer = std::string(LoadText(strings::kCopiedToClipboard));
        g_app.statusBar.SetStatusText(g_app.textBuffer);
        break;
    case IDM_AUDIO_FORMAT:
        if (device != nullptr) device->ChooseAudioFormat();
        break;
    case IDM_PREVIEW:
        if (device == nullptr) break;
        if (device->IsPreviewOn()) {
            device->SetPreview(false);
            s.Preview = 0;
        } else {
            device->SetPreview(true);
            s.Preview = 1;
            s.Overlay = 0;
        }
        break;
    case IDM_OVERLAY:
        if (device == nullptr) break;
        if (device->IsOverlayOn()) {
            device->SetOverlay(false);
            s.Overlay = 0;
        } else {
            device->SetOverlay(true);
            s.Overlay = 1;
            s.Preview = 0;
            s.PreviewScale = 0;
            auto [w, h] = device->GetCaptureSize();
            device->SetWindowSize(w, h);
            SetWindowLongW(hwnd, GWL_STYLE, GetWindowLongW(hwnd, GWL_STYLE) & ~(WS_THICKFRAME | WS_MAXIMIZEBOX));
            FitWindow(hwnd, w, h, FitOccasion::OverlayOn);
        }
        break;
    case IDM_STATUS:
        if (device == nullptr) break;
        if (device->IsStatusShown()) {
            device->ShowStatus(false);
            s.Status = 0;
        } else {
            device->ShowStatus(true);
            s.Status = 1;
        }
        break;
    case IDM_CONFIRM:
        g_app.confirmState = ToggleMinusOne(g_app.confirmState);
        s.Confirm = g_app.confirmState;
        break;
    case IDM_TOPMOST:
        s.TopMost = ToggleMinusOne(s.TopMost);
        SetWindowPos(hwnd, s.TopMost != 0 ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        break;
    case IDM_SOURCE:
        if (device != nullptr) device->ShowSourceDialog();
        break;
    case IDM_FORMAT:
        if (device == nullptr) break;
        device->ShowFormatDialog();
        if (s.PreviewScale != 0) {
            device->SetPreview(s.Preview != 0);
        } else {
            auto [w, h] = device->GetCaptureSize();
            device->SetWindowSize(w, h);
            FitWindow(hwnd, w, h, FitOccasion::AfterFormatDialog);
        }
        break;
    case IDM_DISPLAY:
        if (device != nullptr) device->ShowDisplayDialog();
        break;
    case IDM_COMPRESSION:
        if (device != nullptr) device->ShowCompressionDialog();
        break;
    case IDM_MIXER:
        StartMixer();
        break;
    case IDM_FONT:
        ChooseStatusFont(hwnd);
        break;
    case IDM_DEVICE:
        // The selection dialog may have connected another driver.
        EnableMenuItem(GetMenu(hwnd), kCaptureMenuPosition,
                       MF_BYPOSITION | (Connected() ? MF_ENABLED : (MF_GRAYED | MF_DISABLED)));
        DrawMenuBar(hwnd);
        break;
    default:
        break;
    }
}

LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // Messages sent by other programs still arrive while a recording waits
    // for its frames; none of them may start a command inside it.
    if (g_app.recording && (message == WM_COMMAND || message == WM_TIMER)) return 0;
    switch (message) {
    case WM_CREATE:
        OnCreate(hwnd);
        return 0;
    case WM_DESTROY:
        OnDestroy(hwnd);
        return 0;
    case WM_SIZE:
        OnSize(hwnd, wParam, lParam);
        break;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(hwnd, &paint);
        EndPaint(hwnd, &paint);
        return 0;
    }
    case WM_COMMAND:
        OnCommand(hwnd, LOWORD(wParam));
        return 0;
    case WM_INITMENUPOPUP:
        OnInitMenuPopup(hwnd, reinterpret_cast<HMENU>(wParam), HIWORD(lParam) != 0);
        return 0;
    case WM_MENUSELECT:
        OnMenuSelect(wParam);
        return 0;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (wParam == 2 && item->CtlID == 2 && item->itemID == 0) StatusBar::Draw(*item, g_app.statusFont);
        return 0;
    }
    case kTrayMessage:
        OnTrayEvent(hwnd, lParam);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

void SetWorkFileTitle(const std::string& path) {
    g_app.mainTitle = WorkFileTitle(LoadText(strings::kProductName), path);
    if (g_app.mainWindow != nullptr) SetWindowTextW(g_app.mainWindow, Widen(g_app.mainTitle).c_str());
}

int LockMenuBar() {
    HMENU bar = GetMenu(g_app.mainWindow);
    int count = GetMenuItemCount(bar);
    for (int i = 0; i < count; ++i) EnableMenuItem(bar, static_cast<UINT>(i), MF_BYPOSITION | MF_GRAYED);
    DrawMenuBar(g_app.mainWindow);
    return count;
}

void UnlockMenuBar(int count) {
    HMENU bar = GetMenu(g_app.mainWindow);
    for (int i = 0; i < count; ++i) EnableMenuItem(bar, static_cast<UINT>(i), MF_BYPOSITION | MF_ENABLED);
    DrawMenuBar(g_app.mainWindow);
}

void SwapTrayIcon(UINT iconResource) {
    Shell_NotifyIconW(NIM_DELETE, &g_app.trayIcon);
    g_app.trayIcon.hIcon = LoadIconW(g_app.instance, MAKEINTRESOURCEW(iconResource));
    Shell_NotifyIconW(NIM_ADD, &g_app.trayIcon);
}

void ReleaseCaptureDevice() {
    g_app.device.reset();
    g_app.capturePort.reset();
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // Nothing may unwind through the window manager's frames.
    try {
        return HandleMessage(hwnd, message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace kestrova
