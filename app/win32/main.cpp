// Process entry: command line, start-up sequence, message loop and the
// power-off after a reservation that asks for it.
#include "app/command_line.h"
#include "app/main_title.h"
#include "app/win32/app_state.h"
#include "platform/files.h"
#include "platform/win32_text.h"
#include "resource_ids.h"

#include <commctrl.h>

namespace kestrova {

AppState g_app;

std::string LoadResourceText(UINT id) {
    const wchar_t* text = nullptr;
    // With a zero buffer size LoadStringW hands out the resource's own
    // (not NUL-terminated) text and its length.
    int length = LoadStringW(g_app.instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? Narrow(std::wstring_view(text, static_cast<std::size_t>(length))) : std::string();
}

LOGFONTW StatusLogFont(const AppSettings& settings) {
    LOGFONTW font{};
    font.lfHeight = settings.FontSize;
    font.lfWeight = settings.FontWeight;
    font.lfItalic = static_cast<BYTE>(settings.FontItalic & 0xFF);
    font.lfCharSet = SHIFTJIS_CHARSET;
    // The face field holds 31 characters; a longer name is cut.
    std::wstring face = Widen(settings.FontFaceName);
    face.resize(std::min<std::size_t>(face.size(), LF_FACESIZE - 1));
    wcsncpy(font.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    return font;
}

HFONT CreateStatusFont(const AppSettings& settings) {
    LOGFONTW font = StatusLogFont(settings);
    return CreateFontIndirectW(&font);
}

namespace {

bool RegisterMainClass(const std::wstring& className) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = g_app.instance;
    wc.hIcon = LoadIconW(g_app.instance, MAKEINTRESOURCEW(IDI_KESTROVA));
    wc.hIconSm = LoadIconW(g_app.instance, MAKEINTRESOURCEW(IDI_SMALL));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszMenuName = MAKEINTRESOURCEW(IDR_MAINMENU);
    wc.lpszClassName = className.c_str();
    return RegisterClassExW(&wc) != 0;
}

// Returns true when the main window exists and is shown.
bool StartInstance(int showCommand) {
    g_app.mainTitle = LoadResourceText(IDS_PRODUCT_NAME);
    const std::wstring className = Widen(LoadResourceText(IDS_CLASS_NAME));
    RegisterMainClass(className);
    InitCommonControls();

    const std::string exe = ExecutablePath();
    g_app.settingsPath = ReplaceLastThree(exe, "ini");
    g_app.reservationPath = ReplaceLastThree(exe, "tmr");
    g_app.settings = LoadSettingsFile(g_app.settingsPath,
                                      ScreenSize{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
    g_app.confirmState = g_app.settings.Confirm;
    LoadReservationsFile(g_app.reservationPath, g_app.reservations);
    AppSettings& s = g_app.settings;
    if (s.Overlay != 0) s.PreviewScale = 0;
    g_app.mainTitle = StartupTitle(g_app.mainTitle, s.TempPath, s.TempFileName);

    const DWORD style = s.PreviewScale != 0 ? (WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN)
                                            : (WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX);
    HWND hwnd = CreateWindowExW(0, className.c_str(), Widen(g_app.mainTitle).c_str(), style, s.WindowPosX,
                                s.WindowPosY, 0, 0, nullptr, nullptr, g_app.instance, nullptr);
    // Relative names (numbered snapshots, the text log) resolve in the work directory.
    SetCurrentDirectoryW(Widen(s.TempPath).c_str());
    if (hwnd == nullptr) return false;

    NOTIFYICONDATAW& tray = g_app.trayIcon;
    tray.cbSize = sizeof tray;
    tray.hWnd = hwnd;
    tray.uID = 1;
    tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray.uCallbackMessage = kTrayMessage;
    tray.hIcon = LoadIconW(g_app.instance, MAKEINTRESOURCEW(IDI_SMALL));
    wcsncpy(tray.szTip, L"Kestrova", sizeof tray.szTip / sizeof tray.szTip[0] - 1);

    g_app.statusFont = CreateStatusFont(s);
    ShowWindow(hwnd, showCommand);
    UpdateWindow(hwnd);
    return true;
}

}  // namespace
}  // namespace kestrova

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    using namespace kestrova;
    g_app.instance = instance;
    g_app.launchMode = ScanCommandLine(Narrow(commandLine != nullptr ? commandLine : L""));
    if (!StartInstance(showCommand)) return 0;

    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorW(msg.hwnd, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    ReleaseCaptureDevice();
    if (g_app.powerOffAtExit != 0) PowerOffMachine();
    return static_cast<int>(msg.wParam);
}
