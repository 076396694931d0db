// The power port of the Windows build: the system's calls, or the calls
// written down where the environment asks for that.
#include "platform/power.h"
#include "platform/win32_handles.h"
#include "platform/win32_process.h"

#include <windows.h>

#include <utility>

namespace kestrova {

namespace {

// Without SE_SHUTDOWN_NAME enabled, ExitWindowsEx and SetSuspendState fail
// on NT-based Windows and the machine silently stays on.
void EnableShutdownPrivilege() {
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
}

// SetSuspendState, looked up at run time: powrprof.dll is loaded only
// when the machine is to sleep.
using SetSuspendStateFunction = BOOLEAN(WINAPI*)(BOOLEAN, BOOLEAN, BOOLEAN);

class SystemPower final : public PowerPort {
public:
    bool PowerOff() override {
        EnableShutdownPrivilege();
        // Programs are asked to close; only one that hangs is closed by force.
        return ExitWindowsEx(EWX_POWEROFF | EWX_FORCEIFHUNG,
                             SHTDN_REASON_MAJOR_OTHER | SHTDN_REASON_MINOR_OTHER | SHTDN_REASON_FLAG_PLANNED) != 0;
    }
    std::string Suspend(bool hibernate) override {
        EnableShutdownPrivilege();
        const UniqueModule library(LoadLibraryW(L"powrprof.dll"));
        const auto suspend = library ? reinterpret_cast<SetSuspendStateFunction>(
                                           reinterpret_cast<void*>(GetProcAddress(library.get(), "SetSuspendState")))
                                     : nullptr;
        if (suspend == nullptr) return SystemErrorText(GetLastError());
        if (suspend(hibernate ? TRUE : FALSE, FALSE, FALSE) == 0) return SystemErrorText(GetLastError());
        return {};
    }
};

// Each call as a line of UTF-8 in the file the environment names.
class RecordingPower final : public PowerPort {
public:
    explicit RecordingPower(std::wstring path) : path_(std::move(path)) {}
    bool PowerOff() override { return Append("ExitWindowsEx EWX_POWEROFF|EWX_FORCEIFHUNG"); }
    std::string Suspend(bool hibernate) override {
        return Append(hibernate ? "SetSuspendState hibernate=1 force=0 wakeupEventsDisabled=0"
                                : "SetSuspendState hibernate=0 force=0 wakeupEventsDisabled=0")
                   ? std::string()
                   : SystemErrorText(GetLastError());
    }

private:
    bool Append(const std::string& call) const {
        const UniqueHandle file(CreateFileW(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        const std::string line = call + "\r\n";
        DWORD written = 0;
        return WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) != 0 &&
               written == line.size();
    }

    std::wstring path_;
};

}  // namespace

std::unique_ptr<PowerPort> MakePowerPort() {
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = GetEnvironmentVariableW(L"KESTROVA_POWER_LOG", path.data(), MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::make_unique<SystemPower>();
    path.resize(length);
    return std::make_unique<RecordingPower>(std::move(path));
}

}  // namespace kestrova
