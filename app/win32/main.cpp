// Process entry: the command line, the main window and the message loop.
#include "app/command_line.h"
#include "app/win32/main_window.h"
#include "platform/win32_text.h"
#include "resource_ids.h"

namespace {

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

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    using namespace kestrova;
    MainWindow window(instance, ScanCommandLine(Narrow(commandLine != nullptr ? commandLine : L"")));
    if (!window.Start(showCommand)) return 0;
    const int exitCode = RunMessageLoop(instance);
    window.Finish();
    return exitCode;
}
