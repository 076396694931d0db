// One Kestrova per settings file: the claim a start makes before anything
// else, the hand-over to the Kestrova that holds the claim, and how the main
// window takes a handed command line.
#include "app/win32/single_instance_win32.h"

#include "app/command_line.h"
#include "app/single_instance.h"
#include "app/win32/main_window.h"
#include "platform/files.h"
#include "platform/win32_text.h"
#include "reservation/win32/reservation_dialog.h"
#include "resource_ids.h"

#include <shellapi.h>

#include <algorithm>
#include <utility>

namespace kestrova {

namespace {

// How long a later start waits for the window of the Kestrova that holds the
// settings (it holds them from its start, its window comes a little later),
// how often it looks, and how long a busy window may take to answer.
constexpr ULONGLONG kWindowWaitMs = 5000;
constexpr DWORD kPollMs = 100;
constexpr UINT kAnswerTimeoutMs = 3000;
// A request that waits for a recording's end is looked at again this often.
constexpr UINT kHandOverRetryMs = 500;

// Text a Win32 call writes into a buffer it names the size of: the call
// returns the length written, or the size it needs when the buffer is short.
template <typename Call>
std::wstring CallForText(Call call) {
    std::wstring text(MAX_PATH, L'\0');
    for (int tries = 0; tries < 3; ++tries) {
        const DWORD n = call(text.data(), static_cast<DWORD>(text.size()));
        if (n == 0) return {};
        if (n < text.size()) {
            text.resize(n);
            return text;
        }
        text.resize(n);
    }
    return {};
}

// The folder as the file system names it: links, drive substitutes and
// short names resolved; without a handle to it, its full path in long names.
std::wstring ResolvedFolder(const std::wstring& folder) {
    const UniqueHandle handle(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (handle) {
        std::wstring final = CallForText([&](wchar_t* buffer, DWORD size) {
            return GetFinalPathNameByHandleW(handle.get(), buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        });
        if (!final.empty()) return final;
    }
    const std::wstring full = CallForText(
        [&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(folder.c_str(), size, buffer, nullptr); });
    if (full.empty()) return folder;
    const std::wstring longer = CallForText(
        [&](wchar_t* buffer, DWORD size) { return GetLongPathNameW(full.c_str(), buffer, size); });
    return longer.empty() ? full : longer;
}

std::wstring UpperCase(const std::wstring& text) {
    if (text.empty()) return text;
    const int length = static_cast<int>(text.size());
    const int needed =
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.c_str(), length, nullptr, 0, nullptr, nullptr, 0);
    if (needed <= 0) return text;
    std::wstring upper(static_cast<std::size_t>(needed), L'\0');
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.c_str(), length, upper.data(), needed, nullptr,
                  nullptr, 0);
    return upper;
}

// The settings file's path in the one spelling every start of this folder
// arrives at, however the executable was named when it was started.
std::string SettingsPathForIdentity() {
    const std::string settings = ReplaceLastThree(ExecutablePath(), "ini");
    const std::string folder = DirectoryOf(settings);
    const std::wstring path = ResolvedFolder(Widen(folder)) + L"\\" + Widen(settings.substr(folder.size()));
    return Narrow(UpperCase(path));
}

// The window of the Kestrova that holds `identity`: a Kestrova of another
// folder has a window of the same class but not the property.
HWND FindHolder(const std::wstring& className, const std::wstring& identity) {
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, className.c_str(), nullptr)) != nullptr) {
        if (GetPropW(window, identity.c_str()) != nullptr) return window;
    }
    return nullptr;
}

// Sends the command line; true when the window took it.
bool HandOver(HWND window, std::wstring_view commandLine) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    AllowSetForegroundWindow(process);
    COPYDATASTRUCT data{};
    data.dwData = kHandOverTag;
    data.cbData = static_cast<DWORD>(std::min(commandLine.size(), kHandOverMaxUnits) * sizeof(wchar_t));
    data.lpData = const_cast<wchar_t*>(commandLine.data());
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                            kAnswerTimeoutMs, &answer) == 0 ||
        (answer & kHandOverTaken) == 0) {
        return false;
    }
    if ((answer & kHandOverShown) != 0) SetForegroundWindow(window);
    return true;
}

}  // namespace

InstanceClaim::InstanceClaim() : identity_(Widen(InstanceIdentity(SettingsPathForIdentity()))) {
    const std::wstring name = Widen(InstanceMutexName(Narrow(identity_)));
    HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
    const DWORD error = GetLastError();
    mutex_.reset(mutex);
    // Without a mutex (its name taken by another kind of object) nothing can
    // be told: this start runs as every start did before.
    owner_ = mutex == nullptr || error != ERROR_ALREADY_EXISTS;
}

bool InstanceClaim::Settle(const std::wstring& className, std::wstring_view commandLine) {
    if (owner_) return true;
    const ULONGLONG deadline = GetTickCount64() + kWindowWaitMs;
    do {
        // A window that is going away (or will not take the line) is passed
        // over: its Kestrova lets the mutex go when it ends.
        if (const HWND holder = FindHolder(className, identity_); holder != nullptr && HandOver(holder, commandLine)) {
            return false;
        }
        const DWORD waited = WaitForSingleObject(mutex_.get(), kPollMs);
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
            owner_ = true;
            return true;
        }
    } while (GetTickCount64() < deadline);
    return false;
}

void MainWindow::Publish(std::wstring identity) {
    if (SetPropW(window_, identity.c_str(), window_) != 0) published_ = std::move(identity);
}

void MainWindow::Unpublish() {
    if (!published_.empty()) RemovePropW(window_, published_.c_str());
    published_.clear();
}

LRESULT MainWindow::OnHandOver(const COPYDATASTRUCT& data) {
    if (published_.empty()) return 0;
    const std::optional<std::string> line = ReadHandOver(data.dwData, data.lpData, data.cbData);
    if (!line) return 0;
    handOver_ = MergeHandOvers(handOver_, HandOverRequestFor(*line));
    return kHandOverTaken | (ApplyHandOver() ? kHandOverShown : 0);
}

// The request now, or (while a recording runs or a dialog is open) once that
// has ended; true when the window was shown.
bool MainWindow::ApplyHandOver() {
    if (!handOver_) {
        KillTimer(window_, kHandOverTimer);
        return false;
    }
    const bool busy = run_.recording || IsWindowEnabled(window_) == 0;
    const HandOverActions act = HandOverActionsFor(*handOver_, scheduler_->armed(), busy);
    if (act.wait) {
        SetTimer(window_, kHandOverTimer, kHandOverRetryMs, nullptr);
        return false;
    }
    KillTimer(window_, kHandOverTimer);
    if (act.openProgramme) {
        // Posted: the dialog is modal, and a later start waits for this answer.
        programmeToOpen_ = handOver_->programme;
        PostMessageW(window_, kOpenProgrammeMessage, 0, 0);
    }
    handOver_.reset();
    if (act.bringForward) {
        // Out of the notification area as its double-click does, or restored.
        if (IsWindowVisible(window_) == 0) {
            ::ShowWindow(window_, SW_SHOWNORMAL);
        } else if (IsIconic(window_) != 0) {
            ::ShowWindow(window_, SW_RESTORE);
        }
        SetForegroundWindow(window_);
    }
    // As at start: the arm command, then into the notification area.
    if (act.postArm) PostMessageW(window_, WM_COMMAND, IDM_TIMER, 0);
    if (act.hideInTray) PostMessageW(window_, WM_SIZE, SIZE_MINIMIZED, 0);
    return act.bringForward;
}

void MainWindow::OpenProgrammeFile(const std::string& path) {
    handOver_ = MergeHandOvers(handOver_, HandOverRequest{false, false, path});
    ApplyHandOver();
}

// The first programme file among those dropped on the window.
void MainWindow::OnDropFiles(HDROP drop) {
    std::string programme;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count && programme.empty(); ++i) {
        std::wstring name(DragQueryFileW(drop, i, nullptr, 0), L'\0');
        DragQueryFileW(drop, i, name.data(), static_cast<UINT>(name.size() + 1));
        std::string quoted(1, '"');
        quoted += Narrow(name);
        quoted += '"';
        if (const std::optional<ProgrammeArgument> found = FindProgrammeFile(quoted)) {
            programme = found->path;
        }
    }
    DragFinish(drop);
    if (!programme.empty()) OpenProgrammeFile(programme);
}

// Still busy (a recording began meanwhile): the file waits again.
void MainWindow::OnOpenProgramme() {
    std::string path = std::exchange(programmeToOpen_, {});
    if (path.empty()) return;
    if (run_.recording || IsWindowEnabled(window_) == 0) {
        OpenProgrammeFile(path);
        return;
    }
    ProgrammeFileCommand(instance_, window_, clock_, *book_, *scheduler_, path);
}

}  // namespace kestrova
