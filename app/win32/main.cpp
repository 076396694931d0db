// Process entry: the command line, the main window and the message loop.
#include "app/command_line.h"
#include "app/win32/main_window.h"
#include "app/win32/single_instance_win32.h"
#include "platform/files.h"
#include "store/string_table.h"
#include "platform/win32_text.h"
#include "resource_ids.h"

#include <cwchar>

namespace {

// A modeless dialog (the countdown before the action after a run) takes its
// keys as a dialog does: Esc cancels, Tab moves, Enter presses. Modal ones
// run loops of their own, so an active dialog here is a modeless one.
bool ModelessDialogMessage(MSG& msg) {
    HWND active = GetActiveWindow();
    wchar_t name[8] = {};
    if (active == nullptr || GetClassNameW(active, name, 8) == 0 || std::wcscmp(name, L"#32770") != 0) return false;
    return IsDialogMessageW(active, &msg) != 0;
}

int RunMessageLoop(HINSTANCE instance) {
    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (ModelessDialogMessage(msg)) continue;
        if (!TranslateAcceleratorW(msg.hwnd, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    using namespace kestrova;
    std::string line = Narrow(commandLine != nullptr ? commandLine : L"");
    // A programme file named on the line goes by its full path, also to a
    // Kestrova that runs in another folder.
    std::optional<ProgrammeArgument> programme = FindProgrammeFile(line);
    if (programme) {
        if (!IsRootedPath(programme->path)) programme->path = CurrentDirectory() + "\\" + programme->path;
        line = programme->rest + " \"" + programme->path + "\"";
    }
    // One Kestrova per settings file: a later start hands its command line
    // to the one that runs and ends here, before it makes a window or
    // touches a file. The claim outlives the window, so the settings are
    // written before a start that waits for them may run.
    InstanceClaim claim;
    if (!claim.Settle(Widen(LoadResourceText(instance, strings::kClassName)), Widen(line))) return 0;
    MainWindow window(instance, ScanCommandLine(programme ? programme->rest : line));
    if (!window.Start(showCommand)) return 0;
    if (programme) window.OpenProgrammeFile(programme->path);
    window.Publish(claim.identity());
    const int exitCode = RunMessageLoop(instance);
    window.Finish();
    return exitCode;
}
