#include "platform/power.h"

#include "platform/win32_handles.h"

#include <windows.h>

namespace kestrova {

struct WakeTimer::Timer {
    UniqueHandle handle;
};

WakeTimer::WakeTimer() {
    UniqueHandle made(CreateWaitableTimerW(nullptr, TRUE, nullptr));
    if (made) timer_ = std::make_unique<Timer>(Timer{std::move(made)});
}

WakeTimer::~WakeTimer() { Cancel(); }

bool WakeTimer::Set(std::int64_t time) {
    if (timer_ == nullptr) return false;
    // An absolute due time: 100 ns units since 1601 (UTC).
    LARGE_INTEGER due{};
    due.QuadPart = (time + 11644473600LL) * 10000000LL;
    return SetWaitableTimer(timer_->handle.get(), &due, 0, nullptr, nullptr, TRUE) != 0;
}

void WakeTimer::Cancel() {
    if (timer_ != nullptr) CancelWaitableTimer(timer_->handle.get());
}

void KeepSystemAwake(bool on) {
    SetThreadExecutionState(on ? (ES_CONTINUOUS | ES_SYSTEM_REQUIRED) : ES_CONTINUOUS);
}

bool PowerOffMachine() {
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
    return ExitWindowsEx(EWX_POWEROFF | EWX_FORCE, 0) != 0;
}

}  // namespace kestrova
