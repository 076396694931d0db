#include "app/win32/app_state.h"

namespace kestrova {

void PowerOffMachine() {
    // Without SE_SHUTDOWN_NAME enabled, ExitWindowsEx fails on NT-based
    // Windows and the machine silently stays on.
    HANDLE opened = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &opened)) {
        const UniqueHandle token(opened);
        TOKEN_PRIVILEGES privileges{};
        if (LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) {
            privileges.PrivilegeCount = 1;
            privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
            AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
        }
    }
    ExitWindowsEx(EWX_POWEROFF | EWX_FORCE, 0);
}

}  // namespace kestrova
