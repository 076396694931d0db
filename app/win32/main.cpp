// Process entry: command line, start-up sequence, message loop and the
// power-off after a reservation that asks for it.
#include "app/command_line.h"
#include "app/main_title.h"
#include "app/win32/app_state.h"
#include "app/win32/window_frame.h"
#include "app/window_rules.h"
#include "history/capture_log.h"
#include "platform/files.h"
#include "platform/win32_text.h"
#include "resource_ids.h"
#include "store/string_table.h"

#include <commctrl.h>

namespace kestrova {

AppState::AppState() = default;

std::string LoadResourceText(HINSTANCE instance, UINT id) {
    const wchar_t* text = nullptr;
    // With a zero buffer size LoadStringW hands out the resource's own
    // (not NUL-terminated) text and its length.
    const int length = LoadStringW(instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? Narrow(std::wstring_view(text, static_cast<std::size_t>(length))) : std::string();
}

namespace {

bool RegisterMainClass(HINSTANCE instance, const std::wstring& className) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_KESTROVA));
    wc.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SMALL));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszMenuName = MAKEINTRESOURCEW(IDR_MAINMENU);
    wc.lpszClassName = className.c_str();
    return RegisterClassExW(&wc) != 0;
}

// Returns true when the main window exists and is shown.
bool StartInstance(AppState& app, int showCommand) {
    app.mainTitle = LoadResourceText(app.instance, strings::kProductName);
    const std::wstring className = Widen(LoadResourceText(app.instance, strings::kClassName));
    RegisterMainClass(app.instance, className);
    InitCommonControls();

    const std::string exe = ExecutablePath();
    app.settingsPath = ReplaceLastThree(exe, "ini");
    app.reservationPath = ReplaceLastThree(exe, "tmr");
    app.settings = LoadSettingsFile(app.settingsPath,
                                    ScreenSize{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
    app.run.confirm = app.settings.Confirm;
    LoadReservationsFile(app.reservationPath, app.reservations);
    AppSettings& s = app.settings;
    ApplyStartupDisplayRules(s);
    app.mainTitle = StartupTitle(app.mainTitle, s.TempPath, s.TempFileName);
    // The history page lies beside the executable, the text log in the
    // current (work) directory.
    const std::size_t slash = exe.find_last_of("\\/");
    app.scheduler = std::make_unique<Scheduler>(app.clock, app.schedulerHost, app.reservations, app.settings,
                                                slash == std::string::npos ? std::string() : exe.substr(0, slash + 1),
                                                kCaptureLogName);
    app.scheduler->SetMainTitle(app.mainTitle);

    // The window's creation makes the device and the first status bar (in
    // the default font: the status font is made below).
    HWND hwnd = CreateWindowExW(0, className.c_str(), Widen(app.mainTitle).c_str(),
                                MainWindowStyle(s.PreviewScale != 0), s.WindowPosX, s.WindowPosY, 0, 0, nullptr,
                                nullptr, app.instance, &app);
    // Relative names (numbered snapshots, the text log) resolve in the work directory.
    SetCurrentDirectoryW(Widen(s.TempPath).c_str());
    if (hwnd == nullptr) return false;

    app.tray.Init(hwnd, app.instance, IDI_SMALL, kTrayMessage);
    app.statusFont = CreateStatusFont(s);
    ShowWindow(hwnd, showCommand);
    UpdateWindow(hwnd);
    return true;
}

int RunMessageLoop(HINSTANCE instance) {
    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorW(msg.hwnd, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace
}  // namespace kestrova

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    using namespace kestrova;
    AppState app;
    app.instance = instance;
    app.launchMode = ScanCommandLine(Narrow(commandLine != nullptr ? commandLine : L""));
    if (!StartInstance(app, showCommand)) return 0;
    const int exitCode = RunMessageLoop(instance);
    ReleaseCaptureDevice(app);
    if (app.powerOffAtExit != 0) PowerOffMachine();
    return exitCode;
}
