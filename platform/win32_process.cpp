#include "platform/win32_process.h"

#include "platform/win32_text.h"

#include <cstdlib>
#include <vector>

namespace kestrova {

CommandRunner::~CommandRunner() {
    for (auto& [id, watched] : watched_) StopWatching(*watched);
}

void CommandRunner::StopWatching(Watched& watched) {
    // Waits for a callback that is running: none may use `watched` after this.
    if (watched.wait != nullptr) UnregisterWaitEx(watched.wait, INVALID_HANDLE_VALUE);
    watched.wait = nullptr;
}

// A thread-pool thread: only the post.
void CALLBACK CommandRunner::OnProcessEnded(PVOID context, BOOLEAN) {
    const auto* watched = static_cast<const Watched*>(context);
    PostMessageW(watched->runner->window_, watched->runner->message_, static_cast<WPARAM>(watched->id), 0);
}

namespace {

std::uint64_t CreationTime(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

}  // namespace

std::variant<CommandRunner::Started, std::string> CommandRunner::Start(const std::string& commandLine,
                                                              const std::string& directory) {
    std::wstring line = Widen(commandLine);
    std::vector<wchar_t> writable(line.begin(), line.end());
    writable.push_back(L'\0');  // CreateProcessW may write into it
    const std::wstring wideDirectory = Widen(directory);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        wideDirectory.empty() ? nullptr : wideDirectory.c_str(), &startup, &info)) {
        return SystemErrorText(GetLastError());
    }
    CloseHandle(info.hThread);
    const std::string process = std::to_string(info.dwProcessId) + ":" + std::to_string(CreationTime(info.hProcess));
    return Started{WatchHandle(info.hProcess), process};
}

std::optional<std::uint64_t> CommandRunner::Watch(const std::string& process) {
    const std::size_t colon = process.find(':');
    if (colon == std::string::npos) return std::nullopt;
    const DWORD pid = std::strtoul(process.c_str(), nullptr, 10);
    const std::uint64_t created = std::strtoull(process.c_str() + colon + 1, nullptr, 10);
    UniqueHandle handle(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    // Another process that took the number over is not that command.
    if (!handle || created == 0 || CreationTime(handle.get()) != created) return std::nullopt;
    return WatchHandle(handle.release());
}

// Takes `process` over; its end is posted (at once when it has ended).
std::uint64_t CommandRunner::WatchHandle(HANDLE process) {
    const std::uint64_t id = nextId_++;
    auto watched = std::make_unique<Watched>(Watched{this, id, UniqueHandle(process)});
    if (!RegisterWaitForSingleObject(&watched->wait, watched->process.get(), &OnProcessEnded, watched.get(), INFINITE,
                                     WT_EXECUTEONLYONCE)) {
        // Its end cannot be watched: it runs on untold.
        watched->wait = nullptr;
        return id;
    }
    watched_.emplace(id, std::move(watched));
    return id;
}

std::optional<std::uint32_t> CommandRunner::Ended(std::uint64_t id) {
    const auto it = watched_.find(id);
    if (it == watched_.end()) return std::nullopt;
    StopWatching(*it->second);
    DWORD code = 0;
    const bool known = GetExitCodeProcess(it->second->process.get(), &code) != 0;
    watched_.erase(it);
    if (!known) return std::nullopt;
    return static_cast<std::uint32_t>(code);
}

std::string SystemErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
        reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring message = length != 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.pop_back();
    }
    if (message.empty()) return "error " + std::to_string(error);
    return Narrow(message);
}

}  // namespace kestrova
